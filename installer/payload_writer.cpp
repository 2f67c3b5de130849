#include <windows.h>

#include "installer.h"
#include "payload_length.h"
#include "staged_file_name.h"
#include "target_checks.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

// The new copy is written beside the target under a fresh name and removed
// again unless it was moved into place.
class StagedFile {
public:
    StagedFile() = default;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() {
        if (created_) ::DeleteFileW(path_);
    }

    // GetTempFileNameW creates the file, so the name cannot be taken by anyone
    // else between choosing it and opening it.
    bool Create(const wchar_t* folder) noexcept {
        created_ = ::GetTempFileNameW(folder, kStagedFilePrefix, 0, path_) != 0;
        return created_;
    }
    const wchar_t* Path() const noexcept { return path_; }
    void Keep() noexcept { created_ = false; }

private:
    wchar_t path_[MAX_PATH] = {};
    bool created_ = false;
};

// A run killed between creating its temporary file and the rename leaves that
// file behind; the next run removes it. A file some other run still has open
// cannot be deleted.
void RemoveStaleStagedFiles(const wchar_t* folder) noexcept {
    ForEachStagedFile(folder, [](const wchar_t* path, void*) { ::DeleteFileW(path); }, nullptr);
}

bool WriteWhole(const wchar_t* path, const void* data, DWORD length) noexcept {
    UniqueFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!::WriteFile(file.get(), data, length, &written, nullptr)) return false;
    if (written != length) return false;
    if (!::FlushFileBuffers(file.get())) return false;
    return ::CloseHandle(file.release()) != FALSE;
}

}  // namespace

bool WritePayload(const wchar_t* target, HMODULE module, HRSRC payload) noexcept {
    // 1. The payload, never read beyond what the resource holds.
    HGLOBAL loaded = ::LoadResource(module, payload);
    if (loaded == nullptr) return false;
    const void* data = ::LockResource(loaded);
    if (data == nullptr) return false;
    if (::SizeofResource(module, payload) < kPayloadLength) return false;

    // 2. Wine does not refuse to overwrite read-only, hidden or system files,
    // so their attributes are checked here rather than left to the open.
    const DWORD attributes = ::GetFileAttributesW(target);
    if (!IsInstalledLibrary(attributes) || (attributes & kRefusedAttributes)) return false;

    // 3. No other process holds the target.
    UniqueFile exclusive = OpenTargetExclusively(target);
    if (!exclusive) return false;

    // 4. The whole payload goes to a new file in the target's folder, so the
    // final rename stays on one volume.
    wchar_t folder[MAX_PATH];
    if (!TargetFolder(target, folder)) return false;
    RemoveStaleStagedFiles(folder);
    StagedFile staged;
    if (!staged.Create(folder)) return false;
    if (!WriteWhole(staged.Path(), data, kPayloadLength)) return false;

    // 5. The rename needs delete access to the target, which our own share-0
    // handle would deny; it is closed just before. MoveFileExW rather than
    // ReplaceFileW: ReplaceFileW carries the old file's attributes over to the
    // new one, and the target must end with plain attributes.
    exclusive.reset();
    if (!::MoveFileExW(staged.Path(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return false;
    staged.Keep();
    return true;
}

}  // namespace zmk

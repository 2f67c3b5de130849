#include <windows.h>

#include <cwchar>

#include "bounded_text.h"
#include "installer.h"
#include "payload_length.h"
#include "staged_file_name.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

constexpr DWORD kRefusedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

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

// The longest folder GetTempFileNameW takes: its own "\zmkXXXX.tmp" and the
// terminator must still fit in MAX_PATH after it.
constexpr size_t kLongestStagingFolder = MAX_PATH - 14;

// The folder of the target, without its trailing backslash.
bool TargetFolder(const wchar_t* target, wchar_t (&folder)[MAX_PATH]) noexcept {
    const wchar_t* slash = std::wcsrchr(target, L'\\');
    if (slash == nullptr) return false;
    const size_t length = static_cast<size_t>(slash - target);
    if (length == 0 || length > kLongestStagingFolder) return false;
    folder[0] = L'\0';
    return AppendText(folder, MAX_PATH, target, length);
}

// A run killed between creating its temporary file and the rename leaves that
// file behind; the next run removes it. Only names of our own pattern are
// touched, and a file some other run still has open cannot be deleted.
void RemoveStaleStagedFiles(const wchar_t* folder) noexcept {
    wchar_t path[MAX_PATH];
    if (!AssignText(path, folder) || !AppendText(path, L"\\zmk*.tmp")) return;
    const size_t folderLength = BoundedLength(folder, MAX_PATH);

    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(path, &found));
    if (!search) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!IsStagedFileName(found.cFileName)) continue;
        path[folderLength] = L'\0';
        if (!AppendText(path, L"\\") || !AppendText(path, found.cFileName)) continue;
        ::DeleteFileW(path);
    } while (::FindNextFileW(search.get(), &found));
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
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | kRefusedAttributes)) return false;

    // 3. An exclusive open proves that no other process holds the target,
    // whatever sharing that process allowed.
    UniqueFile exclusive(::CreateFileW(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

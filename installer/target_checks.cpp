#include "target_checks.h"

#include <shlobj.h>

#include <cwchar>

#include "bounded_text.h"
#include "staged_file_name.h"

namespace zmk {
namespace {

constexpr wchar_t kTargetSuffix[] = L"\\Quenford\\Borvanect\\ZELMORK.dll";

// The longest folder GetTempFileNameW takes: its own "\zmkXXXX.tmp" and the
// terminator must still fit in MAX_PATH after it.
constexpr size_t kLongestStagingFolder = MAX_PATH - 14;

}  // namespace

// A Program Files folder too long to take the suffix within MAX_PATH is a
// failure, not a truncated or overrun path.
bool ComposeTargetPath(wchar_t (&path)[MAX_PATH]) noexcept {
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
    return AppendText(path, kTargetSuffix);
}

bool IsInstalledLibrary(DWORD attributes) noexcept {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

UniqueFile OpenTargetExclusively(const wchar_t* target) noexcept {
    return UniqueFile(::CreateFileW(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool TargetFolder(const wchar_t* target, wchar_t (&folder)[MAX_PATH]) noexcept {
    const wchar_t* slash = std::wcsrchr(target, L'\\');
    if (slash == nullptr) return false;
    const size_t length = static_cast<size_t>(slash - target);
    if (length == 0 || length > kLongestStagingFolder) return false;
    folder[0] = L'\0';
    return AppendText(folder, MAX_PATH, target, length);
}

// Only names of the writer's own pattern are taken.
void ForEachStagedFile(const wchar_t* folder, StagedFileVisitor visit, void* context) noexcept {
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
        visit(path, context);
    } while (::FindNextFileW(search.get(), &found));
}

}  // namespace zmk

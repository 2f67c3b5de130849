// The installed library the installer patches: where it is, and the checks
// the installer makes on it and its folder before it writes. zmk-doctor's
// --patch calls these same functions to say what the installer would do.
#pragma once

#include <windows.h>

#include "win32/unique_resource.h"

namespace zmk {

// The Program Files folder followed by \Quenford\Borvanect\ZELMORK.dll; false
// when the shell does not tell the folder or the path does not fit in MAX_PATH.
bool ComposeTargetPath(wchar_t (&path)[MAX_PATH]) noexcept;

// The target exists and is a file: the installer never creates the library
// where none is, and a folder of that name is no library.
bool IsInstalledLibrary(DWORD attributes) noexcept;

// Attributes of a target that the installer refuses to replace. Wine does not
// refuse to overwrite such files, so the installer checks them itself.
inline constexpr DWORD kRefusedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The writer's proof that no other process holds the target, whatever
// sharing that process allowed: the target opened for writing without
// sharing (nothing is written through it). Empty when it cannot be opened.
UniqueFile OpenTargetExclusively(const wchar_t* target) noexcept;

// The folder of the target, without its trailing backslash; false when it
// is too long for the writer's temporary file in it.
bool TargetFolder(const wchar_t* target, wchar_t (&folder)[MAX_PATH]) noexcept;

// Calls visit with the full path of every temporary file of the writer's in
// folder: what a run killed between writing it and the rename leaves behind.
using StagedFileVisitor = void (*)(const wchar_t* path, void* context);
void ForEachStagedFile(const wchar_t* folder, StagedFileVisitor visit, void* context) noexcept;

}  // namespace zmk

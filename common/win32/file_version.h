// A file's version resource, read as Windows reads it (version.dll, loaded
// from the system directory: it is no KnownDLL).
#pragma once

#include <windows.h>

namespace zmk {

// The fixed version block of the file at path. False when the file has no
// version resource, it cannot be read, or its root value is shorter than the
// fixed block (a damaged resource: reading the whole block would run past it).
bool ReadFixedFileVersion(const wchar_t* path, VS_FIXEDFILEINFO& fixed) noexcept;

}  // namespace zmk

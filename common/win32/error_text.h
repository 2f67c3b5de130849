// A system error as a person reads it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "win32/text_encoding.h"

namespace zmk {

// The name of the errors the tools meet most, for a system that has no text
// for them (Wine has none for most Winsock errors).
inline const char* ErrorName(DWORD error) noexcept {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return "ERROR_FILE_NOT_FOUND";
        case ERROR_PATH_NOT_FOUND: return "ERROR_PATH_NOT_FOUND";
        case ERROR_ACCESS_DENIED: return "ERROR_ACCESS_DENIED";
        case ERROR_SHARING_VIOLATION: return "ERROR_SHARING_VIOLATION";
        case ERROR_FILE_EXISTS: return "ERROR_FILE_EXISTS";
        case ERROR_INVALID_NAME: return "ERROR_INVALID_NAME";
        case ERROR_MOD_NOT_FOUND: return "ERROR_MOD_NOT_FOUND";
        case ERROR_PROC_NOT_FOUND: return "ERROR_PROC_NOT_FOUND";
        case ERROR_DLL_INIT_FAILED: return "ERROR_DLL_INIT_FAILED";
        case ERROR_BAD_EXE_FORMAT: return "ERROR_BAD_EXE_FORMAT";
        case WSANOTINITIALISED: return "WSANOTINITIALISED";
        case WSAEACCES: return "WSAEACCES";
        case WSAEADDRINUSE: return "WSAEADDRINUSE";
        case WSAEADDRNOTAVAIL: return "WSAEADDRNOTAVAIL";
        case WSAENETUNREACH: return "WSAENETUNREACH";
        case WSAEHOSTUNREACH: return "WSAEHOSTUNREACH";
        case WSAENETDOWN: return "WSAENETDOWN";
        case WSAEMSGSIZE: return "WSAEMSGSIZE";
        case WSAECONNRESET: return "WSAECONNRESET";
        case WSAENOBUFS: return "WSAENOBUFS";
        case WSAEWOULDBLOCK: return "WSAEWOULDBLOCK";
        default: return nullptr;
    }
}

// "error 32: The process cannot access the file because ...", or
// "error 10048 (WSAEADDRINUSE)" where the system has no text; UTF-8.
inline std::string ErrorText(DWORD error) {
    wchar_t text[512] = {};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                    static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.')) {
        text[--length] = L'\0';
    }
    std::string words = "error " + std::to_string(error);
    if (const char* name = ErrorName(error)) words += std::string(" (") + name + ")";
    if (length > 0) words += ": " + Utf8FromWide(std::wstring_view(text, length));
    return words;
}

}  // namespace zmk

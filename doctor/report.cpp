#include "report.h"

#include <cwchar>
#include <vector>

#include "findings.h"
#include "win32/error_text.h"
#include "win32/text_encoding.h"
#include "win32/unique_resource.h"

namespace zmk::doctor {
namespace {

constexpr wchar_t kGivenStartW = L'\xE000';
constexpr wchar_t kGivenEndW = L'\xE001';

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        DWORD chunk = bytes.size() > 65536 ? 65536 : static_cast<DWORD>(bytes.size());
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

// A letter or digit of any script, or '_': a name inside such a run is part
// of another word.
bool IsWordCharacter(wchar_t c) {
    if (c == L'_') return true;
    WORD type = 0;
    return ::GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_DIGIT)) != 0;
}

bool SameIgnoringCase(const wchar_t* text, const std::wstring& name) {
    return ::CompareStringOrdinal(text, static_cast<int>(name.size()), name.c_str(), static_cast<int>(name.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool WholeNameAt(const std::wstring& text, std::size_t at, const std::wstring& name) {
    if (at + name.size() > text.size() || !SameIgnoringCase(text.data() + at, name)) return false;
    if (at > 0 && IsWordCharacter(text[at - 1])) return false;
    std::size_t end = at + name.size();
    return end == text.size() || !IsWordCharacter(text[end]);
}

// The doctor's own words: the text outside every Given() span.
std::wstring OwnWords(const std::wstring& text) {
    std::wstring own;
    bool given = false;
    for (wchar_t c : text) {
        if (c == kGivenStartW) given = true;
        else if (c == kGivenEndW) given = false;
        else own += given ? L' ' : c;
    }
    return own;
}

bool HasWholeName(const std::wstring& text, const std::wstring& name) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (WholeNameAt(text, at, name)) return true;
    }
    return false;
}

struct Name {
    std::wstring text;
    const wchar_t* mark;
    int* count;
};

// The name in the forms a report can hold it: as it is, and as the ANSI code
// page gives it to programs that read it there (the library's paths).
void AddForms(std::vector<Name>& names, const std::wstring& name, const wchar_t* mark, int* count) {
    if (name.empty()) return;
    names.push_back({name, mark, count});
    std::wstring ansi = WideFromCodePage(CP_ACP, CodePageFromWide(CP_ACP, name));
    bool onlyUnknown = ansi.find_first_not_of(L'?') == std::wstring::npos;
    if (ansi != name && !onlyUnknown) names.push_back({ansi, mark, count});
}

std::wstring UserName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return ::GetUserNameW(name, &size) ? name : L"";
}

std::wstring ComputerName(COMPUTER_NAME_FORMAT format) {
    wchar_t name[256] = {};
    DWORD size = 256;
    return ::GetComputerNameExW(format, name, &size) ? name : L"";
}

}  // namespace

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != FALSE;
}

void WriteOut(DWORD which, std::string_view utf8, bool json) {
    HANDLE handle = ::GetStdHandle(which);
    if (IsConsole(which)) {
        std::wstring wide = WideFromUtf8(utf8);
        for (std::size_t at = 0; at < wide.size();) {
            DWORD chunk = wide.size() - at > 8192 ? 8192 : static_cast<DWORD>(wide.size() - at);
            DWORD written = 0;
            if (!::WriteConsoleW(handle, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
            at += written;
        }
        return;
    }
    WriteAll(handle, WithCrLf(json ? std::string(utf8) : CodePageFromWide(CP_ACP, WideFromUtf8(utf8))));
}

std::string Redacted(std::string_view marked, const std::wstring& user, const std::wstring& computer,
                     Redaction& counts) {
    counts = {};
    std::vector<Name> names;
    AddForms(names, user, L"<user>", &counts.user);
    AddForms(names, computer, L"<computer>", &counts.computer);
    std::wstring text = WideFromUtf8(marked);
    const std::wstring own = OwnWords(text);
    std::vector<bool> anywhere;
    for (const Name& name : names) anywhere.push_back(name.text.size() >= 3 && !HasWholeName(own, name.text));

    std::wstring out;
    out.reserve(text.size());
    bool given = false;
    for (std::size_t at = 0; at < text.size();) {
        wchar_t c = text[at];
        if (c == kGivenStartW || c == kGivenEndW) {
            given = c == kGivenStartW;
            ++at;
            continue;
        }
        bool replaced = false;
        for (std::size_t i = 0; i < names.size() && !replaced; ++i) {
            if ((given || anywhere[i]) && WholeNameAt(text, at, names[i].text)) {
                out += names[i].mark;
                ++*names[i].count;
                at += names[i].text.size();
                replaced = true;
            }
        }
        if (!replaced) out += text[at++];
    }
    return Utf8FromWide(out);
}

std::string Redacted(std::string_view marked, Redaction& counts) {
    std::wstring computer = ComputerName(ComputerNameNetBIOS);
    std::string text = Redacted(marked, UserName(), computer, counts);
    // The DNS name may differ from the NetBIOS one (longer, or in other case).
    std::wstring dns = ComputerName(ComputerNameDnsHostname);
    if (!dns.empty() && ::CompareStringOrdinal(dns.c_str(), -1, computer.c_str(), -1, TRUE) != CSTR_EQUAL) {
        Redaction more;
        text = Redacted(text, L"", dns, more);
        counts.computer += more.computer;
    }
    return text;
}

int CheckReportFile(const std::wstring& name, std::wstring& fullPath) {
    wchar_t full[32768];
    DWORD length = ::GetFullPathNameW(name.c_str(), 32768, full, nullptr);
    const std::string shown = Utf8FromWide(name);
    if (length == 0 || length >= 32768) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: '" + shown + "' is not a file name (" + ErrorText(::GetLastError()) +
                                       ")\n");
        return kExitUsage;
    }
    fullPath.assign(full, length);
    // A name Windows takes for a device (aux.txt, COM1, NUL) is no report.
    if (fullPath.rfind(L"\\\\.\\", 0) == 0 || fullPath.rfind(L"\\\\?\\GLOBALROOT", 0) == 0) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: '" + shown + "' names a device (" + Utf8FromWide(fullPath) +
                                       "), not a file: name a file for the report\n");
        return kExitInternal;
    }
    if (::GetFileAttributesW(fullPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: " + Utf8FromWide(fullPath) +
                                       " exists already; name a new file for the report (nothing is overwritten)\n");
        return kExitUsage;
    }
    return 0;
}

int WriteReportFile(const std::wstring& fullPath, std::string_view utf8) {
    const std::string shown = Utf8FromWide(fullPath);
    UniqueFile file(::CreateFileW(fullPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: the report cannot be created at " + shown + " (" + ErrorText(error) +
                                       ")" + (exists ? "; name a new file" : "") + "\n");
        return exists ? kExitUsage : kExitInternal;
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: " + shown + " is not a file on a disk: nothing was written to it\n");
        return kExitInternal;
    }
    // UTF-8 with its mark, and CR LF, as the editors of every Windows read it.
    const std::string bytes = "\xEF\xBB\xBF" + WithCrLf(utf8);
    DWORD written = 0;
    const bool whole = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size() && ::FlushFileBuffers(file.get());
    DWORD error = whole ? ERROR_SUCCESS : ::GetLastError();
    const bool closed = ::CloseHandle(file.release()) != FALSE;
    if (whole && !closed) error = ::GetLastError();
    if (!whole || !closed) {
        ::DeleteFileW(fullPath.c_str());
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: the report could not be written to " + shown + " (" +
                                       ErrorText(error) + "); the file is removed\n");
        return kExitInternal;
    }
    WriteOut(STD_ERROR_HANDLE, "zmk-doctor: created new report at '" + shown + "'\n");
    return 0;
}

}  // namespace zmk::doctor

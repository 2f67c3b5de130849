// Reads the built binaries through Windows' own resource, version and image
// functions, as the host and Windows will:
//
//   resource_checks library DLL            version resource, manifest, languages
//   resource_checks installer EXE DLL      manifest, icon group, payload, languages
//   resource_checks checksum DLL           image checksum by imagehlp
#include <windows.h>
#include <imagehlp.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer_driver.h"

using zmk::test::FileBytes;
using zmk::test::WindowsPath;

namespace {

constexpr WORD kFrenchSwiss = 0x100C;
constexpr WORD kEnglishUs = 0x0409;

int g_failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++g_failures;
    }
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

std::string ResourceName(LPCWSTR name) {
    return IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : Narrow(name);
}

struct Resource {
    std::string type;
    std::string name;
    WORD language;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<Resource>*>(list)->push_back({ResourceName(type), ResourceName(name), language});
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR list) {
    ::EnumResourceLanguagesW(module, type, name, OnLanguage, list);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR list) {
    ::EnumResourceNamesW(module, type, OnName, list);
    return TRUE;
}

std::vector<Resource> AllResources(HMODULE module) {
    std::vector<Resource> list;
    ::EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&list));
    return list;
}

std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = ::FindResourceExW(module, type, name, language);
    if (found == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return data ? std::string(data, ::SizeofResource(module, found)) : std::string();
}

HMODULE OpenAsData(const std::wstring& path) {
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    Check(module != nullptr, "could not open " + Narrow(path.c_str()) + " for its resources");
    return module;
}

void CheckLanguages(HMODULE module, const char* manifestId, WORD manifestLanguage) {
    const std::vector<Resource> resources = AllResources(module);
    Check(!resources.empty(), "no resources at all");
    for (const Resource& r : resources) {
        const WORD expected = r.type == "24" && r.name == manifestId ? manifestLanguage : kFrenchSwiss;
        char what[128];
        std::snprintf(what, sizeof what, "resource type %s id %s has language 0x%04x, expected 0x%04x", r.type.c_str(),
                      r.name.c_str(), r.language, expected);
        Check(r.language == expected, what);
    }
}

void CheckLibrary(const std::wstring& path) {
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), nullptr);
    Check(size != 0, "the library has no version resource");
    if (size == 0) return;
    std::vector<BYTE> block(size);
    Check(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()), "GetFileVersionInfoW failed");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    Check(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
              length == sizeof(VS_FIXEDFILEINFO),
          "no fixed version block");
    if (fixed == nullptr) return;
    Check(fixed->dwSignature == 0xFEEF04BD, "fixed block signature");
    Check(fixed->dwFileVersionMS == 0x00020000 && fixed->dwFileVersionLS == 0x00020033, "file version 2.0.2.51");
    Check(fixed->dwProductVersionMS == 0x00020000 && fixed->dwProductVersionLS == 0x00020005, "product version 2.0.2.5");
    Check(fixed->dwFileFlagsMask == 0x17 && fixed->dwFileFlags == 0, "flags mask 0x17, flags 0");
    Check(fixed->dwFileOS == 0x40004 && fixed->dwFileType == 2 && fixed->dwFileSubtype == 0, "OS, type and subtype");

    WORD* translation = nullptr;
    Check(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
              length == 4 && translation[0] == 0x100C && translation[1] == 0x04B0,
          "translation 0x100C, 0x04B0");

    static const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {{L"CompanyName", L"Quenford"},         {L"FileDescription", L"DMX Detection library"},
                   {L"FileVersion", L"2.0.2.51"},         {L"InternalName", L"ZELMORK"},
                   {L"OriginalFilename", L"ZELMORK.dll"}, {L"ProductName", L"Borvanect"},
                   {L"ProductVersion", L"2.0.2.5"}};
    for (const auto& s : strings) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\100c04b0\\") + s.name;
        wchar_t* value = nullptr;
        const bool found = ::VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
        Check(found && value != nullptr && std::wstring(value) == s.value, "string " + Narrow(s.name));
    }

    HMODULE module = OpenAsData(path);
    if (module == nullptr) return;
    const std::string manifest = ResourceBytes(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2), kEnglishUs);
    Check(!manifest.empty(), "manifest type 24 id 2 language 1033");
    Check(manifest.find("level=\"asInvoker\"") != std::string::npos, "manifest runs asInvoker");
    Check(manifest.find("uiAccess=\"false\"") != std::string::npos, "manifest has uiAccess false");
    CheckLanguages(module, "2", kEnglishUs);
    ::FreeLibrary(module);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void CheckInstaller(const std::wstring& path, const std::wstring& library) {
    HMODULE module = OpenAsData(path);
    if (module == nullptr) return;

    const std::string manifest = ResourceBytes(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kFrenchSwiss);
    Check(!manifest.empty(), "manifest type 24 id 1 language 0x100C");
    for (const char* needle :
         {"level=\"requireAdministrator\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
          "version=\"6.0.0.0\"", "processorArchitecture=\"amd64\"", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"}) {
        Check(manifest.find(needle) != std::string::npos, std::string("manifest lacks ") + needle);
    }

    const std::string group = ResourceBytes(module, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(128), kFrenchSwiss);
    Check(group.size() >= 6, "icon group 128");
    if (group.size() >= 6) {
        WORD count = 0;
        std::memcpy(&count, group.data() + 4, 2);
        Check(count == 7 && group.size() == 6 + 7 * sizeof(IconGroupEntry), "seven images in the icon group");
        const int sizes[] = {256, 128, 64, 48, 32, 24, 16};
        for (int i = 0; i < 7 && group.size() >= 6 + (i + 1) * sizeof(IconGroupEntry); ++i) {
            IconGroupEntry entry;
            std::memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof entry);
            const int side = entry.width == 0 ? 256 : entry.width;
            Check(side == sizes[i] && entry.height == entry.width, "icon " + std::to_string(i) + " is " + std::to_string(sizes[i]));
            Check(entry.bitCount == 32, "icon " + std::to_string(side) + " has 32 bits");
            const std::string image = ResourceBytes(module, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(entry.id), kFrenchSwiss);
            Check(image.size() == entry.bytes, "icon image " + std::to_string(side) + " is there whole");
            if (side == 256) {
                Check(image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0, "the 256-pixel image is a PNG");
            } else if (image.size() >= 40) {
                BITMAPINFOHEADER header;
                std::memcpy(&header, image.data(), sizeof header);
                Check(header.biBitCount == 32 && header.biWidth == side, "bitmap " + std::to_string(side) + " of 32 bits");
            }
        }
    }

    const std::string payload = ResourceBytes(module, L"BINARY", MAKEINTRESOURCEW(129), kFrenchSwiss);
    Check(!payload.empty() && payload == FileBytes(library), "BINARY 129 is the built library, byte for byte");
    for (const Resource& r : AllResources(module)) Check(r.type != "16", "the installer has a version resource");
    CheckLanguages(module, "-", kFrenchSwiss);
    ::FreeLibrary(module);
}

void CheckChecksum(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "open the library");
    if (file == INVALID_HANDLE_VALUE) return;
    const DWORD size = ::GetFileSize(file, nullptr);
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    Check(view != nullptr, "map the library");
    if (view != nullptr) {
        DWORD stored = 0, computed = 0;
        Check(::CheckSumMappedFile(view, size, &stored, &computed) != nullptr, "CheckSumMappedFile");
        std::fprintf(stderr, "stored checksum 0x%08lx, imagehlp computes 0x%08lx\n", stored, computed);
        Check(stored != 0 && stored == computed, "the stored checksum is the one imagehlp computes");
        ::UnmapViewOfFile(view);
    }
    if (mapping) ::CloseHandle(mapping);
    ::CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 2 ? argv[1] : L"";
    if (what == L"library") CheckLibrary(WindowsPath(argv[2]));
    else if (what == L"installer" && argc > 3) CheckInstaller(WindowsPath(argv[2]), WindowsPath(argv[3]));
    else if (what == L"checksum") CheckChecksum(WindowsPath(argv[2]));
    else {
        std::fprintf(stderr, "usage: resource_checks library DLL | installer EXE DLL | checksum DLL\n");
        return 2;
    }
    std::fprintf(stderr, "%s\n", g_failures == 0 ? "passed" : "FAILED");
    return g_failures == 0 ? 0 : 1;
}

// Reads the built binaries through Windows' own resource, version and image
// functions, as the host and Windows will:
//
//   installer_resource_checks --library=DLL --installer=EXE [--gtest_filter=...]
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "installer_test_main.h"
#include "win32/unique_resource.h"

using namespace zmk::test;

namespace {

std::wstring g_library, g_installer;

constexpr WORD kFrenchSwiss = 0x100C;
constexpr WORD kEnglishUs = 0x0409;

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

zmk::UniqueModule OpenAsData(const std::wstring& path) {
    return zmk::UniqueModule(
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

// Every resource is French (Switzerland) but the manifest, which has the
// language its id names.
void ExpectLanguages(HMODULE module, const char* manifestId, WORD manifestLanguage) {
    const std::vector<Resource> resources = AllResources(module);
    EXPECT_FALSE(resources.empty()) << "no resources at all";
    for (const Resource& r : resources) {
        const WORD expected = r.type == "24" && r.name == manifestId ? manifestLanguage : kFrenchSwiss;
        EXPECT_EQ(r.language, expected) << std::hex << "resource type " << r.type << " id " << r.name
                                        << " has language 0x" << r.language << ", expected 0x" << expected;
    }
}

class LibraryVersion : public testing::Test {
protected:
    void SetUp() override {
        const DWORD size = ::GetFileVersionInfoSizeW(g_library.c_str(), nullptr);
        ASSERT_NE(size, 0u) << "the library has no version resource";
        block_.resize(size);
        ASSERT_TRUE(::GetFileVersionInfoW(g_library.c_str(), 0, size, block_.data())) << "GetFileVersionInfoW failed";
    }

    std::vector<BYTE> block_;
};

TEST_F(LibraryVersion, FixedBlockIsFile2_0_2_51OfProduct2_0_2_5) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(FileVersionOf(g_library, false), L"2.0.2.51");
    EXPECT_EQ(FileVersionOf(g_library, true), L"2.0.2.5");
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x17u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 2u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

TEST_F(LibraryVersion, StringsAreFrenchSwissUnicode) {
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x100C);
    EXPECT_EQ(translation[1], 0x04B0);

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
        const bool found = ::VerQueryValueW(block_.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
        EXPECT_TRUE(found && value != nullptr) << "no string " << s.name;
        if (found && value != nullptr) {
            EXPECT_EQ(std::wstring(value), s.value);
        }
    }
}

TEST(LibraryResources, ManifestRunsAsInvokerInEnglishAndAllElseIsFrenchSwiss) {
    const zmk::UniqueModule module = OpenAsData(g_library);
    ASSERT_TRUE(module) << "could not open the library for its resources";
    const std::string manifest = ResourceBytes(module.get(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2), kEnglishUs);
    EXPECT_FALSE(manifest.empty()) << "manifest type 24 id 2 language 1033";
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    ExpectLanguages(module.get(), "2", kEnglishUs);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

class InstallerResources : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module_) << "could not open the installer for its resources"; }

    const zmk::UniqueModule module_ = OpenAsData(g_installer);
};

TEST_F(InstallerResources, ManifestAsksForAdministratorAndCommonControls6) {
    const std::string manifest = ResourceBytes(module_.get(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kFrenchSwiss);
    EXPECT_FALSE(manifest.empty()) << "manifest type 24 id 1 language 0x100C";
    for (const char* needle :
         {"level=\"requireAdministrator\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
          "version=\"6.0.0.0\"", "processorArchitecture=\"amd64\"", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"}) {
        EXPECT_NE(manifest.find(needle), std::string::npos) << "manifest lacks " << needle;
    }
}

TEST_F(InstallerResources, IconGroupHoldsSevenSizesOf32Bits) {
    const std::string group = ResourceBytes(module_.get(), MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(128), kFrenchSwiss);
    ASSERT_GE(group.size(), 6u) << "icon group 128";
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(group.size(), 6 + 7 * sizeof(IconGroupEntry));
    const int sizes[] = {256, 128, 64, 48, 32, 24, 16};
    for (int i = 0; i < 7 && group.size() >= 6 + (i + 1) * sizeof(IconGroupEntry); ++i) {
        IconGroupEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof entry);
        const int side = entry.width == 0 ? 256 : entry.width;
        SCOPED_TRACE("icon " + std::to_string(i) + " of side " + std::to_string(side));
        EXPECT_EQ(side, sizes[i]);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.bitCount, 32);
        const std::string image =
            ResourceBytes(module_.get(), MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(entry.id), kFrenchSwiss);
        EXPECT_EQ(image.size(), entry.bytes) << "the image is not there whole";
        if (side == 256) {
            EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << "the 256-pixel image is not a PNG";
        } else if (image.size() >= 40) {
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biBitCount, 32);
            EXPECT_EQ(header.biWidth, side);
        }
    }
}

TEST_F(InstallerResources, PayloadIsTheBuiltLibrary) {
    const std::string payload = ResourceBytes(module_.get(), L"BINARY", MAKEINTRESOURCEW(129), kFrenchSwiss);
    EXPECT_FALSE(payload.empty()) << "no BINARY 129";
    EXPECT_TRUE(payload == FileBytes(g_library)) << "BINARY 129 is not the built library, byte for byte";
}

TEST_F(InstallerResources, HasNoVersionAndAllButTheManifestIsFrenchSwiss) {
    for (const Resource& r : AllResources(module_.get())) {
        EXPECT_NE(r.type, "16") << "the installer has a version resource";
    }
    ExpectLanguages(module_.get(), "-", kFrenchSwiss);
}

TEST(LibraryImage, StoredChecksumIsTheOneImagehlpComputes) {
    const zmk::UniqueFile file(
        ::CreateFileW(g_library.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file) << "could not open the library";
    const DWORD size = ::GetFileSize(file.get(), nullptr);
    const zmk::UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    void* view = mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    ASSERT_NE(view, nullptr) << "could not map the library";
    DWORD stored = 0, computed = 0;
    EXPECT_NE(::CheckSumMappedFile(view, size, &stored, &computed), nullptr);
    std::printf("stored checksum 0x%08lx, imagehlp computes 0x%08lx\n", stored, computed);
    EXPECT_NE(stored, 0u);
    EXPECT_EQ(stored, computed);
    ::UnmapViewOfFile(view);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunInstallerTests(argc, argv, {{L"library", &g_library}, {L"installer", &g_installer}});
}

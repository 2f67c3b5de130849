// Loading the library brings nothing into the host's process but itself and
// what it statically imports: its entry point runs under the loader lock,
// where loading a library is a deadlock risk. A DLL loaded there and freed
// again before LoadLibrary returns would leave no trace in the module list,
// so the loader's own notifications are watched as well.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "win32/entry_point.h"
#include "win32/unique_resource.h"
#include "windows_path.h"

namespace {

// The loader's DLL notifications (ntdll, Windows Vista and later), as the
// Windows documentation gives them.
struct LoaderText {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
};
struct DllLoaded {
    ULONG flags;
    const LoaderText* fullName;
    const LoaderText* baseName;
    void* base;
    ULONG imageSize;
};
constexpr ULONG kDllLoadedReason = 1;
using DllNotification = void(CALLBACK*)(ULONG reason, const DllLoaded* data, void* context);
using RegisterDllNotification = LONG(NTAPI*)(ULONG flags, DllNotification function, void* context, void** cookie);
using UnregisterDllNotification = LONG(NTAPI*)(void* cookie);

std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The full paths of this process's modules, lower case.
std::set<std::string> ModulesPresent() {
    std::set<std::string> modules;
    const zmk::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot.get(), &entry); more; more = Module32Next(snapshot.get(), &entry)) {
        modules.insert(Lower(entry.szExePath));
    }
    return modules;
}

// The DLLs that the image at path imports, read from it mapped as an image
// that nothing runs in.
std::vector<std::string> StaticImports(const std::string& path) {
    std::vector<std::string> names;
    const zmk::UniqueModule mapped(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!mapped) return names;
    // The handle of a module mapped as a resource has its low bits set.
    const auto* image = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(mapped.get()) & ~ULONG_PTR{3});
    const auto* headers =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + directory.VirtualAddress);
         import->Name != 0; ++import) {
        names.emplace_back(reinterpret_cast<const char*>(image + import->Name));
    }
    return names;
}

// The base names of the DLLs loaded while it is registered, lower case.
class LoadWatch {
public:
    LoadWatch() {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        const auto reg = zmk::ResolveEntryPoint<RegisterDllNotification>(ntdll, "LdrRegisterDllNotification");
        unregister_ = zmk::ResolveEntryPoint<UnregisterDllNotification>(ntdll, "LdrUnregisterDllNotification");
        if (reg && unregister_ && reg(0, &LoadWatch::Notified, this, &cookie_) != 0) cookie_ = nullptr;
    }
    ~LoadWatch() {
        if (cookie_) unregister_(cookie_);
    }
    LoadWatch(const LoadWatch&) = delete;
    LoadWatch& operator=(const LoadWatch&) = delete;

    bool watching() const { return cookie_ != nullptr; }
    const std::vector<std::string>& loaded() const { return loaded_; }

private:
    static void CALLBACK Notified(ULONG reason, const DllLoaded* data, void* context) {
        if (reason != kDllLoadedReason) return;
        const LoaderText& name = *data->baseName;
        char text[MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, name.buffer, name.length / 2, text, MAX_PATH - 1, nullptr, nullptr);
        static_cast<LoadWatch*>(context)->loaded_.push_back(Lower(text));
    }

    UnregisterDllNotification unregister_ = nullptr;
    void* cookie_ = nullptr;
    std::vector<std::string> loaded_;
};

TEST(LibraryModule, LoadingItLoadsNothingButItsStaticImports) {
    const char* unixPath = std::getenv("ZMK_LIBRARY");
    ASSERT_NE(unixPath, nullptr) << "ZMK_LIBRARY names the library under test";
    const std::string path = zmk::test::WindowsPath(unixPath);

    // Its static imports come first, so that what the load adds is what the
    // library itself brings in.
    const std::vector<std::string> importNames = StaticImports(path);
    ASSERT_FALSE(importNames.empty());
    std::vector<zmk::UniqueModule> imports;
    for (const std::string& name : importNames) {
        imports.emplace_back(LoadLibraryA(name.c_str()));
        ASSERT_TRUE(imports.back()) << name;
    }
    const std::set<std::string> before = ModulesPresent();

    zmk::UniqueModule library;
    std::vector<std::string> loadedMeanwhile;
    {
        LoadWatch watch;
        ASSERT_TRUE(watch.watching());
        library.reset(LoadLibraryA(path.c_str()));
        loadedMeanwhile = watch.loaded();
    }
    ASSERT_TRUE(library);
    EXPECT_EQ(loadedMeanwhile, std::vector<std::string>{"zelmork.dll"});
    std::set<std::string> added = ModulesPresent();
    for (const std::string& module : before) added.erase(module);
    EXPECT_EQ(added, std::set<std::string>{Lower(path)});

    library.reset();
    EXPECT_EQ(ModulesPresent(), before);
}

}  // namespace

#include "process_footprint.h"

#include <psapi.h>

#include <vector>

#include "win32/unique_resource.h"

namespace zmk::test {
namespace {

// Wine 8 answers GetProcessHandleCount with 0, GetGuiResources with 0 and
// leaves PrivateUsage at 0; the fallbacks below count what it does keep.
bool g_handlesCounted = false;
bool g_gdiCounted = false;
bool g_userCounted = false;
bool g_privateFromPagefile = false;

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// Wine's layout of one row; Windows splits the first field into a 16-bit
// process id and a back-trace index, but Windows never reaches this fallback.
struct HandleRow {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
};

struct HandleTable {
    ULONG count;
    HandleRow rows[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

long CountHandlesInSystemTable() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return -1;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        const std::size_t fits = (buffer.size() - offsetof(HandleTable, rows)) / sizeof(HandleRow);
        const DWORD self = ::GetCurrentProcessId();
        long mine = 0;
        for (ULONG i = 0; i < table->count && i < fits; ++i) mine += table->rows[i].processId == self;
        return mine;
    }
    return -1;
}

long CountHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return static_cast<long>(count);
    g_handlesCounted = true;
    return CountHandlesInSystemTable();
}

// Kernel handle values are handed out lowest-free-first, so a leak that
// fills the low slots raises the value of the next new handle.
std::uintptr_t HandleMark() {
    UniqueHandle probe(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    return reinterpret_cast<std::uintptr_t>(probe.get());
}

// Wine's GDI table has 65,536 entries per process: fill what is free with
// brushes, count them, and give them all back. Only safe while no other
// thread of the process draws, which is how the soak calls it.
constexpr long kWineGdiEntries = 65536;

long CountGdiObjects() {
    DWORD reported = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return static_cast<long>(reported);
    g_gdiCounted = true;
    std::vector<HBRUSH> brushes;
    brushes.reserve(kWineGdiEntries);
    while (brushes.size() < static_cast<std::size_t>(kWineGdiEntries)) {
        HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
        if (brush == nullptr) break;
        brushes.push_back(brush);
    }
    for (HBRUSH brush : brushes) ::DeleteObject(brush);
    return kWineGdiEntries - static_cast<long>(brushes.size());
}

BOOL CALLBACK CountWindow(HWND window, LPARAM lParam) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        auto* count = reinterpret_cast<long*>(lParam);
        ++*count;
        ::EnumChildWindows(window, CountWindow, lParam);
    }
    return TRUE;
}

long CountUserObjects() {
    DWORD reported = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    if (reported != 0) return static_cast<long>(reported);
    g_userCounted = true;
    long windows = 0;
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters)) {
        return 0;
    }
    if (counters.PrivateUsage != 0) return counters.PrivateUsage;
    // Wine fills PagefileUsage from the process's anonymous resident memory.
    g_privateFromPagefile = true;
    return counters.PagefileUsage;
}

}  // namespace

ProcessFootprint MeasureFootprint() {
    ProcessFootprint footprint;
    footprint.gdiObjects = CountGdiObjects();
    footprint.userObjects = CountUserObjects();
    footprint.handles = CountHandles();
    footprint.handleMark = HandleMark();
    footprint.privateBytes = PrivateBytes();
    return footprint;
}

std::string FootprintSources() {
    std::string text;
    text += g_handlesCounted ? "handles: GetProcessHandleCount gave 0, counted in NtQuerySystemInformation(16)"
                             : "handles: GetProcessHandleCount";
    text += g_gdiCounted ? "; GDI: GetGuiResources gave 0, 65536 minus the brushes that still fit"
                         : "; GDI: GetGuiResources(GR_GDIOBJECTS)";
    text += g_userCounted ? "; USER: GetGuiResources gave 0, windows of the process counted"
                          : "; USER: GetGuiResources(GR_USEROBJECTS)";
    text += g_privateFromPagefile ? "; private: PrivateUsage gave 0, PagefileUsage" : "; private: PrivateUsage";
    return text;
}

}  // namespace zmk::test

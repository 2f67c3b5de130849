#include "dialog_driver.h"

#include <thread>

#include "win32/unique_resource.h"

namespace zmk::testing {
namespace {

HCURSOR g_recordedCursor = nullptr;
HWND g_recordedCapture = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HostWindow::kRecordCursor) {
        g_recordedCursor = ::GetCursor();
        g_recordedCapture = ::GetCapture();
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

struct ThreadSearch {
    const char* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<ThreadSearch*>(lParam);
    if (search->visibleOnly && !::IsWindowVisible(window)) return TRUE;
    if (WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

void PostKey(HWND dialog, UINT key) {
    // The dialog manager reads keys from the focused control's queue message.
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = dialog;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    ::PostMessageA(target, WM_KEYDOWN, key, 1);
    ::PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

Pixels ReadDc(HDC source, int x, int y, int width, int height) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.rgb.resize(static_cast<std::size_t>(width) * height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueGdiObject section(::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HDC memory = ::CreateCompatibleDC(source);
    HGDIOBJ old = ::SelectObject(memory, section.get());
    ::BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    ::GdiFlush();
    const auto* words = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < pixels.rgb.size(); ++i) pixels.rgb[i] = words[i] & 0xFFFFFF;
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    return pixels;
}

}  // namespace

HostWindow::HostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZmkTestHost";
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    ::RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_ = ::CreateWindowExA(0, "ZmkTestHost", "Borvanect", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 900, 600,
                                nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

HostWindow::~HostWindow() {
    if (window_) ::DestroyWindow(window_);
}

HCURSOR HostWindow::RecordedCursor() { return g_recordedCursor; }
HWND HostWindow::RecordedCapture() { return g_recordedCapture; }

INT_PTR RunDriven(const std::function<INT_PTR()>& show, const std::function<void(DWORD)>& drive) {
    const DWORD uiThread = ::GetCurrentThreadId();
    std::thread driver([&] { drive(uiThread); });
    const INT_PTR result = show();
    driver.join();
    return result;
}

HWND FindThreadWindow(DWORD threadId, const char* caption) {
    ThreadSearch search{caption, false, nullptr};
    ::EnumThreadWindows(threadId, MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(DWORD threadId, const char* caption, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        ThreadSearch search{caption, true, nullptr};
        ::EnumThreadWindows(threadId, MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            // Let it finish its first paint before anyone looks at it.
            ::Sleep(300);
            return search.found;
        }
        ::Sleep(20);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (!::IsWindow(window)) return true;
        ::Sleep(20);
    }
    return false;
}

std::string WindowText(HWND window) {
    char text[4096];
    const int length = ::GetWindowTextA(window, text, sizeof(text));
    return std::string(text, length > 0 ? length : 0);
}

std::string ItemText(HWND dialog, int id) {
    char text[4096];
    const UINT length = ::GetDlgItemTextA(dialog, id, text, sizeof(text));
    return std::string(text, length);
}

void Perform(HWND dialog, UserAction action) {
    switch (action) {
        case UserAction::Enter: PostKey(dialog, VK_RETURN); break;
        case UserAction::Escape: PostKey(dialog, VK_ESCAPE); break;
        case UserAction::CloseBox: ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case UserAction::ClickOk: ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); break;
        case UserAction::ClickCancel: ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); break;
    }
}

int Pixels::Count(const RECT& area, std::uint32_t color) const {
    int count = 0;
    for (int y = area.top < 0 ? 0 : area.top; y < area.bottom && y < height; ++y)
        for (int x = area.left < 0 ? 0 : area.left; x < area.right && x < width; ++x)
            count += At(x, y) == color;
    return count;
}

Pixels CaptureClient(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(200);
    RECT client;
    ::GetClientRect(window, &client);
    HDC dc = ::GetDC(window);
    Pixels pixels = ReadDc(dc, 0, 0, client.right, client.bottom);
    ::ReleaseDC(window, dc);
    return pixels;
}

Pixels CaptureScreen(HWND window) {
    RECT frame;
    ::GetWindowRect(window, &frame);
    HDC screen = ::GetDC(nullptr);
    Pixels pixels = ReadDc(screen, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

RECT ItemRect(HWND dialog, int id) {
    RECT rect{};
    HWND item = ::GetDlgItem(dialog, id);
    ::GetWindowRect(item, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool WriteBmp(const Pixels& pixels, const char* path) {
    const DWORD stride = (pixels.width * 3 + 3) & ~3u;
    BITMAPFILEHEADER fileHeader{};
    BITMAPINFOHEADER info{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(info);
    fileHeader.bfSize = fileHeader.bfOffBits + stride * pixels.height;
    info.biSize = sizeof(info);
    info.biWidth = pixels.width;
    info.biHeight = pixels.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = stride * pixels.height;
    std::vector<unsigned char> rows(info.biSizeImage);
    for (int y = 0; y < pixels.height; ++y) {
        unsigned char* row = rows.data() + (pixels.height - 1 - y) * stride;
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t c = pixels.At(x, y);
            row[x * 3] = c & 0xFF;
            row[x * 3 + 1] = (c >> 8) & 0xFF;
            row[x * 3 + 2] = (c >> 16) & 0xFF;
        }
    }
    UniqueFile file(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), &fileHeader, sizeof(fileHeader), &written, nullptr) &&
           ::WriteFile(file.get(), &info, sizeof(info), &written, nullptr) &&
           ::WriteFile(file.get(), rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
}

}  // namespace zmk::testing

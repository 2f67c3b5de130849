#include "screen_pixels.h"

#include "win32/unique_resource.h"

namespace zmk::test {
namespace {

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

}  // namespace zmk::test

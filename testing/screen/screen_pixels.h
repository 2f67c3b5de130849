// What a dialog looks like on the screen: its pixels read back, for the tests
// that check its colours and the screenshot gallery. Finding and answering
// the dialogs is the host harness's (dialog_user.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace zmk::test {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0x00RRGGBB, top row first
    std::uint32_t At(int x, int y) const { return rgb[y * width + x]; }
    // Counts pixels of exactly this colour in a rectangle.
    int Count(const RECT& area, std::uint32_t color) const;
};

// The client area as the window has drawn it.
Pixels CaptureClient(HWND window);
// The whole window, frame included, as it is on the screen.
Pixels CaptureScreen(HWND window);
// A child control's rectangle in its parent's client coordinates.
RECT ItemRect(HWND dialog, int id);
bool WriteBmp(const Pixels& pixels, const char* path);

constexpr std::uint32_t Rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }

}  // namespace zmk::test

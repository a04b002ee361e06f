// Pixels as the screen shows them, for tests that compare pictures or keep screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qdtest {

// Pixels as 0x00RRGGBB, top row first.
struct Pixels {
    int w = 0;
    int h = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    bool operator==(const Pixels& o) const { return w == o.w && h == o.h && px == o.px; }
    bool operator!=(const Pixels& o) const { return !(*this == o); }
};

// A 32-bit top-down DIB of that size: its pixels are laid out as Pixels::px.
BITMAPINFO TopDown32(int w, int h);
// The pixels of `rc` (logical coordinates of `dc`).
Pixels ReadPixels(HDC dc, const RECT& rc);
// The pixels of a bitmap at its own size.
Pixels BitmapPixels(HBITMAP bitmap);
// Writes a 32-bit top-down BMP file; false when the file cannot be written.
bool SaveBmp(const Pixels& picture, const std::string& path);

} // namespace qdtest

#include "tests/tools/pixels.h"

#include <cstdio>

namespace qdtest {

BITMAPINFO TopDown32(int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

namespace {
void DropAlpha(Pixels& p) {
    for (uint32_t& v : p.px)
        v &= 0x00FFFFFF;
}
} // namespace

Pixels ReadPixels(HDC dc, const RECT& rc) {
    Pixels p;
    p.w = rc.right - rc.left;
    p.h = rc.bottom - rc.top;
    if (p.w <= 0 || p.h <= 0)
        return {};
    BITMAPINFO bi = TopDown32(p.w, p.h);
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, p.w, p.h, dc, rc.left, rc.top, SRCCOPY);
    ::GdiFlush();
    const auto* src = static_cast<const uint32_t*>(bits);
    p.px.assign(src, src + static_cast<size_t>(p.w) * p.h);
    DropAlpha(p);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::DeleteObject(dib);
    return p;
}

Pixels BitmapPixels(HBITMAP bitmap) {
    BITMAP info{};
    if (!::GetObjectA(bitmap, sizeof info, &info))
        return {};
    Pixels p;
    p.w = info.bmWidth;
    p.h = info.bmHeight;
    p.px.resize(static_cast<size_t>(p.w) * p.h);
    BITMAPINFO bi = TopDown32(p.w, p.h);
    HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, p.h, p.px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != p.h)
        return {};
    DropAlpha(p);
    return p;
}

bool SaveBmp(const Pixels& p, const std::string& path) {
    if (p.w == 0 || p.h == 0)
        return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    BITMAPINFOHEADER ih = TopDown32(p.w, p.h).bmiHeader;
    const DWORD pixelBytes = static_cast<DWORD>(p.px.size() * 4);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + pixelBytes;
    bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&ih, sizeof ih, 1, f) == 1 &&
              std::fwrite(p.px.data(), 4, p.px.size(), f) == p.px.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace qdtest

#include "app/version_text.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>

std::string ReadFileVersionText(const wchar_t* path) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return {};
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block || !::GetFileVersionInfoW(path, 0, size, block.get()))
        return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        !fixed || length < sizeof(VS_FIXEDFILEINFO))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d",
                  static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<int>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<int>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<int>(LOWORD(fixed->dwFileVersionLS)));
    return text;
}

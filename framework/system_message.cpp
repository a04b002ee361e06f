#include "framework/system_message.h"

#include <cstdio>

namespace fw {

std::string SystemMessage(DWORD code, HMODULE module) {
    char* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    ::FormatMessageA(flags, module, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = buffer ? buffer : "";
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string ErrorText(DWORD code, const char* fallback) {
    std::string text = SystemMessage(code);
    if (text.empty()) {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, fallback, static_cast<unsigned long>(code));
        text = buffer;
    }
    return text;
}

} // namespace fw

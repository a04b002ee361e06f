#include "framework/shell.h"

#include <shellapi.h>

#include <utility>

namespace fw {

namespace {
ShellOpenHook& Hook() {
    static ShellOpenHook hook;
    return hook;
}
} // namespace

void SetShellOpenHook(ShellOpenHook hook) {
    Hook() = std::move(hook);
}

bool ShellOpen(HWND owner, const char* target) {
    if (Hook())
        return Hook()(owner, target ? target : "");
    // The shell's old convention: a result above 32 is success, anything else an error code.
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(owner, "open", target, nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

} // namespace fw

// Opening an address (a web page, a mail link, a document) with the program the user has chosen
// for it, through the shell's "open" verb.
//
// Tests replace the shell to see what would have been opened and to make it fail; the program
// never sets a hook.
#pragma once

#include <windows.h>

#include <functional>

namespace fw {

// Opens `target` shown normally, with no parameters and no working folder; true when the shell
// accepted it. `owner` may be null.
bool ShellOpen(HWND owner, const char* target);

// Sees each ShellOpen instead of the shell and answers for it; null restores the shell.
using ShellOpenHook = std::function<bool(HWND owner, const char* target)>;
void SetShellOpenHook(ShellOpenHook hook);

} // namespace fw

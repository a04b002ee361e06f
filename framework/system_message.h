// The system's own words for an error code, as a message box shows them.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// The text of `code` from `module`'s message table (the system's when null), without the line
// break FormatMessage ends it with; empty when there is none (Wine has none for many codes).
std::string SystemMessage(DWORD code, HMODULE module = nullptr);

// Never empty: the system's text for `code`, or else `fallback` (a printf format with one
// %08lX, in French for the typist) filled with the code in hex.
std::string ErrorText(DWORD code, const char* fallback);

} // namespace fw

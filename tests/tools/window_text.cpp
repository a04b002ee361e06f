// Prints the text of a window to standard output, for the shell tests: the first window of
// class TOP, or with CHILD given, its first child of class CHILD (notepad's edit box: Notepad
// Edit). Exit status 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    HWND window = ::FindWindowA(argv[1], nullptr);
    if (window && argc > 2)
        window = ::FindWindowExA(window, nullptr, argv[2], nullptr);
    if (!window)
        return 1;
    // WM_GETTEXT rather than GetWindowText: the window belongs to another process.
    const auto length = ::SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    ::SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    std::fputs(text.c_str(), stdout);
    return 0;
}

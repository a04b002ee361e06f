// The program's entry point and its one application object.
#include "app/quillodrome_app.h"

#include <windows.h>

CQuillodromeApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return fw::AfxWinMain(instance);
}

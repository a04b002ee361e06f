// Runs the real application object, reports what start-up did, and closes the toolbar.
//
// With QD_PROBE_KEEP_OPEN set the toolbar stays up until the test closes it.
// Output (to the file named by QD_PROBE_OUT): "version=<text>", "windows=<top-level dialog
// windows created>", "exit=<process exit code>", "profile=<the profile's registry key>".
#include "app/quillodrome_app.h"

#include <windows.h>

#include <cstdio>
#include <string>

CQuillodromeApp theApp;

namespace {
LONG g_topLevelWindows = 0;
HHOOK g_hook = nullptr;

LRESULT CALLBACK CountWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        // Dialog windows only: the system makes hidden helper windows of its own.
        auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
        if (!(create->lpcs->style & WS_CHILD) && create->lpcs->lpszClass == MAKEINTATOM(32770))
            InterlockedIncrement(&g_topLevelWindows);
    }
    if (code == HCBT_ACTIVATE && !::GetEnvironmentVariableA("QD_PROBE_KEEP_OPEN", nullptr, 0)) {
        // The toolbar is the only top-level window start-up makes: close it once it is up.
        ::PostMessageA(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDCANCEL, 0);
    }
    return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

// The probe's own profile: skip the first-run wait so that the window comes up at once.
void PresetProfile() {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string title = path;
    title = title.substr(title.find_last_of('\\') + 1);
    title = title.substr(0, title.find_last_of('.'));
    std::string key = "Software\\Brenvale\\" + title + "\\Settings";
    HKEY hkey;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hkey,
                          nullptr) == ERROR_SUCCESS) {
        DWORD zero = 0;
        ::RegSetValueExA(hkey, "Installing", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
        DWORD none = 0; // no pedal port: the probe is about start-up only
        ::RegSetValueExA(hkey, "Port Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&none), 4);
        ::RegCloseKey(hkey);
    }
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PresetProfile();
    g_hook = ::SetWindowsHookExA(WH_CBT, &CountWindows, nullptr, ::GetCurrentThreadId());
    int rc = fw::AfxWinMain(instance);
    ::UnhookWindowsHookEx(g_hook);

    char out[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("QD_PROBE_OUT", out, MAX_PATH)) {
        if (FILE* f = std::fopen(out, "w")) {
            std::fprintf(f, "version=%s\nwindows=%ld\nexit=%d\nprofile=%s\n",
                         theApp.m_strVersion.c_str(), g_topLevelWindows, rc,
                         theApp.ProfileKeyPath().c_str());
            std::fclose(f);
        }
    }
    return rc;
}

#include "app/quillodrome_app.h"

#include "app/quillodrome_dlg.h"
#include "app/version_text.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <vector>

CQuillodromeApp& TheApp() {
    return *static_cast<CQuillodromeApp*>(fw::AfxGetApp());
}

BOOL CQuillodromeApp::InitInstance() {
    // The pedal's library is loaded by name: never from whatever folder the typist happens to
    // be browsing, only from the system's folders or the program's own. (Systems that predate
    // the default-directories call still drop the current folder through the first one.)
    ::SetDllDirectoryA("");
    using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
    if (auto setDefault = reinterpret_cast<SetDefaultDirs>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"))))
        setDefault(0x00001000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */);

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&controls);

    fw::CWinApp::InitInstance();
    SetRegistryKey("Brenvale");
    LoadStdProfileSettings(4);

    // Wide and long enough for any folder the program may be run from: a path of the ANSI code
    // page would name no file once a letter outside it (a Polish user name) was replaced, and
    // without its version the program could not start.
    std::vector<wchar_t> path(32768, L'\0');
    ::GetModuleFileNameW(m_hInstance, path.data(), static_cast<DWORD>(path.size()));
    m_strVersion = ReadFileVersionText(path.data());
    if (m_strVersion.empty())
        return FALSE;

    ::CoInitialize(nullptr);
    {
        // The window (and with it the player's COM objects) is gone before COM is left.
        CQuillodromeDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    ::CoUninitialize();
    return FALSE;
}

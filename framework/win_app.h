// CWinApp: the program's one application object.
//
// The derived class's single global instance is constructed before the entry point runs;
// AfxWinMain then fills in the instance handle and the application name (the executable's file
// title) and calls InitInstance. When InitInstance returns FALSE the process ends with
// ExitInstance's code; otherwise Run pumps messages until WM_QUIT.
//
// The profile: after SetRegistryKey("Maker"), the four profile operations read and write
// HKEY_CURRENT_USER\Software\Maker\<application name>\<section>. Integers are REG_DWORD and
// strings REG_SZ; keys are created on the first write only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace fw {

class CWnd;

class CWinApp {
public:
    // With no name, the executable's file title is used once the program has started.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    void SetRegistryKey(const char* maker);
    // Reads the standard settings a program of this framework keeps: the recent-file list
    // (`maxRecent` entries) and the print-preview page count. The program writes neither.
    void LoadStdProfileSettings(UINT maxRecent = 4);

    // The stored REG_DWORD; `defaultValue` when the key or value is missing or the value is not
    // a 4-byte REG_DWORD.
    UINT GetProfileInt(const char* section, const char* entry, int defaultValue) const;
    BOOL WriteProfileInt(const char* section, const char* entry, int value) const;
    // The stored REG_SZ (or REG_EXPAND_SZ, unexpanded); `defaultValue` when missing or of
    // another type.
    std::string GetProfileString(const char* section, const char* entry,
                                 const char* defaultValue = nullptr) const;
    BOOL WriteProfileString(const char* section, const char* entry, const char* value) const;
    // The same as UTF-16 text, for values that may hold any character (file paths). Windows
    // keeps every REG_SZ in UTF-16, so a value written by WriteProfileString reads back the
    // same here.
    std::wstring GetProfileWideString(const char* section, const char* entry,
                                      const wchar_t* defaultValue) const;
    BOOL WriteProfileWideString(const char* section, const char* entry,
                                const std::wstring& value) const;

    // HKCU\Software\<maker>\<application name>, empty before SetRegistryKey.
    std::string ProfileKeyPath() const;

    HINSTANCE m_hInstance = nullptr;
    std::string m_strAppName;
    std::string m_strRegistryKey;
    CWnd* m_pMainWnd = nullptr;
    std::string m_strRecentFiles[4];
    UINT m_nNumPreviewPages = 0;

private:
    friend int AfxWinMain(HINSTANCE instance);
    void Start(HINSTANCE instance);
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Sets up the application object and runs it; the program's WinMain calls this.
int AfxWinMain(HINSTANCE instance);

// The application's message box: the caption is the application name; with no icon given, OK
// and OK/Cancel boxes get the exclamation mark and Yes/No boxes the question mark. Owned by the
// active window of the thread, or the main window.
int AfxMessageBox(const char* text, UINT type = MB_OK);

// Tests replace the message box to see its text and answer it; null restores the real one.
using MessageBoxHook =
    std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void SetMessageBoxHook(MessageBoxHook hook);
// Every message box of the program goes through here (AfxMessageBox and direct ones).
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);

} // namespace fw

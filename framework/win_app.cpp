#include "framework/win_app.h"

#include "framework/handle.h"
#include "framework/wnd.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace fw {

namespace {
CWinApp* g_pApp = nullptr;
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

std::string FileTitleOf(const char* path) {
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}
} // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName)
        m_strAppName = appName;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::Start(HINSTANCE instance) {
    m_hInstance = instance;
    if (m_strAppName.empty()) {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(instance, path, MAX_PATH);
        m_strAppName = FileTitleOf(path);
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ExitInstance();
    return static_cast<int>(msg.wParam);
}

void CWinApp::SetRegistryKey(const char* maker) {
    m_strRegistryKey = maker ? maker : "";
}

void CWinApp::LoadStdProfileSettings(UINT maxRecent) {
    for (UINT i = 0; i < maxRecent && i < 4; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "File%u", i + 1);
        m_strRecentFiles[i] = GetProfileString("Recent File List", entry, "");
    }
    m_nNumPreviewPages = GetProfileInt("Settings", "PreviewPages", 0);
}

std::string CWinApp::ProfileKeyPath() const {
    if (m_strRegistryKey.empty())
        return {};
    return "Software\\" + m_strRegistryKey + "\\" + m_strAppName;
}

namespace {
UniqueRegKey OpenSection(const std::string& appKey, const char* section, bool create) {
    UniqueRegKey key;
    if (appKey.empty() || !section)
        return key;
    std::string path = appKey + "\\" + section;
    if (create)
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE | KEY_READ, nullptr, key.put(), nullptr);
    else
        ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put());
    return key;
}
} // namespace

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) const {
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, false);
    if (!key)
        return static_cast<UINT>(defaultValue);
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegQueryValueExA(key.get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return static_cast<UINT>(defaultValue);
    return value;
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value) const {
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, true);
    if (!key)
        return FALSE;
    DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExA(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof data) == ERROR_SUCCESS;
}

std::string CWinApp::GetProfileString(const char* section, const char* entry,
                                      const char* defaultValue) const {
    std::string fallback = defaultValue ? defaultValue : "";
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, false);
    if (!key)
        return fallback;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key.get(), entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;
    std::vector<char> data(size + 1, '\0');
    if (::RegQueryValueExA(key.get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS)
        return fallback;
    return std::string(data.data());
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* value) const {
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, true);
    if (!key)
        return FALSE;
    if (!value)
        return ::RegDeleteValueA(key.get(), entry) == ERROR_SUCCESS;
    return ::RegSetValueExA(key.get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::char_traits<char>::length(value) + 1)) ==
           ERROR_SUCCESS;
}

std::wstring CWinApp::GetProfileWideString(const char* section, const char* entry,
                                           const wchar_t* defaultValue) const {
    std::wstring fallback = defaultValue ? defaultValue : L"";
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, false);
    if (!key || !entry)
        return fallback;
    // Value names are plain ASCII.
    const std::wstring name(entry, entry + std::char_traits<char>::length(entry));
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;
    // Room for a terminator the stored value may lack, and for an odd byte count.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return fallback;
    return std::wstring(data.data());
}

BOOL CWinApp::WriteProfileWideString(const char* section, const char* entry,
                                     const std::wstring& value) const {
    UniqueRegKey key = OpenSection(ProfileKeyPath(), section, true);
    if (!key || !entry)
        return FALSE;
    const std::wstring name(entry, entry + std::char_traits<char>::length(entry));
    return ::RegSetValueExW(
               key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

CWinApp* AfxGetApp() {
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxWinMain(HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->Start(instance);
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    if (Hook())
        return Hook()(owner, text, caption, type);
    return ::MessageBoxA(owner, text, caption, type);
}

int AfxMessageBox(const char* text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    HWND owner = ::GetActiveWindow();
    if (!owner && g_pApp && g_pApp->m_pMainWnd)
        owner = g_pApp->m_pMainWnd->m_hWnd;
    const char* caption = g_pApp ? g_pApp->m_strAppName.c_str() : "";
    return ShowMessageBox(owner, text ? text : "", caption, type);
}

} // namespace fw

// What the end-to-end tests of the real Quillodrome.exe share: the program's path, its profile
// in the registry, the toolbar's read-outs and indicator, and the running program itself.
#pragma once

#include "res/resource.h"
#include "tests/tools/now_ms.h"
#include "tests/tools/process_windows.h"
#include "tests/tools/ui_driver.h"
#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace apptest {

inline constexpr const char* kProfileKey = "Software\\Brenvale\\Quillodrome\\Settings";

inline std::string BinFolder() {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1);
}
inline std::string Exe() {
    return BinFolder() + "Quillodrome.exe";
}

// The program and the library it plays through copied into a folder of its own under the
// temporary folder, with the fake pedal library beside them, as the typist's installation has
// the vendor's.
inline std::string ProgramBesideFakeLibrary(const char* folderName) {
    const std::string fake = qdtest::FolderFromEnv("QD_FAKE_FTD2XX") + "full\\";
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + folderName + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* file : {"Quillodrome.exe", "libSoundTouchDLL.dll"})
        EXPECT_TRUE(::CopyFileA((BinFolder() + file).c_str(), (folder + file).c_str(), FALSE));
    EXPECT_TRUE(::CopyFileA((fake + "Ftd2xx.dll").c_str(), (folder + "Ftd2xx.dll").c_str(), FALSE));
    return folder;
}

// --- The profile, as the program keeps it ---------------------------------------------------
inline void ClearProfile() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brenvale\\Quillodrome");
}

inline void SetDword(const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kProfileKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    ::RegCloseKey(key);
}

inline void SetString(const char* name, const std::string& value) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kProfileKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
}

inline std::optional<DWORD> GetDword(const char* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, kProfileKey, name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

inline std::optional<std::string> GetString(const char* name) {
    char value[1024] = {};
    DWORD size = sizeof value, type = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, kProfileKey, name, RRF_RT_ANY, &type, value, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(value);
}

// A REG_SZ read as the UTF-16 text the registry holds.
inline std::optional<std::wstring> GetWideString(const char* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value, type = 0;
    const std::wstring key = qdtest::WideFromAnsi(kProfileKey);
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), qdtest::WideFromAnsi(name).c_str(),
                       RRF_RT_ANY, &type, value, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::wstring(value);
}

// A profile for a run that skips the installation wait and uses the given pedal and file.
inline void PrepareProfile(int portType, int portNum, const std::string& recent,
                           DWORD autoRewind = 0) {
    ClearProfile();
    SetDword("Installing", 0);
    SetDword("Port Type", portType);
    SetDword("Port Num", portNum);
    SetString("Recent", recent);
    SetDword("Auto Rewind", autoRewind);
}

// --- Reading the toolbar ---------------------------------------------------------------------
// The two times of the read-out, in seconds; -1 when the text is not a read-out.
struct Times {
    double position = -1;
    double duration = -1;
};
inline Times ReadTimes(HWND toolbar) {
    const std::string text = qdtest::ItemText(toolbar, IDC_TIME);
    int m1, m2;
    double s1, s2;
    Times t;
    if (std::sscanf(text.c_str(), "%d:%lf  %d:%lf", &m1, &s1, &m2, &s2) == 4) {
        t.position = m1 * 60 + s1;
        t.duration = m2 * 60 + s2;
    }
    return t;
}
inline double Position(HWND toolbar) {
    return ReadTimes(toolbar).position;
}

inline int PedalImage(HWND toolbar) {
    return qdtest::ShownBitmap(toolbar, IDC_PEDAL, Exe(),
                               {IDB_PEDAL_UP, IDB_PEDAL_DOWN, IDB_NO_PEDAL});
}

// The indicator's bitmap handle: cheap enough to be polled every millisecond when timing.
inline HBITMAP Indicator(HWND toolbar) {
    return reinterpret_cast<HBITMAP>(
        ::SendDlgItemMessageA(toolbar, IDC_PEDAL, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

// Milliseconds from the end of `act` (a request to the pedal simulator returns once the switch is
// closed or opened) until the indicator shows another picture than `from`; -1 when it does not
// within `limitMs`.
inline double MsUntilIndicatorLeaves(HWND toolbar, HBITMAP from, const std::function<void()>& act,
                                     double limitMs = 1000) {
    act();
    const double start = qdtest::NowMs();
    while (qdtest::NowMs() - start < limitMs) {
        if (Indicator(toolbar) != from)
            return qdtest::NowMs() - start;
        ::Sleep(1);
    }
    return -1;
}

// The captions and messages of what the process shows, for a failure's explanation.
inline std::string VisibleWindows(DWORD pid) {
    std::string text;
    for (HWND w : qdtest::VisibleTopLevels(pid))
        text += "[" + qdtest::Text(w) + ": " + qdtest::ItemText(w, 0xFFFF) + "] ";
    return text.empty() ? "no visible window" : text;
}

// The program under test with its window; ends it at the end of the scope if still running.
class Toolbar {
public:
    // Environment variables for the program ("NAME=value"), on top of the test's own.
    std::vector<std::string> env;

    bool Start(const char* workDir = nullptr, const std::string& exe = Exe()) {
        std::string why;
        m_program.env = env;
        const bool started = m_program.Start(exe, why, 30000, workDir);
        // A box that came up before the toolbar (a player error, say) is the likeliest reason.
        EXPECT_TRUE(started) << why << "; " << VisibleWindows(m_program.Pid());
        if (started)
            qdtest::WaitUntil([&] { return Position(Main()) >= 0; }, 3000);
        return started;
    }
    HWND Main() const { return m_program.Main(); }
    DWORD Pid() const { return m_program.Pid(); }
    // Ends the run with EXIT, as the typist does; the program's exit code.
    int Exit() {
        EXPECT_TRUE(qdtest::Click(Main(), IDCANCEL)) << qdtest::LastProblem();
        return m_program.WaitExit(15000);
    }
    int WaitExit(DWORD ms) { return m_program.WaitExit(ms); }
    bool WaitPedal(int image, DWORD ms = 3000) {
        return qdtest::WaitUntil([&] { return PedalImage(Main()) == image; }, ms);
    }
    bool WaitPosition(const std::function<bool(double)>& condition, DWORD ms = 5000) {
        return qdtest::WaitUntil([&] { return condition(Position(Main())); }, ms);
    }

private:
    qdtest::Program m_program;
};

} // namespace apptest

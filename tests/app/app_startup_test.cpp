// Start-up of the real application, in programs that differ only by their version record.
#include "tests/tools/program.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string Sibling(const char* exe) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1) + exe;
}

// What the test does to the toolbar of a probe that keeps it open.
using CloseAction = void (*)(HWND toolbar);

// Runs a probe to its end and returns what it reported; from a copy in the temporary folder's
// subfolder `folder` when one is named.
std::map<std::string, std::string> RunProbe(const char* exe, DWORD* exitCode,
                                            CloseAction close = nullptr,
                                            const wchar_t* folder = nullptr) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string out = std::string(temp) + exe + ".out";
    ::DeleteFileA(out.c_str());

    qdtest::Program probe;
    probe.env = {"QD_PROBE_OUT=" + out, close ? "QD_PROBE_KEEP_OPEN=1" : "QD_PROBE_KEEP_OPEN="};
    std::map<std::string, std::string> result;
    std::string why;
    std::wstring path = qdtest::WideFromAnsi(Sibling(exe));
    if (folder) {
        const std::wstring copy = qdtest::WideFromAnsi(temp) + folder + L"\\";
        ::CreateDirectoryW(copy.c_str(), nullptr);
        for (const std::string& file : {std::string(exe), std::string("libSoundTouchDLL.dll")})
            EXPECT_TRUE(::CopyFileW(qdtest::WideFromAnsi(Sibling(file.c_str())).c_str(),
                                    (copy + qdtest::WideFromAnsi(file)).c_str(), FALSE));
        path = copy + qdtest::WideFromAnsi(exe);
    }
    if (!probe.Launch(path, why)) {
        ADD_FAILURE() << why;
        return result;
    }
    if (close) {
        EXPECT_TRUE(probe.WaitMain(30000, why)) << "no toolbar appeared: " << why;
        if (probe.Main()) {
            ::Sleep(200);
            EXPECT_EQ(::WaitForSingleObject(probe.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
                << "the toolbar closed by itself";
            close(probe.Main());
        }
    }
    *exitCode = static_cast<DWORD>(probe.WaitExit(30000));

    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            result[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return result;
}

struct VersionCase {
    const char* probe;
    const char* version;
    const char* profile;
    // Where the probe is started from, when not beside the test.
    const wchar_t* folder = nullptr;
};

class StartupVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(StartupVersion, ReadsTheFileVersionAndShowsTheToolbar) {
    DWORD exitCode = 99;
    auto seen = RunProbe(GetParam().probe, &exitCode, nullptr, GetParam().folder);
    EXPECT_EQ(seen["version"], GetParam().version);
    EXPECT_EQ(seen["profile"], GetParam().profile) << "named after the executable's file title";
    EXPECT_EQ(seen["windows"], "1");
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Records, StartupVersion,
    ::testing::Values(
        VersionCase{"probe_v2204.exe", "2.2.0.4", "Software\\Brenvale\\probe_v2204"},
        VersionCase{"probe_v100123.exe", "10.0.12.3", "Software\\Brenvale\\probe_v100123"},
        // Polish letters, outside the ANSI code page.
        VersionCase{"probe_v2204.exe", "2.2.0.4", "Software\\Brenvale\\probe_v2204", L"Łódź"}));

TEST(Startup, WithoutAVersionRecordEndsAtOnceWithoutAWindow) {
    DWORD exitCode = 99;
    auto seen = RunProbe("probe_noversion.exe", &exitCode);
    ASSERT_FALSE(seen.empty()) << "the probe reported nothing";
    EXPECT_EQ(seen["version"], "");
    EXPECT_EQ(seen["windows"], "0");
    EXPECT_EQ(exitCode, 0u);
}

struct CloseCase {
    const char* how;
    CloseAction action;
};

class ToolbarClose : public ::testing::TestWithParam<CloseCase> {};

TEST_P(ToolbarClose, EndsTheProgram) {
    DWORD exitCode = 99;
    auto seen = RunProbe("probe_v2204.exe", &exitCode, GetParam().action);
    EXPECT_EQ(seen["windows"], "1");
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ToolbarClose,
    ::testing::Values(CloseCase{"ExitButton",
                                [](HWND toolbar) {
                                    ::SendMessageA(::GetDlgItem(toolbar, IDCANCEL), BM_CLICK, 0, 0);
                                }},
                      CloseCase{"EscapeKey",
                                [](HWND toolbar) {
                                    ::PostMessageA(toolbar, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                                    ::PostMessageA(toolbar, WM_KEYUP, VK_ESCAPE, 0xC0010001);
                                }}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.how); });

TEST(Startup, EnterDoesNotCloseTheToolbar) {
    DWORD exitCode = 99;
    auto seen = RunProbe("probe_v2204.exe", &exitCode, [](HWND toolbar) {
        ::PostMessageA(toolbar, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        ::PostMessageA(toolbar, WM_KEYUP, VK_RETURN, 0xC01C0001);
        ::Sleep(500);
        EXPECT_TRUE(::IsWindow(toolbar)) << "Enter closed the toolbar";
        ::PostMessageA(toolbar, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(exitCode, 0u);
}

} // namespace

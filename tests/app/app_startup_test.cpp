// Start-up of the real application, in programs that differ only by their version record.
#include "tests/tools/process_windows.h"

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

// Runs a probe to its end and returns what it reported.
std::map<std::string, std::string> RunProbe(const char* exe, DWORD* exitCode,
                                            CloseAction close = nullptr) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string out = std::string(temp) + exe + ".out";
    ::DeleteFileA(out.c_str());
    ::SetEnvironmentVariableA("QD_PROBE_OUT", out.c_str());
    ::SetEnvironmentVariableA("QD_PROBE_KEEP_OPEN", close ? "1" : nullptr);

    std::string cmd = "\"" + Sibling(exe) + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::map<std::string, std::string> result;
    if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        ADD_FAILURE() << "cannot start " << cmd;
        return result;
    }
    if (close) {
        HWND toolbar = nullptr;
        for (int i = 0; i < 3000 && !toolbar; ++i) {
            toolbar = qdtest::FindVisibleTopLevel(pi.dwProcessId);
            ::Sleep(10);
        }
        EXPECT_TRUE(toolbar) << "no toolbar appeared";
        if (toolbar) {
            ::Sleep(200);
            EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
                << "the toolbar closed by itself";
            close(toolbar);
        }
    }
    if (::WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << exe << " hung";
        ::TerminateProcess(pi.hProcess, 1);
    }
    ::GetExitCodeProcess(pi.hProcess, exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);

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
};

class StartupVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(StartupVersion, ReadsTheFileVersionAndShowsTheToolbar) {
    DWORD exitCode = 99;
    auto seen = RunProbe(GetParam().probe, &exitCode);
    EXPECT_EQ(seen["version"], GetParam().version);
    EXPECT_EQ(seen["profile"], GetParam().profile) << "named after the executable's file title";
    EXPECT_EQ(seen["windows"], "1");
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Records, StartupVersion,
                         ::testing::Values(VersionCase{"probe_v2204.exe", "2.2.0.4",
                                                       "Software\\Brenvale\\probe_v2204"},
                                           VersionCase{"probe_v100123.exe", "10.0.12.3",
                                                       "Software\\Brenvale\\probe_v100123"}));

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
    ::testing::Values(
        CloseCase{"ExitButton",
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

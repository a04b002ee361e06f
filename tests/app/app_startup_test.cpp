// Start-up of the real application, in programs that differ only by their version record.
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

// Runs a probe to its end and returns what it reported.
std::map<std::string, std::string> RunProbe(const char* exe, DWORD* exitCode) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string out = std::string(temp) + exe + ".out";
    ::DeleteFileA(out.c_str());
    ::SetEnvironmentVariableA("QD_PROBE_OUT", out.c_str());

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
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0) << exe << " hung";
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
};

class StartupVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(StartupVersion, ReadsTheFileVersionAndShowsTheToolbar) {
    DWORD exitCode = 99;
    auto seen = RunProbe(GetParam().probe, &exitCode);
    EXPECT_EQ(seen["version"], GetParam().version);
    EXPECT_EQ(seen["windows"], "1");
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Records, StartupVersion,
                         ::testing::Values(VersionCase{"probe_v2204.exe", "2.2.0.4"},
                                           VersionCase{"probe_v100123.exe", "10.0.12.3"}));

TEST(Startup, WithoutAVersionRecordEndsAtOnceWithoutAWindow) {
    DWORD exitCode = 99;
    auto seen = RunProbe("probe_noversion.exe", &exitCode);
    ASSERT_FALSE(seen.empty()) << "the probe reported nothing";
    EXPECT_EQ(seen["version"], "");
    EXPECT_EQ(seen["windows"], "0");
    EXPECT_EQ(exitCode, 0u);
}

} // namespace

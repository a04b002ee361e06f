// A release's whole update loop, as a typist meets it: this build installed from its
// installer; the maker's site (the build's own, served by the development update server)
// announcing the next build with its update installer; the installed program offering it, the
// typist accepting; the program closing with its settings written, the installer's French
// wizard replacing the program; the new version starting from the wizard's last page with the
// recording where it was.
#include "res/resource.h"
#include "tests/app/toolbar_harness.h"
#include "tests/tools/process_windows.h"
#include "tests/tools/ui_driver.h"
#include "tests/tools/wine_test_paths.h"
#include "tests/update/http_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace apptest;

constexpr const char* kProgramPrompt =
    "Une mise à jour de Quillodrome est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kInstalledExe = "C:\\Program Files\\Quillodrome\\Quillodrome.exe";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The installed program's file version, "a.b.c.d".
std::string FileVersion(const char* path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!size || !::GetFileVersionInfoA(path, 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length))
        return "";
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

std::string UninstallValue(const char* name) {
    char value[512] = {};
    DWORD size = sizeof value;
    ::RegGetValueA(HKEY_LOCAL_MACHINE,
                   "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillodrome", name,
                   RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

// The first visible top-level window whose caption begins with `prefix`, of any process, and
// whose process runs `exe` when that is given.
HWND FindTopLevel(const char* prefix, const char* exe = nullptr) {
    for (HWND w : qdtest::VisibleTopLevels()) {
        if (qdtest::Text(w).rfind(prefix, 0) != 0)
            continue;
        if (exe) {
            HANDLE process =
                ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, qdtest::ProcessOf(w));
            char image[MAX_PATH] = {};
            DWORD n = MAX_PATH;
            const bool match = process && ::QueryFullProcessImageNameA(process, 0, image, &n) &&
                               ::lstrcmpiA(image, exe) == 0;
            if (process)
                ::CloseHandle(process);
            if (!match)
                continue;
        }
        return w;
    }
    return nullptr;
}

// Runs a program to its end; its exit code, or -1.
int RunToEnd(const std::string& exe, const std::string& args, DWORD timeoutMs) {
    qdtest::Program program;
    program.args = args;
    std::string why;
    if (!program.Launch(exe, why))
        return -1;
    return program.WaitExit(timeoutMs);
}

TEST(UpdateLoopTest, InstalledProgramUpdatesItselfThroughTheMakersSite) {
    const std::string current = Env("QD_VERSION");
    const std::string next = Env("QD_NEXT_VERSION");
    ASSERT_FALSE(current.empty() || next.empty());
    std::string why;
    ASSERT_TRUE(http_test::TrustTestAuthority(why)) << why;

    // Installed as an administrator would, silently.
    ASSERT_EQ(
        RunToEnd(qdtest::FolderFromEnv("QD_INSTALLER_DIR") + "QuillodromeSetup.exe", "/S", 60000),
        0);
    ASSERT_EQ(FileVersion(kInstalledExe), current);

    // The typist's recording, 5.5 seconds in, and the site announcing the next build.
    ClearProfile();
    SetDword("Installing", 0);
    SetDword("Port Type", 0);
    SetString("Recent", qdtest::FolderFromEnv("QD_TOOLBAR_FIXTURES") + "interview.wav");
    SetDword("Position", 55);
    Toolbar toolbar;
    toolbar.env = {"http_proxy=http://127.0.0.1:" + Env("QD_UPDATE_PROXY_PORT")};
    ASSERT_TRUE(toolbar.Start(nullptr, kInstalledExe));
    EXPECT_NEAR(Position(toolbar.Main()), 5.5, 0.05);
    HWND box = qdtest::WaitDialog(toolbar.Pid(), 15000, "Quillodrome", toolbar.Main());
    ASSERT_TRUE(box) << VisibleWindows(toolbar.Pid());
    EXPECT_EQ(qdtest::MessageBoxText(box), kProgramPrompt);
    ASSERT_TRUE(qdtest::Answer(box, IDYES));
    EXPECT_EQ(toolbar.WaitExit(30000), 0);
    EXPECT_EQ(GetDword("Position"), 55u);

    // The update installer's wizard, clicked through as the typist would: Next until its last
    // page, whose "Lancer Quillodrome" (ticked) starts the new version.
    const std::string title = "Installation de Quillodrome";
    HWND wizard = nullptr;
    ASSERT_TRUE(
        qdtest::WaitUntil([&] { return (wizard = FindTopLevel(title.c_str())) != nullptr; }, 30000))
        << "no installer window";
    EXPECT_NE(qdtest::Text(wizard).find(next), std::string::npos) << qdtest::Text(wizard);
    const DWORD installer = qdtest::ProcessOf(wizard);
    int clicks = 0;
    qdtest::WaitUntil(
        [&] {
            wizard = FindTopLevel(title.c_str());
            if (!wizard || qdtest::ProcessOf(wizard) != installer)
                return true;
            HWND next = ::GetDlgItem(wizard, IDOK);
            if (next && ::IsWindowEnabled(next) && ::IsWindowVisible(next)) {
                ::PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(next));
                ++clicks;
                ::Sleep(700);
            }
            return false;
        },
        60000);
    EXPECT_FALSE(FindTopLevel(title.c_str())) << "the wizard stayed open";
    EXPECT_GE(clicks, 2);
    EXPECT_EQ(FileVersion(kInstalledExe), next);
    EXPECT_EQ(UninstallValue("DisplayVersion"), next);

    // The new version, started by the wizard: its About box and the recording where it was.
    HWND updated = nullptr;
    ASSERT_TRUE(qdtest::WaitUntil(
        [&] { return (updated = FindTopLevel("Quillodrome", kInstalledExe)) != nullptr; }, 30000))
        << "the wizard did not start the new version";
    ASSERT_TRUE(qdtest::WaitUntil([&] { return Position(updated) >= 0; }, 10000));
    EXPECT_NEAR(Position(updated), 5.5, 0.05);
    const DWORD pid = qdtest::ProcessOf(updated);
    ASSERT_TRUE(qdtest::Click(updated, IDC_ABOUT)) << qdtest::LastProblem();
    HWND about = qdtest::WaitDialog(pid, 5000, "About Quillodrome", updated);
    ASSERT_TRUE(about);
    EXPECT_EQ(qdtest::ItemText(about, IDC_ABOUT_VERSION), "Quillodrome  " + next + " (64)");
    EXPECT_TRUE(qdtest::Answer(about, IDOK));
    // Now up to date: no further offer.
    EXPECT_FALSE(qdtest::WaitDialog(pid, 3000, nullptr, updated));
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    EXPECT_TRUE(qdtest::Click(updated, IDCANCEL));
    EXPECT_EQ(::WaitForSingleObject(process, 15000), WAIT_OBJECT_0);
    ::CloseHandle(process);
}

} // namespace

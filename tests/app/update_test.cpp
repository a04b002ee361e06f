// The update check of the real Quillodrome.exe against the maker's host played by the local
// development server (tools/update-server.sh): the program keeps its real address and reaches
// the server through the proxy named in http_proxy, which tunnels every host to it, and the
// server's certificate is issued by an authority this prefix trusts. The installers it serves
// are marker programs that note that, where and how they were started.
#include "res/resource.h"
#include "tests/app/toolbar_harness.h"
#include "tests/tools/fake_ftd2xx_control.h"
#include "tests/tools/pedal_sim_client.h"
#include "tests/tools/process_windows.h"
#include "tests/tools/ui_driver.h"
#include "tests/tools/wine_test_paths.h"
#include "tests/update/http_test_support.h"
#include "update/download.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace apptest;

constexpr const char* kDevice = "Quillodrome Switch One";
constexpr const char* kProjectPage = "https://www.brenvale.fr/vexo/recherche/projets/Quillodrome/";
constexpr const char* kDriverPrompt =
    "Une mise à jour du pilote est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kProgramPrompt =
    "Une mise à jour de Quillodrome est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kDriverFailed =
    "La mise à jour du pilote a échoué\nVeuillez réessayer ultérieurement";
constexpr const char* kUnverified =
    "La mise à jour n'a pas pu être vérifiée : le fichier reçu ne porte pas la signature de "
    "son éditeur.\nIl a été supprimé sans être lancé.";
// The marker program as each publisher signs it (tests/tools/make-signed-markers.sh).
constexpr const char* kMakerSigned = "marker_maker.exe";
constexpr const char* kPedalSigned = "marker_pedal.exe";
// Serial pedal of the session's simulator (COM5, number 4).
constexpr int kCom = 5;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}
// The temporary folder in the ANSI code page: the test's own paths are plain ASCII.
std::string Temp() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH + 1, path);
    return std::string(path, n <= MAX_PATH ? n : 0);
}

// The folders the program's downloads are in (RemoveDownloadFolders comes from the update
// engine), each with its final backslash.
std::vector<std::string> DownloadFolders() {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA((Temp() + "Quillodrome-update-*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do
        folders.push_back(Temp() + found.cFileName + "\\");
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return folders;
}
// The one download folder a run left, or a text that says why there is not exactly one.
std::string TheDownloadFolder() {
    const std::vector<std::string> folders = DownloadFolders();
    return folders.size() == 1 ? folders[0] : std::to_string(folders.size()) + " folders";
}

// The development server: its folders and what it was asked.
struct Server {
    std::string site = qdtest::FolderFromEnv("QD_UPDATE_SITE");
    std::string state = qdtest::FolderFromEnv("QD_UPDATE_STATE");
    int proxyPort = 0;

    bool Load() {
        for (const std::string& line : Lines(ReadFile(state + "ports")))
            if (line.rfind("proxy=", 0) == 0)
                proxyPort = std::atoi(line.c_str() + 6);
        return proxyPort != 0;
    }
    // The version script answers exactly `reply`.
    void Announce(const std::string& reply) const {
        const std::string folder = site + "vexo\\PHP\\Quillodrome\\";
        ::SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
        WriteFile(folder + "reply.txt", reply);
        WriteFile(folder + "Version.php", "<?php readfile(__DIR__ . '/reply.txt');\n");
    }
    // Publishes marker program `source` (one of tests/tools/make-signed-markers.sh's) as
    // installer `name`, or withdraws it when `source` is null.
    void Serve(const char* name, const char* source) const {
        const std::string folder = site + "vexo\\download\\";
        ::SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
        if (source)
            ::CopyFileA((BinFolder() + source).c_str(), (folder + name).c_str(), FALSE);
        else
            ::DeleteFileA((folder + name).c_str());
        ::DeleteFileA((folder + name + ".redirect").c_str());
        ::DeleteFileA((folder + name + ".slow").c_str());
    }
    // Sends installer `name` at `bytesPerSecond` from now on.
    void Slow(const char* name, int bytesPerSecond) const {
        WriteFile(site + "vexo\\download\\" + name + ".slow", std::to_string(bytesPerSecond));
    }
    // Answers installer `name` with a redirect to `url`.
    void Redirect(const char* name, const std::string& url) const {
        WriteFile(site + "vexo\\download\\" + name + ".redirect", url);
    }
    // One line per request: method, address, status.
    std::string Requests() const { return ReadFile(state + "requests.log"); }
    bool WaitAsked(const std::string& line, DWORD ms = 10000) const {
        return qdtest::WaitUntil([&] { return Requests().find(line) != std::string::npos; }, ms);
    }
};

// Makes the marker program the shell's handler of https addresses for as long as it lives, as
// url_opener.exe in the temporary folder (or any other name, which then need not exist).
class ShellBrowser {
public:
    ShellBrowser() {
        m_ok = ::CopyFileA((BinFolder() + "marker_program.exe").c_str(),
                           (Temp() + "url_opener.exe").c_str(), FALSE) &&
               ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &m_key, nullptr) == ERROR_SUCCESS;
    }
    ~ShellBrowser() {
        if (m_key) {
            ::RegCloseKey(m_key);
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        }
    }
    bool Ready() const { return m_ok; }
    void Use(const char* program) const {
        const std::string command = "\"" + Temp() + program + "\" \"%1\"";
        ::RegSetValueExA(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>(command.size() + 1));
    }

private:
    static constexpr const char* kKey = "Software\\Classes\\https\\shell\\open\\command";
    HKEY m_key = nullptr;
    bool m_ok = false;
};

// The pedal a run starts with.
enum class Pedal { None, Serial, UsbPlugged, UsbUnplugged };

class UpdateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string why;
        ASSERT_TRUE(http_test::TrustTestAuthority(why)) << why;
        ASSERT_EQ(ProgramBesideFakeLibrary("qd-update-program"), ProgramFolder());
        ::CreateDirectoryA(Markers().c_str(), nullptr);
    }
    static std::string ProgramFolder() { return Temp() + "qd-update-program\\"; }
    static std::string ProgramExe() { return ProgramFolder() + "Quillodrome.exe"; }
    static std::string Markers() { return Temp() + "qd-update-markers\\"; }
    static std::string Marker(const char* program) { return Markers() + program + ".ran"; }
    // What a marker program recorded (its path, working folder and command line, one a line),
    // once at least `count` lines are in: the file exists before its lines are written.
    static std::vector<std::string> MarkerLines(const char* program, size_t count) {
        std::vector<std::string> ran;
        qdtest::WaitUntil(
            [&] {
                ran = Lines(ReadFile(Marker(program)));
                return ran.size() >= count;
            },
            5000);
        return ran;
    }

    void SetUp() override {
        ASSERT_TRUE(m_server.Load()) << "no development server in " << m_server.state;
        std::string why;
        ASSERT_TRUE(m_sim.Connect(why)) << why;
        ASSERT_TRUE(m_sim.OpenPort(kCom, why)) << why;
        for (const char* name : {"Pedalvane.exe", "QuillodromeUpdateFr.exe", "url_opener.exe"}) {
            ::DeleteFileA(Marker(name).c_str());
            ::DeleteFileA((Temp() + name).c_str());
        }
        RemoveDownloadFolders(TempFolder());
        m_server.Serve("Pedalvane.exe", nullptr);
        m_server.Serve("QuillodromeUpdateFr.exe", nullptr);
        WriteFile(m_server.state + "requests.log", "");
    }
    void TearDown() override { ClearProfile(); }

    // Starts the program with a pedal and the server's proxy (or an address nobody answers).
    void Start(Toolbar& toolbar, Pedal pedal, bool reachable = true, const std::string& recent = "",
               DWORD driver = 0x021228) {
        const int type = pedal == Pedal::None ? 0 : pedal == Pedal::Serial ? 1 : 3;
        PrepareProfile(type, pedal == Pedal::Serial ? kCom - 1 : 0, recent);
        const int port = reachable ? m_server.proxyPort : 9;
        toolbar.env = {"http_proxy=http://127.0.0.1:" + std::to_string(port),
                       "QD_MARKER_DIR=" + Markers(),
                       "QD_FAKE_FTD2XX_DEVICE=", "QD_FAKE_FTD2XX_DRIVER=" + Hex(driver)};
        if (pedal == Pedal::UsbPlugged)
            toolbar.env[2] += kDevice;
        ASSERT_TRUE(toolbar.Start(nullptr, ProgramExe()));
    }
    static std::string Hex(DWORD n) {
        char text[16];
        std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(n));
        return text;
    }

    // The next message box of the program (not the toolbar) and its text.
    static HWND Box(Toolbar& toolbar, DWORD ms = 10000) {
        return qdtest::WaitDialog(toolbar.Pid(), ms, "Quillodrome", toolbar.Main());
    }
    // True when no box but the toolbar comes up within `ms`.
    static bool NoBox(Toolbar& toolbar, DWORD ms) {
        return !qdtest::WaitDialog(toolbar.Pid(), ms, nullptr, toolbar.Main());
    }
    // Counts the boxes showing at once: nested ticks must never add a second prompt.
    static int VisibleBoxes(Toolbar& toolbar) {
        std::vector<HWND> shown = qdtest::VisibleTopLevels(toolbar.Pid());
        std::erase(shown, toolbar.Main());
        return static_cast<int>(shown.size());
    }

    // The fake library's block for the running program (made at its first load).
    struct Block {
        HANDLE mapping = nullptr;
        fake_ftd2xx::Control* control = nullptr;
        explicit Block(DWORD pid) {
            mapping = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE,
                                         fake_ftd2xx::MappingName(pid).c_str());
            if (mapping)
                control = static_cast<fake_ftd2xx::Control*>(::MapViewOfFile(
                    mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(fake_ftd2xx::Control)));
        }
        ~Block() {
            if (control)
                ::UnmapViewOfFile(control);
            if (mapping)
                ::CloseHandle(mapping);
        }
        fake_ftd2xx::Device& Device() const { return control->devices[0]; }
    };

    Server m_server;
    pedal_sim::Client m_sim;
};

// --- Nothing to offer -------------------------------------------------------------------------
TEST_F(UpdateTest, NoPromptWithoutAUsableAnswerOrWithoutANewerVersion) {
    struct Case {
        const char* what;
        Pedal pedal;
        bool reachable;
        std::string reply;
    } cases[] = {
        {"server unreachable, USB pedal", Pedal::UsbPlugged, false, ""},
        {"server unreachable, USB pedal unplugged", Pedal::UsbUnplugged, false, ""},
        {"wrong word", Pedal::UsbPlugged, true, "Quillodrame 99.0.0.0-02.12.27xyz"},
        {"wrong case", Pedal::UsbUnplugged, true, "QUILLODROME 99.0.0.0-02.12.27xyz"},
        {"serial pedal, other driver", Pedal::Serial, true, "Quillodrome 0.0.0.1-02.12.27xyz"},
        {"no pedal, other driver", Pedal::None, true, "Quillodrome 0.0.0.1-02.12.27xyz"},
        {"same driver, older program", Pedal::UsbPlugged, true, "Quillodrome 0.9.0.0-02.12.28xyz"},
        {"nothing announced, unplugged", Pedal::UsbUnplugged, true, "Quillodrome\n-\r\n\n"},
    };
    // A folder an earlier update left behind (its installer was still running) goes at the
    // next start, whatever the server answers.
    const std::string earlier = Temp() + "Quillodrome-update-earlier\\";
    ::CreateDirectoryA(earlier.c_str(), nullptr);
    WriteFile(earlier + "QuillodromeUpdateFr.exe", "ran last time");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.Announce(c.reply);
        Toolbar toolbar;
        Start(toolbar, c.pedal, c.reachable);
        if (c.reachable) {
            EXPECT_TRUE(m_server.WaitAsked("/vexo/PHP/Quillodrome/Version.php 200"))
                << m_server.Requests();
        }
        EXPECT_TRUE(NoBox(toolbar, 2500)) << VisibleWindows(toolbar.Pid());
        // The toolbar works on: the pedal lamp follows the pedal.
        const int lamp =
            c.pedal == Pedal::UsbPlugged || c.pedal == Pedal::Serial ? IDB_PEDAL_UP : IDB_NO_PEDAL;
        EXPECT_TRUE(toolbar.WaitPedal(lamp)) << PedalImage(toolbar.Main());
        EXPECT_EQ(toolbar.Exit(), 0);
        EXPECT_TRUE(DownloadFolders().empty());
    }
}

// --- The driver -------------------------------------------------------------------------------
TEST_F(UpdateTest, DriverPromptForAnyOtherDriverAndNoStillOffersTheProgramOnce) {
    struct Case {
        const char* what;
        Pedal pedal;
        std::string reply;
        bool programPrompt;
    } cases[] = {
        {"older announced", Pedal::UsbPlugged, "Quillodrome 0.0.0.1-02.12.27xyz", false},
        {"unplugged", Pedal::UsbUnplugged, "Quillodrome 0.0.0.1-02.12.28xyz", false},
        {"newer program too", Pedal::UsbPlugged, "Quillodrome 99.0.0.0-02.12.27xyz", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.Announce(c.reply);
        Toolbar toolbar;
        Start(toolbar, c.pedal);
        HWND box = Box(toolbar);
        ASSERT_TRUE(box) << VisibleWindows(toolbar.Pid());
        EXPECT_EQ(qdtest::MessageBoxText(box), kDriverPrompt);
        // Ticks go on under the box (the read-out is refreshed) but prompt nothing more.
        ::Sleep(1500);
        EXPECT_EQ(VisibleBoxes(toolbar), 1);
        ASSERT_TRUE(qdtest::Answer(box, IDNO));
        if (c.programPrompt) {
            box = Box(toolbar);
            ASSERT_TRUE(box);
            EXPECT_EQ(qdtest::MessageBoxText(box), kProgramPrompt);
            ASSERT_TRUE(qdtest::Answer(box, IDNO));
        }
        EXPECT_TRUE(NoBox(toolbar, 2000)) << VisibleWindows(toolbar.Pid());
        EXPECT_EQ(m_server.Requests().find("/vexo/download/"), std::string::npos);
        EXPECT_EQ(toolbar.Exit(), 0);
    }
}

TEST_F(UpdateTest, DriverUpdateReleasesThePedalRunsTheInstallerAndRebuildsThePedal) {
    m_server.Announce("Quillodrome 0.0.0.1-02.12.29xyz");
    m_server.Serve("Pedalvane.exe", kPedalSigned);
    Toolbar toolbar;
    // With a recording loaded, so that the main loop reads the pedal.
    Start(toolbar, Pedal::UsbPlugged, true,
          qdtest::FolderFromEnv("QD_TOOLBAR_FIXTURES") + "interview.wav");
    HWND w = toolbar.Main();
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    Block block(toolbar.Pid());
    ASSERT_TRUE(block.control);
    EXPECT_EQ(block.Device().nOpens, 1u);

    HWND box = Box(toolbar);
    ASSERT_TRUE(box);
    ASSERT_TRUE(qdtest::Answer(box, IDYES));
    HWND wait = qdtest::WaitDialog(toolbar.Pid(), 10000, "Mise à jour du pilote", w);
    ASSERT_TRUE(wait) << VisibleWindows(toolbar.Pid());
    EXPECT_EQ(qdtest::ItemText(wait, IDC_WAIT_MESSAGE),
              "La mise à jour du pilote est en cours.\nVeuillez patienter...");
    EXPECT_TRUE(m_server.WaitAsked("/vexo/download/Pedalvane.exe 200"));
    // The installer came whole into a folder of its own and ran from there.
    const std::string folder = TheDownloadFolder();
    EXPECT_EQ(ReadFile(folder + "Pedalvane.exe"), ReadFile(BinFolder() + kPedalSigned));
    const std::vector<std::string> ran = MarkerLines("Pedalvane.exe", 2);
    ASSERT_GE(ran.size(), 2u);
    EXPECT_EQ(ran[0], folder + "Pedalvane.exe");
    EXPECT_EQ(ran[1] + "\\", folder) << "working folder";
    // During the wait the device is let go and the lamp shows no pedal (the wait is moved off
    // the toolbar to see it).
    ::SetWindowPos(wait, nullptr, 0, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_NO_PEDAL, 2000));
    EXPECT_EQ(block.Device().bOpen, 0u);
    ::Sleep(1000);
    EXPECT_EQ(block.Device().nOpens, 1u) << "nothing opens the pedal while the driver installs";
    EXPECT_TRUE(::IsWindowVisible(wait)) << "the wait lasts 30 seconds";

    // Closed early by the typist: a new USB port, opened by the main loop, read by the pedal's
    // worker every 5 ms (the recording is loaded).
    ::PostMessageA(wait, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP, 3000));
    EXPECT_EQ(block.Device().nOpens, 2u);
    const DWORD before = block.Device().nBytesWritten;
    ::Sleep(2000);
    EXPECT_NEAR((block.Device().nBytesWritten - before) / 2.0, 175, 75) << "polls per second";
    EXPECT_TRUE(NoBox(toolbar, 500)) << VisibleWindows(toolbar.Pid());
    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Port Type"), 3u);
}

TEST_F(UpdateTest, AMissingDriverInstallerFailsWithoutTouchingThePedal) {
    m_server.Announce("Quillodrome 0.0.0.1-02.12.29xyz");
    Toolbar toolbar;
    Start(toolbar, Pedal::UsbPlugged);
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    Block block(toolbar.Pid());
    ASSERT_TRUE(block.control);
    HWND box = Box(toolbar);
    ASSERT_TRUE(box);
    ASSERT_TRUE(qdtest::Answer(box, IDYES));
    box = Box(toolbar);
    ASSERT_TRUE(box);
    EXPECT_EQ(qdtest::MessageBoxText(box), kDriverFailed);
    EXPECT_NE(m_server.Requests().find("/vexo/download/Pedalvane.exe 404"), std::string::npos);
    EXPECT_TRUE(DownloadFolders().empty()) << "an error page is never saved";
    EXPECT_FALSE(Exists(Marker("Pedalvane.exe")));
    ASSERT_TRUE(qdtest::Answer(box, IDOK));
    EXPECT_EQ(PedalImage(toolbar.Main()), IDB_PEDAL_UP);
    EXPECT_EQ(block.Device().nOpens, 1u);
    EXPECT_EQ(block.Device().nCloses, 0u);
    EXPECT_EQ(toolbar.Exit(), 0);
}

// --- The program ------------------------------------------------------------------------------
// Yes to the program update always ends the run with the settings written: the installer
// started, or else the project page opened, or else a box naming the page.
TEST_F(UpdateTest, YesToTheProgramUpdateStartsTheInstallerOrShowsTheProjectPageAndCloses) {
    ShellBrowser browser;
    struct Case {
        const char* what;
        bool served;
        const char* browser; // what the shell runs for an https address
    } cases[] = {
        {"installer served", true, nullptr},
        {"installer missing", false, "url_opener.exe"},
        {"installer missing, no browser", false, "no_such_browser.exe"},
    };
    ASSERT_TRUE(browser.Ready());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.Announce("Quillodrome 99.0.0.0-02.12.27xyz");
        m_server.Serve("QuillodromeUpdateFr.exe", c.served ? kMakerSigned : nullptr);
        browser.Use(c.browser ? c.browser : "url_opener.exe");
        RemoveDownloadFolders(TempFolder());

        Toolbar toolbar;
        Start(toolbar, Pedal::Serial);
        HWND box = Box(toolbar);
        ASSERT_TRUE(box);
        EXPECT_EQ(qdtest::MessageBoxText(box), kProgramPrompt)
            << "no driver prompt for a serial pedal";
        ASSERT_TRUE(qdtest::Answer(box, IDYES));
        if (c.browser && std::string(c.browser) == "no_such_browser.exe") {
            box = Box(toolbar);
            ASSERT_TRUE(box);
            EXPECT_EQ(qdtest::MessageBoxText(box),
                      std::string("Impossible de lancer la page web...\nAllez voir sur ") +
                          kProjectPage);
            ASSERT_TRUE(qdtest::Answer(box, IDOK));
        }
        EXPECT_EQ(toolbar.WaitExit(15000), 0);
        EXPECT_TRUE(GetDword("Volume").has_value()) << "the settings are written on the way out";
        EXPECT_EQ(GetDword("Port Type"), 1u);

        if (c.served) {
            const std::vector<std::string> ran = MarkerLines("QuillodromeUpdateFr.exe", 2);
            ASSERT_GE(ran.size(), 2u);
            const std::string folder = TheDownloadFolder();
            EXPECT_EQ(ran[0], folder + "QuillodromeUpdateFr.exe");
            EXPECT_EQ(ran[1] + "\\", folder) << "working folder";
            EXPECT_FALSE(Exists(Marker("url_opener.exe")));
        } else {
            EXPECT_TRUE(DownloadFolders().empty());
            if (std::string(c.browser) == "url_opener.exe") {
                const std::vector<std::string> ran = MarkerLines("url_opener.exe", 3);
                ASSERT_GE(ran.size(), 3u);
                EXPECT_NE(ran[2].find(kProjectPage), std::string::npos) << ran[2];
            }
        }
    }
}

// An installer is run only with its publisher's intact signature: anything else is deleted
// unseen, the typist is told, and the update then fails as a missing one does.
TEST_F(UpdateTest, AnInstallerWithoutItsPublishersSignatureIsDeletedAndNeverRun) {
    ShellBrowser browser;
    ASSERT_TRUE(browser.Ready());
    browser.Use("url_opener.exe");
    // The maker's installer, moved to another host whose certificate is valid (the server's
    // names both): only the redirect betrays it.
    const std::string moved = "vexo\\download\\moved\\";
    struct Case {
        const char* what;
        const char* installer;
        const char* served;
        bool redirected = false;
    } cases[] = {
        {"program unsigned", "QuillodromeUpdateFr.exe", "marker_program.exe"},
        {"program signed under the maker's name by another authority", "QuillodromeUpdateFr.exe",
         "marker_foreign.exe"},
        {"program changed after signing", "QuillodromeUpdateFr.exe", "marker_tampered.exe"},
        {"program signed by the pedal maker", "QuillodromeUpdateFr.exe", kPedalSigned},
        {"driver signed by the program's maker", "Pedalvane.exe", kMakerSigned},
        {"driver unsigned", "Pedalvane.exe", "marker_program.exe"},
        {"program redirected to another host", "QuillodromeUpdateFr.exe", kMakerSigned, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool driver = std::string(c.installer) == "Pedalvane.exe";
        m_server.Announce(driver ? "Quillodrome 0.0.0.1-02.12.29xyz"
                                 : "Quillodrome 99.0.0.0-02.12.28xyz");
        m_server.Serve(c.installer, c.redirected ? nullptr : c.served);
        if (c.redirected) {
            ::SHCreateDirectoryExA(nullptr, (m_server.site + moved).c_str(), nullptr);
            ::CopyFileA((BinFolder() + c.served).c_str(),
                        (m_server.site + moved + c.installer).c_str(), FALSE);
            m_server.Redirect(c.installer,
                              std::string("https://localhost/vexo/download/moved/") + c.installer);
        }
        ::DeleteFileA(Marker("url_opener.exe").c_str());
        Toolbar toolbar;
        Start(toolbar, driver ? Pedal::UsbPlugged : Pedal::Serial);
        if (driver) {
            ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
        }
        HWND box = Box(toolbar);
        ASSERT_TRUE(box);
        ASSERT_TRUE(qdtest::Answer(box, IDYES));
        if (c.redirected) {
            // WinHTTP follows the redirect, but the body from the other host is never read: a
            // failed download, so no box but the project page.
            EXPECT_TRUE(m_server.WaitAsked(std::string("/vexo/download/") + c.installer + " 302"));
        } else {
            box = Box(toolbar);
            ASSERT_TRUE(box) << VisibleWindows(toolbar.Pid());
            EXPECT_EQ(qdtest::MessageBoxText(box), kUnverified);
            EXPECT_TRUE(m_server.WaitAsked(std::string("/vexo/download/") + c.installer + " 200"));
            EXPECT_TRUE(DownloadFolders().empty()) << "deleted before the typist answers";
            ASSERT_TRUE(qdtest::Answer(box, IDOK));
        }
        if (driver) {
            // Then as for a failed download; the pedal was never let go.
            box = Box(toolbar);
            ASSERT_TRUE(box);
            EXPECT_EQ(qdtest::MessageBoxText(box), kDriverFailed);
            ASSERT_TRUE(qdtest::Answer(box, IDOK));
            EXPECT_EQ(PedalImage(toolbar.Main()), IDB_PEDAL_UP);
            EXPECT_EQ(toolbar.Exit(), 0);
        } else {
            // Then the project page, and the toolbar closes.
            EXPECT_EQ(toolbar.WaitExit(15000), 0);
            const std::vector<std::string> ran = MarkerLines("url_opener.exe", 3);
            ASSERT_GE(ran.size(), 3u);
            EXPECT_NE(ran[2].find(kProjectPage), std::string::npos) << ran[2];
        }
        ::Sleep(500);
        EXPECT_FALSE(Exists(Marker(c.installer))) << "the refused installer ran";
        EXPECT_TRUE(DownloadFolders().empty());
        m_server.Serve(c.installer, nullptr);
    }
}

// The download runs beside the toolbar: its wait shows how far it got, the pedal keeps working,
// and Escape stops it, leaving no file and the toolbar open as after No.
TEST_F(UpdateTest, ASlowDownloadShowsItsProgressKeepsThePedalAndCanBeStopped) {
    m_server.Announce("Quillodrome 99.0.0.0-02.12.28xyz");
    m_server.Serve("QuillodromeUpdateFr.exe", kMakerSigned);
    m_server.Slow("QuillodromeUpdateFr.exe", 100000);
    Toolbar toolbar;
    Start(toolbar, Pedal::Serial, true,
          qdtest::FolderFromEnv("QD_TOOLBAR_FIXTURES") + "interview.wav");
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    HWND box = Box(toolbar);
    ASSERT_TRUE(box);
    ASSERT_TRUE(qdtest::Answer(box, IDYES));
    HWND wait = qdtest::WaitDialog(toolbar.Pid(), 10000, "Téléchargement de la mise à jour",
                                   toolbar.Main());
    ASSERT_TRUE(wait) << VisibleWindows(toolbar.Pid());
    const auto bar = [wait] {
        return static_cast<int>(::SendDlgItemMessageA(wait, IDC_WAIT_PROGRESS, PBM_GETPOS, 0, 0));
    };
    ASSERT_TRUE(qdtest::WaitUntil([&] { return bar() > 0; }, 5000));
    const int first = bar();
    ::Sleep(1500);
    const int later = bar();
    EXPECT_GT(later, first) << "the bar follows the bytes";
    EXPECT_LT(later, 100);

    ::SetWindowPos(wait, nullptr, 0, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 1500)) << "the pedal works during the download";
    m_sim.Release(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP, 1500));

    ::PostMessageA(wait, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(qdtest::WaitUntil([wait] { return !::IsWindow(wait); }, 5000));
    EXPECT_TRUE(NoBox(toolbar, 1500)) << VisibleWindows(toolbar.Pid());
    EXPECT_TRUE(DownloadFolders().empty()) << "a stopped download leaves nothing";
    EXPECT_FALSE(Exists(Marker("QuillodromeUpdateFr.exe")));
    EXPECT_EQ(toolbar.Exit(), 0) << "the toolbar stays open after the stop";
}

} // namespace

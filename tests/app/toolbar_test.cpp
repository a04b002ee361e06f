// The real Quillodrome.exe as a typist meets it: started with a prepared profile, driven with
// the mouse and the simulated foot switch, watched through its texts, sliders and indicator
// images, and its profile read after it has ended.
#include "res/resource.h"
#include "tests/app/toolbar_harness.h"
#include "tests/tools/fake_ftd2xx_control.h"
#include "tests/tools/pedal_sim_client.h"
#include "tests/tools/ui_driver.h"
#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace apptest;

// The simulated serial pedal: COM5, stored as number 4.
constexpr int kCom = 5;
constexpr int kToolbarWidth = 443;
constexpr int kToolbarHeight = 81;

// Made by make-toolbar-fixtures.sh: a recording whose full path is over 200 characters.
std::string LongPath() {
    return qdtest::FolderFromEnv("QD_TOOLBAR_FIXTURES") + std::string(40, 'd') + "\\" +
           std::string(130, 'l') + "\\long.wav";
}
std::string Fixture(const std::string& name) {
    return qdtest::FolderFromEnv("QD_TOOLBAR_FIXTURES") + name;
}

// The fake library's devices for one run of the program, in the block named after its id;
// the one pedal is plugged in with PlugPedal.
class FakeDevices {
public:
    explicit FakeDevices(DWORD pid)
        : m_mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(fake_ftd2xx::Control),
                                         fake_ftd2xx::MappingName(pid).c_str())),
          m_block(static_cast<fake_ftd2xx::Control*>(::MapViewOfFile(
              m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(fake_ftd2xx::Control)))) {}
    ~FakeDevices() {
        if (m_block)
            ::UnmapViewOfFile(m_block);
        if (m_mapping)
            ::CloseHandle(m_mapping);
    }
    FakeDevices(const FakeDevices&) = delete;
    FakeDevices& operator=(const FakeDevices&) = delete;

    bool Ready() const { return m_block != nullptr; }
    fake_ftd2xx::Control* operator->() const { return m_block; }
    void PlugPedal() {
        std::snprintf(m_block->devices[0].szDescription, fake_ftd2xx::kDescriptionSize,
                      "Quillodrome Switch One");
        m_block->nDevices = 1;
    }

private:
    HANDLE m_mapping;
    fake_ftd2xx::Control* m_block;
};

class ToolbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(m_sim.Connect(why)) << why;
        ASSERT_TRUE(m_sim.OpenPort(kCom, why)) << why;
    }
    void TearDown() override { ClearProfile(); }

    pedal_sim::Client m_sim;
};

// --- First start -----------------------------------------------------------------------------
TEST_F(ToolbarTest, FirstStartWaitsThenShowsTheIdleToolbarAndStoresEverySetting) {
    ClearProfile();
    Toolbar toolbar;
    // The installation wait comes before the toolbar.
    std::string waitText;
    std::thread watcher([&] {
        qdtest::WaitUntil(
            [&] {
                HWND wait = ::FindWindowA("#32770", "Quillodrome");
                if (wait && !::GetDlgItem(wait, IDC_TIME))
                    waitText = qdtest::ItemText(wait, IDC_WAIT_MESSAGE);
                return !waitText.empty();
            },
            10000);
    });
    const DWORD started = ::GetTickCount();
    const bool shown = toolbar.Start();
    watcher.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(waitText, "Installation en cours...\nVeuillez patienter!");
    EXPECT_GE(::GetTickCount() - started, 14000u) << "the toolbar came before the wait ended";

    HWND w = toolbar.Main();
    EXPECT_EQ(qdtest::Text(w), "Quillodrome");
    EXPECT_EQ(qdtest::ItemText(w, IDC_CAPTION), "<< Quillodrome >>");
    EXPECT_EQ(qdtest::ItemText(w, IDC_REWIND_TEXT), "0.0  Sec");
    EXPECT_EQ(qdtest::ItemText(w, IDC_TIME), "00:00.0  00:00.0");
    EXPECT_EQ(qdtest::ItemText(w, IDC_SPEED_TEXT), "100 %");
    EXPECT_EQ(qdtest::SliderPos(w, IDC_SLIDER_SPEED), 10);
    EXPECT_EQ(qdtest::SliderMax(w, IDC_SLIDER_SPEED), 30);
    EXPECT_EQ(qdtest::SliderPos(w, IDC_SLIDER_VOLUME), 4000);
    EXPECT_EQ(qdtest::SliderMax(w, IDC_SLIDER_VOLUME), 4000);
    EXPECT_EQ(qdtest::SliderMax(w, IDC_SLIDER_REWIND), 50);
    EXPECT_TRUE(qdtest::IsTopmost(w));
    EXPECT_EQ(qdtest::ShownBitmap(w, IDC_TOPMOST, Exe(), {IDB_TOP_OFF, IDB_TOP_ON}), IDB_TOP_ON);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_NO_PEDAL)) << "no USB pedal here";
    const RECT rc = qdtest::WindowRect(w);
    EXPECT_EQ(rc.right - rc.left, kToolbarWidth);
    EXPECT_EQ(rc.bottom - rc.top, kToolbarHeight);

    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Installing"), 0u);
    EXPECT_EQ(GetDword("Port Type"), 3u) << "the USB pedal is the default";
    EXPECT_EQ(GetDword("Port Num"), 0u);
    EXPECT_EQ(GetDword("Auto Rewind"), 0u);
    EXPECT_EQ(GetDword("Allways Top"), 1u);
    EXPECT_EQ(GetDword("Position"), 0u);
    EXPECT_EQ(GetDword("Volume"), 4000u);
    EXPECT_EQ(GetDword("Speed"), 100u);
    EXPECT_EQ(GetString("Recent"), "");
    EXPECT_EQ(GetDword("left"), static_cast<DWORD>(rc.left));
    EXPECT_EQ(GetDword("top"), static_cast<DWORD>(rc.top));
}

// --- The foot switch -------------------------------------------------------------------------
TEST_F(ToolbarTest, PedalPlaysWhileHeldAndStepsBackOnEveryRelease) {
    PrepareProfile(1, kCom - 1, Fixture("interview.wav"), 20);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    EXPECT_EQ(qdtest::ItemText(w, IDC_REWIND_TEXT), "2.0  Sec");
    EXPECT_EQ(ReadTimes(w).duration, 30.0);
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));

    // Held: plays.
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    ASSERT_TRUE(toolbar.WaitPosition([](double p) { return p >= 3.0; }, 8000));
    EXPECT_GT(qdtest::SliderPos(w, IDC_SLIDER_POSITION), 0);

    // Released: paused, 2.0 s back, on the tick that sees it.
    double before = Position(w);
    m_sim.Release(kCom);
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP, 500));
    ::Sleep(250);
    double after = Position(w);
    EXPECT_NEAR(after, before - 2.0, 0.45);
    ::Sleep(500);
    EXPECT_EQ(Position(w), after) << "paused";

    // 3.4 s chosen on the slider shows within a tick.
    ::SendMessageA(::GetDlgItem(w, IDC_SLIDER_REWIND), TBM_SETPOS, TRUE, 34);
    EXPECT_TRUE(
        qdtest::WaitUntil([&] { return qdtest::ItemText(w, IDC_REWIND_TEXT) == "3.4  Sec"; }, 300));

    // A release near the start never goes before 0.
    ::SendMessageA(::GetDlgItem(w, IDC_SLIDER_REWIND), TBM_SETPOS, TRUE, 50);
    m_sim.Press(kCom);
    ASSERT_TRUE(toolbar.WaitPosition([&](double p) { return p > after + 0.3; }));
    m_sim.Release(kCom);
    EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p == 0; }, 500));

    // PAUSE by mouse, then a release: it steps back again from where PAUSE left it.
    ::SendMessageA(::GetDlgItem(w, IDC_SLIDER_REWIND), TBM_SETPOS, TRUE, 10);
    m_sim.Press(kCom);
    ASSERT_TRUE(toolbar.WaitPosition([](double p) { return p >= 2.0; }));
    ASSERT_TRUE(qdtest::Click(w, IDC_PAUSE)) << qdtest::LastProblem();
    ::Sleep(300);
    const double paused = Position(w);
    ::Sleep(300);
    EXPECT_EQ(Position(w), paused) << "PAUSE paused";
    m_sim.Release(kCom);
    EXPECT_TRUE(
        toolbar.WaitPosition([&](double p) { return std::fabs(p - (paused - 1.0)) < 0.15; }, 500));

    // STOP rewinds to 0; the release after it stays there.
    m_sim.Press(kCom);
    ASSERT_TRUE(toolbar.WaitPosition([&](double p) { return p > paused; }));
    ASSERT_TRUE(qdtest::Click(w, IDC_STOP));
    EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p == 0; }, 500));
    m_sim.Release(kCom);
    ::Sleep(400);
    EXPECT_EQ(Position(w), 0);

    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Auto Rewind"), 10u);
    EXPECT_EQ(GetDword("Port Type"), 1u);
    EXPECT_EQ(GetDword("Port Num"), static_cast<DWORD>(kCom - 1));
}

// Presses and releases are acted on as the reader sees them, not at the loop's next tick: the
// old loop needed one to two ticks (100 to 200 ms) for a press. Unplugged while held, the pedal
// counts as released.
TEST_F(ToolbarTest, ThePedalActsWithinMillisecondsAndAnUnplugReleases) {
    PrepareProfile(1, kCom - 1, Fixture("interview.wav"));
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    const HBITMAP up = Indicator(w);
    std::vector<double> presses, releases;
    for (int trial = 0; trial < 7; ++trial) {
        ::Sleep(150 + trial * 37 % 100);
        presses.push_back(MsUntilIndicatorLeaves(w, up, [&] { m_sim.Press(kCom); }));
        const HBITMAP down = Indicator(w);
        ::Sleep(100 + trial * 23 % 100);
        releases.push_back(MsUntilIndicatorLeaves(w, down, [&] { m_sim.Release(kCom); }));
        ASSERT_GE(presses.back(), 0) << "press " << trial << " not seen within a second";
        ASSERT_GE(releases.back(), 0) << "release " << trial << " not seen within a second";
    }
    std::sort(presses.begin(), presses.end());
    std::sort(releases.begin(), releases.end());
    // Generous margins for a loaded machine: the tight figures are the benchmark's.
    EXPECT_LT(presses[3], 60) << "median press, ms";
    EXPECT_LT(releases[3], 80) << "median release, ms";
    EXPECT_GT(Position(w), 0.3) << "the presses played";
    ::SendMessageA(::GetDlgItem(w, IDC_SLIDER_REWIND), TBM_SETPOS, TRUE, 10);

    m_sim.Press(kCom);
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    ASSERT_TRUE(toolbar.WaitPosition([&](double p) { return p > 2.5; }));
    const double held = Position(w);
    m_sim.Unplug(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_NO_PEDAL, 1000));
    EXPECT_TRUE(toolbar.WaitPosition([&](double p) { return p < held; }, 1000))
        << "paused and stepped back";
    const double unplugged = Position(w);
    ::Sleep(400);
    EXPECT_EQ(Position(w), unplugged) << "paused";
    // Back in, released: taken again by the loop's retry, and read again.
    m_sim.Release(kCom);
    m_sim.Plug(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP, 3000));
    EXPECT_EQ(Position(w), unplugged) << "the reconnect is no release";
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    m_sim.Release(kCom);
    EXPECT_EQ(toolbar.Exit(), 0);
}

TEST_F(ToolbarTest, AReopenedRecordingStepsBackOnceWhenThePedalIsFirstRead) {
    PrepareProfile(1, kCom - 1, Fixture("interview.wav"), 20);
    SetDword("Position", 100);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    // The first reading, pedal up, steps back once from the stored 10.0 s.
    // (The player resumes at the nearest position it can seek to, a few tenths at most.)
    EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p >= 7.95 && p < 8.6; }, 2000))
        << qdtest::ItemText(w, IDC_TIME);
    const double first = Position(w);
    ::Sleep(300);
    EXPECT_EQ(Position(w), first) << "only once";

    // The next press plays from there, the release pauses and steps back again.
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    ASSERT_TRUE(toolbar.WaitPosition([&](double p) { return p > first + 2.5; }));
    const double held = Position(w);
    m_sim.Release(kCom);
    EXPECT_TRUE(
        toolbar.WaitPosition([&](double p) { return p < held - 1.5 && p > held - 2.5; }, 600))
        << "held at " << held << ", now " << Position(w);
    EXPECT_EQ(toolbar.Exit(), 0);
}

TEST_F(ToolbarTest, WithoutAFileThePedalIsNotRead) {
    PrepareProfile(1, kCom - 1, Fixture("deleted.wav"));
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    EXPECT_EQ(qdtest::ItemText(w, IDC_CAPTION), "<< Quillodrome >>");
    EXPECT_EQ(qdtest::Text(w), "Quillodrome");
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    m_sim.Clear(kCom);
    m_sim.Press(kCom);
    ::Sleep(500);
    EXPECT_EQ(PedalImage(w), IDB_PEDAL_UP) << "the released image whatever the pedal does";
    EXPECT_EQ(m_sim.Received(kCom), 0) << "no poll without a file";
    m_sim.Release(kCom);
    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetString("Recent"), "") << "a vanished recording is forgotten";
}

// --- Opening recordings ----------------------------------------------------------------------
TEST_F(ToolbarTest, OpensByDialogAndByDropAndShowsFailuresPlainly) {
    PrepareProfile(1, kCom - 1, "");
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();

    // The FILE button's dialog.
    ASSERT_TRUE(qdtest::Click(w, IDC_FILE));
    HWND dialog = qdtest::WaitDialog(toolbar.Pid(), 5000, nullptr, w);
    ASSERT_TRUE(dialog);
    const std::string longFile = Fixture("duree_2m05.wav");
    ASSERT_TRUE(qdtest::ChooseFile(dialog, longFile)) << qdtest::LastProblem();
    EXPECT_TRUE(qdtest::WaitUntil([&] { return qdtest::Text(w) == "Quillodrome " + longFile; }));
    EXPECT_EQ(qdtest::ItemText(w, IDC_CAPTION), "Quillodrome -> " + longFile);
    EXPECT_TRUE(qdtest::WaitUntil([&] {
        return qdtest::ItemText(w, IDC_TIME) == "00:00.0  02:05.5";
    })) << qdtest::ItemText(w, IDC_TIME);

    // Three files dropped at once: the last is opened. Accented names and long paths whole.
    const POINT middle{200, 30};
    struct DropCase {
        std::vector<std::string> paths;
        std::string opened;
    } drops[] = {
        {{Fixture("interview.wav"), longFile, Fixture("entretien_été.wav")},
         Fixture("entretien_été.wav")},
        {{LongPath()}, LongPath()},
    };
    for (const DropCase& drop : drops) {
        ASSERT_GT(drop.opened.size(), drop.paths.size() > 1 ? 0u : 200u);
        ASSERT_TRUE(qdtest::DropFiles(w, drop.paths, middle)) << qdtest::LastProblem();
        EXPECT_TRUE(qdtest::WaitUntil([&] {
            return qdtest::Text(w) == "Quillodrome " + drop.opened;
        })) << qdtest::Text(w);
        EXPECT_TRUE(qdtest::WaitUntil([&] { return ReadTimes(w).duration == 30.0; }));
    }

    // A folder and a text file: the player's error box, then the idle texts, pedal inactive.
    for (const char* bad : {"dossier.wav", "texte.mp3"}) {
        ASSERT_TRUE(qdtest::DropFiles(w, {Fixture(bad)}, middle));
        HWND box = qdtest::WaitDialog(toolbar.Pid(), 10000, nullptr, w);
        ASSERT_TRUE(box) << bad;
        EXPECT_FALSE(qdtest::MessageBoxText(box).empty());
        EXPECT_TRUE(qdtest::Answer(box, IDOK));
        EXPECT_TRUE(qdtest::WaitUntil([&] { return qdtest::Text(w) == "Quillodrome"; })) << bad;
        EXPECT_EQ(qdtest::ItemText(w, IDC_CAPTION), "<< Quillodrome >>");
        m_sim.Press(kCom);
        ::Sleep(300);
        EXPECT_EQ(PedalImage(w), IDB_PEDAL_UP) << "the pedal is inactive without a file";
        m_sim.Release(kCom);
    }

    // A new file while the pedal is held: nothing plays until it is released and pressed again.
    ASSERT_TRUE(qdtest::DropFiles(w, {Fixture("interview.wav")}, middle));
    ASSERT_TRUE(qdtest::WaitUntil([&] { return ReadTimes(w).duration == 30.0; }));
    m_sim.Press(kCom);
    ::Sleep(200);
    ASSERT_TRUE(qdtest::DropFiles(w, {longFile}, middle));
    ASSERT_TRUE(qdtest::WaitUntil([&] { return ReadTimes(w).duration == 125.5; }));
    ::Sleep(600);
    EXPECT_EQ(Position(w), 0) << "held through the open: no playback";
    m_sim.Release(kCom);
    ::Sleep(300);
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p > 0.2; }));
    m_sim.Release(kCom);

    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetString("Recent"), longFile);
}

// --- Names outside the ANSI code page ----------------------------------------------------------
std::wstring WideFixture(const std::wstring& name) {
    return qdtest::WideFromAnsi(Fixture("")) + name;
}

// The title and the caption name `path` in full, read back as UTF-16, and the recording's 30 s
// are loaded.
void ExpectShows(HWND w, const std::wstring& path) {
    EXPECT_TRUE(qdtest::WaitUntil([&] { return qdtest::WideText(w) == L"Quillodrome " + path; }))
        << qdtest::Text(w);
    // The name the task bar shows, as well as the text the window answers with.
    wchar_t name[1024] = {};
    ::GetWindowTextW(w, name, 1024);
    EXPECT_TRUE(std::wstring(name) == L"Quillodrome " + path);
    EXPECT_EQ(qdtest::WideItemText(w, IDC_CAPTION), L"Quillodrome -> " + path);
    EXPECT_TRUE(qdtest::WaitUntil([&] { return ReadTimes(w).duration == 30.0; }))
        << qdtest::ItemText(w, IDC_TIME);
}

TEST_F(ToolbarTest, ANameInAnyScriptOpensPlaysShowsAndIsKeptAsItIs) {
    // Polish, Greek and Japanese letters: none of them is in the ANSI code page.
    const std::wstring unicode = WideFixture(L"Łódź Συνέντευξη 録音.wav");
    const std::wstring accented = WideFixture(L"entretien é.wav");
    for (const std::wstring& copy : {unicode, accented})
        ASSERT_TRUE(::CopyFileW(WideFixture(L"interview.wav").c_str(), copy.c_str(), FALSE));
    const POINT middle{200, 30};

    // "Recent" as an earlier build kept it, in the ANSI code page.
    PrepareProfile(1, kCom - 1, Fixture("entretien é.wav"));
    {
        Toolbar toolbar;
        ASSERT_TRUE(toolbar.Start());
        HWND w = toolbar.Main();
        ExpectShows(w, accented);

        ASSERT_TRUE(qdtest::Click(w, IDC_FILE));
        HWND dialog = qdtest::WaitDialog(toolbar.Pid(), 5000, nullptr, w);
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(qdtest::ChooseFile(dialog, unicode)) << qdtest::LastProblem();
        ExpectShows(w, unicode);
        m_sim.Press(kCom);
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p > 0.5; })) << "it plays";
        m_sim.Release(kCom);

        ASSERT_TRUE(qdtest::DropFiles(w, {Fixture("duree_2m05.wav")}, middle));
        ASSERT_TRUE(qdtest::WaitUntil([&] { return ReadTimes(w).duration == 125.5; }));
        ASSERT_TRUE(qdtest::DropFiles(w, std::vector<std::wstring>{unicode}, middle))
            << qdtest::LastProblem();
        ExpectShows(w, unicode);
        const std::string folder = qdtest::FolderFromEnv("QD_ARTIFACT_DIR");
        if (!folder.empty()) {
            EXPECT_TRUE(qdtest::SaveBmp(qdtest::Capture(w), folder + "toolbar_unicode_name.bmp"));
        }
        EXPECT_EQ(toolbar.Exit(), 0);
    }
    EXPECT_EQ(GetWideString("Recent"), unicode);

    // The next start reopens it where it was left, and keeps it once more.
    SetDword("Position", 50);
    {
        Toolbar toolbar;
        ASSERT_TRUE(toolbar.Start());
        HWND w = toolbar.Main();
        ExpectShows(w, unicode);
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p == 5.0; }, 1000));
        m_sim.Press(kCom);
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p > 5.5; })) << "it plays";
        m_sim.Release(kCom);
        EXPECT_EQ(toolbar.Exit(), 0);
    }
    EXPECT_EQ(GetWideString("Recent"), unicode);
}

// --- Settings round trip ---------------------------------------------------------------------
TEST_F(ToolbarTest, ExitWhilePlayingStoresThePositionAndTheNextStartResumesThere) {
    PrepareProfile(0, 0, Fixture("duree_2m05.wav"));
    SetDword("Position", 123);
    SetDword("Volume", 2500);
    SetDword("Speed", 75);
    {
        Toolbar toolbar;
        ASSERT_TRUE(toolbar.Start());
        HWND w = toolbar.Main();
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p == 12.3; }, 1000))
            << qdtest::ItemText(w, IDC_TIME);
        EXPECT_EQ(qdtest::SliderPos(w, IDC_SLIDER_VOLUME), 2500);
        EXPECT_EQ(qdtest::SliderPos(w, IDC_SLIDER_POSITION), static_cast<int>(12.3 * 200 / 125.5));
        EXPECT_EQ(qdtest::SliderPos(w, IDC_SLIDER_SPEED), 5);
        EXPECT_EQ(qdtest::ItemText(w, IDC_SPEED_TEXT), "75 %");
        // The speed follows its slider on the next tick, as the auto-rewind amount does.
        ::SendMessageA(::GetDlgItem(w, IDC_SLIDER_SPEED), TBM_SETPOS, TRUE, 20);
        EXPECT_TRUE(
            qdtest::WaitUntil([&] { return qdtest::ItemText(w, IDC_SPEED_TEXT) == "150 %"; }, 300));
        EXPECT_EQ(PedalImage(w), IDB_NO_PEDAL);
        ::Sleep(400);
        EXPECT_EQ(Position(w), 12.3) << "nothing plays by itself";

        // Letting go of the position slider seeks there and plays, though nothing was playing.
        ASSERT_TRUE(qdtest::DragSlider(w, IDC_SLIDER_POSITION, 100)) << qdtest::LastProblem();
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p >= 62.7 && p < 64; }, 1000))
            << qdtest::ItemText(w, IDC_TIME);
        EXPECT_TRUE(toolbar.WaitPosition([](double p) { return p > 63.5; }, 3000)) << "playing";
        ASSERT_TRUE(qdtest::Click(w, IDC_PAUSE));
        ::Sleep(300);
        const double paused = Position(w);
        ::Sleep(400);
        EXPECT_EQ(Position(w), paused);
        ASSERT_TRUE(qdtest::Click(w, IDC_PLAY));
        ASSERT_TRUE(toolbar.WaitPosition([&](double p) { return p > paused + 0.5; }));
        const double shown = Position(w);
        const DWORD clicked = ::GetTickCount();
        EXPECT_EQ(toolbar.Exit(), 0);
        const double played = (::GetTickCount() - clicked) / 1000.0;
        // Playback goes on until the window is destroyed, and the pause there may report the
        // end of the audio already handed to the sound device (about a second under Wine).
        const double stored = GetDword("Position").value_or(0) / 10.0;
        EXPECT_GE(stored, shown - 0.3) << "exit while playing";
        EXPECT_LE(stored, shown + played + 1.5) << "exit while playing";
        EXPECT_EQ(GetDword("Volume"), 2500u);
        EXPECT_EQ(GetDword("Speed"), 150u);
        EXPECT_EQ(GetDword("Port Type"), 0u);
    }
}

TEST_F(ToolbarTest, StoredPlacementIsUsedOnlyWhenTheWholeWindowIsOnScreen) {
    const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int left, top;
        bool accepted;
    } cases[] = {
        {-5, 100, false},
        {screenW - kToolbarWidth + 1, 100, false},
        {screenW - kToolbarWidth, screenH - kToolbarHeight, true},
        {300, screenH - kToolbarHeight + 1, false},
        {120, 240, true},
    };
    for (const Case& c : cases) {
        PrepareProfile(0, 0, "");
        SetDword("left", static_cast<DWORD>(c.left));
        SetDword("top", static_cast<DWORD>(c.top));
        Toolbar toolbar;
        ASSERT_TRUE(toolbar.Start());
        const RECT rc = qdtest::WindowRect(toolbar.Main());
        if (c.accepted) {
            EXPECT_EQ(rc.left, c.left);
            EXPECT_EQ(rc.top, c.top);
        } else {
            EXPECT_EQ(rc.left, 0) << "template position for " << c.left << "," << c.top;
            EXPECT_EQ(rc.top, 0);
        }
        EXPECT_EQ(toolbar.Exit(), 0);
    }
}

TEST_F(ToolbarTest, TheTopmostIndicatorTogglesTheModeAndItIsKept) {
    PrepareProfile(0, 0, "");
    SetDword("Allways Top", 0);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    auto indicator = [&] {
        return qdtest::ShownBitmap(w, IDC_TOPMOST, Exe(), {IDB_TOP_OFF, IDB_TOP_ON});
    };
    EXPECT_FALSE(qdtest::IsTopmost(w));
    EXPECT_EQ(indicator(), IDB_TOP_OFF);
    for (bool on : {true, false, true}) {
        ASSERT_TRUE(qdtest::Click(w, IDC_TOPMOST));
        EXPECT_TRUE(qdtest::WaitUntil([&] { return qdtest::IsTopmost(w) == on; }, 1000));
        // The picture follows with the next repaint.
        const int expected = on ? IDB_TOP_ON : IDB_TOP_OFF;
        EXPECT_TRUE(qdtest::WaitUntil([&] { return indicator() == expected; }, 1000))
            << "shows " << indicator();
    }
    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Allways Top"), 1u);
}

TEST_F(ToolbarTest, ADoubleClickOnTheIconClosesAndSaves) {
    PrepareProfile(0, 0, "");
    SetDword("Auto Rewind", 7);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    ASSERT_TRUE(qdtest::Click(toolbar.Main(), IDC_WINDOW_ICON));
    ::Sleep(600);
    EXPECT_TRUE(::IsWindow(toolbar.Main())) << "a single click does nothing";
    ASSERT_TRUE(qdtest::DoubleClick(toolbar.Main(), IDC_WINDOW_ICON));
    EXPECT_EQ(toolbar.WaitExit(10000), 0);
    EXPECT_EQ(GetDword("Auto Rewind"), 7u);
}

// --- The pedal settings and the About box from the toolbar ------------------------------------
// The reader probes every few milliseconds while a recording is loaded; the settings dialog
// takes the port from it, even with the pedal held, and gives it back.
TEST_F(ToolbarTest, SettingsDialogTakesThePortFromTheReaderAndGivesItBack) {
    PrepareProfile(1, kCom - 1, Fixture("interview.wav"), 20);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    // One probe per poll: the simulator counts who polls, and how often.
    auto pollsPerSecond = [&] {
        m_sim.Clear(kCom);
        ::Sleep(1000);
        return m_sim.Received(kCom);
    };
    EXPECT_GT(pollsPerSecond(), 60) << "the reader's pace, far above the loop's 10 a second";

    // Held into the dialog: its lamp follows the pedal, which nothing else polls meanwhile.
    m_sim.Press(kCom);
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    ASSERT_TRUE(toolbar.WaitPosition([](double p) { return p > 2.5; }));
    ASSERT_TRUE(qdtest::Click(w, IDC_OPTION));
    HWND setup = qdtest::WaitDialog(toolbar.Pid(), 5000, "Réglages", w);
    ASSERT_TRUE(setup);
    EXPECT_TRUE(qdtest::WaitUntil([&] {
        return qdtest::ItemText(setup, IDC_SETUP_LINE) == "Com5: Port type:1 Num:4 Val:0";
    })) << qdtest::ItemText(setup, IDC_SETUP_LINE);
    const int dialogPolls = pollsPerSecond();
    EXPECT_GT(dialogPolls, 5) << "the dialog's lamp polls";
    EXPECT_LT(dialogPolls, 40) << "only the dialog's own 50 ms polls";
    // Released in the dialog: the toolbar pauses once it has the port again.
    m_sim.Release(kCom);
    EXPECT_TRUE(qdtest::Answer(setup, IDOK));
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP, 1000));
    ::Sleep(300);
    const double paused = Position(w);
    ::Sleep(400);
    EXPECT_EQ(Position(w), paused) << "the release made in the dialog paused";

    // Whether the toolbar holds a shortcut: another program cannot register it then.
    const auto held = [](UINT modifiers, UINT vk) {
        if (!::RegisterHotKey(nullptr, 0x66, modifiers, vk))
            return true;
        ::UnregisterHotKey(nullptr, 0x66);
        return false;
    };
    EXPECT_TRUE(held(0, VK_F9));

    // F9 gives way to Ctrl+Alt+J for play/pause and the stamps carry a hash: kept by OK. The
    // second time, Cancel drops a change.
    for (const int answer : {IDOK, IDCANCEL}) {
        ASSERT_TRUE(qdtest::Click(w, IDC_OPTION));
        HWND dlg = qdtest::WaitDialog(toolbar.Pid(), 5000, "Réglages", w);
        ASSERT_TRUE(dlg);
        EXPECT_TRUE(qdtest::WaitUntil([&] {
            return qdtest::ItemText(dlg, IDC_SETUP_LINE) == "Com5: Port type:1 Num:4 Val:0";
        })) << qdtest::ItemText(dlg, IDC_SETUP_LINE);
        EXPECT_FALSE(held(0, VK_F9)) << "the dialog's boxes need the shortcuts' keys";
        ::SendDlgItemMessageA(dlg, IDC_SETUP_STAMP_FORMAT, CB_SETCURSEL, answer == IDOK ? 2 : 0, 0);
        ::SendDlgItemMessageA(dlg, IDC_SETUP_SHORTCUT, HKM_SETHOTKEY,
                              'J' | (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8, 0);
        EXPECT_TRUE(qdtest::Answer(dlg, answer));
    }
    EXPECT_TRUE(qdtest::WaitUntil([&] { return held(MOD_CONTROL | MOD_ALT, 'J'); }, 2000))
        << "the new shortcut is registered after OK";
    EXPECT_FALSE(held(0, VK_F9)) << "the old one is given back";

    EXPECT_GT(pollsPerSecond(), 60) << "the reader reads the port handed back";
    EXPECT_EQ(PedalImage(w), IDB_PEDAL_UP);
    m_sim.Press(kCom);
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_DOWN, 500));
    EXPECT_TRUE(toolbar.WaitPosition([&](double p) { return p > paused; }));
    m_sim.Release(kCom);

    // ABOUT: the version, no driver line for a serial pedal; the system menu's entry likewise.
    for (bool fromMenu : {false, true}) {
        if (fromMenu)
            ::PostMessageA(w, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        else
            ASSERT_TRUE(qdtest::Click(w, IDC_ABOUT));
        HWND about = qdtest::WaitDialog(toolbar.Pid(), 5000, "About Quillodrome", w);
        ASSERT_TRUE(about) << (fromMenu ? "system menu" : "ABOUT button");
        EXPECT_EQ(qdtest::ItemText(about, IDC_ABOUT_VERSION).rfind("Quillodrome  1.", 0), 0u)
            << qdtest::ItemText(about, IDC_ABOUT_VERSION);
        EXPECT_EQ(qdtest::ItemText(about, IDC_ABOUT_DRIVER), "");
        EXPECT_TRUE(qdtest::Answer(about, IDOK));
    }

    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Port Type"), 1u);
    EXPECT_EQ(GetDword("Port Num"), static_cast<DWORD>(kCom - 1));
    EXPECT_EQ(GetDword("Time Stamp Format"), 2u);
    EXPECT_EQ(GetDword("Shortcut Play Pause"),
              static_cast<DWORD>('J' | (MOD_CONTROL | MOD_ALT) << 8));
    EXPECT_EQ(GetDword("Shortcut Back"), static_cast<DWORD>(VK_F7));
}

// --- The pedal's library ----------------------------------------------------------------------
// A pedal library planted in the folder the typist browses is never loaded; beside the program
// it is.
TEST_F(ToolbarTest, ThePedalLibraryIsNotTakenFromTheCurrentFolder) {
    const std::string fake = qdtest::FolderFromEnv("QD_FAKE_FTD2XX") + "full\\";
    const std::string beside = ProgramBesideFakeLibrary("qd-beside");
    struct Case {
        const char* where;
        std::string exe;
        std::string workDir;
        int image;
    } cases[] = {
        {"current folder", Exe(), fake, IDB_NO_PEDAL},
        {"beside the program", beside + "Quillodrome.exe", beside, IDB_PEDAL_UP},
    };
    for (const Case& c : cases) {
        PrepareProfile(3, 0, Fixture("interview.wav"));
        Toolbar toolbar;
        ASSERT_TRUE(toolbar.Start(c.workDir.c_str(), c.exe));
        FakeDevices devices(toolbar.Pid());
        ASSERT_TRUE(devices.Ready());
        devices.PlugPedal();
        // The next attempt comes within eleven ticks.
        ::Sleep(2000);
        EXPECT_EQ(PedalImage(toolbar.Main()), c.image) << c.where;
        EXPECT_EQ(toolbar.Exit(), 0);
    }
}

// A USB pedal that will not open says so in a box of its own, raised from the reconnect on the
// timer. The toolbar stays usable meanwhile, but OPTION must not take away the port whose Open
// is still waiting for the answer.
TEST_F(ToolbarTest, OptionWaitsWhileThePedalsOpenErrorIsUp) {
    PrepareProfile(3, 0, Fixture("interview.wav"));
    Toolbar toolbar;
    ASSERT_TRUE(
        toolbar.Start(nullptr, ProgramBesideFakeLibrary("qd-open-error") + "Quillodrome.exe"));
    HWND w = toolbar.Main();
    FakeDevices devices(toolbar.Pid());
    ASSERT_TRUE(devices.Ready());
    devices->nOpenExStatus = 4;
    devices.PlugPedal();

    HWND box = qdtest::WaitDialog(toolbar.Pid(), 5000, "USB Open", w);
    ASSERT_TRUE(box) << VisibleWindows(toolbar.Pid());
    EXPECT_EQ(qdtest::MessageBoxText(box), "Open error: 4");
    EXPECT_TRUE(::IsWindowEnabled(w)) << "the box belongs to no window";
    ::SetWindowPos(box, nullptr, 0, ::GetSystemMetrics(SM_CYSCREEN) - 160, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(qdtest::Click(w, IDC_OPTION)) << qdtest::LastProblem();
    EXPECT_FALSE(qdtest::WaitDialog(toolbar.Pid(), 1500, "Réglages", w))
        << "the settings dialog took the port under its open error";
    EXPECT_TRUE(qdtest::Answer(box, IDOK));

    // Answered, the toolbar goes on: the pedal, free again, is taken at the next attempt, OPTION
    // works again, and the run ends cleanly.
    devices->nOpenExStatus = 0;
    EXPECT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    ASSERT_TRUE(qdtest::Click(w, IDC_OPTION)) << qdtest::LastProblem();
    HWND setup = qdtest::WaitDialog(toolbar.Pid(), 5000, "Réglages", w);
    ASSERT_TRUE(setup) << VisibleWindows(toolbar.Pid());
    EXPECT_TRUE(qdtest::Answer(setup, IDCANCEL));
    EXPECT_EQ(toolbar.Exit(), 0);
    EXPECT_EQ(GetDword("Port Type"), 3u);
}

// --- The look ----------------------------------------------------------------------------------
TEST_F(ToolbarTest, LoadedToolbarScreenshot) {
    PrepareProfile(1, kCom - 1, Fixture("interview.wav"), 20);
    SetDword("Position", 75);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.Start());
    HWND w = toolbar.Main();
    ASSERT_TRUE(toolbar.WaitPedal(IDB_PEDAL_UP));
    ::Sleep(300);
    const qdtest::Pixels shot = qdtest::Capture(w);
    ASSERT_EQ(shot.w, kToolbarWidth);
    ASSERT_EQ(shot.h, kToolbarHeight);
    const std::string folder = qdtest::FolderFromEnv("QD_ARTIFACT_DIR");
    if (!folder.empty()) {
        EXPECT_TRUE(qdtest::SaveBmp(shot, folder + "toolbar_loaded.bmp"));
    }

    // Read-outs cyan on black: the time read-out's area holds both colours.
    const RECT time = qdtest::WindowRect(::GetDlgItem(w, IDC_TIME));
    const RECT client = qdtest::ClientRectOnScreen(w);
    int cyan = 0, black = 0;
    for (int y = time.top; y < time.bottom; ++y)
        for (int x = time.left; x < time.right; ++x) {
            const uint32_t px = shot.At(x - client.left, y - client.top);
            cyan += px == 0x00C8C8;
            black += px == 0;
        }
    EXPECT_GT(cyan, 20);
    EXPECT_GT(black, cyan);
    // The pressed image of a button shows while the mouse is held on it.
    const qdtest::Pixels upImage = qdtest::Capture(::GetDlgItem(w, IDC_PLAY));
    ASSERT_TRUE(qdtest::MouseDown(w, IDC_PLAY));
    ::Sleep(200);
    const qdtest::Pixels downImage = qdtest::Capture(::GetDlgItem(w, IDC_PLAY));
    qdtest::MouseUp();
    EXPECT_NE(upImage, downImage);
    EXPECT_EQ(upImage.w, 18);
    EXPECT_EQ(upImage.h, 18);
    EXPECT_EQ(toolbar.Exit(), 0);
}

} // namespace

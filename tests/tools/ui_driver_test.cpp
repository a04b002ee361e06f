// The UI driver against a program of its own (ui_target.exe), which shows in its texts what
// it saw of each operation.
#include "tests/tools/ui_driver.h"

#include "tests/tools/ui_target.h"
#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace qdtest;

std::string Sibling(const char* name) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1) + name;
}

// A file of that name in a folder of the test's own, made fresh.
std::string MakeFile(const std::string& name) {
    const std::string folder = Sibling("ui_driver_files\\");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + name;
    if (FILE* f = std::fopen(path.c_str(), "wb"))
        std::fclose(f);
    return path;
}

uint32_t PixelOf(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

class UiDriver : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(m_target.Start(m_exe, why)) << why;
        m_dlg = m_target.Main();
    }

    // Waits for control `id` to show `text`, and says what it shows when it does not.
    ::testing::AssertionResult Shows(int id, const std::string& text) {
        if (WaitUntil([&] { return ItemText(m_dlg, id) == text; }, 3000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "shows '" << ItemText(m_dlg, id) << "'";
    }

    uint32_t OwnerCentre() {
        Pixels p = Capture(::GetDlgItem(m_dlg, IDC_OWNER));
        return p.w ? p.At(p.w / 2, p.h / 2) : 0xFFFFFFFF;
    }

    const std::string m_exe = Sibling("ui_target.exe");
    Program m_target;
    HWND m_dlg = nullptr;
};

TEST_F(UiDriver, StartsWithEnvironmentAndArgumentsReadsAndEnds) {
    Program other;
    other.env = {"QD_TARGET_NOTE=été"};
    other.args = "--un deux";
    std::string why;
    ASSERT_TRUE(other.Start(m_exe, why)) << why;
    EXPECT_EQ(Text(other.Main()), "UI target été --un deux");
    EXPECT_NE(other.Main(), m_dlg);
    EXPECT_EQ(Text(m_dlg), "UI target") << "the environment change stays with its program";

    EXPECT_EQ(ItemText(m_dlg, IDC_EDIT), "entrée");
    EXPECT_EQ(SliderPos(m_dlg, IDC_SLIDER), 20);
    EXPECT_EQ(SliderMax(m_dlg, IDC_SLIDER), 100);
    EXPECT_TRUE(IsTopmost(m_dlg));
    RECT rc = WindowRect(m_dlg);
    EXPECT_GT(rc.right - rc.left, 200);

    ::PostMessageA(m_dlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_target.WaitExit(5000), TARGET_EXIT_CODE);
    EXPECT_FALSE(m_target.Running());
}

TEST_F(UiDriver, StartSaysWhyItFailed) {
    Program missing;
    std::string why;
    EXPECT_FALSE(missing.Start(Sibling("no_such_program.exe"), why));
    EXPECT_NE(why.find("no_such_program.exe"), std::string::npos) << why;
}

TEST_F(UiDriver, ClickPressesTheOwnerDrawnButtonAndCountsOnce) {
    ASSERT_TRUE(WaitUntil([&] { return OwnerCentre() == PixelOf(TARGET_UP_COLOUR); }))
        << std::hex << OwnerCentre() << ": the screen does not give colours back exactly";
    ASSERT_TRUE(MouseDown(m_dlg, IDC_OWNER)) << LastProblem();
    EXPECT_TRUE(WaitUntil([&] { return OwnerCentre() == PixelOf(TARGET_DOWN_COLOUR); }))
        << "no pressed state while the button is held";
    EXPECT_TRUE(Shows(IDC_CLICKS, "clicks=0"));
    MouseUp();
    EXPECT_TRUE(Shows(IDC_CLICKS, "clicks=1"));
    EXPECT_TRUE(WaitUntil([&] { return OwnerCentre() == PixelOf(TARGET_UP_COLOUR); }));

    // At once at the same place: a click, not the end of a double click.
    ASSERT_TRUE(Click(m_dlg, IDC_OWNER)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_CLICKS, "clicks=2"));
    ASSERT_TRUE(PressAndHold(m_dlg, IDC_OWNER, 100)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_CLICKS, "clicks=3"));
}

TEST_F(UiDriver, ClicksOnAPictureChangeItAndShownBitmapTellsWhichItIs) {
    const auto shown = [&](std::initializer_list<int> candidates) {
        return ShownBitmap(m_dlg, IDC_TOGGLE, m_exe, candidates);
    };
    ASSERT_TRUE(WaitUntil([&] {
        return shown({IDB_TARGET_ON, IDB_TARGET_OFF}) != 0;
    })) << LastProblem();
    EXPECT_EQ(shown({IDB_TARGET_ON, IDB_TARGET_OFF}), IDB_TARGET_OFF);
    EXPECT_EQ(shown({IDB_TARGET_ON}), 0) << "a different picture must not match";

    ASSERT_TRUE(Click(m_dlg, IDC_TOGGLE)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_TOGGLES, "clicked=1 double=0"));
    EXPECT_TRUE(WaitUntil([&] { return shown({IDB_TARGET_OFF, IDB_TARGET_ON}) == IDB_TARGET_ON; }));

    ASSERT_TRUE(DoubleClick(m_dlg, IDC_TOGGLE)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_TOGGLES, "clicked=2 double=1"));
    EXPECT_TRUE(WaitUntil([&] {
        return shown({IDB_TARGET_OFF, IDB_TARGET_ON}) == IDB_TARGET_OFF;
    }));
}

TEST_F(UiDriver, DragSliderMovesTheThumbAsAUserWould) {
    int drags = 0, positions = 0;
    for (int value : {70, 0, 100, 33}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(DragSlider(m_dlg, IDC_SLIDER, value)) << LastProblem();
        ++drags;
        EXPECT_EQ(SliderPos(m_dlg, IDC_SLIDER), value);
        const std::string seen = ItemText(m_dlg, IDC_SLIDER_SEEN);
        int track = 0, position = 0, end = 0, released = 0, last = -1;
        ASSERT_EQ(std::sscanf(seen.c_str(), "track=%d position=%d end=%d released=%d last=%d",
                              &track, &position, &end, &released, &last),
                  5)
            << seen;
        EXPECT_GE(track, drags) << seen;
        // Each press ends with one position and one release of the capture. The driver presses
        // again when a loaded trackbar did not follow the pointer, as a user would, so a drag
        // may end more than one track.
        EXPECT_GT(position, positions) << seen;
        positions = position;
        // Wine's trackbar ends the track twice: on the button's release and again when it
        // loses the capture.
        EXPECT_GE(end, position) << seen;
        EXPECT_EQ(released, position) << seen;
        EXPECT_EQ(last, value) << seen;
    }
    EXPECT_FALSE(DragSlider(m_dlg, IDC_SLIDER, 101));
}

struct AnswerCase {
    int button;
    const char* shown;
};

class UiDriverAnswers : public UiDriver, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(UiDriverAnswers, FindReadAndAnswerAMessageBox) {
    ASSERT_TRUE(Click(m_dlg, IDC_ASK)) << LastProblem();
    HWND box = WaitDialog(m_target.Pid(), 5000, "Question", m_dlg);
    ASSERT_TRUE(box) << LastProblem();
    EXPECT_EQ(WaitDialog(m_target.Pid(), 0, "Nothing like it", m_dlg), nullptr);
    EXPECT_EQ(MessageBoxText(box), "Le fichier « été.wav » est introuvable.\nContinuer ?");
    EXPECT_FALSE(Answer(box, IDRETRY)) << "a yes/no box has no retry button";
    ASSERT_TRUE(Answer(box, GetParam().button)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_ANSWER, GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(Buttons, UiDriverAnswers,
                         ::testing::Values(AnswerCase{IDYES, "answer=6"},
                                           AnswerCase{IDNO, "answer=7"}));

TEST_F(UiDriver, ChooseFileTakesAnAccentedName) {
    const std::string path = MakeFile("entretien été.wav");
    ASSERT_TRUE(Click(m_dlg, IDC_OPEN)) << LastProblem();
    HWND dialog = WaitDialog(m_target.Pid(), 15000, nullptr, m_dlg);
    ASSERT_TRUE(dialog) << LastProblem();
    ASSERT_TRUE(ChooseFile(dialog, path)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_OPEN, path));
}

TEST_F(UiDriver, DropFilesReachesAWindowThatAcceptsThem) {
    // Over a child control: the drop goes to the dialog, which accepts files.
    HWND edit = ::GetDlgItem(m_dlg, IDC_EDIT);
    POINT over{4, 4};
    ::MapWindowPoints(edit, m_dlg, &over, 1);
    const std::vector<std::string> three = {"Z:\\tmp\\un.wav", "Z:\\tmp\\deux.wav",
                                            "Z:\\tmp\\entretien été.wav"};
    ASSERT_TRUE(DropFiles(m_dlg, three, over)) << LastProblem();
    EXPECT_TRUE(Shows(IDC_DROPPED, "drops=1 files=3 at=" + std::to_string(over.x) + "," +
                                       std::to_string(over.y) + " last=" + three[2]));

    std::string longPath = "Z:\\tmp";
    while (longPath.size() < 220)
        longPath += "\\dossier assez long";
    longPath += "\\fin.mp3";
    ASSERT_TRUE(DropFiles(m_dlg, {longPath}, POINT{10, 10})) << LastProblem();
    EXPECT_TRUE(Shows(IDC_DROPPED, "drops=2 files=1 at=10,10 last=" + longPath));
}

TEST_F(UiDriver, CaptureKeepsAScreenshot) {
    Pixels shot = Capture(m_dlg);
    RECT rc{};
    ::GetClientRect(m_dlg, &rc);
    EXPECT_EQ(shot.w, rc.right);
    EXPECT_EQ(shot.h, rc.bottom);
    std::string folder = FolderFromEnv("QD_ARTIFACT_DIR");
    if (folder.empty())
        folder = Sibling("");
    const std::string file = folder + "ui_target.bmp";
    ::DeleteFileA(file.c_str());
    ASSERT_TRUE(SaveBmp(shot, file));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 54u + 4u * shot.w * shot.h);
}

} // namespace

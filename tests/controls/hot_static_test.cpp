// The hyperlink label over a patterned parent: its colours as captured on screen while the
// pointer comes and goes, the one leave request per visit, what a click hands to the shell, the
// beep of a failed open, and where and how the text is drawn.
#include "controls/hot_static.h"
#include "framework/shell.h"
#include "tests/controls/controls_test_support.h"
#include "tests/tools/message_pump.h"
#include "tests/tools/modal_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ctltest::Picture;

constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kPurple = 0x800080;
constexpr uint32_t kRed = 0xFF0000;
constexpr const char* kAddress = "https://www.brenvale.fr/vexo/";

int CountOf(const Picture& p, uint32_t colour) {
    return static_cast<int>(std::count(p.px.begin(), p.px.end(), colour));
}

class HotStaticTest : public ::testing::Test {
protected:
    void SetUp() override {
        Park();
        fw::SetShellOpenHook([this](HWND owner, const char* target) {
            m_opened.push_back(target);
            EXPECT_EQ(owner, nullptr) << "the shell is called without an owner";
            return m_bShellAccepts;
        });
    }
    void TearDown() override {
        fw::SetShellOpenHook(nullptr);
        Park();
    }

    // Away from every label, with the moves that the pointer's travel produces handled.
    static void Park() {
        ::SetCursorPos(5, 500);
        qdtest::PumpFor(50);
    }

    // A notifying static at (10, 10) of the parent, bound to `link`, painted once.
    HWND Make(CHotStatic& link, const char* text, DWORD style = SS_LEFT, int w = 300) {
        HWND wnd = ::CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_NOTIFY | style,
                                     10, 10, w, 16, m_parent.m_hWnd, nullptr, nullptr, nullptr);
        ::SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(ctltest::DialogFont()), FALSE);
        EXPECT_TRUE(link.SubclassWindow(wnd));
        ctltest::Repaint(m_parent.m_hWnd);
        return wnd;
    }

    Picture Shot(HWND wnd) {
        qdtest::Pump();
        ::UpdateWindow(m_parent.m_hWnd);
        RECT rc{};
        ::GetWindowRect(wnd, &rc);
        ::MapWindowPoints(nullptr, m_parent.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return ctltest::Capture(m_parent.m_hWnd, rc);
    }

    // The pointer goes onto the label and moves about on it `moves` times.
    void Hover(HWND wnd, int moves = 1) {
        RECT rc{};
        ::GetWindowRect(wnd, &rc);
        ::SetCursorPos(rc.left + 5, rc.top + 5);
        for (int i = 0; i < moves; ++i)
            ::SendMessageA(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(5 + i % 20, 5));
    }

    // The pointer leaves; the system's leave notification is waited for.
    bool Leave(const CHotStatic& link) {
        Park();
        return qdtest::PumpUntil(2000, [&] { return !link.m_bTracking; });
    }

    void Click(HWND wnd) {
        ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        ::SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    }

    ctltest::PatternParent m_parent{40, 40, 400, 60};
    std::vector<std::string> m_opened;
    bool m_bShellAccepts = true;
};

TEST_F(HotStaticTest, RedWhileHoveredThenBlueOrPurpleOnceOpened) {
    const struct {
        bool bOpenedBefore;
        uint32_t after;
    } cases[] = {{false, kBlue}, {true, kPurple}};
    for (const auto& c : cases) {
        CHotStatic link;
        HWND wnd = Make(link, kAddress);
        if (c.bOpenedBefore)
            Click(wnd);
        const Picture before = Shot(wnd);
        EXPECT_GT(CountOf(before, c.after), 20);
        EXPECT_EQ(CountOf(before, kRed), 0);

        Hover(wnd);
        const Picture hovered = Shot(wnd);
        ctltest::Keep(hovered, c.bOpenedBefore ? "hot_static_hover_visited" : "hot_static_hover");
        EXPECT_GT(CountOf(hovered, kRed), 20) << "opened before: " << c.bOpenedBefore;
        EXPECT_EQ(CountOf(hovered, c.after), 0);

        ASSERT_TRUE(Leave(link)) << "no leave notification arrived";
        const Picture left = Shot(wnd);
        EXPECT_EQ(CountOf(left, kRed), 0);
        EXPECT_EQ(left, before) << "opened before: " << c.bOpenedBefore;
        ::DestroyWindow(wnd);
    }
}

TEST_F(HotStaticTest, ManyMovesAskForTheLeaveNotificationOncePerVisit) {
    CHotStatic link;
    HWND wnd = Make(link, kAddress);
    const int before = ctltest::LeaveRequests();
    Hover(wnd, 40);
    EXPECT_EQ(ctltest::LeaveRequests() - before, 1);
    EXPECT_EQ(link.m_bHover, 1);
    ASSERT_TRUE(Leave(link));
    EXPECT_EQ(link.m_bHover, 0);
    Hover(wnd, 40);
    EXPECT_EQ(ctltest::LeaveRequests() - before, 2) << "a new visit asks again";
    ::DestroyWindow(wnd);
}

TEST_F(HotStaticTest, ALabelWithoutTargetOpensItsOwnTextAndKeepsIt) {
    CHotStatic link;
    HWND wnd = Make(link, kAddress);
    Click(wnd);
    ::SetWindowTextA(wnd, "autre texte");
    Click(wnd);
    EXPECT_EQ(m_opened, (std::vector<std::string>{kAddress, kAddress}));
    EXPECT_EQ(link.m_strTarget, kAddress);

    CHotStatic mail;
    HWND other = Make(mail, "E. Kerjean");
    mail.m_strTarget = "mailto:quillodrome@brenvale.fr?subject=Quillodrome.";
    Click(other);
    EXPECT_EQ(m_opened.back(), "mailto:quillodrome@brenvale.fr?subject=Quillodrome.");
    ::DestroyWindow(wnd);
    ::DestroyWindow(other);
}

TEST_F(HotStaticTest, AFailedOpenBeepsKeepsTheColourAndTriesAgainNextTime) {
    m_bShellAccepts = false;
    CHotStatic link;
    HWND wnd = Make(link, kAddress);
    const Picture before = Shot(wnd);
    const int beeps = ctltest::Beeps();
    Click(wnd);
    EXPECT_EQ(ctltest::Beeps() - beeps, 1);
    EXPECT_EQ(link.m_bVisited, 0);
    EXPECT_EQ(Shot(wnd), before) << "still blue";
    m_bShellAccepts = true;
    Click(wnd);
    EXPECT_EQ(ctltest::Beeps() - beeps, 1);
    EXPECT_EQ(m_opened.size(), 2u);
    const Picture after = Shot(wnd);
    ctltest::Keep(after, "hot_static_failed_then_opened");
    EXPECT_GT(CountOf(after, kPurple), 20)
        << CountOf(after, kRed) << " " << CountOf(after, kBlue) << " " << link.m_bHover;
    ::DestroyWindow(wnd);
}

TEST_F(HotStaticTest, TextIsDrawnUnderlinedFromTheTopLeftWhateverTheAlignment) {
    const char* text = "www.brenvale.fr";
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, ctltest::DialogFont());
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text, static_cast<int>(std::string(text).size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);

    for (DWORD style : {SS_LEFT, SS_CENTER, SS_RIGHT}) {
        CHotStatic link;
        HWND wnd = Make(link, text, style | SS_CENTERIMAGE, 300);
        const Picture shot = Shot(wnd);
        ctltest::Keep(shot, "hot_static_style_" + std::to_string(style));
        int left = shot.w, right = -1, bottom = -1;
        for (int y = 0; y < shot.h; ++y)
            for (int x = 0; x < shot.w; ++x)
                if (shot.At(x, y) == kBlue) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    bottom = std::max(bottom, y);
                }
        ASSERT_GE(bottom, 0) << "style " << style << ": no blue text";
        EXPECT_LE(left, 1) << "style " << style;
        EXPECT_LE(right, size.cx) << "style " << style;
        EXPECT_LT(bottom, size.cy) << "style " << style << ": drawn from the top";
        int run = 0;
        for (int x = 0; x < shot.w; ++x)
            run += shot.At(x, bottom) == kBlue;
        EXPECT_GE(run, size.cx * 9 / 10) << "style " << style << ": the underline";
        ::DestroyWindow(wnd);
    }
}

} // namespace

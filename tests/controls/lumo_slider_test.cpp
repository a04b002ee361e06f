// The skin-transparent slider, seen on screen over a patterned parent: the parent's pixels
// everywhere but the channel and the thumb, no tick marks whatever the trackbar is told, a white
// elliptical thumb that leaves no trace, and nothing leaked.
#include "controls/lumo_slider_ctrl.h"
#include "framework/win_app.h"
#include "tests/controls/controls_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ctltest::Picture;

constexpr int kWidth = 220;
constexpr int kHeight = 30;
constexpr uint32_t kWhite = 0xFFFFFF;

struct Case {
    const char* name;
    DWORD style;
    int ticFrequency; // 0: none asked for
    bool bBlackBrush; // the parent gives trackbars a black background brush
};

class SliderBase : public ::testing::Test {
protected:
    HWND Make(LumoSliderCtrl& slider, DWORD style, int x, int y) {
        HWND wnd = ::CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE | style, x, y,
                                     kWidth, kHeight, m_parent.m_hWnd, nullptr, nullptr, nullptr);
        EXPECT_TRUE(slider.SubclassWindow(wnd));
        return wnd;
    }

    // Every pixel of the slider away from its channel and thumb, against what is expected there.
    // Returns the number of pixels that differ.
    int Mismatches(const LumoSliderCtrl& slider, const Picture& shot, POINT at, bool black) {
        RECT channel = slider.GetChannelRect();
        RECT thumb = slider.GetThumbRect();
        int bad = 0;
        for (int y = 0; y < shot.h; ++y)
            for (int x = 0; x < shot.w; ++x) {
                POINT pt{x, y};
                if (::PtInRect(&channel, pt) || ::PtInRect(&thumb, pt))
                    continue;
                const uint32_t want = black ? 0 : ctltest::PatternPixel(at.x + x, at.y + y);
                bad += shot.At(x, y) != want;
            }
        return bad;
    }

    // The thumb is a white ellipse filling its rectangle: white inside, background at the corners.
    void ExpectEllipticalThumb(const LumoSliderCtrl& slider, const Picture& shot, POINT at,
                               bool black) {
        RECT r = slider.GetThumbRect();
        ASSERT_GT(r.right - r.left, 4);
        ASSERT_GT(r.bottom - r.top, 4);
        const double cx = (r.left + r.right - 1) / 2.0, cy = (r.top + r.bottom - 1) / 2.0;
        const double rx = (r.right - r.left) / 2.0 - 1.5, ry = (r.bottom - r.top) / 2.0 - 1.5;
        int inside = 0, notWhite = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const double dx = (x - cx) / rx, dy = (y - cy) / ry;
                if (dx * dx + dy * dy <= 0.8) {
                    ++inside;
                    notWhite += shot.At(x, y) != kWhite;
                }
            }
        EXPECT_GT(inside, 10);
        EXPECT_EQ(notWhite, 0) << "inside the ellipse";
        const POINT corners[] = {{r.left, r.top}, {r.right - 1, r.top}};
        for (POINT c : corners) {
            const uint32_t want = black ? 0 : ctltest::PatternPixel(at.x + c.x, at.y + c.y);
            EXPECT_EQ(shot.At(c.x, c.y), want) << "corner " << c.x << "," << c.y;
        }
    }

    ctltest::PatternParent m_parent{60, 300, 300, 120};
};

class Slider : public SliderBase, public ::testing::WithParamInterface<Case> {};

TEST_P(Slider, ShowsTheParentBehindItAndAWhiteThumbWithoutTicks) {
    const Case& c = GetParam();
    m_parent.m_bBlackTrackbars = c.bBlackBrush;
    LumoSliderCtrl slider;
    const POINT at{20, 40};
    HWND wnd = Make(slider, c.style, at.x, at.y);
    slider.SetRange(0, 20);
    slider.SetPos(5);
    if (c.ticFrequency)
        slider.SendMessage(TBM_SETTICFREQ, c.ticFrequency);
    ctltest::Repaint(m_parent.m_hWnd);

    for (int pos : {5, 15, 0}) {
        slider.SetPos(pos, TRUE);
        ::UpdateWindow(wnd);
        Picture shot = ctltest::Capture(wnd, slider.GetClientRect());
        ctltest::Keep(shot, std::string("slider_") + c.name + "_" + std::to_string(pos));
        EXPECT_EQ(Mismatches(slider, shot, at, c.bBlackBrush), 0)
            << "position " << pos << " (an old thumb or a tick mark left behind?)";
        ExpectEllipticalThumb(slider, shot, at, c.bBlackBrush);
    }
    ::DestroyWindow(wnd);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, Slider,
    ::testing::Values(Case{"Toolbar", TBS_BOTH | TBS_NOTICKS | WS_TABSTOP, 0, false},
                      Case{"AutoTicksBelow", TBS_AUTOTICKS | TBS_BOTTOM, 1, false},
                      Case{"AutoTicksBothSides", TBS_AUTOTICKS | TBS_BOTH, 5, false},
                      Case{"TicksAbove", TBS_AUTOTICKS | TBS_TOP, 2, false},
                      Case{"BlackBrush", TBS_BOTH | TBS_NOTICKS, 0, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

class SliderLife : public SliderBase {};

TEST_F(SliderLife, KeepsTheFirstPictureOfItsBackground) {
    LumoSliderCtrl slider;
    HWND wnd = Make(slider, TBS_BOTH | TBS_NOTICKS, 20, 40);
    ctltest::Repaint(m_parent.m_hWnd);
    // The parent's background changes under it: the slider goes on showing the old one.
    m_parent.m_bBlackTrackbars = false;
    HDC dc = ::GetDC(m_parent.m_hWnd);
    RECT all = m_parent.GetClientRect();
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    ::ReleaseDC(m_parent.m_hWnd, dc);
    slider.SetPos(50, TRUE);
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Picture shot = ctltest::Capture(wnd, slider.GetClientRect());
    EXPECT_EQ(Mismatches(slider, shot, POINT{20, 40}, false), 0);
    ::DestroyWindow(wnd);
}

TEST_F(SliderLife, NeverPaintedReleasesNothingAndSaysNothing) {
    int boxes = 0;
    fw::SetMessageBoxHook([&](HWND, const char*, const char*, UINT) { return ++boxes, IDOK; });
    const int before = ctltest::GdiObjects();
    {
        LumoSliderCtrl slider;
        HWND wnd =
            ::CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD | TBS_BOTH | TBS_NOTICKS, 0, 0,
                              kWidth, kHeight, m_parent.m_hWnd, nullptr, nullptr, nullptr);
        ASSERT_TRUE(slider.SubclassWindow(wnd));
        ::DestroyWindow(wnd);
    }
    EXPECT_EQ(ctltest::GdiObjects(), before);
    EXPECT_EQ(boxes, 0);
    fw::SetMessageBoxHook(nullptr);
}

TEST_F(SliderLife, RepaintsHoldNoNewObjectAndFreeTheCaptureAtTheEnd) {
    const int before = ctltest::GdiObjects();
    {
        LumoSliderCtrl slider;
        HWND wnd = Make(slider, TBS_BOTH | TBS_NOTICKS, 20, 40);
        slider.SetRange(0, 4000);
        ctltest::Repaint(m_parent.m_hWnd);
        const int captured = ctltest::GdiObjects();
        for (int i = 0; i < 2000; ++i) {
            slider.SetPos(i % 4001, TRUE); // every value differs from the last
            ::UpdateWindow(wnd);
        }
        EXPECT_EQ(ctltest::GdiObjects(), captured);
        ::DestroyWindow(wnd);
    }
    EXPECT_EQ(ctltest::GdiObjects(), before) << "the captured background and its device context";
}

} // namespace

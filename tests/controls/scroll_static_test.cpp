// The scrolling caption, seen on screen: when it scrolls, how the band moves and wraps, that
// every pixel of it is drawn whatever the text's length, and what it does with a press.
#include "controls/scroll_static.h"
#include "framework/timer.h"
#include "framework/win_app.h"
#include "tests/controls/controls_test_support.h"
#include "tests/tools/message_pump.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using ctltest::Capture;
using ctltest::Picture;

constexpr int kHeight = 18;
constexpr COLORREF kCyan = RGB(0, 200, 200);

// Lets the test see the band's state.
class Caption : public CScrollStatic {
public:
    int Offset() const { return m_nOffset; }
    int Period() const { return m_nPeriod; }
    bool Scrolling() const { return m_bScrolling != FALSE; }
    void MoveTo(int offset) {
        m_nOffset = offset;
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        ::UpdateWindow(m_hWnd);
    }
};

int TextWidth(const std::string& text) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, ctltest::DialogFont());
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return size.cx;
}

std::string TextOfWidth(int minWidth) {
    const std::string words = "Entretien avec Mme Dubois, enregistrement du mardi. ";
    std::string text;
    while (TextWidth(text) < minWidth)
        text += words;
    return text;
}

class ScrollCaption : public ::testing::Test {
protected:
    void TearDown() override {
        fw::SetTimerRefusalHook(nullptr);
        fw::SetMessageBoxHook(nullptr);
    }

    // A caption of width `w` under the pattern, as the toolbar sets one up, after its first paint.
    HWND Make(Caption& caption, const std::string& text, int w, int y = 10) {
        HWND wnd = ::CreateWindowExA(0, "STATIC", text.c_str(),
                                     WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, 10,
                                     y, w, kHeight, m_parent.m_hWnd, nullptr, nullptr, nullptr);
        ::SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(ctltest::DialogFont()), FALSE);
        caption.m_crText = kCyan;
        caption.m_crBack = RGB(0, 0, 0);
        EXPECT_TRUE(caption.SubclassWindow(wnd));
        ctltest::Repaint(m_parent.m_hWnd);
        EXPECT_TRUE(caption.m_bInitialized);
        return wnd;
    }

public:
    // What the caption shows, in the parent's client coordinates.
    Picture Shot(HWND wnd) {
        RECT rc{};
        ::GetWindowRect(wnd, &rc);
        ::MapWindowPoints(nullptr, m_parent.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return Capture(m_parent.m_hWnd, rc);
    }
    ctltest::PatternParent m_parent{40, 40, 600, 200};
};

// A plain static with the same text, size and font: what a caption that does not scroll must
// look like.
Picture PlainStatic(ctltest::PatternParent& parent, const std::string& text, int w) {
    HWND wnd = ::CreateWindowExA(0, "STATIC", text.c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, 10,
                                 150, w, kHeight, parent.m_hWnd, nullptr, nullptr, nullptr);
    ::SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(ctltest::DialogFont()), FALSE);
    ctltest::Repaint(parent.m_hWnd);
    Picture p = Capture(parent.m_hWnd, RECT{10, 150, 10 + w, 150 + kHeight});
    ::DestroyWindow(wnd);
    return p;
}

TEST_F(ScrollCaption, TextThatFitsStaysStillWithNoTimer) {
    const std::string title = "<< Quillodrome >>";
    const struct {
        std::string text;
        int w;
    } cases[] = {{"", 200}, {title, TextWidth(title) + 15}};
    for (const auto& c : cases) {
        Caption caption;
        HWND wnd = Make(caption, c.text, c.w);
        EXPECT_FALSE(caption.Scrolling()) << '"' << c.text << '"';
        EXPECT_FALSE(ctltest::TimerPending(wnd, 150)) << '"' << c.text << '"';
        EXPECT_EQ(Shot(wnd), PlainStatic(m_parent, c.text, c.w))
            << "a caption that fits looks like an ordinary static: \"" << c.text << '"';
        ::DestroyWindow(wnd);
    }
}

TEST_F(ScrollCaption, OnePixelTooWideScrollsWithAPeriodOfTheWidthPlusOne) {
    const std::string title = "<< Quillodrome >>";
    const int w = TextWidth(title) + 14;
    // The first attempt is refused and the user retries: the caption asks in its own name.
    int attempts = 0;
    fw::SetTimerRefusalHook([&](HWND, UINT elapse) {
        EXPECT_EQ(elapse, 50u);
        return attempts++ == 0;
    });
    HWND owner = nullptr;
    fw::SetMessageBoxHook([&](HWND wnd, const char*, const char*, UINT) {
        owner = wnd;
        return IDRETRY;
    });
    Caption caption;
    HWND wnd = Make(caption, title, w);
    EXPECT_EQ(owner, wnd);
    EXPECT_TRUE(caption.Scrolling());
    EXPECT_EQ(caption.Period(), w + 1);
    EXPECT_TRUE(ctltest::TimerPending(wnd, 150));
    ::DestroyWindow(wnd);
}

// Checks that every capture is the same endless band seen at its offset: band pixel
// (offset + x) mod period must always look the same. Returns the number of disagreements.
class Band {
public:
    Band(int period, int h) : m_nPeriod(period), m_pixels(static_cast<size_t>(period) * h) {
        m_known.assign(m_pixels.size(), false);
        m_h = h;
    }
    int Add(const Picture& p, int offset) {
        int bad = 0;
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                size_t i = static_cast<size_t>(y) * m_nPeriod + (offset + x) % m_nPeriod;
                if (!m_known[i]) {
                    m_known[i] = true;
                    m_pixels[i] = p.At(x, y);
                } else if (m_pixels[i] != p.At(x, y)) {
                    ++bad;
                }
            }
        return bad;
    }
    int Count(uint32_t colour) const {
        int n = 0;
        for (size_t i = 0; i < m_pixels.size(); ++i)
            n += m_known[i] && m_pixels[i] == colour;
        return n;
    }

private:
    int m_nPeriod;
    int m_h;
    std::vector<uint32_t> m_pixels;
    std::vector<bool> m_known;
};

// Steps the band through one whole period and a little more, checking each picture against
// the band. Returns the offsets seen, the one before the first step included. (Until that step
// the caption shows the static's own picture of the text, as its first paint leaves it.)
std::vector<int> Offsets(ScrollCaption& t, Caption& caption, HWND wnd, Band& band,
                         int& disagreements, bool keep) {
    std::vector<int> offsets{caption.Offset()};
    const int steps = caption.Period() / 2 + 8;
    for (int i = 0; i < steps; ++i) {
        caption.SendMessage(WM_TIMER, 0);
        ::UpdateWindow(wnd);
        Picture p = t.Shot(wnd);
        disagreements += band.Add(p, caption.Offset());
        offsets.push_back(caption.Offset());
        if (keep && (i == 0 || i == steps / 2))
            ctltest::Keep(p, "caption_offset_" + std::to_string(caption.Offset()));
    }
    return offsets;
}

} // namespace

TEST_F(ScrollCaption, OffsetsRunByTwoAndWrapWithoutASeam) {
    const int w = 211;
    const std::string text = TextOfWidth(w + 40);
    Caption caption;
    HWND wnd = Make(caption, text, w);
    ASSERT_TRUE(caption.Scrolling());
    const int period = caption.Period();
    EXPECT_EQ(period, TextWidth(text) + 15);

    Band band(period, kHeight);
    int disagreements = 0;
    std::vector<int> offsets = Offsets(*this, caption, wnd, band, disagreements, true);
    ASSERT_GE(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[1], 2);
    EXPECT_EQ(offsets[2], 4);
    int wraps = 0;
    for (size_t i = 1; i < offsets.size(); ++i) {
        if (offsets[i] == 0) {
            ++wraps;
            EXPECT_LT(offsets[i - 1], period);
            EXPECT_GE(offsets[i - 1] + 2, period) << "wraps at the first value that reaches it";
        } else {
            EXPECT_EQ(offsets[i], offsets[i - 1] + 2);
        }
    }
    EXPECT_EQ(wraps, 1);
    EXPECT_EQ(disagreements, 0) << "the band jumped somewhere";
    EXPECT_GT(band.Count(ctltest::PixelOf(kCyan)), 50) << "the text is drawn in the caption colour";

    // Exactly one period on, the picture is the start's.
    caption.MoveTo(0);
    Picture start = Shot(wnd);
    caption.MoveTo(period);
    EXPECT_EQ(Shot(wnd), start);
    ::DestroyWindow(wnd);
}

TEST_F(ScrollCaption, TenControlWidthsScrollWithEveryPixelDrawn) {
    const int w = 150;
    const std::string text = TextOfWidth(10 * w);
    Caption caption;
    HWND wnd = Make(caption, text, w);
    ASSERT_TRUE(caption.Scrolling());
    ASSERT_GT(caption.Period(), 10 * w);
    Band band(caption.Period(), kHeight);
    int disagreements = 0;
    Offsets(*this, caption, wnd, band, disagreements, false);
    EXPECT_EQ(disagreements, 0) << "pixels past the strip's end show leftovers";

    // The last offsets before the wrap show the start of the repeat, not an empty strip.
    caption.MoveTo(0);
    Picture start = Shot(wnd);
    caption.MoveTo(caption.Period());
    EXPECT_EQ(Shot(wnd), start);
    ::DestroyWindow(wnd);
}

TEST_F(ScrollCaption, LongToShortStopsAtOnce) {
    const int w = 200;
    Caption caption;
    HWND wnd = Make(caption, TextOfWidth(3 * w), w);
    ASSERT_TRUE(caption.Scrolling());
    ASSERT_TRUE(ctltest::TimerPending(wnd, 150));

    const std::string title = "<< Quillodrome >>";
    caption.m_strText = L"<< Quillodrome >>";
    caption.SetWindowText(title);
    caption.RestartScroll();
    EXPECT_FALSE(caption.Scrolling());
    EXPECT_FALSE(ctltest::TimerPending(wnd, 0)) << "no tick of the old band is left waiting";
    EXPECT_FALSE(ctltest::TimerPending(wnd, 150));
    ctltest::Repaint(m_parent.m_hWnd);
    EXPECT_EQ(Shot(wnd), PlainStatic(m_parent, title, w));
    ::DestroyWindow(wnd);
}

TEST_F(ScrollCaption, DestroyingWhileScrollingStopsTheBandAndFreesItsObjects) {
    ctltest::DialogFont();
    const int before = ctltest::GdiObjects();
    {
        Caption caption;
        HWND wnd = Make(caption, TextOfWidth(600), 200);
        ASSERT_TRUE(caption.Scrolling());
        ASSERT_TRUE(ctltest::TimerPending(wnd, 150));
        ::DestroyWindow(wnd);
        EXPECT_FALSE(caption.Scrolling());
        EXPECT_EQ(caption.m_hWnd, nullptr);
        MSG msg;
        ::Sleep(120);
        bool stray = false;
        while (::PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            stray = stray || msg.hwnd == wnd;
        EXPECT_FALSE(stray);
    }
    EXPECT_EQ(ctltest::GdiObjects(), before) << "font, strip and its device context released";
}

TEST_F(ScrollCaption, PressMovesTheParentByItsCaption) {
    Caption caption;
    HWND wnd = Make(caption, "<< Quillodrome >>", 200);
    caption.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 5));
    EXPECT_TRUE(m_parent.m_presses.empty()) << "posted, not sent";
    qdtest::Pump();
    ASSERT_EQ(m_parent.m_presses.size(), 1u);
    EXPECT_EQ(m_parent.m_presses[0].hit, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(m_parent.m_presses[0].point, MAKELPARAM(12, 5));
    ::DestroyWindow(wnd);
}

// 2,000 steps of the band (the benchmark runs 10,000) leave the process with as many GDI objects as
// before.
TEST_F(ScrollCaption, StepsHoldNoNewObject) {
    Caption caption;
    HWND wnd = Make(caption, TextOfWidth(600), 200);
    ASSERT_TRUE(caption.Scrolling());
    const int before = ctltest::GdiObjects();
    for (int i = 0; i < 2000; ++i) {
        caption.SendMessage(WM_TIMER, 0);
        ::UpdateWindow(wnd);
    }
    EXPECT_EQ(ctltest::GdiObjects(), before);
    ::DestroyWindow(wnd);
}

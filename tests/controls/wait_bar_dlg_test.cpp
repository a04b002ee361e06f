// The timed wait: its template, the bar's readings tick by tick, the tick that ends it, a second
// showing, the early ends, and a refused timer.
#include "controls/wait_bar_dlg.h"
#include "framework/timer.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "tests/controls/controls_test_support.h"
#include "tests/tools/modal_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

INT_PTR ShowWith(CWaitBarDlg& dlg, std::function<void(HWND)> scenario) {
    return qdtest::RunModal(dlg, dlg.m_strCaption, std::move(scenario));
}

int Bar(HWND dlg) {
    return static_cast<int>(::SendDlgItemMessageA(dlg, IDC_WAIT_PROGRESS, PBM_GETPOS, 0, 0));
}

// Sends ticks until the dialog hides (EndDialog); returns the bar after each one.
std::vector<int> TickToTheEnd(HWND dlg, int limit) {
    std::vector<int> bars;
    while (::IsWindowVisible(dlg) && static_cast<int>(bars.size()) < limit) {
        ::SendMessageA(dlg, WM_TIMER, 0, 0);
        bars.push_back(Bar(dlg));
    }
    return bars;
}

TEST(WaitBar, TemplateAndTextsAsShown) {
    CWaitBarDlg dlg("Quillodrome", "Installation en cours...\nVeuillez patienter!", 15);
    std::string caption, message;
    RECT client{};
    LONG style = 0;
    PBRANGE range{};
    ShowWith(dlg, [&](HWND wnd) {
        char text[256];
        ::GetWindowTextA(wnd, text, sizeof text);
        caption = text;
        ::GetDlgItemTextA(wnd, IDC_WAIT_MESSAGE, text, sizeof text);
        message = text;
        ::GetClientRect(wnd, &client);
        style = ::GetWindowLongA(wnd, GWL_STYLE);
        ::SendDlgItemMessageA(wnd, IDC_WAIT_PROGRESS, PBM_GETRANGE, FALSE,
                              reinterpret_cast<LPARAM>(&range));
        ctltest::Keep(ctltest::CaptureClient(wnd), "wait_dialog");
        ::EndDialog(wnd, 0);
    });
    EXPECT_EQ(caption, "Quillodrome");
    EXPECT_EQ(message, "Installation en cours...\nVeuillez patienter!");
    // 316 x 71 dialog units of 6 x 13 pixels (Tahoma 8).
    EXPECT_EQ(client.right, 474);
    EXPECT_EQ(client.bottom, 115);
    // The system adds WS_CLIPSIBLINGS and DS_3DLOOK to every dialog; DoModal shows it.
    EXPECT_EQ(static_cast<DWORD>(style) &
                  ~static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK),
              0x80C800C8u)
        << std::hex << style;
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
}

TEST(WaitBar, ReadingsTickByTickAndTheTickThatEnds) {
    const struct {
        int seconds;
        std::vector<int> bars;
    } cases[] = {
        {3, {0, 33, 67, 100, 100}},
        {30, {0,  3,  7,  10, 13, 17, 20, 23, 27, 30, 33, 37, 40, 43, 47,  50,
              53, 57, 60, 63, 67, 70, 73, 77, 80, 83, 87, 90, 93, 97, 100, 100}},
    };
    for (const auto& c : cases) {
        CWaitBarDlg dlg("Mise à jour du pilote", "La mise à jour du pilote est en cours.",
                        c.seconds);
        std::vector<int> bars;
        int before = -1;
        const INT_PTR result = ShowWith(dlg, [&](HWND wnd) {
            before = Bar(wnd);
            bars = TickToTheEnd(wnd, 100);
        });
        EXPECT_EQ(before, 0) << c.seconds << " s: the bar starts empty";
        EXPECT_EQ(bars, c.bars) << c.seconds << " s: the last value ends the dialog";
        EXPECT_EQ(result, 0);
    }
}

TEST(WaitBar, SecondShowingCountsAgainFromTheStart) {
    CWaitBarDlg dlg("Quillodrome", "Installation en cours...", 3);
    std::vector<int> first, second;
    ShowWith(dlg, [&](HWND wnd) {
        for (int i = 0; i < 3; ++i) {
            ::SendMessageA(wnd, WM_TIMER, 0, 0);
            first.push_back(Bar(wnd));
        }
        ::PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = ShowWith(dlg, [&](HWND wnd) { second = TickToTheEnd(wnd, 100); });
    EXPECT_EQ(first, (std::vector<int>{0, 33, 67}));
    EXPECT_EQ(second, (std::vector<int>{0, 33, 67, 100, 100}));
    EXPECT_EQ(result, 0);
}

TEST(WaitBar, EscapeEnterAndTheCloseBoxEndItAtOnce) {
    const struct {
        const char* how;
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    } cases[] = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
        {"Enter", WM_KEYDOWN, VK_RETURN, IDOK},
        {"close box", WM_SYSCOMMAND, SC_CLOSE, IDCANCEL},
    };
    for (const auto& c : cases) {
        CWaitBarDlg dlg("Quillodrome", "Installation en cours...", 15);
        DWORD asked = 0;
        const INT_PTR result = ShowWith(dlg, [&](HWND wnd) {
            asked = ::GetTickCount();
            ::PostMessageA(wnd, c.message, c.wParam, 0);
        });
        const DWORD took = ::GetTickCount() - asked;
        EXPECT_EQ(result, c.result) << c.how;
        EXPECT_LT(took, 900u) << c.how << " must not wait for the next tick";
    }
}

// The real timer: a 3-second wait lasts about 5 seconds and ends by itself.
TEST(WaitBar, ThreeSecondsEndByThemselvesAfterFive) {
    CWaitBarDlg dlg("Quillodrome", "Installation en cours...", 3);
    const DWORD start = ::GetTickCount();
    HWND seen = nullptr;
    const INT_PTR result = ShowWith(dlg, [&](HWND wnd) { seen = wnd; });
    const DWORD took = ::GetTickCount() - start;
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_GE(took, 4700u);
    EXPECT_LE(took, 6500u);
}

TEST(WaitBar, RefusedTimerAsksAndCancelQuitsEvenWhenTheRetryWorked) {
    int attempts = 0;
    fw::SetTimerRefusalHook([&](HWND, UINT elapse) {
        EXPECT_EQ(elapse, 1000u);
        return attempts++ == 0;
    });
    HWND owner = nullptr;
    std::string text, caption;
    UINT type = 0;
    fw::SetMessageBoxHook([&](HWND wnd, const char* t, const char* c, UINT kind) {
        owner = wnd;
        text = t;
        caption = c;
        type = kind;
        return IDCANCEL;
    });
    CWaitBarDlg dlg("Quillodrome", "Installation en cours...", 15);
    const DWORD start = ::GetTickCount();
    dlg.DoModal();
    fw::SetTimerRefusalHook(nullptr);
    fw::SetMessageBoxHook(nullptr);

    EXPECT_EQ(attempts, 2) << "tried again after the answer";
    EXPECT_NE(owner, nullptr) << "the dialog's own box";
    EXPECT_EQ(text, "Startup failure");
    EXPECT_EQ(caption, "Timer0");
    EXPECT_EQ(type, static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_LT(::GetTickCount() - start, 900u) << "the quit message ends the dialog";
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

} // namespace

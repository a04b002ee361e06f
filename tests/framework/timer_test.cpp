// The shared timer start: what the user is asked when the system refuses the timer, how often,
// and when the program is told to quit.
#include "framework/timer.h"
#include "framework/win_app.h"
#include "tests/tools/message_pump.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    int nRefused;             // attempts refused before the system gives the timer
    std::vector<int> answers; // the user's answers, in order
    size_t nBoxes;            // boxes the user sees
    bool bQuit;               // the quit message is posted
    bool bRunning;            // the timer runs afterwards
};

class TimerStart : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        m_hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(m_hWnd, nullptr);
    }
    void TearDown() override {
        fw::SetTimerRefusalHook(nullptr);
        fw::SetMessageBoxHook(nullptr);
        ::DestroyWindow(m_hWnd);
        qdtest::Pump();
    }
    HWND m_hWnd = nullptr;
};

TEST_P(TimerStart, AsksAgainOnlyWhileRetryFailsAndQuitsOnCancel) {
    const Case& c = GetParam();
    int attempts = 0;
    fw::SetTimerRefusalHook([&](HWND wnd, UINT elapse) {
        EXPECT_EQ(wnd, m_hWnd);
        EXPECT_EQ(elapse, 20u);
        return attempts++ < c.nRefused;
    });
    struct Box {
        HWND owner;
        std::string text, caption;
        UINT type;
    };
    std::vector<Box> boxes;
    fw::SetMessageBoxHook([&](HWND owner, const char* text, const char* caption, UINT type) {
        boxes.push_back({owner, text, caption, type});
        return boxes.size() <= c.answers.size() ? c.answers[boxes.size() - 1] : IDCANCEL;
    });

    fw::CWnd wnd(m_hWnd);
    EXPECT_EQ(fw::StartWindowTimer(wnd, 20), c.bRunning);

    ASSERT_EQ(boxes.size(), c.nBoxes);
    for (const Box& b : boxes) {
        EXPECT_EQ(b.owner, m_hWnd);
        EXPECT_EQ(b.text, "Startup failure");
        EXPECT_EQ(b.caption, "Timer0");
        EXPECT_EQ(b.type, static_cast<UINT>(MB_RETRYCANCEL)) << "no icon";
    }

    MSG msg;
    const bool quit = ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    EXPECT_EQ(quit, c.bQuit);
    if (quit) {
        EXPECT_EQ(msg.wParam, 0u);
    }

    // The system's own word on the timer: its message arrives, with identifier 0.
    ::Sleep(60);
    const bool ticked = ::PeekMessageA(&msg, m_hWnd, WM_TIMER, WM_TIMER, PM_REMOVE) != 0;
    EXPECT_EQ(ticked, c.bRunning);
    if (ticked) {
        EXPECT_EQ(msg.wParam, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TimerStart,
    ::testing::Values(Case{"Granted", 0, {}, 0, false, true},
                      Case{"RetryOnce", 1, {IDRETRY}, 1, false, true},
                      Case{"RetryUntilGranted", 3, {IDRETRY, IDRETRY, IDRETRY}, 3, false, true},
                      Case{"CancelThoughTheRetryWorked", 1, {IDCANCEL}, 1, true, true},
                      Case{"CancelAfterRetries", 5, {IDRETRY, IDCANCEL}, 2, true, false},
                      Case{"BoxCouldNotShow", 5, {0}, 1, true, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace

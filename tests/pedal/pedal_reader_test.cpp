// CPedalReader with a port double that notices being called from two threads at once or after
// it was handed over: the readings come as messages without any tick, and every way the window
// takes the port (to read its driver, hand it to the settings dialog, replace it, close it)
// stops the worker first. (Unplugging while held is the toolbar's end-to-end test.)
#include "pedal/pedal_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

constexpr UINT kMessage = WM_APP + 9;

// Calls into a port that began while a poll was still inside it, or a port destroyed then.
std::atomic<int> g_overlaps{0};

// A loop-back switch whose echo the test sets; `calls` counts polls.
struct FakeSwitch : CPort {
    std::atomic<bool> echo{false};
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};

    FakeSwitch() { m_bOpen = 1; }
    ~FakeSwitch() override { g_overlaps += inside != 0; }
    bool IsPolled() const override { return true; }
    void Close() override {
        g_overlaps += inside != 0;
        CPort::Close();
    }
    int IsPressed() override {
        g_overlaps += inside++ != 0;
        ++calls;
        const int pressed = m_bOpen && echo;
        ::Sleep(1);
        --inside;
        return pressed;
    }
};

struct Reading {
    WPARAM held;
    LPARAM tag;
};

// The readings posted to a message-only window, collected until `count` have come or 1 s passed.
std::vector<Reading> Collect(HWND sink, size_t count) {
    std::vector<Reading> got;
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (got.size() < count && ::GetTickCount() - start < 1000) {
        if (::PeekMessageA(&msg, sink, kMessage, kMessage, PM_REMOVE))
            got.push_back({msg.wParam, msg.lParam});
        else
            ::Sleep(1);
    }
    return got;
}

TEST(PedalReader, ReadsOnItsOwnAndStopsBeforeTheWindowTouchesThePort) {
    HWND sink =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(sink);
    CPedalReader reader;
    reader.NotifyTo(sink, kMessage);
    EXPECT_FALSE(reader.Start()) << "no port";
    reader.SetPort(std::make_unique<CPort>());
    EXPECT_FALSE(reader.Start()) << "the port of no pedal is not polled";

    auto owned = std::make_unique<FakeSwitch>();
    FakeSwitch& port = *owned;
    reader.SetPort(std::move(owned));
    ASSERT_TRUE(reader.Start());
    // The first reading always comes; then each change, a press at once.
    std::vector<Reading> got = Collect(sink, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].held, 0u);
    EXPECT_TRUE(reader.IsCurrent(got[0].tag));
    port.echo = true;
    got = Collect(sink, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].held, pedal::Bit(pedal::Switch::Middle));

    // Taken by the window (the About box, the update check): the worker is gone first, and a
    // message it posted before is no longer current.
    const LPARAM before = got[0].tag;
    EXPECT_EQ(reader.Port(), &port);
    EXPECT_FALSE(reader.IsReading());
    EXPECT_FALSE(reader.IsCurrent(before));
    const int calls = port.calls;
    ::Sleep(30);
    EXPECT_EQ(port.calls, calls) << "polled after the window took the port";
    EXPECT_TRUE(reader.IsPortOpen());

    // Replaced, handed over and destroyed while reading, over and over: never two calls at once.
    for (int round = 0; round < 20; ++round) {
        auto next = std::make_unique<FakeSwitch>();
        FakeSwitch* current = next.get();
        reader.SetPort(std::move(next));
        ASSERT_TRUE(reader.Start());
        ::Sleep(round % 7);
        if (round % 2) {
            std::unique_ptr<CPort> taken = reader.TakePort();
            EXPECT_EQ(taken.get(), current);
            taken->Close();
        } else {
            reader.Port()->Close();
        }
    }
    reader.SetPort(nullptr);
    EXPECT_EQ(g_overlaps, 0) << "a port called from two threads at once";
    ::DestroyWindow(sink);
}

// Released for a while, the reader slows down; a press is still seen within two slow periods
// and brings the quick pace back at once, for as long as the pedal is held.
TEST(PedalReader, SlowsDownWhileThePedalRestsAndQuickensOnAPress) {
    HWND sink =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(sink);
    CPedalReader reader(200);
    reader.NotifyTo(sink, kMessage);
    auto owned = std::make_unique<FakeSwitch>();
    FakeSwitch& port = *owned;
    reader.SetPort(std::move(owned));
    ASSERT_TRUE(reader.Start());
    const auto callsOver = [&](DWORD ms) {
        const int before = port.calls;
        ::Sleep(ms);
        return port.calls - before;
    };
    const int quick = callsOver(150);
    ::Sleep(100);
    const int quiet = callsOver(300) / 2;
    EXPECT_GT(quick, 2 * quiet) << "quick " << quick << ", quiet " << quiet;
    EXPECT_GE(quiet, 1) << "still polled while quiet";

    Collect(sink, 1);
    port.echo = true;
    const DWORD pressed = ::GetTickCount();
    const std::vector<Reading> got = Collect(sink, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].held, pedal::Bit(pedal::Switch::Middle));
    EXPECT_LT(::GetTickCount() - pressed, 4 * CPedalReader::kQuietPollMs + 50);
    // The press ends the slow period it came in: the next probes follow at the quick pace.
    EXPECT_GE(callsOver(CPedalReader::kQuietPollMs - 5), 2);
    ::Sleep(300);
    EXPECT_GT(callsOver(150), 2 * quiet) << "held: polled quickly again";
    reader.SetPort(nullptr);
    ::DestroyWindow(sink);
}

} // namespace

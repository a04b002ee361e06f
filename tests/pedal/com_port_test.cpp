// CCom against the serial pedal simulator: COM5 (port number 4) and COM6 are pseudo-terminals
// whose far end the test steers.
#include "pedal/com_port.h"

#include "tests/tools/pedal_sim_client.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int kCom = 5; // what CCom number 4 opens
constexpr int kNum = kCom - 1;

bool RunningUnderWine() {
    HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    return hNtdll && ::GetProcAddress(hNtdll, "wine_get_version");
}

class ComPortTest : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(m_sim.Connect(why)) << why;
        ASSERT_TRUE(m_sim.OpenPort(kCom, why)) << why;
    }

    // One timer tick: the pedal has had time to return the last probe, then the port is polled.
    int Poll(CCom& port) {
        ::Sleep(5);
        m_sim.Received(kCom);
        return port.IsPressed();
    }

    int Sent() {
        ::Sleep(5);
        return m_sim.Received(kCom, &m_nLastSent);
    }

    pedal_sim::Client m_sim;
    int m_nLastSent = -1;
};

TEST_F(ComPortTest, PressIsSeenOnePollLateAndReleaseLikewise) {
    CCom port(kNum);
    m_sim.Press(kCom);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsOpen(), 1);
    EXPECT_EQ(Sent(), 0) << "opening sends nothing";

    // Nothing has been sent yet, so nothing can have come back.
    EXPECT_EQ(Poll(port), 0);
    EXPECT_EQ(Sent(), 1);
    EXPECT_EQ(m_nLastSent, 'A');

    std::vector<int> seen;
    for (int i = 0; i < 5; ++i)
        seen.push_back(Poll(port));
    m_sim.Release(kCom);
    for (int i = 0; i < 4; ++i)
        seen.push_back(Poll(port));
    // The probe sent by the last poll while pressed still comes back once.
    EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(Sent(), 10) << "one probe per poll";
    EXPECT_EQ(port.IsOpen(), 1);
}

// Poll waits on the line: released, for the whole wait, one probe sent; pressed, only until the
// echo comes. The bytes of a longer queue are read without waiting, and a plain IsPressed after
// it still never waits.
TEST_F(ComPortTest, PollWaitsForTheEchoAndNoLonger) {
    constexpr DWORD kWaitMs = 60;
    CCom port(kNum);
    ASSERT_EQ(port.Open(), 1);
    const auto Timed = [&](auto&& call, int& result) {
        const auto start = std::chrono::steady_clock::now();
        result = call();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    int pressed = -1;
    double ms = Timed([&] { return port.Poll(kWaitMs); }, pressed);
    EXPECT_EQ(pressed, 0);
    EXPECT_GE(ms, kWaitMs - 5.0) << "released: the read waits for the echo";
    EXPECT_LT(ms, kWaitMs + 100.0);
    EXPECT_EQ(Sent(), 1);

    m_sim.Press(kCom);
    ms = Timed([&] { return port.Poll(kWaitMs); }, pressed);
    EXPECT_EQ(pressed, 1);
    EXPECT_LT(ms, kWaitMs / 2.0) << "pressed: the echo ends the wait";
    m_sim.Release(kCom);
    ::Sleep(5);
    m_sim.Queue(kCom, 11);
    for (int expected : {1, 1, 0}) {
        ms = Timed([&] { return port.IsPressed(); }, pressed);
        EXPECT_EQ(pressed, expected);
        EXPECT_LT(ms, kWaitMs / 2.0) << "IsPressed never waits";
    }
    EXPECT_EQ(port.IsOpen(), 1);
}

TEST_F(ComPortTest, ElevenWaitingBytesAreDrainedOverTwoPolls) {
    CCom port(kNum);
    ASSERT_EQ(port.Open(), 1);
    m_sim.Queue(kCom, 11);
    EXPECT_EQ(Poll(port), 1);
    EXPECT_EQ(Poll(port), 1) << "the eleventh byte stays queued for the next poll";
    EXPECT_EQ(Poll(port), 0);
    EXPECT_EQ(Sent(), 3);
}

TEST_F(ComPortTest, OpensTheLineAt19200EightNoParityOneStop) {
    // A fresh simulated line is at 9600 8N2: the port must change it. (The host keeps every
    // pseudo-terminal at eight bits without parity, so only the DCB read back below shows
    // those two fields.)
    EXPECT_EQ(m_sim.Settings(kCom), "baud 9600 bits 8 parity none stop 2");

    const auto ReadState = [](DCB& dcb) {
        HANDLE h = ::CreateFileA("Com5:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(::GetCommState(h, &dcb));
        ::CloseHandle(h);
    };
    DCB before, after;
    ReadState(before);
    {
        CCom port(kNum);
        ASSERT_EQ(port.Open(), 1);
        EXPECT_EQ(m_sim.Settings(kCom), "baud 19200 bits 8 parity none stop 1");
    }
    ReadState(after);
    EXPECT_EQ(after.BaudRate, 19200u);
    EXPECT_EQ(after.ByteSize, 8);
    EXPECT_EQ(after.Parity, NOPARITY);
    EXPECT_EQ(after.StopBits, ONESTOPBIT);
    // Flow control, DTR/RTS and the special characters stay as the system reported them.
    after.BaudRate = before.BaudRate;
    after.ByteSize = before.ByteSize;
    after.Parity = before.Parity;
    after.StopBits = before.StopBits;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&before), sizeof before),
              std::string(reinterpret_cast<const char*>(&after), sizeof after));
}

TEST_F(ComPortTest, PortNumberSelectsTheDevice) {
    CCom com5(4);
    EXPECT_EQ(com5.Open(), 1);
    EXPECT_EQ(com5.GetListIndex(), 5);
    EXPECT_EQ(Poll(com5), 0);
    EXPECT_EQ(Sent(), 1) << "the probe went to COM5";
    // COM3 is mapped to nothing in the test prefix.
    CCom com3(2);
    EXPECT_EQ(com3.Open(), 0);
    for (int num : {-1, 8}) {
        CCom outside(num);
        EXPECT_EQ(outside.Open(), 0) << num;
        EXPECT_EQ(outside.IsPressed(), 0);
    }
}

TEST_F(ComPortTest, CloseTwiceReleasesTheHandleOnce) {
    CCom port(kNum);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_GE(m_sim.Holders(kCom), 1);
    port.Close();
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(m_sim.Holders(kCom), 0);
    // The system may hand the freed handle value to the next object; a second close of the
    // old value would close this event.
    HANDLE hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(hEvent, nullptr);
    port.Close();
    DWORD dwFlags = 0;
    EXPECT_TRUE(::GetHandleInformation(hEvent, &dwFlags)) << "a handle was closed twice";
    ::CloseHandle(hEvent);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(Sent(), 0);
}

TEST_F(ComPortTest, FailedOpenPollsNothing) {
    m_sim.Unplug(kCom);
    CCom port(kNum);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    m_sim.Plug(kCom);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(Sent(), 0);
}

TEST_F(ComPortTest, UnplugClosesOnTheNextPollAndTheSameObjectReopens) {
    CCom port(kNum);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(Poll(port), 0);
    m_sim.Unplug(kCom);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(port.IsOpen(), 0) << "a failed probe closes the port";
    EXPECT_EQ(port.Open(), 0) << "the device is still away";
    m_sim.Plug(kCom);
    m_sim.Press(kCom);
    m_sim.Clear(kCom);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(Poll(port), 0);
    EXPECT_EQ(Poll(port), 1);
    EXPECT_EQ(m_sim.Settings(kCom), "baud 19200 bits 8 parity none stop 1");
}

TEST_F(ComPortTest, FailedLineSetUpKeepsNoHandle) {
    // The port opens, but what it leads to has no line settings.
    m_sim.NotALine(kCom);
    {
        HANDLE h = ::CreateFileA("Com5:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_GE(m_sim.Holders(kCom), 1) << "an open handle must be visible to the simulator";
        ::CloseHandle(h);
    }
    ASSERT_EQ(m_sim.Holders(kCom), 0);
    CCom port(kNum);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(m_sim.Holders(kCom), 0) << "a handle of a failed open was kept";
    m_sim.Plug(kCom);
    EXPECT_EQ(port.Open(), 1);
}

TEST_F(ComPortTest, ReopeningAnOpenPortStartsAfresh) {
    CCom port(kNum);
    ASSERT_EQ(port.Open(), 1);
    const int nHolders = m_sim.Holders(kCom);
    EXPECT_GE(nHolders, 1);
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(m_sim.Holders(kCom), nHolders) << "the first handle was not released";
    EXPECT_EQ(Poll(port), 0);
    port.Close();
    EXPECT_EQ(m_sim.Holders(kCom), 0);
}

TEST_F(ComPortTest, PortHeldByAnotherHandleDoesNotOpen) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine does not enforce the exclusive share mode on serial devices";
    HANDLE hHeld = ::CreateFileA("Com5:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    CCom port(kNum);
    EXPECT_EQ(port.Open(), 0);
    ::CloseHandle(hHeld);
    EXPECT_EQ(port.Open(), 1);
}

} // namespace

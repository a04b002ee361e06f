// CUSB against the fake Ftd2xx.dll (tests/tools/fake_ftd2xx.cpp), found through the DLL search
// path: a folder with the complete library, one with a library lacking an entry point, and one
// with none.
#include "pedal/usb_port.h"

#include "framework/win_app.h"
#include "tests/tools/fake_ftd2xx_session.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kPedal = "Quillodrome Switch One";

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

class UsbPortTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_fake.Ready());
        m_pFake = m_fake.operator->();
        UseLibrary("full");
        fw::SetMessageBoxHook([this](HWND owner, const char* text, const char* caption, UINT type) {
            m_boxes.push_back({owner, text, caption, type});
            return IDOK;
        });
    }

    void TearDown() override {
        fw::SetMessageBoxHook(nullptr);
        EXPECT_EQ(::GetModuleHandleA("Ftd2xx.dll"), nullptr) << "the library was left loaded";
    }

    // Points the DLL search at a folder of the fake library: "full", "incomplete" or "none".
    void UseLibrary(const char* variant) {
        ASSERT_TRUE(m_fake.UseLibrary(variant)) << "QD_FAKE_FTD2XX is not set";
    }

    fake_ftd2xx::Device& AddDevice(const char* description) {
        return m_fake.AddDevice(description);
    }

    fake_ftd2xx::Session m_fake;
    fake_ftd2xx::Control* m_pFake = nullptr;
    std::vector<Box> m_boxes;
};

TEST_F(UsbPortTest, OpensThePedalByItsDescriptionAmongOtherDevices) {
    fake_ftd2xx::Device& other = AddDevice("USB Serial Converter");
    fake_ftd2xx::Device& pedal = AddDevice(kPedal);
    CUSB port(0);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsOpen(), 1);
    EXPECT_STREQ(m_pFake->szLastOpenEx, kPedal);
    EXPECT_EQ(pedal.bOpen, 1u);
    EXPECT_EQ(other.bOpen, 0u);
    EXPECT_TRUE(m_boxes.empty());
    port.Close();
    EXPECT_EQ(pedal.bOpen, 0u);
    EXPECT_EQ(pedal.nCloses, 1u);
    EXPECT_EQ(m_pFake->nBadHandleCalls, 0u);
}

TEST_F(UsbPortTest, WithoutAnExactDescriptionNothingOpensAndNothingIsShown) {
    const std::vector<std::vector<const char*>> cases = {
        {},
        {"quillodrome switch one"},
        {"QUILLODROME SWITCH ONE", "USB Serial Converter"},
        {"Quillodrome Switch One "},
        {"Quillodrome Switch"},
    };
    for (const auto& descriptions : cases) {
        SCOPED_TRACE(descriptions.empty() ? "no device" : descriptions[0]);
        std::memset(m_pFake, 0, sizeof *m_pFake);
        for (const char* d : descriptions)
            AddDevice(d);
        CUSB port(0);
        EXPECT_EQ(port.Open(), 0);
        EXPECT_EQ(port.IsOpen(), 0);
        EXPECT_EQ(port.IsPressed(), 0);
        EXPECT_EQ(m_pFake->szLastOpenEx[0], '\0') << "FT_OpenEx was called";
        EXPECT_EQ(m_pFake->nAttached, 1);
        EXPECT_EQ(m_pFake->nDetached, 1) << "the library stayed loaded after a failed open";
        EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n");
    }
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(UsbPortTest, PollsLoopTheProbeBackWhilePressed) {
    fake_ftd2xx::Device& pedal = AddDevice(kPedal);
    pedal.bPressed = 1;
    CUSB port(0);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(pedal.nBytesWritten, 0u);
    EXPECT_EQ(port.IsPressed(), 0) << "no probe has been sent yet";
    EXPECT_EQ(pedal.nBytesWritten, 1u);
    EXPECT_EQ(pedal.lastWritten, 'A');
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(port.IsPressed());
    pedal.bPressed = 0;
    for (int i = 0; i < 3; ++i)
        seen.push_back(port.IsPressed());
    EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(pedal.nPurges, 5u) << "each pressed poll discards what came back";
    EXPECT_EQ(pedal.nBytesWritten, 8u);
    EXPECT_EQ(pedal.nRxQueued, 0u);
}

TEST_F(UsbPortTest, DriverVersionOfTheOpenedPedal) {
    const struct {
        DWORD version;
        const char* text;
    } cases[] = {{0x00021228, "02.12.28"}, {0x01020304, "02.03.04"}};
    AddDevice(kPedal);
    for (const auto& c : cases) {
        m_pFake->nDriverVersion = c.version;
        CUSB port(0);
        EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n") << "never opened";
        ASSERT_EQ(port.Open(), 1);
        EXPECT_EQ(port.GetDriverVersionText(), c.text);
        port.Close();
        EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n")
            << "closed: the library is released";
    }
    EXPECT_EQ(m_pFake->nBadHandleCalls, 0u);
}

TEST_F(UsbPortTest, WithoutTheLibraryTheOpenFailsSilently) {
    UseLibrary("none");
    AddDevice(kPedal);
    CUSB port(0);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n");
    EXPECT_EQ(m_pFake->nAttached, 0);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(UsbPortTest, ALibraryLackingAnEntryPointIsNotUsed) {
    UseLibrary("incomplete");
    AddDevice(kPedal);
    CUSB port(0);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(m_pFake->nListCalls, 0u);
    EXPECT_EQ(m_pFake->nAttached, 2);
    EXPECT_EQ(m_pFake->nDetached, 2);
    EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(UsbPortTest, UnpluggingClosesThePortAndALaterOpenFindsItAgain) {
    fake_ftd2xx::Device& pedal = AddDevice(kPedal);
    pedal.bPressed = 1;
    CUSB port(0);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(port.IsPressed(), 1);
    pedal.bUnplugged = 1;
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(::GetModuleHandleA("Ftd2xx.dll"), nullptr);
    EXPECT_EQ(port.Open(), 0) << "still unplugged";
    EXPECT_TRUE(m_boxes.empty());
    pedal.bUnplugged = 0;
    pedal.nRxQueued = 0;
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsPressed(), 0);
    EXPECT_EQ(port.IsPressed(), 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(UsbPortTest, APedalThatWillNotOpenIsReportedOncePerRunOfFailures) {
    AddDevice(kPedal);
    m_pFake->nOpenExStatus = 3;
    CUSB port(0);
    // The box's own message loop runs the main loop's retries: none of them shows a second box.
    fw::SetMessageBoxHook([&](HWND owner, const char* text, const char* caption, UINT type) {
        m_boxes.push_back({owner, text, caption, type});
        EXPECT_EQ(port.Open(), 0);
        CUSB other(0);
        EXPECT_EQ(other.Open(), 0) << "no second box while one is up, even for another port";
        return IDOK;
    });
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(port.Open(), 0);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].owner, nullptr);
    EXPECT_EQ(m_boxes[0].text, "Open error: 3");
    EXPECT_EQ(m_boxes[0].caption, "USB Open");
    EXPECT_EQ(m_boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(port.GetDriverVersionText(), "error reading driver version\n");

    // After a successful open, a new run of failures is reported again; so is a new port object.
    m_pFake->nOpenExStatus = 0;
    EXPECT_EQ(port.Open(), 1);
    m_pFake->nOpenExStatus = 4;
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.Open(), 0);
    CUSB fresh(0);
    EXPECT_EQ(fresh.Open(), 0);
    ASSERT_EQ(m_boxes.size(), 3u);
    EXPECT_EQ(m_boxes[1].text, "Open error: 4");
    EXPECT_EQ(m_boxes[2].text, "Open error: 4");
}

TEST_F(UsbPortTest, HundredOpenCloseCyclesBalanceTheLibraryLoads) {
    fake_ftd2xx::Device& pedal = AddDevice(kPedal);
    CUSB port(0);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(port.Open(), 1) << i;
        port.IsPressed();
        port.Close();
        port.Close();
    }
    EXPECT_EQ(m_pFake->nAttached, 100);
    EXPECT_EQ(m_pFake->nDetached, 100);
    EXPECT_EQ(pedal.nOpens, 100u);
    EXPECT_EQ(pedal.nCloses, 100u);
    EXPECT_EQ(m_pFake->nBadHandleCalls, 0u);
}

TEST_F(UsbPortTest, OpeningAnOpenPortDoesNotLeakTheDeviceOrTheLibrary) {
    fake_ftd2xx::Device& pedal = AddDevice(kPedal);
    {
        CUSB port(0);
        ASSERT_EQ(port.Open(), 1);
        ASSERT_EQ(port.Open(), 1);
        EXPECT_EQ(pedal.nOpens, 2u);
        EXPECT_EQ(pedal.nCloses, 1u);
    }
    // The destructor closed the device and released the library.
    EXPECT_EQ(pedal.bOpen, 0u);
    EXPECT_EQ(pedal.nCloses, 2u);
    EXPECT_EQ(m_pFake->nAttached, m_pFake->nDetached);
}

TEST_F(UsbPortTest, BeyondSixtyFourDevicesOnlyTheFirstAreScanned) {
    const struct {
        int pedalAt;
        int opened;
    } cases[] = {{10, 1}, {63, 1}, {64, 0}, {69, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pedalAt);
        std::memset(m_pFake, 0, sizeof *m_pFake);
        for (int i = 0; i < 70; ++i)
            AddDevice(i == c.pedalAt ? kPedal : "USB Serial Converter");
        CUSB port(0);
        EXPECT_EQ(port.Open(), c.opened);
        EXPECT_EQ(m_pFake->nShortLists, 0u) << "the list had no room for every device";
        port.Close();
    }
    EXPECT_TRUE(m_boxes.empty());
}

} // namespace

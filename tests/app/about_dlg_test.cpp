// The About box built from its template: the version line from the application's version, the
// driver line for each kind of port it may be given, and the two links as the shell sees them.
#include "app/about_dlg.h"

#include "maker/maker_site.h"
#include "app/quillodrome_app.h"
#include "framework/shell.h"
#include "framework/win_app.h"
#include "pedal/port.h"
#include "pedal/port_catalogue.h"
#include "res/resource.h"
#include "tests/controls/controls_test_support.h"
#include "tests/tools/fake_ftd2xx_session.h"
#include "tests/tools/message_pump.h"
#include "tests/tools/modal_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The application object the About box reads its version from.
CQuillodromeApp g_app;

namespace {

constexpr const char* kCaption = "About Quillodrome";
constexpr const char* kPedal = "Quillodrome Switch One";

std::string Text(HWND dlg, int id) {
    char text[256] = {};
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

void Click(HWND dlg, int id) {
    HWND link = ::GetDlgItem(dlg, id);
    ::SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

class AboutDlgTest : public testing::Test {
protected:
    void SetUp() override {
        g_app.m_strVersion = "2.1.0.5";
        ASSERT_TRUE(m_fake.Ready());
        ASSERT_TRUE(m_fake.UseLibrary("full")) << "QD_FAKE_FTD2XX is not set";
        fw::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
            ADD_FAILURE() << "unexpected box: " << text;
            return IDOK;
        });
        fw::SetShellOpenHook([this](HWND, const char* target) {
            m_opened.push_back(target);
            return true;
        });
    }
    void TearDown() override {
        fw::SetMessageBoxHook(nullptr);
        fw::SetShellOpenHook(nullptr);
    }

    fake_ftd2xx::Session m_fake;
    std::vector<std::string> m_opened;
};

TEST_F(AboutDlgTest, VersionLineAndTheDriverLineForEachPort) {
    const struct {
        const char* name;
        int type;          // -1: no port at all
        const char* pedal; // "open", "unplugged" or "" (no USB device)
        bool bGivePort;    // false: the system menu's plain form
        const char* driver;
    } cases[] = {
        {"usb_open", 3, "open", true, "Driver: 02.12.28"},
        {"usb_unplugged", 3, "unplugged", true, "Driver: error reading driver version\n"},
        {"serial", 1, "", true, ""},
        {"no_pedal", 0, "", true, ""},
        {"plain", -1, "", false, ""},
        {"plain_with_usb_open", 3, "open", false, ""},
    };
    for (const auto& c : cases) {
        *m_fake.operator->() = {};
        m_fake->nDriverVersion = 0x00021228;
        std::unique_ptr<CPort> port;
        if (c.type >= 0)
            port = CreatePort(c.type, c.type == pedal::TypeCode(pedal::PortKind::Serial) ? 4 : 0);
        if (std::string(c.pedal) != "") {
            fake_ftd2xx::Device& device = m_fake.AddDevice(kPedal);
            EXPECT_EQ(port->Open(), 1) << c.name;
            device.bUnplugged = std::string(c.pedal) == "unplugged";
            if (device.bUnplugged) {
                EXPECT_EQ(port->IsPressed(), 0) << c.name << ": the poll that finds it gone";
            }
        }
        CAboutDlg dlg(nullptr, c.bGivePort ? port.get() : nullptr);
        std::string version, driver;
        std::vector<std::string> clipped;
        qdtest::RunModal(dlg, kCaption, [&](HWND wnd) {
            version = Text(wnd, IDC_ABOUT_VERSION);
            driver = Text(wnd, IDC_ABOUT_DRIVER);
            clipped = ctltest::ClippedTexts(wnd);
            ctltest::Repaint(wnd);
            qdtest::PumpUntil(100, nullptr);
            ctltest::Keep(ctltest::Capture(nullptr, fw::CWnd(wnd).GetWindowRect()),
                          std::string("about_") + c.name);
            ::PostMessageA(wnd, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(version, "Quillodrome  2.1.0.5 (64)") << c.name;
        EXPECT_EQ(driver, c.driver) << c.name;
        EXPECT_EQ(clipped, std::vector<std::string>{}) << c.name;
        port.reset();
    }
    EXPECT_EQ(::GetModuleHandleA("Ftd2xx.dll"), nullptr);
}

TEST_F(AboutDlgTest, TheLinksOpenAMailWithItsSubjectAndThePageTheyShow) {
    const std::string page = maker::Url(maker::kProjectPagePath);
    CAboutDlg dlg;
    std::string shown;
    qdtest::RunModal(dlg, kCaption, [&](HWND wnd) {
        shown = Text(wnd, IDC_ABOUT_WEB);
        Click(wnd, IDC_ABOUT_MAIL);
        Click(wnd, IDC_ABOUT_WEB);
        Click(wnd, IDC_ABOUT_WEB);
        ::PostMessageA(wnd, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(shown, page);
    EXPECT_EQ(m_opened, (std::vector<std::string>{
                            "mailto:quillodrome@brenvale.fr?subject=Quillodrome.", page, page}));
    EXPECT_EQ(dlg.m_linkMail.m_bVisited, 1);
    EXPECT_EQ(dlg.m_linkWeb.m_bVisited, 1);
}

} // namespace

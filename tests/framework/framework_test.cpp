// The framework's own logic: message routing, reflection, data exchange, the profile and the
// application message box.
#include "framework/dialog.h"
#include "framework/system_message.h"
#include "framework/win_app.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

class TestApp : public fw::CWinApp {
public:
    TestApp() : fw::CWinApp("QdFrameworkTest") {}
};
TestApp g_app;

std::vector<std::string> g_events;

// A static control that takes its own clicks.
class ClickStatic : public fw::Routed<ClickStatic, fw::CWnd> {
protected:
private:
    void OnClicked() { g_events.push_back("child:502 clicked"); }
    friend Routed;
    static const fw::MessageMap<ClickStatic> s_messageMap;
};
const fw::MessageMap<ClickStatic> ClickStatic::s_messageMap = {
    fw::on::ReflectCommand(STN_CLICKED, &ClickStatic::OnClicked),
};

// A trackbar that sees its own custom-draw notifications.
class DrawnSlider : public fw::Routed<DrawnSlider, fw::CWnd> {
public:
    int m_nPrePaints = 0;

protected:
private:
    void OnCustomDraw(NMHDR* hdr, LRESULT* result) {
        if (reinterpret_cast<NMCUSTOMDRAW*>(hdr)->dwDrawStage == CDDS_PREPAINT)
            ++m_nPrePaints;
        *result = CDRF_DODEFAULT;
    }
    friend Routed;
    static const fw::MessageMap<DrawnSlider> s_messageMap;
};
const fw::MessageMap<DrawnSlider> DrawnSlider::s_messageMap = {
    fw::on::ReflectNotify(NM_CUSTOMDRAW, &DrawnSlider::OnCustomDraw),
};

class BaseDlg : public fw::Routed<BaseDlg, fw::CDialog> {
public:
    BaseDlg() : Routed(500) {}

protected:
    void OnGo() { g_events.push_back("base:go"); }
    void OnBaseOnly() { g_events.push_back("base:app+2"); }
    void OnPassedOn() { g_events.push_back("base:app+3"); }
    void OnEnd() { EndDialog(43); }

private:
    friend Routed;
    static const fw::MessageMap<BaseDlg> s_messageMap;
};
const fw::MessageMap<BaseDlg> BaseDlg::s_messageMap = {
    fw::on::Command(501, &BaseDlg::OnGo),
    fw::on::Simple(WM_APP + 2, &BaseDlg::OnBaseOnly),
    fw::on::Simple(WM_APP + 3, &BaseDlg::OnPassedOn),
    fw::on::Simple(WM_APP + 4, &BaseDlg::OnEnd),
};

// Adds no entries: its base's table still routes its messages.
class PlainDlg : public BaseDlg {
protected:
    BOOL OnInitDialog() override {
        BaseDlg::OnInitDialog();
        PostMessage(WM_APP + 2);
        PostMessage(WM_APP + 4);
        return TRUE;
    }
};

class RoutingDlg : public fw::Routed<RoutingDlg, BaseDlg> {
public:
    ClickStatic m_reflected;
    DrawnSlider m_slider;
    std::string m_strText = "posé par l'échange";
    int m_nCancels = 0;
    std::string m_strTitle;

protected:
    void DoDataExchange(fw::DataExchange& dx) override {
        fw::DDX_Control(dx, 502, m_reflected);
        fw::DDX_Control(dx, 503, m_slider);
        fw::DDX_Text(dx, 505, m_strText);
    }
    BOOL OnInitDialog() override {
        BaseDlg::OnInitDialog();
        PostMessage(WM_APP + 1);
        return TRUE;
    }

private:
    void OnGo() { g_events.push_back("derived:go"); }
    void OnPlainClicked() { g_events.push_back("parent:504 clicked"); }
    void OnReflectedClickedInParent() { g_events.push_back("parent:502 clicked"); }
    void OnFirstLook() {
        g_events.push_back("derived:app+3 first");
        Decline();
    }
    void OnSecondLook() {
        // A message sent from inside a handler has its own answer.
        SendMessage(WM_APP + 2);
        Decline();
        g_events.push_back("derived:app+3 second");
    }
    // Dialogs are Unicode windows: the text arrives in UTF-16 whichever call set it.
    LRESULT OnSetText(WPARAM, LPARAM text) {
        const std::wstring wide = reinterpret_cast<const wchar_t*>(text);
        g_events.push_back("derived:settext " + std::string(wide.begin(), wide.end()));
        Decline();
        return 0;
    }
    void OnCancel() override { ++m_nCancels; }
    void OnRun() {
        ::SendMessageA(GetDlgItem(501), BM_CLICK, 0, 0);
        HWND s502 = GetDlgItem(502), s504 = GetDlgItem(504);
        SendMessage(WM_COMMAND, MAKEWPARAM(502, STN_CLICKED), reinterpret_cast<LPARAM>(s502));
        SendMessage(WM_COMMAND, MAKEWPARAM(504, STN_CLICKED), reinterpret_cast<LPARAM>(s504));
        SendMessage(WM_APP + 2);
        SendMessage(WM_APP + 3);
        ::SetWindowTextA(m_hWnd, "Titre vu");
        m_strTitle = GetWindowText();
        ::RedrawWindow(m_slider.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        SendMessage(WM_COMMAND, IDCANCEL);
        m_strText = "relu";
        UpdateData(TRUE);
        EndDialog(42);
    }

    friend Routed;
    static const fw::MessageMap<RoutingDlg> s_messageMap;
};
const fw::MessageMap<RoutingDlg> RoutingDlg::s_messageMap = {
    fw::on::Simple(WM_APP + 1, &RoutingDlg::OnRun),
    fw::on::Command(501, &RoutingDlg::OnGo),
    fw::on::Command(504, STN_CLICKED, &RoutingDlg::OnPlainClicked),
    fw::on::Command(502, STN_CLICKED, &RoutingDlg::OnReflectedClickedInParent),
    fw::on::Simple(WM_APP + 3, &RoutingDlg::OnFirstLook),
    fw::on::Simple(WM_APP + 3, &RoutingDlg::OnSecondLook),
    fw::on::Raw(WM_SETTEXT, &RoutingDlg::OnSetText),
};

TEST(MessageMap, AClassWithoutATableKeepsItsBasesRouting) {
    g_events.clear();
    PlainDlg dlg;
    EXPECT_EQ(dlg.DoModal(), 43);
    EXPECT_EQ(g_events, std::vector<std::string>{"base:app+2"});
}

TEST(MessageMap, DerivedTablesComeFirstAndChildrenTakeTheirOwnNotifications) {
    g_events.clear();
    RoutingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), 42);
    // The derived entry for 501 hides the base's; declined entries pass the message on to the
    // next matching entry, the base's table and the default processing (which sets the title).
    const std::vector<std::string> expected = {
        "derived:go",           "child:502 clicked",   "parent:504 clicked",
        "base:app+2",           "derived:app+3 first", "base:app+2",
        "derived:app+3 second", "base:app+3",          "derived:settext Titre vu"};
    EXPECT_EQ(g_events, expected);
    EXPECT_EQ(dlg.m_strTitle, "Titre vu");
    EXPECT_GE(dlg.m_slider.m_nPrePaints, 1);
    EXPECT_EQ(dlg.m_nCancels, 1) << "IDCANCEL must reach the virtual OnCancel";
    EXPECT_EQ(dlg.m_strText, "posé par l'échange") << "data exchange must read the text back";
    EXPECT_EQ(dlg.m_reflected.m_hWnd, nullptr) << "destroying the window detaches its object";
}

// The profile lands where the framework promises, in the registry's own terms.
class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        g_app.SetRegistryKey("Brenvale");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brenvale\\QdFrameworkTest");
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brenvale\\QdFrameworkTest");
    }

    static LONG Query(const char* name, DWORD* type, std::vector<BYTE>* data) {
        HKEY key;
        LONG rc = ::RegOpenKeyExA(
            HKEY_CURRENT_USER, "Software\\Brenvale\\QdFrameworkTest\\Settings", 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS)
            return rc;
        DWORD size = 0;
        rc = ::RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
        data->resize(size);
        if (rc == ERROR_SUCCESS)
            rc = ::RegQueryValueExA(key, name, nullptr, type, data->data(), &size);
        ::RegCloseKey(key);
        return rc;
    }
    static void Store(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER,
                                    "Software\\Brenvale\\QdFrameworkTest\\Settings", 0, nullptr, 0,
                                    KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        ::RegCloseKey(key);
    }
};

TEST_F(Profile, WritesDwordsAndStringsUnderTheMakersKey) {
    EXPECT_EQ(g_app.ProfileKeyPath(), "Software\\Brenvale\\QdFrameworkTest");
    EXPECT_TRUE(g_app.WriteProfileInt("Settings", "Volume", 2500));
    EXPECT_TRUE(g_app.WriteProfileInt("Settings", "left", -5));
    EXPECT_TRUE(g_app.WriteProfileString("Settings", "Recent", "C:\\Dictées\\été.wav"));

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Query("Volume", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(data.data()), 2500u);
    ASSERT_EQ(Query("left", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(data.data()), 0xFFFFFFFBu);
    ASSERT_EQ(Query("Recent", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<char*>(data.data()), "C:\\Dictées\\été.wav");

    EXPECT_EQ(static_cast<int>(g_app.GetProfileInt("Settings", "left", 0)), -5);
    EXPECT_EQ(g_app.GetProfileString("Settings", "Recent", "x"), "C:\\Dictées\\été.wav");
}

TEST_F(Profile, MissingOrMisshapenValuesGiveTheDefault) {
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Volume", 4000), 4000u) << "no key at all";
    EXPECT_EQ(g_app.GetProfileString("Settings", "Recent", "Quillodrome"), "Quillodrome");
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_NE(Query("Volume", &type, &data), ERROR_SUCCESS) << "reading must not create the key";

    const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Store("Long", REG_BINARY, eight, sizeof eight);
    Store("Text", REG_SZ, "12", 3);
    const DWORD seven = 7;
    Store("Typed", REG_BINARY, &seven, 4);
    Store("Number", REG_DWORD, &seven, 4);
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Long", 3), 3u);
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Text", 3), 3u);
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Typed", 3), 3u);
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Missing", 3), 3u);
    EXPECT_EQ(g_app.GetProfileInt("Settings", "Number", 3), 7u);
    EXPECT_EQ(g_app.GetProfileString("Settings", "Number", "d"), "d");
}

// A box never comes up empty: a code the system has no words for is named in hex.
TEST(AppMessageBox, ErrorTextsAreTheSystemsOrSayTheCode) {
    const std::string known = fw::ErrorText(ERROR_FILE_NOT_FOUND, "Erreur 0x%08lX.");
    EXPECT_FALSE(known.empty());
    EXPECT_EQ(known.find("0x"), std::string::npos) << known;
    EXPECT_NE(known.back(), '\n') << "the line break FormatMessage adds is gone";
    EXPECT_EQ(fw::SystemMessage(0xE0F0ABCD), "");
    EXPECT_EQ(fw::ErrorText(0xE0F0ABCD, "Impossible de lancer (erreur 0x%08lX)."),
              "Impossible de lancer (erreur 0xE0F0ABCD).");
}

TEST(AppMessageBox, CaptionIsTheAppNameAndIconsFollowTheButtons) {
    struct Seen {
        std::string text, caption;
        UINT type;
    } seen{};
    fw::SetMessageBoxHook([&](HWND, const char* text, const char* caption, UINT type) {
        seen = {text, caption, type};
        return IDYES;
    });
    const struct {
        UINT type;
        UINT icon;
    } cases[] = {{MB_OK, MB_ICONEXCLAMATION}, {MB_OKCANCEL, MB_ICONEXCLAMATION},
                 {MB_YESNO, MB_ICONQUESTION}, {MB_YESNOCANCEL, MB_ICONQUESTION},
                 {MB_RETRYCANCEL, 0},         {MB_OK | MB_ICONSTOP, MB_ICONSTOP}};
    for (const auto& c : cases) {
        EXPECT_EQ(fw::AfxMessageBox("Fichier introuvable", c.type), IDYES);
        EXPECT_EQ(seen.text, "Fichier introuvable");
        EXPECT_EQ(seen.caption, "QdFrameworkTest");
        EXPECT_EQ(seen.type & MB_ICONMASK, c.icon) << "type " << c.type;
        EXPECT_EQ(seen.type & MB_TYPEMASK, c.type & MB_TYPEMASK);
    }
    fw::SetMessageBoxHook(nullptr);
}

} // namespace

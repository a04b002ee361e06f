// The pedal settings dialog built from its template, on the serial pedal simulator (COM5, port
// number 4) and the fake USB library: what it shows for the port it is given, what each row
// does, the lamp on the real timer, what Cancel gives back, and that no choice leaves a handle,
// a device or a library load behind.
#include "pedal/setup_dlg.h"

#include "framework/controls.h"
#include "framework/timer.h"
#include "framework/win_app.h"
#include "pedal/com_port.h"
#include "pedal/port_catalogue.h"
#include "pedal/usb_port.h"
#include "res/resource.h"
#include "tests/controls/controls_test_support.h"
#include "tests/tools/fake_ftd2xx_session.h"
#include "tests/tools/key_input.h"
#include "tests/tools/gdi_objects.h"
#include "tests/tools/message_pump.h"
#include "tests/tools/modal_dialog.h"
#include "tests/tools/pedal_sim_client.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kCom = 5;
constexpr int kComNum = kCom - 1;
constexpr uint8_t kVkF9 = pedal::kVkF9;
constexpr const char* kPedal = "Quillodrome Switch One";
constexpr const char* kInvalid =
    "Le port spécifié n'est pas valide !\nVérifiez le réglage du port spécifié.";
constexpr const char* kCaption = "Réglages";

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
};

// Counts the ticks the dialog has handled.
class CountingSetupDlg : public SetupDlg {
public:
    using SetupDlg::SetupDlg;
    int m_nTicks = 0;

protected:
    bool OnWndMsg(const fw::Message& m, LRESULT& result) override {
        m_nTicks += m.message == WM_TIMER;
        return SetupDlg::OnWndMsg(m, result);
    }
};

// The type and number the port made from table row `row` stores: a parallel row makes the port
// of no pedal.
std::pair<int, int> StoredOf(int row) {
    const pedal::PortRow& r = pedal::PortAt(row);
    if (r.kind == pedal::PortKind::Parallel)
        return {0, 0};
    return {pedal::TypeCode(r.kind), r.num};
}

std::string Text(HWND dlg, int id) {
    char text[256] = {};
    ::GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

fw::CComboBox Combo(HWND dlg) {
    return fw::CComboBox(::GetDlgItem(dlg, IDC_SETUP_PORT));
}

std::string Selected(HWND dlg) {
    const fw::CComboBox combo = Combo(dlg);
    return combo.GetLBText(combo.GetCurSel());
}

// The user picks `row` in the list `id`.
void Pick(HWND dlg, int id, int row) {
    fw::CComboBox(::GetDlgItem(dlg, id)).SetCurSel(row);
    ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}
void Choose(HWND dlg, int row) {
    Pick(dlg, IDC_SETUP_PORT, row);
}

void Tick(HWND dlg) {
    ::SendMessageA(dlg, WM_TIMER, fw::kWindowTimerId, 0);
}

// The colour at the middle of the image the lamp holds now: 0x800000 released, 0xFF0000 lit.
uint32_t LampColour(HWND dlg) {
    auto bitmap = reinterpret_cast<HBITMAP>(
        ::SendDlgItemMessageA(dlg, IDC_SETUP_PEDAL, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info{};
    if (!bitmap || !::GetObjectA(bitmap, sizeof info, &info) || info.bmWidth != 11 ||
        info.bmHeight != 11)
        return 0xFFFFFFFF;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 11;
    bi.bmiHeader.biHeight = -11;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    uint32_t px[11 * 11] = {};
    HDC dc = ::GetDC(nullptr);
    ::GetDIBits(dc, bitmap, 0, 11, px, &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, dc);
    return px[6 * 11 + 6] & 0xFFFFFF;
}
constexpr uint32_t kDark = 0x800000;
constexpr uint32_t kLit = 0xFF0000;

class SetupDlgTest : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(m_sim.Connect(why)) << why;
        ASSERT_TRUE(m_sim.OpenPort(kCom, why)) << why;
        ASSERT_TRUE(m_fake.Ready());
        ASSERT_TRUE(m_fake.UseLibrary("full")) << "QD_FAKE_FTD2XX is not set";
        fw::SetMessageBoxHook([this](HWND owner, const char* text, const char* caption, UINT) {
            m_boxes.push_back({owner, text, caption});
            return IDOK;
        });
    }
    void TearDown() override {
        fw::SetMessageBoxHook(nullptr);
        fw::SetTimerRefusalHook(nullptr);
        EXPECT_EQ(::GetModuleHandleA("Ftd2xx.dll"), nullptr) << "the library was left loaded";
    }

    struct Run {
        INT_PTR result;
        std::unique_ptr<CPort> port;
        SetupChoices choices;
    };
    // Runs the dialog on `port`; `scenario` acts in it and must end it.
    // `prepare` runs before the dialog is created.
    Run Show(std::unique_ptr<CPort> port, const std::function<void(HWND, SetupDlg&)>& scenario,
             const std::function<void(SetupDlg&)>& prepare = nullptr) {
        CountingSetupDlg dlg(nullptr, std::move(port));
        if (prepare)
            prepare(dlg);
        const INT_PTR result =
            qdtest::RunModal(dlg, kCaption, [&](HWND wnd) { scenario(wnd, dlg); });
        return {result, dlg.TakePort(), dlg.Choices()};
    }

    std::unique_ptr<CPort> OpenUsbPedal() {
        m_fake.AddDevice(kPedal);
        auto port = CreatePort(pedal::TypeCode(pedal::PortKind::Usb), 0);
        EXPECT_EQ(port->Open(), 1);
        return port;
    }

    pedal_sim::Client m_sim;
    fake_ftd2xx::Session m_fake;
    std::vector<Box> m_boxes;
};

TEST_F(SetupDlgTest, ShowsTheCurrentPortSelectedAndDescribedOnEveryTick) {
    const struct {
        int type, num;
        bool bPedal;
        const char* selected;
        const char* line;
        int open;
    } cases[] = {
        {1, 2, false, "Com3:", "Com3: Port type:1 Num:2 Val:0", 0},
        {1, kComNum, false, "Com5:", "Com5: Port type:1 Num:4 Val:0", 1},
        {3, 0, true, "USB:", "USB Port type:3 Num:0 Val:0", 1},
        {3, 0, false, "USB:", "USB Port type:3 Num:0 Val:0", 0},
        {0, 0, false, "None ", "None Port type:0 Num:0 Val:0", 0},
        {2, 1, false, "None ", "None Port type:0 Num:0 Val:0", 0},
    };
    for (const auto& c : cases) {
        m_fake->nDevices = 0;
        if (c.bPedal)
            m_fake.AddDevice(kPedal);
        std::vector<std::string> rows;
        std::string title, label, selected, line;
        uint32_t lamp = 0;
        int open = -1;
        std::vector<std::string> clipped;
        const Run run = Show(CreatePort(c.type, c.num), [&](HWND dlg, SetupDlg& setup) {
            char text[64] = {};
            ::GetWindowTextA(dlg, text, sizeof text);
            title = text;
            const fw::CComboBox combo = Combo(dlg);
            for (int i = 0; i < combo.GetCount(); ++i)
                rows.push_back(combo.GetLBText(i));
            selected = Selected(dlg);
            lamp = LampColour(dlg);
            open = setup.GetPort()->IsOpen();
            Tick(dlg);
            line = Text(dlg, IDC_SETUP_LINE);
            clipped = ctltest::ClippedTexts(dlg);
            if (c.type == 1 && c.num == kComNum) {
                // Kept for a look: the list dropped down over the dialog.
                Combo(dlg).SendMessage(CB_SHOWDROPDOWN, TRUE);
                qdtest::PumpUntil(200, nullptr);
                RECT rc = fw::CWnd(dlg).GetWindowRect(), list{};
                Combo(dlg).SendMessage(CB_GETDROPPEDCONTROLRECT, 0,
                                       reinterpret_cast<LPARAM>(&list));
                ::UnionRect(&rc, &rc, &list);
                ctltest::Keep(ctltest::Capture(nullptr, rc), "setup_dialog_list");
                Combo(dlg).SendMessage(CB_SHOWDROPDOWN, FALSE);
                qdtest::PumpUntil(100, nullptr);
                ctltest::Keep(ctltest::Capture(nullptr, fw::CWnd(dlg).GetWindowRect()),
                              "setup_dialog");
            }
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
        const std::string what = std::string(c.selected) + " " + std::to_string(c.type);
        EXPECT_EQ(title, "Réglages");
        const std::vector<std::string> listed = {
            "None ", "Com1:", "Com2:", "Com3:", "Com4:", "Com5:",   "Com6:",
            "Com7:", "Com8:", "Lpt1:", "Lpt2:", "USB:",  "Clavier", "HID:"};
        EXPECT_EQ(rows, listed);
        EXPECT_EQ(selected, c.selected) << what;
        EXPECT_EQ(line, c.line) << what;
        EXPECT_EQ(clipped, std::vector<std::string>{}) << what;
        EXPECT_EQ(lamp, kDark) << what;
        EXPECT_EQ(open, c.open) << what << ": a closed port is opened once, silently";
        EXPECT_TRUE(m_boxes.empty()) << what << ": " << m_boxes.front().caption;
        EXPECT_EQ(run.result, IDOK);
        ASSERT_TRUE(run.port);
        EXPECT_EQ(run.port->IsOpen(), c.open) << what << ": OK keeps the port as it is";
    }
}

TEST_F(SetupDlgTest, EachRowIsReportedWithItsDisplayNameWhenItWillNotOpen) {
    const std::string invalid = kInvalid;
    const struct {
        int row;
        const char* devices; // "pedal", "failing" (listed, will not open) or ""
        std::vector<std::pair<std::string, std::string>> boxes;
    } cases[] = {
        {0, "", {{invalid, "None"}}},
        {3, "", {{invalid, "Com3:"}}},
        {5, "", {}},
        {9, "", {{invalid, "Lpt1:"}}},
        {10, "", {{invalid, "Lpt2:"}}},
        {11, "", {{invalid, "USB"}}},
        {11, "pedal", {}},
        {11, "failing", {{"Open error: 4", "USB Open"}, {invalid, "USB"}}},
        // No HID pedal chosen.
        {13, "", {{invalid, "HID"}}},
    };
    for (const auto& c : cases) {
        m_fake->nDevices = 0;
        m_fake->nOpenExStatus = 0;
        if (std::string(c.devices) != "")
            m_fake.AddDevice(kPedal);
        if (std::string(c.devices) == "failing")
            m_fake->nOpenExStatus = 4;
        HWND shown = nullptr;
        std::string line;
        const Run run = Show(CreatePort(0, 0), [&](HWND dlg, SetupDlg&) {
            shown = dlg;
            m_boxes.clear();
            Choose(dlg, c.row);
            Tick(dlg);
            line = Text(dlg, IDC_SETUP_LINE);
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
        const std::string what = std::to_string(c.row) + " " + c.devices;
        std::vector<std::pair<std::string, std::string>> boxes;
        for (const Box& b : m_boxes)
            boxes.emplace_back(b.text, b.caption);
        EXPECT_EQ(boxes, c.boxes) << what;
        if (!m_boxes.empty()) {
            EXPECT_EQ(m_boxes.back().owner, shown) << what << ": the dialog owns its box";
        }
        ASSERT_TRUE(run.port) << what;
        const int type = StoredOf(c.row).first;
        EXPECT_EQ(run.port->GetType(), type) << what << ": the unopened port stays current";
        EXPECT_EQ(run.port->IsOpen(), c.boxes.empty() ? 1 : 0) << what;
        EXPECT_EQ(line.substr(0, line.find(' ')), pedal::PortAt(type == 0 ? 0 : c.row).name)
            << what;
    }
}

// A key typed, then the dialog's loop given time to see it.
void Key(WORD vk, bool down) {
    qdtest::SendKey(vk, down);
    qdtest::PumpUntil(150, nullptr);
}

TEST_F(SetupDlgTest, TheKeyboardRowTakesThePedalsKeyAndRefusesAShortcuts) {
    std::vector<std::string> lines;
    std::vector<uint32_t> lamps;
    int typeWhileWaiting = -1, openWhileWaiting = -1;
    const Run run = Show(CreatePort(0, 0), [&](HWND dlg, SetupDlg& setup) {
        Choose(dlg, 12);
        Tick(dlg);
        lines.push_back(Text(dlg, IDC_SETUP_LINE));
        typeWhileWaiting = setup.GetPort()->GetType();
        openWhileWaiting = setup.GetPort()->IsOpen();
        // F9 is the play/pause shortcut: refused, and the dialog keeps waiting.
        Key(VK_F9, true);
        Key(VK_F9, false);
        Tick(dlg);
        lines.push_back(Text(dlg, IDC_SETUP_LINE));
        Key('X', true);
        Key('X', false);
        Tick(dlg);
        lines.push_back(Text(dlg, IDC_SETUP_LINE));
        lamps.push_back(LampColour(dlg));
        Key('X', true);
        Tick(dlg);
        lamps.push_back(LampColour(dlg));
        Key('X', false);
        Tick(dlg);
        lamps.push_back(LampColour(dlg));
        ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(typeWhileWaiting, 4);
    EXPECT_EQ(openWhileWaiting, 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"Appuyez sur la touche de la pédale",
                                               "Appuyez sur la touche de la pédale",
                                               "Clavier Port type:4 Num:88 Val:0"}));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Clavier");
    EXPECT_NE(m_boxes[0].text.find("« Lecture / pause »"), std::string::npos) << m_boxes[0].text;
    EXPECT_EQ(lamps, (std::vector<uint32_t>{kDark, kLit, kDark}));
    ASSERT_TRUE(run.port);
    EXPECT_EQ(run.port->GetType(), 4);
    EXPECT_EQ(run.port->GetNum(), 'X');
    EXPECT_EQ(run.port->IsOpen(), 1);
}

TEST_F(SetupDlgTest, NamesTheShortcutsAnotherProgramHolds) {
    pedal::Shortcuts keys = pedal::Shortcuts::Defaults();
    keys[pedal::ShortcutAction::Faster] = {'P', pedal::kModControl};
    Show(
        CreatePort(0, 0), [](HWND dlg, SetupDlg&) { ::PostMessageA(dlg, WM_COMMAND, IDOK, 0); },
        [&](SetupDlg& setup) {
            setup.SetChoices({keys, {}, {}, {}},
                             {pedal::ShortcutAction::PlayPause, pedal::ShortcutAction::Faster});
        });
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "Raccourcis");
    EXPECT_EQ(m_boxes[0].text, "Ces raccourcis sont déjà pris par un autre programme et restent "
                               "sans effet :\nLecture / pause (F9)\nAccélérer (Ctrl+P)");
}

// What the switches, shortcuts and format parts hold now.
struct Shown {
    std::vector<int> functions;
    std::vector<bool> functionsEnabled;
    std::vector<std::string> functionRows;
    pedal::Shortcuts shortcuts;
    std::vector<std::string> shortcutLabels;
    int format = -1;
    std::vector<std::string> formatRows;
    bool learnEnabled = true;
};
// The shortcuts as the settings name them, for readable comparisons.
std::vector<std::string> Named(const pedal::Shortcuts& shortcuts) {
    std::vector<std::string> names;
    for (const pedal::Hotkey key : shortcuts.keys)
        names.push_back(key.IsOff() ? "-" : pedal::HotkeyText(key));
    return names;
}

Shown ReadShown(HWND dlg) {
    Shown shown;
    for (int id : {IDC_SETUP_FUNCTION_LEFT, IDC_SETUP_FUNCTION_MIDDLE, IDC_SETUP_FUNCTION_RIGHT}) {
        const fw::CComboBox combo(::GetDlgItem(dlg, id));
        shown.functions.push_back(combo.GetCurSel());
        shown.functionsEnabled.push_back(::IsWindowEnabled(combo.GetSafeHwnd()) != 0);
        shown.functionRows.clear();
        for (int i = 0; i < combo.GetCount(); ++i)
            shown.functionRows.push_back(combo.GetLBText(i));
    }
    for (int i = 0; i < pedal::kShortcutCount; ++i) {
        shown.shortcuts.keys[i] = pedal::HotkeyFromControl(static_cast<uint16_t>(
            ::SendDlgItemMessageA(dlg, IDC_SETUP_SHORTCUT + i, HKM_GETHOTKEY, 0, 0)));
        shown.shortcutLabels.push_back(Text(dlg, IDC_SETUP_SHORTCUT_LABEL + i));
    }
    const fw::CComboBox format(::GetDlgItem(dlg, IDC_SETUP_STAMP_FORMAT));
    shown.format = format.GetCurSel();
    for (int i = 0; i < format.GetCount(); ++i)
        shown.formatRows.push_back(format.GetLBText(i));
    shown.learnEnabled = ::IsWindowEnabled(::GetDlgItem(dlg, IDC_SETUP_LEARN)) != 0;
    return shown;
}

void SetShortcut(HWND dlg, pedal::ShortcutAction action, pedal::Hotkey key) {
    ::SendDlgItemMessageA(dlg, IDC_SETUP_SHORTCUT + static_cast<int>(action), HKM_SETHOTKEY,
                          pedal::ControlFromHotkey(key), 0);
}

// The typist's choices handed in and shown, changed through the controls (two shortcuts by key
// presses in their boxes), then kept by OK or dropped by Cancel.
TEST_F(SetupDlgTest, ShowsTheChoicesAndOkKeepsWhatWasChangedWhileCancelKeepsNothing) {
    using pedal::ShortcutAction;
    SetupChoices given;
    given.shortcuts[ShortcutAction::Faster] = {'P', pedal::kModControl};
    given.shortcuts[ShortcutAction::TimeStamp] = {};
    given.functions.of[0] = pedal::SwitchFunction::PlayPause;
    given.timeStampFormat = pedal::TimeStampFormat::Tenths;
    // Remembered, not plugged in: its switches are known from the table.
    given.hid.id = {0x05F3, 0x00FF};
    for (const INT_PTR end : {IDOK, IDCANCEL}) {
        Shown before;
        pedal::Hotkey typed, cleared{1, 1};
        SetupChoices kept;
        const Run run = Show(
            CreatePort(pedal::TypeCode(pedal::PortKind::Hid), 0, given.hid),
            [&](HWND dlg, SetupDlg&) {
                before = ReadShown(dlg);
                Pick(dlg, IDC_SETUP_FUNCTION_MIDDLE, 4);
                Pick(dlg, IDC_SETUP_STAMP_FORMAT, 2);
                SetShortcut(dlg, ShortcutAction::PlayPause, {});
                SetShortcut(dlg, ShortcutAction::TimeStamp, {kVkF9, 0});
                // Ctrl+J typed into the "Avancer" control.
                const auto type = [&](int action, std::initializer_list<WORD> keys) {
                    HWND box = ::GetDlgItem(dlg, IDC_SETUP_SHORTCUT + action);
                    ::SetFocus(box);
                    for (const WORD vk : keys)
                        ::SendMessageA(box, WM_KEYDOWN, vk, 0);
                    for (auto vk = std::rbegin(keys); vk != std::rend(keys); ++vk)
                        ::SendMessageA(box, WM_KEYUP, *vk, 0xC0000000);
                };
                type(2, {VK_CONTROL, 'J'});
                typed = ReadShown(dlg).shortcuts[ShortcutAction::Forward];
                // Backspace turns "Ralentir" off.
                type(3, {VK_BACK});
                cleared = ReadShown(dlg).shortcuts[ShortcutAction::Slower];
                ::PostMessageA(dlg, WM_COMMAND, static_cast<WPARAM>(end), 0);
            },
            [&](SetupDlg& setup) { setup.SetChoices(given); });
        const std::string what = end == IDOK ? "OK" : "Cancel";
        // Shown as handed in.
        EXPECT_EQ(before.functions, (std::vector<int>{4, 1, 3})) << what;
        EXPECT_EQ(before.functionsEnabled, (std::vector<bool>{true, true, true})) << what;
        EXPECT_EQ(before.functionRows,
                  (std::vector<std::string>{"Rien", "Lecture tant qu'elle est appuyée",
                                            "Retour rapide tant qu'elle est appuyée",
                                            "Avance rapide tant qu'elle est appuyée",
                                            "Lecture/pause à chaque appui"}));
        EXPECT_TRUE(before.learnEnabled) << what;
        EXPECT_EQ(Named(before.shortcuts), Named(given.shortcuts)) << what;
        EXPECT_EQ(before.shortcutLabels,
                  (std::vector<std::string>{"Lecture / pause :", "Reculer :", "Avancer :",
                                            "Ralentir :", "Accélérer :", "Horodatage :"}));
        EXPECT_EQ(before.format, 1) << what;
        EXPECT_EQ(before.formatRows,
                  (std::vector<std::string>{"[hh:mm:ss]", "[hh:mm:ss.d]", "#hh:mm:ss-d#"}));
        EXPECT_EQ(typed, (pedal::Hotkey{'J', pedal::kModControl}))
            << what << ": " << pedal::HotkeyText(typed);
        EXPECT_TRUE(cleared.IsOff()) << what << ": " << pedal::HotkeyText(cleared);
        EXPECT_TRUE(m_boxes.empty()) << what << ": " << m_boxes.front().text;
        EXPECT_EQ(run.result, end);

        kept = run.choices;
        if (end == IDCANCEL) {
            EXPECT_EQ(Named(kept.shortcuts), Named(given.shortcuts));
            EXPECT_EQ(kept.timeStampFormat, given.timeStampFormat);
            EXPECT_EQ(kept.functions[pedal::Switch::Middle], pedal::SwitchFunction::PlayWhileHeld);
            continue;
        }
        pedal::Shortcuts want = given.shortcuts;
        want[ShortcutAction::PlayPause] = {};
        want[ShortcutAction::TimeStamp] = {kVkF9, 0};
        want[ShortcutAction::Forward] = typed;
        want[ShortcutAction::Slower] = {};
        EXPECT_EQ(Named(kept.shortcuts), Named(want));
        EXPECT_EQ(kept.timeStampFormat, pedal::TimeStampFormat::Hash);
        EXPECT_EQ(kept.functions[pedal::Switch::Left], pedal::SwitchFunction::PlayPause);
        EXPECT_EQ(kept.functions[pedal::Switch::Middle], pedal::SwitchFunction::PlayPause);
    }
}

// OK refuses shortcuts that cannot work, names why and stays open; once corrected it closes.
TEST_F(SetupDlgTest, OkRefusesClashingTypingAndTakenShortcutsAndNamesThem) {
    using pedal::ShortcutAction;
    // Another program's hot key.
    ASSERT_TRUE(::RegisterHotKey(nullptr, 0x77, MOD_CONTROL | MOD_ALT, 'K'));
    const struct {
        int pedalKey; // the keyboard pedal's key, 0 for the serial pedal
        ShortcutAction action;
        pedal::Hotkey key;
        const char* says;
    } cases[] = {
        {0,
         ShortcutAction::Back,
         {kVkF9, 0},
         "Le raccourci « Reculer » (F9) est déjà celui de « Lecture / pause »."},
        {0, ShortcutAction::Slower, {'A', 0}, "« Ralentir » (A) empêcherait de taper"},
        {'X',
         ShortcutAction::TimeStamp,
         {'X', pedal::kModControl},
         "« Horodatage » (Ctrl+X) utilise la touche de la pédale"},
        {0,
         ShortcutAction::Faster,
         {'K', pedal::kModControl | pedal::kModAlt},
         "Ces raccourcis sont déjà pris par un autre programme :\nAccélérer (Ctrl+Alt+K)"},
    };
    for (const auto& c : cases) {
        m_boxes.clear();
        bool openAfterRefusal = false;
        const Run run = Show(c.pedalKey ? CreatePort(4, c.pedalKey) : CreatePort(1, kComNum),
                             [&](HWND dlg, SetupDlg&) {
                                 SetShortcut(dlg, c.action, c.key);
                                 ::SendMessageA(dlg, WM_COMMAND, IDOK, 0);
                                 openAfterRefusal = ::IsWindow(dlg) && ::IsWindowVisible(dlg);
                                 SetShortcut(dlg, c.action, {});
                                 ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
                             });
        ASSERT_EQ(m_boxes.size(), 1u) << c.says;
        EXPECT_NE(m_boxes[0].text.find(c.says), std::string::npos) << m_boxes[0].text;
        EXPECT_EQ(m_boxes[0].caption, "Raccourcis");
        EXPECT_TRUE(openAfterRefusal) << c.says;
        EXPECT_EQ(run.result, IDOK);
        EXPECT_TRUE(run.choices.shortcuts[c.action].IsOff()) << c.says;
    }
    ::UnregisterHotKey(nullptr, 0x77);
}

// Wine lists no HID device here: a remembered pedal that is not plugged in still has its row,
// chosen and named, with its three switches' functions to choose, and cannot be learnt. A
// one-switch pedal plays while held: its lists are greyed, the middle one saying so, and the HID
// pedal's are kept.
TEST_F(SetupDlgTest, TheHidRowsNameTheRememberedPedalWhenNoneIsAttached) {
    SetupChoices given;
    given.hid.id = {0x05F3, 0x00FF};
    given.functions.of[1] = pedal::SwitchFunction::FastForwardWhileHeld;
    std::vector<std::string> rows;
    std::string selected;
    Shown shown, serial;
    std::vector<std::string> clipped;
    std::string learnText;
    const Run run = Show(
        CreatePort(pedal::TypeCode(pedal::PortKind::Hid), 0, given.hid),
        [&](HWND dlg, SetupDlg&) {
            const fw::CComboBox combo = Combo(dlg);
            for (int i = 0; i < combo.GetCount(); ++i)
                rows.push_back(combo.GetLBText(i));
            selected = Selected(dlg);
            shown = ReadShown(dlg);
            clipped = ctltest::ClippedTexts(dlg);
            Tick(dlg);
            qdtest::PumpUntil(200, nullptr);
            ctltest::Keep(ctltest::Capture(nullptr, fw::CWnd(dlg).GetWindowRect()),
                          "setup_dialog_hid");
            // Learning needs the pedal plugged in.
            ::SendMessageA(dlg, WM_COMMAND, IDC_SETUP_LEARN, 0);
            learnText = Text(dlg, IDC_SETUP_LEARN);
            Choose(dlg, 5);
            serial = ReadShown(dlg);
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        },
        [&](SetupDlg& setup) { setup.SetChoices(given); });
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows.back(), "HID: Infinity IN-USB (VEC)");
    EXPECT_EQ(selected, "HID: Infinity IN-USB (VEC)");
    EXPECT_EQ(clipped, std::vector<std::string>{});
    // Its three switches are known from the table.
    EXPECT_EQ(shown.functionsEnabled, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(shown.functions, (std::vector<int>{2, 3, 3}));
    EXPECT_TRUE(shown.learnEnabled);
    EXPECT_EQ(serial.functionsEnabled, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(serial.functions, (std::vector<int>{2, 1, 3}));
    EXPECT_FALSE(serial.learnEnabled);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, kInvalid);
    EXPECT_EQ(m_boxes[0].caption, "HID");
    EXPECT_EQ(learnText, "Apprendre les pédales");
    EXPECT_EQ(run.choices.hid.id, given.hid.id);
    EXPECT_EQ(run.choices.functions[pedal::Switch::Middle],
              pedal::SwitchFunction::FastForwardWhileHeld);
}

TEST_F(SetupDlgTest, ALptChoiceComesBackAsNoPedal) {
    for (int row : {9, 10}) {
        Run run = Show(CreatePort(1, kComNum), [&](HWND dlg, SetupDlg&) {
            Choose(dlg, row);
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(run.result, IDOK);
        ASSERT_TRUE(run.port);
        EXPECT_EQ(run.port->GetType(), 0);
        EXPECT_EQ(run.port->GetNum(), 0);
        std::string selected;
        Show(std::move(run.port), [&](HWND dlg, SetupDlg&) {
            selected = Selected(dlg);
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(selected, "None ") << row;
    }
}

TEST_F(SetupDlgTest, TheLampFollowsThePedalOnTheFiftyMillisecondTimer) {
    std::vector<UINT> periods;
    fw::SetTimerRefusalHook([&](HWND, UINT elapse) {
        periods.push_back(elapse);
        return false;
    });
    std::vector<int> ticksToLight, ticksToDarken;
    uint32_t first = 0;
    CountingSetupDlg dlg(nullptr, CreatePort(1, kComNum));
    qdtest::RunModal(dlg, kCaption, [&](HWND wnd) {
        first = LampColour(wnd);
        qdtest::PumpUntil(200, nullptr);
        const auto TicksUntil = [&](uint32_t colour) {
            const int start = dlg.m_nTicks;
            if (!qdtest::PumpUntil(1000, [&] { return LampColour(wnd) == colour; }))
                return -1;
            return dlg.m_nTicks - start;
        };
        for (int i = 0; i < 3; ++i) {
            m_sim.Press(kCom);
            ticksToLight.push_back(TicksUntil(kLit));
            m_sim.Release(kCom);
            ticksToDarken.push_back(TicksUntil(kDark));
        }
        ::PostMessageA(wnd, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(periods, std::vector<UINT>{50});
    EXPECT_EQ(first, kDark);
    // A press is seen on the poll after the one whose probe came back; a release likewise.
    for (int n : ticksToLight) {
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 2);
    }
    for (int n : ticksToDarken) {
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 2);
    }
}

TEST_F(SetupDlgTest, CancelAlwaysGivesBackANewPortOfTheSavedKindOpenedAfresh) {
    const struct {
        const char* how;
        int row; // -1: no change
    } cases[] = {{"after choosing Com2:", 2}, {"without a change", -1}, {"after USB:", 11}};
    for (const auto& c : cases) {
        *m_fake.operator->() = {};
        std::unique_ptr<CPort> port = OpenUsbPedal();
        fake_ftd2xx::Device& pedal = m_fake->devices[0];
        const Run run = Show(std::move(port), [&](HWND dlg, SetupDlg&) {
            if (c.row >= 0)
                Choose(dlg, c.row);
            ::PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(run.result, IDCANCEL) << c.how;
        ASSERT_TRUE(run.port) << c.how;
        EXPECT_NE(dynamic_cast<CUSB*>(run.port.get()), nullptr) << c.how;
        EXPECT_EQ(run.port->GetNum(), 0) << c.how;
        EXPECT_EQ(run.port->IsOpen(), 1) << c.how;
        const int extra = c.row == 11 ? 1 : 0;
        EXPECT_EQ(pedal.nOpens, 2u + extra) << c.how << ": the device was opened again";
        EXPECT_EQ(pedal.nCloses, 1u + extra) << c.how << ": the device was closed first";
        EXPECT_EQ(pedal.bOpen, 1u) << c.how;
    }
}

TEST_F(SetupDlgTest, QuickChangesOverEveryRowLeaveNoHandleDeviceOrLibraryBehind) {
    fake_ftd2xx::Device& pedal = m_fake.AddDevice(kPedal);
    auto start = CreatePort(pedal::TypeCode(pedal::PortKind::Usb), 0);
    ASSERT_EQ(start->Open(), 1);
    m_sim.Press(kCom);
    std::vector<std::string> wrong;
    for (INT_PTR end : {IDOK, IDCANCEL}) {
        Run run = Show(std::move(start), [&](HWND dlg, SetupDlg& setup) {
            for (int round = 0; round < 3; ++round)
                for (int row : {11, 5, 0, 11, 5, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 11, 5, 5}) {
                    Choose(dlg, row);
                    Tick(dlg);
                    CPort* port = setup.GetPort();
                    const auto [type, num] = StoredOf(row);
                    // Only the simulated COM5 and the USB pedal are known to be there; the
                    // host may have a first serial port of its own.
                    const int open = row == 5 || row == 11 ? 1 : type == 1 ? -1 : 0;
                    if (!port || port->GetType() != type || port->GetNum() != num ||
                        (open >= 0 && port->IsOpen() != open) ||
                        (open == 0 && port->IsPressed() != 0))
                        wrong.push_back(std::to_string(row));
                }
            ::PostMessageA(dlg, WM_COMMAND, static_cast<WPARAM>(end), 0);
        });
        ASSERT_TRUE(run.port);
        EXPECT_EQ(run.port->IsOpen(), 1);
        // OK keeps Com5:; Cancel goes back to the Com5: the second run was given.
        EXPECT_EQ(run.port->GetType(), 1);
        EXPECT_EQ(run.port->GetNum(), kComNum);
        start = std::move(run.port);
    }
    start.reset();
    EXPECT_EQ(wrong, std::vector<std::string>{}) << "rows that left the wrong port";
    EXPECT_EQ(m_sim.Holders(kCom), 0) << "a serial handle was kept";
    EXPECT_EQ(pedal.bOpen, 0u);
    EXPECT_EQ(pedal.nOpens, pedal.nCloses);
    EXPECT_EQ(m_fake.Loaded(), 0) << "a library load was kept";
    EXPECT_EQ(m_fake->nBadHandleCalls, 0u) << "a closed device was used";
}

// The box of a USB pedal that will not open belongs to no window, so the dialog stays usable
// while it is up: a row chosen or Cancel pressed meanwhile must wait for the answer, since the
// port whose Open shows the box is still at work underneath.
TEST_F(SetupDlgTest, WhileTheOpenErrorIsUpThePortStaysAndCancelWaits) {
    m_fake.AddDevice(kPedal);
    m_fake->nOpenExStatus = 4;
    HWND shown = nullptr;
    std::string selectedDuringBox;
    fw::SetMessageBoxHook([&](HWND owner, const char* text, const char* caption, UINT) {
        m_boxes.push_back({owner, text, caption});
        if (std::string(caption) == "USB Open") {
            Choose(shown, 0);
            ::SendMessageA(shown, WM_COMMAND, IDCANCEL, 0);
            selectedDuringBox = Selected(shown);
        }
        return IDOK;
    });
    const Run run = Show(CreatePort(0, 0), [&](HWND dlg, SetupDlg&) {
        shown = dlg;
        Choose(dlg, 11);
        Tick(dlg);
        ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].text, "Open error: 4");
    EXPECT_EQ(m_boxes[1].caption, "USB") << "then the row is reported as not valid";
    EXPECT_EQ(selectedDuringBox, "USB:");
    EXPECT_EQ(run.result, IDOK) << "Cancel during the box ended the dialog";
    ASSERT_TRUE(run.port);
    EXPECT_EQ(run.port->GetType(), 3);
    EXPECT_EQ(run.port->IsOpen(), 0);
}

// The lamp's template picture is the dialog's to delete once its own pictures replace it:
// opening the dialog again and again leaves no GDI object behind.
TEST_F(SetupDlgTest, OpeningItAgainAndAgainLeavesNoPictureBehind) {
    auto openAndClose = [&] {
        Show(CreatePort(1, kComNum), [&](HWND dlg, SetupDlg&) {
            Tick(dlg);
            ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
    };
    openAndClose();
    const int before = qdtest::CountGdiObjects();
    ASSERT_GT(before, 0) << "GDI objects cannot be counted here";
    for (int i = 0; i < 50; ++i)
        openAndClose();
    EXPECT_LE(qdtest::CountGdiObjects(), before + 2);
}

} // namespace

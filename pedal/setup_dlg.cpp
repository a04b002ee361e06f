#include "pedal/setup_dlg.h"

#include "framework/timer.h"
#include "framework/win_app.h"
#include "pedal/hid_port.h"
#include "pedal/port_catalogue.h"
#include "res/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kInvalidPort =
    "Le port spécifié n'est pas valide !\nVérifiez le réglage du port spécifié.";
constexpr const char* kPressPedalKey = "Appuyez sur la touche de la pédale";
constexpr const char* kShortcutsCaption = "Raccourcis";
constexpr const char* kLearnText = "Apprendre les pédales";
constexpr const char* kFinishLearningText = "Terminer";
// What the learning line names for each switch asked for.
constexpr const char* kLearnPrompts[pedal::kSwitchCount] = {
    "Appuyez sur chaque pédale à tour de rôle : la gauche",
    "Appuyez sur chaque pédale à tour de rôle : celle du milieu",
    "Appuyez sur chaque pédale à tour de rôle : la droite"};

constexpr int kLampIds[pedal::kSwitchCount] = {IDC_SETUP_LAMP_LEFT, IDC_SETUP_PEDAL,
                                               IDC_SETUP_LAMP_RIGHT};
constexpr int kFunctionIds[pedal::kSwitchCount] = {
    IDC_SETUP_FUNCTION_LEFT, IDC_SETUP_FUNCTION_MIDDLE, IDC_SETUP_FUNCTION_RIGHT};

// A port list row's data: the table row it stands for, or a HID device's index past this.
constexpr LPARAM kHidItem = 1000;

HBITMAP LoadResourceBitmap(UINT id) {
    return ::LoadBitmapA(fw::AfxGetInstanceHandle(), MAKEINTRESOURCEA(id));
}

// The table row of `port`; a number no row stands for shows as no pedal.
const pedal::PortRow& RowOf(const CPort& port) {
    return pedal::PortAt(port.GetListIndex());
}

int HidTableRow() {
    return pedal::FindPortRow(pedal::TypeCode(pedal::PortKind::Hid), 0);
}

// The switches `port` has: those of a HID pedal's layout, else the middle one alone.
pedal::SwitchSet SwitchesOf(const CPort* port) {
    const auto* hid = dynamic_cast<const CHidPort*>(port);
    const std::optional<pedal::ReportLayout> layout = hid ? hid->Choice().Layout() : std::nullopt;
    if (!layout)
        return pedal::Bit(pedal::Switch::Middle);
    pedal::SwitchSet switches = 0;
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        if (layout->bits[i].mask != 0)
            switches |= pedal::Bit(static_cast<pedal::Switch>(i));
    }
    return switches;
}

// The names of `actions` with their keys, one a line.
std::string ShortcutList(const std::vector<pedal::ShortcutAction>& actions,
                         const pedal::Shortcuts& keys) {
    std::string text;
    for (const pedal::ShortcutAction action : actions) {
        text += "\n";
        text += pedal::kShortcutRows[static_cast<int>(action)].label;
        text += " (" + pedal::HotkeyText(keys[action]) + ")";
    }
    return text;
}

} // namespace

const fw::MessageMap<CShortcutBox> CShortcutBox::s_messageMap = {
    fw::on::Raw(WM_KEYDOWN, &CShortcutBox::OnKeyDown),
};

LRESULT CShortcutBox::OnKeyDown(WPARAM vk, LPARAM) {
    if (vk != VK_BACK && vk != VK_DELETE) {
        Decline();
        return 0;
    }
    SendMessage(HKM_SETHOTKEY, 0);
    return 0;
}

const fw::MessageMap<SetupDlg> SetupDlg::s_messageMap = {
    fw::on::Timer(&SetupDlg::OnTimer),
    fw::on::Command(IDC_SETUP_PORT, CBN_SELCHANGE, &SetupDlg::OnSelchangePort),
    fw::on::Command(IDC_SETUP_PORT, CBN_DROPDOWN, &SetupDlg::OnDropdownPort),
    fw::on::Command(IDC_SETUP_LEARN, &SetupDlg::OnLearn),
    fw::on::Command(IDC_SETUP_FUNCTION_LEFT, CBN_SELCHANGE, &SetupDlg::OnFunctionChosen),
    fw::on::Command(IDC_SETUP_FUNCTION_MIDDLE, CBN_SELCHANGE, &SetupDlg::OnFunctionChosen),
    fw::on::Command(IDC_SETUP_FUNCTION_RIGHT, CBN_SELCHANGE, &SetupDlg::OnFunctionChosen),
    fw::on::Raw(kKeyCapturedMessage, &SetupDlg::OnKeyCaptured),
    fw::on::Raw(kLearntMessage, &SetupDlg::OnLearnt),
};

SetupDlg::SetupDlg(fw::CWnd* pParent, std::unique_ptr<CPort> pPort)
    : Routed(IDD_SETUP, pParent), m_bmpPressed(LoadResourceBitmap(IDB_LAMP_ON)),
      m_bmpReleased(LoadResourceBitmap(IDB_LAMP_OFF)), m_pParent(pParent),
      m_pPort(std::move(pPort)), m_nSavedType(m_pPort ? m_pPort->GetType() : 0),
      m_nSavedNum(m_pPort ? m_pPort->GetNum() : 0) {
    // The template holds hotkey controls.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);
}

void SetupDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_SETUP_LINE, m_staticLine);
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        fw::DDX_Control(dx, kLampIds[i], m_lamps[i]);
        fw::DDX_Control(dx, kFunctionIds[i], m_comboFunctions[i]);
    }
    fw::DDX_Control(dx, IDC_SETUP_PORT, m_comboPort);
    fw::DDX_Control(dx, IDC_SETUP_STAMP_FORMAT, m_comboStamp);
    for (int i = 0; i < pedal::kShortcutCount; ++i)
        fw::DDX_Control(dx, IDC_SETUP_SHORTCUT + i, m_shortcutBoxes[i]);
}

BOOL SetupDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    // The port handed in is the truth about the HID pedal; Cancel comes back to it.
    if (const auto* hid = dynamic_cast<const CHidPort*>(m_pPort.get()))
        m_hid = m_choices.hid = hid->Choice();
    FillPortList();
    m_comboPort.SetCurSel(RowOfPort());
    m_shown = 0;
    for (fw::CStatic& lamp : m_lamps)
        lamp.SetBitmap(m_bmpReleased.get());

    m_functions = m_choices.functions;
    for (fw::CComboBox& combo : m_comboFunctions) {
        combo.ResetContent();
        for (const char* label : pedal::kSwitchFunctionLabels)
            combo.AddString(label);
    }
    for (int i = 0; i < pedal::kShortcutCount; ++i) {
        ::SetDlgItemTextA(m_hWnd, IDC_SETUP_SHORTCUT_LABEL + i,
                          (std::string(pedal::kShortcutRows[i].label) + " :").c_str());
        ::SendDlgItemMessageA(m_hWnd, IDC_SETUP_SHORTCUT + i, HKM_SETHOTKEY,
                              pedal::ControlFromHotkey(m_choices.shortcuts.keys[i]), 0);
    }
    m_comboStamp.ResetContent();
    for (const char* pattern : pedal::kTimeStampPatterns)
        m_comboStamp.AddString(pattern);
    m_comboStamp.SetCurSel(static_cast<int>(m_choices.timeStampFormat));

    if (m_pPort && !m_pPort->IsOpen())
        m_pPort->Open();
    EnableSwitchChoices();
    fw::StartWindowTimer(*this, kTickMs);
    if (!m_taken.empty()) {
        const std::string text = "Ces raccourcis sont déjà pris par un autre programme et "
                                 "restent sans effet :" +
                                 ShortcutList(m_taken, m_choices.shortcuts);
        fw::ShowMessageBox(m_hWnd, text.c_str(), kShortcutsCaption, MB_OK);
    }
    return TRUE;
}

void SetupDlg::FillPortList() {
    std::vector<pedal::HidDeviceDescription> attached = DescribeHidDevices();
    m_hidRows = pedal::BuildHidRows(attached, m_hid.id);
    m_comboPort.ResetContent();
    for (int row = 0; row < pedal::kPortRows; ++row) {
        const pedal::PortRow& port = pedal::kPortTable[row];
        if (port.kind == pedal::PortKind::Hid && !m_hidRows.empty()) {
            for (std::size_t i = 0; i < m_hidRows.size(); ++i) {
                const int item = m_comboPort.AddString(m_hidRows[i].text.c_str());
                m_comboPort.SendMessage(CB_SETITEMDATA, item, kHidItem + static_cast<LPARAM>(i));
            }
            continue;
        }
        const int item = m_comboPort.AddString(port.comboText);
        m_comboPort.SendMessage(CB_SETITEMDATA, item, row);
    }
    // The closed list shows what fits; dropped down, whole device names.
    const RECT rc = m_comboPort.GetWindowRect();
    m_comboPort.SendMessage(CB_SETDROPPEDWIDTH, static_cast<WPARAM>((rc.right - rc.left) * 2));
}

void SetupDlg::OnDropdownPort() {
    FillPortList();
    m_comboPort.SetCurSel(RowOfPort());
}

int SetupDlg::RowOfPort() const {
    const int tableRow =
        m_pPort && pedal::IsPortRow(m_pPort->GetListIndex()) ? m_pPort->GetListIndex() : 0;
    const bool hid = tableRow == HidTableRow() && !m_hidRows.empty();
    for (int item = 0; item < m_comboPort.GetCount(); ++item) {
        const LRESULT data = m_comboPort.SendMessage(CB_GETITEMDATA, item);
        if (hid ? data >= kHidItem && m_hidRows[data - kHidItem].id == m_hid.id : data == tableRow)
            return item;
    }
    return 0;
}

void SetupDlg::EnableSwitchChoices() {
    const bool hid = dynamic_cast<const CHidPort*>(m_pPort.get()) != nullptr;
    const pedal::SwitchSet switches = hid ? SwitchesOf(m_pPort.get()) : 0;
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        const auto s = static_cast<pedal::Switch>(i);
        const pedal::SwitchFunction shown = !hid && s == pedal::Switch::Middle
                                                ? pedal::SwitchFunction::PlayWhileHeld
                                                : m_functions[s];
        m_comboFunctions[i].SetCurSel(static_cast<int>(shown));
        ::EnableWindow(m_comboFunctions[i].GetSafeHwnd(), (switches & pedal::Bit(s)) != 0);
    }
    ::EnableWindow(
        GetDlgItem(IDC_SETUP_LEARN),
        m_learning || (dynamic_cast<const CHidPort*>(m_pPort.get()) && m_hid.id != pedal::UsbId{}));
}

void SetupDlg::OnFunctionChosen() {
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        if (::IsWindowEnabled(m_comboFunctions[i].GetSafeHwnd()))
            m_functions.of[i] = pedal::FunctionFromStored(
                static_cast<pedal::Switch>(i),
                static_cast<uint32_t>(std::max(m_comboFunctions[i].GetCurSel(), 0)));
    }
}

void SetupDlg::OnTimer(UINT_PTR) {
    if (m_capture.IsStarted()) {
        m_staticLine.SetWindowText(kPressPedalKey);
        return;
    }
    if (m_learning) {
        if (const std::optional<pedal::Switch> asking = m_learner.Asking())
            m_staticLine.SetWindowText(kLearnPrompts[static_cast<int>(*asking)]);
        return;
    }
    if (!m_pPort || m_pPort->IsBusy())
        return;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%s Port type:%d Num:%d Val:%d", RowOf(*m_pPort).name,
                  m_pPort->GetType(), m_pPort->GetNum(), m_pPort->GetValue());
    m_staticLine.SetWindowText(szLine);
    ShowSwitches(m_pPort->ReadSwitches());
}

void SetupDlg::ShowSwitches(pedal::SwitchSet held) {
    for (int i = 0; i < pedal::kSwitchCount; ++i) {
        const pedal::SwitchSet bit = pedal::Bit(static_cast<pedal::Switch>(i));
        if ((held & bit) != (m_shown & bit))
            m_lamps[i].SetBitmap((held & bit) ? m_bmpPressed.get() : m_bmpReleased.get());
    }
    m_shown = held;
}

void SetupDlg::DropPort() {
    if (m_pPort)
        m_pPort->Close();
    m_pPort.reset();
}

bool SetupDlg::PortBusy() {
    if (!m_pPort || !m_pPort->IsBusy())
        return false;
    // The choice waits until the box of the port's Open has been answered.
    m_comboPort.SetCurSel(RowOfPort());
    return true;
}

void SetupDlg::OnSelchangePort() {
    if (PortBusy())
        return;
    DropPort();
    m_capture.Stop();
    StopLearning();
    const LRESULT data = m_comboPort.SendMessage(CB_GETITEMDATA, m_comboPort.GetCurSel());
    const bool hidDevice = data >= kHidItem && data - kHidItem < std::ssize(m_hidRows);
    if (hidDevice && m_hidRows[data - kHidItem].id != m_hid.id)
        m_hid = {m_hidRows[data - kHidItem].id, std::nullopt};
    const pedal::PortRow& row = pedal::PortAt(hidDevice ? HidTableRow() : static_cast<int>(data));
    if (row.kind == pedal::PortKind::Key) {
        CaptureKey();
        EnableSwitchChoices();
        return;
    }
    // No HID pedal chosen yet: the first known one attached.
    if (row.kind == pedal::PortKind::Hid && m_hid.id == pedal::UsbId{}) {
        if (const auto attached = FindAttachedKnownPedal())
            m_hid = {*attached, std::nullopt};
    }
    m_pPort = CreatePort(pedal::TypeCode(row.kind), row.num, m_hid);
    if (row.kind == pedal::PortKind::Hid && m_hid.id != pedal::UsbId{} && !m_hid.Layout()) {
        StartLearning();
        return;
    }
    EnableSwitchChoices();
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, row.name, MB_OK);
}

void SetupDlg::CaptureKey() {
    // Until a key comes, the keyboard row holds a port of no key, which never opens.
    m_pPort = CreatePort(pedal::TypeCode(pedal::PortKind::Key), 0);
    ShowSwitches(0);
    if (!m_capture.StartCapture(m_hWnd, kKeyCapturedMessage))
        fw::ShowMessageBox(m_hWnd, kInvalidPort, "Clavier", MB_OK);
}

LRESULT SetupDlg::OnKeyCaptured(WPARAM vk, LPARAM) {
    // The capture's own release notice carries no key.
    if (vk == 0 || !m_capture.IsStarted())
        return 0;
    m_capture.Stop();
    if (const auto clash = ShortcutsShown().ClashWithPedalKey(static_cast<uint8_t>(vk))) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Cette touche est déjà celle du raccourci « %s ».\n"
                      "Appuyez sur une autre touche pour la pédale.",
                      pedal::kShortcutRows[static_cast<int>(*clash)].label);
        fw::ShowMessageBox(m_hWnd, text, "Clavier", MB_OK);
        CaptureKey();
        return 0;
    }
    DropPort();
    m_pPort = CreatePort(pedal::TypeCode(pedal::PortKind::Key), static_cast<int>(vk));
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, "Clavier", MB_OK);
    return 0;
}

void SetupDlg::StartLearning() {
    StopLearning();
    ShowSwitches(0);
    m_learner.Start();
    // The pedal's own reader must let go: Raw Input has one listener per device and process.
    if (m_pPort)
        m_pPort->Close();
    m_learning = m_learnReader.Start(m_hid.id, *this);
    EnableSwitchChoices();
    if (!m_learning) {
        fw::ShowMessageBox(m_hWnd, kInvalidPort, pedal::PortAt(HidTableRow()).name, MB_OK);
        return;
    }
    ::SetDlgItemTextA(m_hWnd, IDC_SETUP_LEARN, kFinishLearningText);
}

void SetupDlg::StopLearning() {
    m_learnReader.Stop();
    if (!m_learning)
        return;
    m_learning = false;
    ::SetDlgItemTextA(m_hWnd, IDC_SETUP_LEARN, kLearnText);
}

void SetupDlg::FinishLearning() {
    StopLearning();
    const pedal::ReportLayout& layout = m_learner.Layout();
    if (!layout.HasAny()) {
        fw::ShowMessageBox(m_hWnd,
                           "Aucune pédale n'a été reconnue.\nCliquez sur « Apprendre les "
                           "pédales » et appuyez sur chacune à tour de rôle.",
                           pedal::PortAt(HidTableRow()).name, MB_OK);
        // A pedal the table knows reads as before.
        if (m_pPort && !m_pPort->IsOpen())
            m_pPort->Open();
        EnableSwitchChoices();
        return;
    }
    m_hid.learnt = layout;
    DropPort();
    m_pPort = CreatePort(pedal::TypeCode(pedal::PortKind::Hid), 0, m_hid);
    EnableSwitchChoices();
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, pedal::PortAt(HidTableRow()).name, MB_OK);
}

void SetupDlg::OnLearn() {
    if (m_learning) {
        // A pedal with fewer switches: the ones not bound yet stay out.
        m_learner.Skip();
        FinishLearning();
    } else if (!PortBusy() && dynamic_cast<const CHidPort*>(m_pPort.get())) {
        StartLearning();
    }
}

void SetupDlg::OnHidReport(std::span<const uint8_t> report) {
    if (!m_learning)
        return;
    const std::optional<pedal::Switch> asked = m_learner.Asking();
    if (m_learner.Feed(report) && asked)
        ShowSwitches(pedal::Bit(*asked));
    else if (m_learner.Asking() == asked)
        ShowSwitches(0);
    if (!m_learner.Asking())
        PostMessage(kLearntMessage);
}

LRESULT SetupDlg::OnLearnt(WPARAM, LPARAM) {
    if (m_learning)
        FinishLearning();
    return 0;
}

void SetupDlg::OnHidPresence(bool present) {
    // Unplugged while learning: what was bound so far is kept only if the typist ends it.
    if (!present && m_learning)
        ShowSwitches(0);
}

pedal::Shortcuts SetupDlg::ShortcutsShown() const {
    pedal::Shortcuts shortcuts;
    for (int i = 0; i < pedal::kShortcutCount; ++i)
        shortcuts.keys[i] = pedal::HotkeyFromControl(static_cast<uint16_t>(
            ::SendDlgItemMessageA(m_hWnd, IDC_SETUP_SHORTCUT + i, HKM_GETHOTKEY, 0, 0)));
    return shortcuts;
}

bool SetupDlg::ShortcutsAccepted(const pedal::Shortcuts& shortcuts) {
    const bool keyPedal = m_pPort && m_pPort->GetType() == pedal::TypeCode(pedal::PortKind::Key);
    const auto pedalVk = static_cast<uint8_t>(keyPedal ? m_pPort->GetNum() : 0);
    if (const std::optional<std::string> problem = pedal::ShortcutsProblem(shortcuts, pedalVk)) {
        fw::ShowMessageBox(m_hWnd, problem->c_str(), kShortcutsCaption, MB_OK);
        return false;
    }
    // A key just chosen that another program holds: the typist picks another. Those that were
    // already taken were named when the dialog opened.
    pedal::Shortcuts changed;
    for (int i = 0; i < pedal::kShortcutCount; ++i) {
        if (shortcuts.keys[i] != m_choices.shortcuts.keys[i])
            changed.keys[i] = shortcuts.keys[i];
    }
    CGlobalShortcuts trial;
    const std::vector<pedal::ShortcutAction> taken = trial.Register(m_hWnd, changed);
    trial.Unregister();
    if (taken.empty())
        return true;
    const std::string text =
        "Ces raccourcis sont déjà pris par un autre programme :" + ShortcutList(taken, changed) +
        "\nChoisissez-en d'autres, ou effacez-les (Retour arrière).";
    fw::ShowMessageBox(m_hWnd, text.c_str(), kShortcutsCaption, MB_OK);
    return false;
}

void SetupDlg::OnOK() {
    if (PortBusy())
        return;
    const pedal::Shortcuts shortcuts = ShortcutsShown();
    if (!ShortcutsAccepted(shortcuts))
        return;
    m_capture.Stop();
    StopLearning();
    m_choices.shortcuts = shortcuts;
    m_choices.functions = m_functions;
    m_choices.timeStampFormat = pedal::TimeStampFormatFromStored(
        static_cast<uint32_t>(std::max(m_comboStamp.GetCurSel(), 0)));
    m_choices.hid = m_hid;
    fw::CDialog::OnOK();
}

void SetupDlg::OnCancel() {
    if (PortBusy())
        return;
    m_capture.Stop();
    StopLearning();
    DropPort();
    m_pPort = CreatePort(m_nSavedType, m_nSavedNum, m_choices.hid);
    EndDialog(IDCANCEL);
    m_pPort->Open();
}

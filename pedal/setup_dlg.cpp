#include "pedal/setup_dlg.h"

#include "framework/timer.h"
#include "framework/win_app.h"
#include "pedal/port_catalogue.h"
#include "pedal/raw_input_reader.h"
#include "res/resource.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kInvalidPort =
    "Le port spécifié n'est pas valide !\nVérifiez le réglage du port spécifié.";
constexpr const char* kPressPedalKey = "Appuyez sur la touche de la pédale";

HBITMAP LoadResourceBitmap(UINT id) {
    return ::LoadBitmapA(fw::AfxGetInstanceHandle(), MAKEINTRESOURCEA(id));
}

// The table row of `port`; a number no row stands for shows as no pedal.
const pedal::PortRow& RowOf(const CPort& port) {
    return pedal::PortAt(port.GetListIndex());
}

} // namespace

const fw::MessageMap<SetupDlg> SetupDlg::s_messageMap = {
    fw::on::Timer(&SetupDlg::OnTimer),
    fw::on::Command(IDC_SETUP_PORT, CBN_SELCHANGE, &SetupDlg::OnSelchangePort),
    fw::on::Raw(kKeyCapturedMessage, &SetupDlg::OnKeyCaptured),
};

SetupDlg::SetupDlg(fw::CWnd* pParent, std::unique_ptr<CPort> pPort)
    : Routed(IDD_SETUP, pParent), m_bmpPressed(LoadResourceBitmap(IDB_LAMP_ON)),
      m_bmpReleased(LoadResourceBitmap(IDB_LAMP_OFF)), m_pParent(pParent),
      m_pPort(std::move(pPort)), m_nSavedType(m_pPort ? m_pPort->GetType() : 0),
      m_nSavedNum(m_pPort ? m_pPort->GetNum() : 0) {}

void SetupDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_SETUP_LINE, m_staticLine);
    fw::DDX_Control(dx, IDC_SETUP_PEDAL, m_staticPedal);
    fw::DDX_Control(dx, IDC_SETUP_PORT, m_comboPort);
}

BOOL SetupDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_comboPort.ResetContent();
    for (const pedal::PortRow& row : pedal::kPortTable)
        m_comboPort.AddString(row.comboText);
    m_comboPort.SetCurSel(
        m_pPort && pedal::IsPortRow(m_pPort->GetListIndex()) ? m_pPort->GetListIndex() : 0);
    m_bShownPressed = 0;
    m_staticPedal.SetBitmap(m_bmpReleased.get());
    if (m_pPort && !m_pPort->IsOpen())
        m_pPort->Open();
    fw::StartWindowTimer(*this, kTickMs);
    if (!m_taken.empty()) {
        std::string text = "Ces raccourcis sont déjà pris par un autre programme et restent "
                           "sans effet :";
        for (const pedal::ShortcutAction action : m_taken) {
            text += "\n";
            text += pedal::kShortcutRows[static_cast<int>(action)].label;
            text += " (" + pedal::HotkeyText(m_shortcuts[action]) + ")";
        }
        fw::ShowMessageBox(m_hWnd, text.c_str(), "Raccourcis", MB_OK);
    }
    return TRUE;
}

void SetupDlg::OnTimer(UINT_PTR) {
    if (m_capture.IsStarted()) {
        m_staticLine.SetWindowText(kPressPedalKey);
        return;
    }
    if (!m_pPort || m_pPort->IsBusy())
        return;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%s Port type:%d Num:%d Val:%d", RowOf(*m_pPort).name,
                  m_pPort->GetType(), m_pPort->GetNum(), m_pPort->GetValue());
    m_staticLine.SetWindowText(szLine);
    const bool bPressed = m_pPort->IsPressed() != 0;
    if (bPressed != (m_bShownPressed != 0))
        ShowPressed(bPressed);
}

void SetupDlg::ShowPressed(bool bPressed) {
    m_staticPedal.SetBitmap(bPressed ? m_bmpPressed.get() : m_bmpReleased.get());
    m_bShownPressed = bPressed ? 1 : 0;
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
    m_comboPort.SetCurSel(m_pPort->GetListIndex());
    return true;
}

void SetupDlg::OnSelchangePort() {
    if (PortBusy())
        return;
    DropPort();
    m_capture.Stop();
    const pedal::PortRow& row = pedal::PortAt(m_comboPort.GetCurSel());
    if (row.kind == pedal::PortKind::Key) {
        CaptureKey();
        return;
    }
    // No HID pedal chosen yet: the first known one attached.
    if (row.kind == pedal::PortKind::Hid && m_hid.id == pedal::UsbId{}) {
        if (const auto attached = FindAttachedKnownPedal())
            m_hid = {*attached, std::nullopt};
    }
    m_pPort = CreatePort(pedal::TypeCode(row.kind), row.num, m_hid);
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, row.name, MB_OK);
}

void SetupDlg::CaptureKey() {
    // Until a key comes, the keyboard row holds a port of no key, which never opens.
    m_pPort = CreatePort(pedal::TypeCode(pedal::PortKind::Key), 0);
    ShowPressed(false);
    if (!m_capture.StartCapture(m_hWnd, kKeyCapturedMessage))
        fw::ShowMessageBox(m_hWnd, kInvalidPort, "Clavier", MB_OK);
}

LRESULT SetupDlg::OnKeyCaptured(WPARAM vk, LPARAM) {
    // The capture's own release notice carries no key.
    if (vk == 0 || !m_capture.IsStarted())
        return 0;
    m_capture.Stop();
    if (const auto clash = m_shortcuts.ClashWithPedalKey(static_cast<uint8_t>(vk))) {
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

void SetupDlg::OnOK() {
    m_capture.Stop();
    fw::CDialog::OnOK();
}

void SetupDlg::OnCancel() {
    if (PortBusy())
        return;
    m_capture.Stop();
    DropPort();
    m_pPort = CreatePort(m_nSavedType, m_nSavedNum, m_hid);
    EndDialog(IDCANCEL);
    m_pPort->Open();
}

#include "pedal/setup_dlg.h"

#include "framework/timer.h"
#include "framework/win_app.h"
#include "pedal/port_catalogue.h"
#include "res/resource.h"

#include <cstdio>

namespace {

constexpr const char* kInvalidPort =
    "Le port spécifié n'est pas valide !\nVérifiez le réglage du port spécifié.";

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
    m_comboPort.SetCurSel(m_pPort && pedal::IsPortRow(m_pPort->GetListIndex())
                              ? m_pPort->GetListIndex()
                              : 0);
    m_bShownPressed = 0;
    m_staticPedal.SetBitmap(m_bmpReleased.get());
    if (m_pPort && !m_pPort->IsOpen())
        m_pPort->Open();
    fw::StartWindowTimer(*this, kTickMs);
    return TRUE;
}

void SetupDlg::OnTimer(UINT_PTR) {
    if (!m_pPort)
        return;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, "%s Port type:%d Num:%d Val:%d",
                  RowOf(*m_pPort).name, m_pPort->GetType(), m_pPort->GetNum(),
                  m_pPort->GetValue());
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

void SetupDlg::OnSelchangePort() {
    DropPort();
    const pedal::PortRow& row = pedal::PortAt(m_comboPort.GetCurSel());
    m_pPort = CreatePort(pedal::TypeCode(row.kind), row.num);
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, row.name, MB_OK);
}

void SetupDlg::OnOK() {
    fw::CDialog::OnOK();
}

void SetupDlg::OnCancel() {
    DropPort();
    m_pPort = CreatePort(m_nSavedType, m_nSavedNum);
    EndDialog(IDCANCEL);
    m_pPort->Open();
}

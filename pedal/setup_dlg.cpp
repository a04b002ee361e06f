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

// The catalogue row of `port`; a number no row stands for shows as no pedal.
int RowOf(const CPort& port) {
    const int nRow = port.GetListIndex();
    return pedal::IsPortRow(nRow) ? nRow : 0;
}

} // namespace

const fw::MessageMap<SetupDlg> SetupDlg::s_messageMap = {
    fw::on::Timer(&SetupDlg::OnTimer),
    fw::on::Command(IDC_SETUP_PORT, CBN_SELCHANGE, &SetupDlg::OnSelchangePort),
};

SetupDlg::SetupDlg(fw::CWnd* pParent, std::unique_ptr<CPort> pPort)
    : fw::CDialog(IDD_SETUP, pParent), m_bmpPressed(LoadResourceBitmap(IDB_LAMP_ON)),
      m_bmpReleased(LoadResourceBitmap(IDB_LAMP_OFF)), m_pParent(pParent),
      m_pPort(std::move(pPort)), m_nSavedType(m_pPort ? m_pPort->GetType() : 0),
      m_nSavedNum(m_pPort ? m_pPort->GetNum() : 0) {}

bool SetupDlg::OnWndMsg(const fw::Message& m, LRESULT& result) {
    return s_messageMap.Dispatch(*this, m, result) || fw::CDialog::OnWndMsg(m, result);
}

void SetupDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_SETUP_LINE, m_staticLine);
    fw::DDX_Control(dx, IDC_SETUP_PEDAL, m_staticPedal);
    fw::DDX_Control(dx, IDC_SETUP_PORT, m_comboPort);
}

BOOL SetupDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_comboPort.ResetContent();
    for (const char* pszText : pedal::g_szPortComboTexts)
        m_comboPort.AddString(pszText);
    m_comboPort.SetCurSel(m_pPort ? RowOf(*m_pPort) : 0);
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
                  pedal::g_szPortNames[RowOf(*m_pPort)], m_pPort->GetType(), m_pPort->GetNum(),
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
    int nRow = m_comboPort.GetCurSel();
    if (!pedal::IsPortRow(nRow))
        nRow = 0;
    m_pPort = CreatePort(pedal::g_nPortTypes[nRow], pedal::g_nPortNums[nRow]);
    if (!m_pPort->Open())
        fw::ShowMessageBox(m_hWnd, kInvalidPort, pedal::g_szPortNames[nRow], MB_OK);
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

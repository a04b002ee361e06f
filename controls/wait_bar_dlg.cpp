#include "controls/wait_bar_dlg.h"

#include "framework/timer.h"
#include "res/resource.h"

#include <algorithm>

namespace {
constexpr UINT kTickMs = 1000;
// A transfer's bar moves with its bytes: often enough to look alive.
constexpr UINT kWatchTickMs = 100;
constexpr short kFull = 100;
} // namespace

const fw::MessageMap<CWaitBarDlg> CWaitBarDlg::s_messageMap = {
    fw::on::Timer(&CWaitBarDlg::OnTimer),
};

CWaitBarDlg::CWaitBarDlg(const std::string& caption, const std::string& message, int seconds,
                         fw::CWnd* parent)
    : Routed(IDD_WAITBAR, parent), m_nSeconds(seconds), m_strMessage(message),
      m_strCaption(caption) {}

CWaitBarDlg::CWaitBarDlg(const std::string& caption, const std::string& message,
                         fw::TransferWatch& watch, fw::CWnd* parent)
    : Routed(IDD_WAITBAR, parent), m_nSeconds(1), m_strMessage(message), m_strCaption(caption),
      m_pWatch(&watch) {}

void CWaitBarDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_WAIT_PROGRESS, m_progress);
}

BOOL CWaitBarDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_progress.SetRange(0, kFull);
    m_progress.SetPos(0);
    SetWindowText(m_strCaption);
    ::SetDlgItemTextA(m_hWnd, IDC_WAIT_MESSAGE, m_strMessage.c_str());
    m_nTicks = -1;
    fw::StartWindowTimer(*this, m_pWatch ? kWatchTickMs : kTickMs);
    return TRUE;
}

// A transfer is stopped, not left behind: the dialog ends when its worker does.
void CWaitBarDlg::OnCancel() {
    if (m_pWatch)
        m_pWatch->bCancel = true;
    else
        fw::CDialog::OnCancel();
}

void CWaitBarDlg::OnOK() {
    if (!m_pWatch)
        fw::CDialog::OnOK();
}

void CWaitBarDlg::OnTimer(UINT_PTR) {
    if (m_pWatch) {
        if (m_pWatch->bDone)
            EndDialog(m_pWatch->bCancel ? IDCANCEL : IDOK);
        const uint64_t nExpected = m_pWatch->nExpected;
        const uint64_t nReceived = std::min<uint64_t>(m_pWatch->nReceived, nExpected);
        m_progress.SetPos(nExpected ? static_cast<int>(nReceived * kFull / nExpected) : 0);
        Decline();
        return;
    }
    ++m_nTicks;
    if (m_nTicks > m_nSeconds)
        EndDialog(0);
    // Past the end the bar clamps the value and stays full.
    m_progress.SetPos(::MulDiv(m_nTicks, kFull, m_nSeconds));
    Decline();
}

#include "controls/wait_bar_dlg.h"

#include "framework/timer.h"
#include "res/resource.h"

namespace {
constexpr UINT kTickMs = 1000;
constexpr short kFull = 100;
} // namespace

const fw::MessageMap<CWaitBarDlg> CWaitBarDlg::s_messageMap = {
    fw::on::Timer(&CWaitBarDlg::OnTimer),
};

CWaitBarDlg::CWaitBarDlg(const std::string& caption, const std::string& message, int seconds,
                         fw::CWnd* parent)
    : Routed(IDD_WAITBAR, parent), m_nSeconds(seconds), m_strMessage(message),
      m_strCaption(caption) {}

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
    fw::StartWindowTimer(*this, kTickMs);
    return TRUE;
}

void CWaitBarDlg::OnTimer(UINT_PTR) {
    ++m_nTicks;
    if (m_nTicks > m_nSeconds)
        EndDialog(0);
    // Past the end the bar clamps the value and stays full.
    m_progress.SetPos(::MulDiv(m_nTicks, kFull, m_nSeconds));
    Decline();
}

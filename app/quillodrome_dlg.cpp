#include "app/quillodrome_dlg.h"

#include "framework/win_app.h"
#include "res/resource.h"

const fw::MessageMap<CQuillodromeDlg> CQuillodromeDlg::s_messageMap = {
    fw::on::Destroy(&CQuillodromeDlg::OnDestroy),
};

CQuillodromeDlg::CQuillodromeDlg() : fw::CDialog(IDD_QUILLODROME_DIALOG) {
    m_hIcon = ::LoadIconA(fw::AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

bool CQuillodromeDlg::OnWndMsg(const fw::Message& m, LRESULT& result) {
    return s_messageMap.Dispatch(*this, m, result) || fw::CDialog::OnWndMsg(m, result);
}

BOOL CQuillodromeDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;
}

void CQuillodromeDlg::OnDestroy() {
    m_player.Close();
    Default();
}

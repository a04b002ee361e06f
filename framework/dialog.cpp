#include "framework/dialog.h"

#include "framework/win_app.h"

namespace fw {

const MessageMap<CDialog> CDialog::s_messageMap = {
    on::Command(IDOK, &CDialog::OnOK),
    on::Command(IDCANCEL, &CDialog::OnCancel),
};

bool DDX_Control(DataExchange& dx, int id, CWnd& control) {
    HWND item = dx.Dialog().GetDlgItem(id);
    const bool bound =
        item && (CWnd::FromHandlePermanent(item) == &control || control.SubclassWindow(item));
    if (!bound)
        dx.Fail();
    return bound;
}

void DDX_Text(DataExchange& dx, int id, std::string& value) {
    CWnd item(dx.Dialog().GetDlgItem(id));
    if (dx.Saving())
        value = item.GetWindowText();
    else
        item.SetWindowText(value);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd && AfxGetApp()->m_pMainWnd != this)
        owner = AfxGetApp()->m_pMainWnd->m_hWnd;
    // A Unicode dialog, with Unicode controls, keeps any text given to it whole (a file name in
    // Greek or Japanese); texts given through ANSI calls are converted from the ANSI code page
    // by the system, as before.
    return ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL save) {
    DataExchange dx(*this, save != FALSE);
    DoDataExchange(dx);
    return dx.Failed() ? FALSE : TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND wnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* self = reinterpret_cast<CDialog*>(lParam);
    if (!self->SubclassWindow(wnd)) {
        ::EndDialog(wnd, -1);
        return FALSE;
    }
    return self->OnInitDialog();
}

} // namespace fw

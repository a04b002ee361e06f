#include "framework/dialog.h"

#include "framework/win_app.h"

namespace fw {

const MessageMap<CDialog> CDialog::s_messageMap = {
    on::Command(IDOK, &CDialog::OnOK),
    on::Command(IDCANCEL, &CDialog::OnCancel),
};

void DDX_Control(DataExchange& dx, int id, CWnd& control) {
    if (!control.m_hWnd)
        control.SubclassDlgItem(static_cast<UINT>(id), dx.Dialog());
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
    return ::DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL save) {
    DataExchange dx(*this, save != FALSE);
    DoDataExchange(dx);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnWndMsg(const Message& m, LRESULT& result) {
    return s_messageMap.Dispatch(*this, m, result) || CWnd::OnWndMsg(m, result);
}

LRESULT CDialog::DefaultProcedure(const Message& m) {
    // The dialog manager's own handling happens when the dialog procedure declines a message;
    // what a handler asks for explicitly is the plain window's.
    return ::DefWindowProcA(m_hWnd, m.message, m.wParam, m.lParam);
}

namespace {
// Messages whose result the dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    return IsCtlColor(message) || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
           message == WM_CHARTOITEM || message == WM_QUERYDRAGICON || message == WM_INITDIALOG;
}
} // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(wnd, DWLP_USER, lParam);
        self->m_hWnd = wnd;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(wnd, DWLP_USER));
    if (!self)
        return FALSE;

    const Message m{message, wParam, lParam};
    LRESULT result = 0;
    bool handled = ReflectToChild(m, result) || self->Route(m, result);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(wnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    if (!handled)
        return FALSE;
    if (ReturnsDirectly(message))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(wnd, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace fw

// CDialog: a modal dialog built from a dialog template of the program's resources.
//
// DoModal runs the dialog until EndDialog; OnInitDialog binds the controls through
// DoDataExchange. IDOK and IDCANCEL (Enter, Escape, the close box) reach OnOK and OnCancel,
// which end the dialog unless a derived class decides otherwise.
//
// The object subclasses its own dialog window at WM_INITDIALOG, so its message map sees each
// message before the dialog manager, like any other CWnd. The dialog procedure itself declines
// every message; the dialog manager's processing is therefore what the window does with a
// message no handler took, and what Default() returns inside a handler (the close command
// becomes IDCANCEL, WM_GETDLGCODE and DM_GETDEFID get the manager's answers), with the handler
// seeing the result.
#pragma once

#include "framework/wnd.h"

#include <string>

namespace fw {

class CDialog;

// One run of DoDataExchange: binding controls to members, and moving texts in (save) or out.
class DataExchange {
public:
    DataExchange(CDialog& dialog, bool save) : m_dialog(dialog), m_bSave(save) {}
    CDialog& Dialog() const { return m_dialog; }
    bool Saving() const { return m_bSave; }
    // An exchange that failed makes UpdateData answer FALSE; the others still run.
    void Fail() { m_bFailed = true; }
    bool Failed() const { return m_bFailed; }

private:
    CDialog& m_dialog;
    bool m_bSave;
    bool m_bFailed = false;
};

// Subclasses control `id` into `control` the first time; later exchanges leave it bound. False
// (and the exchange failed) when the dialog has no such control, or the control or `control`
// is already bound elsewhere.
bool DDX_Control(DataExchange& dx, int id, CWnd& control);
// Sets control `id`'s text from `value`, or reads it back when saving.
void DDX_Text(DataExchange& dx, int id, std::string& value);

class CDialog : public Routed<CDialog, CWnd> {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Runs the dialog; returns the value given to EndDialog, or -1 when it could not be made.
    virtual INT_PTR DoModal();
    void EndDialog(INT_PTR result) const { ::EndDialog(m_hWnd, result); }
    UINT TemplateId() const { return m_nIDTemplate; }

protected:
    // Runs once the controls exist, before the dialog is shown. TRUE lets the system give the
    // focus to the first control.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx) {}
    // FALSE when one of the exchanges failed.
    BOOL UpdateData(BOOL save = TRUE);

    // Enter, or a button with IDOK.
    virtual void OnOK();
    // Escape, the close box, or a button with IDCANCEL.
    virtual void OnCancel();

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
    friend Routed;
    static const MessageMap<CDialog> s_messageMap;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};

} // namespace fw

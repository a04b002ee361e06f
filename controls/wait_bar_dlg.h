// CWaitBarDlg: a timed pause with a message and a progress bar that fills once a second
// (dialog template 129). It watches nothing: it only makes the user wait while something
// outside the program finishes. Escape, Enter and the close box end it early.
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"

#include <string>

class CWaitBarDlg : public fw::Routed<CWaitBarDlg, fw::CDialog> {
public:
    // `seconds` must be positive.
    CWaitBarDlg(const std::string& caption, const std::string& message, int seconds,
                fw::CWnd* parent = nullptr);
    ~CWaitBarDlg() override = default;

    int m_nSeconds;
    std::string m_strMessage;
    std::string m_strCaption;
    fw::CProgressCtrl m_progress;
    int m_nTicks = -1;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;

private:
    // Every second: the first tick shows 0 %, the tick at m_nSeconds + 1 seconds shows 100 %
    // and the next one ends the dialog.
    void OnTimer(UINT_PTR id);

    friend Routed;
    static const fw::MessageMap<CWaitBarDlg> s_messageMap;
};

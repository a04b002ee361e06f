// CQuillodromeDlg: the toolbar window (dialog template 134), run modally by the application.
// It holds the audio player; EXIT (IDCANCEL) and Escape end the run.
#pragma once

#include "framework/dialog.h"
#include "player/dshow_media_player.h"

class CQuillodromeDlg : public fw::CDialog {
public:
    CQuillodromeDlg();

    CDShowMediaPlayer m_player;

protected:
    BOOL OnInitDialog() override;
    bool OnWndMsg(const fw::Message& m, LRESULT& result) override;

private:
    // The toolbar has no default button: Enter does not close it.
    void OnOK() override {}
    // The window is going away: the player lets go of its file.
    void OnDestroy();

    static const fw::MessageMap<CQuillodromeDlg> s_messageMap;
    HICON m_hIcon = nullptr;
};

// CQuillodromeDlg: the toolbar window (dialog template 134), run modally by the application.
//
// It ties the program together: the audio player, the one pedal port object, the sliders, the
// nine bitmap buttons, the scrolling caption and the read-outs. Timer 0 drives everything after
// set-up: every tick reads the position, keeps the pedal connected and refreshes the read-outs.
// The pedal's presses (Run) and releases (Pause plus a step back) are acted on as they come: a
// polled port's reader posts them from its worker, the keyboard and HID ports from their
// messages. The
// settings are read while the window is built and written back when it is destroyed. EXIT,
// Escape and a double-click on the window icon end the run.
#pragma once

#include "app/transport.h"
#include "controls/lumo_slider_ctrl.h"
#include "controls/scroll_static.h"
#include "framework/bitmap_button.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/handle.h"
#include "pedal/keyboard_input.h"
#include "pedal/pedal_reader.h"
#include "pedal/port.h"
#include "pedal/shortcuts.h"
#include "pedal/switch_logic.h"
#include "pedal/time_stamp.h"
#include "player/audio_engine.h"
#include "player/dshow_media_player.h"

#include <memory>
#include <string>
#include <vector>

class CQuillodromeDlg : public fw::Routed<CQuillodromeDlg, fw::CDialog>,
                        private pedal::SpeedControl {
public:
    CQuillodromeDlg();
    ~CQuillodromeDlg() override;

    // Hands the path to the player and shows what came of it: title, caption, duration, the
    // position slider at 0. Never starts playback. The path is wide all the way to the player,
    // the title, the caption and the stored "Recent": any name Windows can hold opens.
    void OpenAudioFile(const std::wstring& path);

    // The engine plays every file it can open, at any speed; DirectShow plays the others at the
    // recorded speed. m_player is whichever holds the file (the engine while none is open); the
    // toolbar talks to it only through MediaPlayer.
    CAudioEngine m_engine;
    CDShowMediaPlayer m_fallback;
    MediaPlayer* m_player = &m_engine;
    // Hundredths of a decibel, given to whichever player opens the next file.
    long m_lVolume = 0;
    // Percent; kept while a file plays through DirectShow, which cannot change it.
    int m_nSpeed = 100;
    COLORREF m_crCaptionText = RGB(0, 200, 200);
    COLORREF m_crCaptionBack = RGB(0, 0, 0);
    // The one port, and its worker while it reads; the port is never null once the window is
    // set up, and the window reaches it only through the reader.
    CPedalReader m_pedal;
    BOOL m_bFileLoaded = FALSE;
    // The port is open and a file is loaded: only then is the switch read.
    BOOL m_bPedalActive = FALSE;
    // The switches as last read, which the indicator shows.
    pedal::SwitchSet m_nPedalHeld = 0;
    // The indicator's picture as last set (set again only when it changes).
    HBITMAP m_hShownPedal = nullptr;
    // A one-switch pedal's two armed flags.
    transport::PedalSwitch m_pedalSwitch;
    double m_dDuration = 0;
    double m_dDurationSec = 0;
    int m_nDurationMin = 0;
    BOOL m_bAlwaysOnTop = TRUE;
    // Tenths of a second; mirrors the auto-rewind slider once the timer runs.
    int m_nAutoRewind = 0;
    fw::CStatic m_stPedal;
    CScrollStatic m_stCaption;
    fw::CStatic m_stTopMost;
    LumoSliderCtrl m_sliderVolume;
    LumoSliderCtrl m_sliderRewind;
    LumoSliderCtrl m_sliderPosition;
    LumoSliderCtrl m_sliderSpeed;
    HICON m_hIcon = nullptr;
    std::wstring m_strRecent;
    fw::UniqueBitmap m_bmpBackground;
    fw::UniqueBitmap m_bmpTopOn;
    fw::UniqueBitmap m_bmpTopOff;
    fw::UniqueBitmap m_bmpPedalUp;
    fw::UniqueBitmap m_bmpPedalDown;
    fw::UniqueBitmap m_bmpNoPedal;
    // The dialog font at its 96-DPI size, when the system reports another DPI.
    fw::UniqueFont m_fontDesign;
    fw::CBitmapButton m_btnPlay;
    fw::CBitmapButton m_btnPause;
    fw::CBitmapButton m_btnStop;
    fw::CBitmapButton m_btnFile;
    fw::CBitmapButton m_btnOption;
    fw::CBitmapButton m_btnHelp;
    fw::CBitmapButton m_btnMin;
    fw::CBitmapButton m_btnExit;
    fw::CBitmapButton m_btnAbout;
    // The global shortcuts as read at set-up and written back at the end.
    pedal::Shortcuts m_keys;
    CGlobalShortcuts m_shortcuts;
    // Those another program held when they were registered.
    std::vector<pedal::ShortcutAction> m_takenShortcuts;
    pedal::TimeStampFormat m_timeStampFormat = pedal::TimeStampFormat::Seconds;
    // The HID pedal chosen and what each switch does, read at set-up and written back.
    pedal::HidChoice m_hidChoice;
    pedal::SwitchFunctions m_functions;
    // A HID pedal's switches between readings; one-switch pedals keep m_pedalSwitch.
    pedal::SwitchLogic m_switchLogic;
    // -1 rewinding, 1 fast-forwarding, 0 neither (a switch held with that function).
    int m_nWind = 0;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;

private:
    // The toolbar has no default button: Enter does not close it.
    void OnOK() override {}

    // The About entry of the system menu; every other command keeps its usual meaning.
    void OnSysCommand(UINT id, LPARAM lParam);
    // Writes the settings back, then lets go of the port and the player.
    void OnDestroy();
    // Minimised, the window shows its icon.
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnFile();
    // One tick of the main loop (every 100 ms, or 50 ms once the pedal settings were used).
    void OnTimer(UINT_PTR id);
    // The last path of the drop is opened.
    void OnDropFiles(HDROP drop);
    // Dragging the position slider pauses and seeks; the volume slider sets the volume.
    void OnHScroll(UINT code, UINT pos, HWND bar);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnVolumeReleased(NMHDR* header, LRESULT* result);
    // Letting go of the position slider seeks there and plays, even if nothing was playing.
    void OnPositionReleased(NMHDR* header, LRESULT* result);
    // A press on the skin drags the window.
    void OnLButtonDown(UINT keys, POINT point);
    void OnMin();
    // Draws the skin; the controls draw over it.
    BOOL OnEraseBkgnd(HDC dc);
    // Read-outs cyan on black; labels and images straight on the skin.
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    void OnTopMostClicked();
    void OnIconDblClk();
    void OnPedalClicked() {}
    void OnHelp();
    // The About box with the USB pedal's driver version.
    void OnAbout();
    // The pedal settings dialog owns the port while it runs; the loop then polls every 50 ms.
    void OnOption();

    // Startup helpers, in the order OnInitDialog runs them.
    void KeepDesignPixels();
    void AddAboutToSystemMenu();
    void ReopenRecentFile();
    void LoadButtons();
    void PlaceWindow();

    // The engine if it can open the file, else DirectShow; tells the typist when neither can, or
    // when the file's speed cannot change.
    void OpenWithEitherPlayer(const std::wstring& path);
    // The title and the scrolling caption for a loaded file's path; the idle texts when empty.
    void ShowLoadedName(const std::wstring& path);
    // The duration the read-out and the position slider use, in seconds.
    void SetDuration(double seconds);
    // The player's position in seconds, 0 with no file open.
    double CurrentPosition() const;
    void SeekTo(double seconds);
    void Play();
    // Pauses when playing, plays otherwise (a play/pause switch or shortcut).
    void TogglePlayPause();
    void SetVolume(long volume);
    // The speed chosen on the slider: played at once, kept for the next files and the next
    // start; a file DirectShow plays says once that its speed cannot change.
    void SetSpeed(int percent);
    void ShowSpeed();
    // The file playing through DirectShow was already told about its fixed speed.
    bool m_bFixedSpeedTold = false;
    int m_nShownSpeed = -1; // in the speed read-out
    HBITMAP TopMostBitmap() const { return m_bAlwaysOnTop ? m_bmpTopOn.get() : m_bmpTopOff.get(); }

    friend Routed;
    static const fw::MessageMap<CQuillodromeDlg> s_messageMap;

    // Posted by the keyboard pedal's hook and the HID port at each change of their switches.
    static constexpr UINT kKeyPedalMessage = WM_APP + 40;
    // Posted by the reader's worker (CPedalReader).
    static constexpr UINT kPedalReadingMessage = WM_APP + 42;
    // The winding steps' timer (timer 0 is the main loop's).
    static constexpr UINT_PTR kWindTimerId = 2;

    // Pauses if playing and steps back by the auto-rewind amount from `position` (seconds).
    void PauseAndStepBack(double& position);
    // A global shortcut, whichever program has the focus; nothing happens without a recording.
    LRESULT OnHotKey(WPARAM id, LPARAM keys);
    // A keyboard or HID pedal's switches changed: they are read and acted on at once.
    LRESULT OnKeyPedal(WPARAM down, LPARAM);
    // The reader's worker saw the switches `held` (or the port closed, none held).
    LRESULT OnPedalReading(WPARAM held, LPARAM tag);
    // The port now held tells the window of its changes (keyboard, HID) or will be read by the
    // reader's worker (polled ports).
    void WirePort();
    // Acts on the switches read: a HID pedal through its switch logic, a one-switch pedal
    // through its armed flags. `position` in seconds, as the player's.
    void RunPedal(pedal::SwitchSet held, bool multiSwitch, double& position);
    // The pedal part of a tick: stops the reader without a recording or once its port closed,
    // reconnects a closed port, and starts the reader or reads the port on this thread.
    void PedalTick(double& position);
    // The indicator: no pedal, up or down as last read.
    void ShowPedal();
    // After the pedal acted outside a tick: the indicator at once, then the rest of a tick.
    void RefreshAfterPedal();
    // What a HID pedal's switches asked for, `position` being the player's in seconds.
    void RunSwitchActions(const pedal::ActionList& actions, double& position);
    // One winding step, every kWindStepMilliseconds while a winding switch is held.
    void OnWindStep();
    // The speed shortcuts' view of the player: the speed row's value; a new one moves its
    // slider too, so that the next tick keeps it.
    int SpeedPercent() const override { return m_nSpeed; }
    bool SetSpeedPercent(int percent) override;

    // Run once by the timer loop when the update check has answered: offers the driver (USB
    // pedal only) and then the program, and ends the dialog after an accepted program update.
    void OfferUpdates();
    // Download and elevated launch of the driver installer, with the pedal released during the
    // 30-second wait: 0 launched and waited, 1 download failed, 2 launch failed, 3 refused for
    // want of the pedal maker's signature (deleted, never run), 4 download stopped by the user.
    int UpdateDriver();
    // Download and elevated launch of the program installer: 0 launched, 1 download failed,
    // 2 launch failed, 3 refused for want of the maker's signature (deleted, never run), 4
    // download stopped by the user.
    int UpdateProgram();
};

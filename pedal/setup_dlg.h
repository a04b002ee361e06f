// SetupDlg: the pedal settings (dialog template 130). The user picks where the pedal is
// connected; every change takes effect at once (the old port is closed and deleted, the new one
// made and opened), a line describes the port and a lamp lights while the pedal is down, so the
// connection can be tried on the spot. OK keeps the last choice; Cancel goes back to a new port
// of the type and number the dialog was given, opened afresh.
//
// The dialog owns the port for its run: the owner hands its port over at construction, stops
// polling it, and takes back whichever port the dialog holds once DoModal has returned (the one
// it handed over may be gone by then); a port nobody takes back goes with the dialog. Nothing is
// written to the settings here.
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/handle.h"
#include "pedal/keyboard_input.h"
#include "pedal/port.h"
#include "pedal/shortcuts.h"

#include <memory>
#include <vector>

class SetupDlg : public fw::Routed<SetupDlg, fw::CDialog> {
public:
    // The lamp follows the pedal at this pace, through the shared timer start.
    static constexpr UINT kTickMs = 50;

    // `pPort` may be null (no port at all): the dialog then only makes one when a row is chosen.
    SetupDlg(fw::CWnd* pParent, std::unique_ptr<CPort> pPort);
    ~SetupDlg() override = default;

    // The port the dialog holds now; after DoModal, the one the owner must take back.
    CPort* GetPort() const { return m_pPort.get(); }
    // Hands the current port to the caller; the dialog holds none afterwards.
    std::unique_ptr<CPort> TakePort() { return std::move(m_pPort); }
    // The shortcuts a keyboard pedal's key must not take, and the HID pedal its row stands for.
    // `taken`: the shortcuts another program holds, which the dialog names when it opens.
    void SetKeyboardChoices(const pedal::Shortcuts& shortcuts, const pedal::HidChoice& hid,
                            std::vector<pedal::ShortcutAction> taken = {}) {
        m_shortcuts = shortcuts;
        m_hid = hid;
        m_taken = std::move(taken);
    }

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Keeps the current port, open or not.
    void OnOK() override;
    // Always replaces the port by a new one of the saved type and number and opens it.
    void OnCancel() override;

private:
    // Every tick: the live line, then one poll, and the lamp when the pedal changed.
    void OnTimer(UINT_PTR id);
    // A new row: the port is replaced at once; one that will not open is reported, and stays.
    void OnSelchangePort();
    void ShowPressed(bool bPressed);
    // Closes and deletes the current port.
    void DropPort();
    // True while the current port's Open runs (its box is up): the port must stay, and the
    // list shows its row again.
    bool PortBusy();
    // The keyboard row: waits for the pedal's key (the line asks for it).
    void CaptureKey();
    // The key the pedal sent: refused when a shortcut uses it, else the keyboard pedal's port.
    LRESULT OnKeyCaptured(WPARAM vk, LPARAM);

    static constexpr UINT kKeyCapturedMessage = WM_APP + 41;

    fw::CStatic m_staticLine;
    fw::CStatic m_staticPedal;
    fw::CComboBox m_comboPort;
    fw::UniqueBitmap m_bmpPressed;
    fw::UniqueBitmap m_bmpReleased;
    fw::CWnd* m_pParent;
    std::unique_ptr<CPort> m_pPort;
    int m_nSavedType;
    int m_nSavedNum;
    int m_bShownPressed = 0;
    pedal::Shortcuts m_shortcuts = pedal::Shortcuts::Defaults();
    pedal::HidChoice m_hid;
    CKeyPedalHook m_capture;
    std::vector<pedal::ShortcutAction> m_taken;

    friend Routed;
    static const fw::MessageMap<SetupDlg> s_messageMap;
};

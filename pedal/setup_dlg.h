// SetupDlg: the pedal settings (dialog template 130). The user picks where the pedal is
// connected; every change takes effect at once (the old port is closed and deleted, the new one
// made and opened), a line describes the port and a lamp per switch lights while it is down, so
// the connection can be tried on the spot. Each HID device that could be a pedal has a row of
// its own; one whose switches are not known is learnt on the spot, one switch at a time. Below,
// what each switch does, the global shortcuts and the time-stamp format.
//
// OK keeps the last port and the choices (SetupChoices), once the shortcuts pass their checks
// (no two on one key, none on the keyboard pedal's key or a typing key, none that another
// program holds); a refused one is named and the dialog stays. Cancel goes back to a new port
// of the type, number and HID device the dialog was given, opened afresh, and to the choices it
// was given.
//
// The dialog owns the port for its run: the owner hands its port over at construction, stops
// polling it, and takes back whichever port the dialog holds once DoModal has returned (the one
// it handed over may be gone by then); a port nobody takes back goes with the dialog. The owner
// also takes its shortcuts off the system for the run, so that their keys reach the dialog's
// hotkey controls. Nothing is written to the settings here.
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/handle.h"
#include "pedal/keyboard_input.h"
#include "pedal/port.h"
#include "pedal/raw_input_reader.h"
#include "pedal/shortcuts.h"
#include "pedal/switch_logic.h"
#include "pedal/time_stamp.h"

#include <memory>
#include <vector>

// What the dialog lets the typist choose besides the port.
struct SetupChoices {
    pedal::Shortcuts shortcuts = pedal::Shortcuts::Defaults();
    // The HID pedal the HID rows stand for (and its learnt layout).
    pedal::HidChoice hid;
    pedal::SwitchFunctions functions;
    pedal::TimeStampFormat timeStampFormat = pedal::TimeStampFormat::Seconds;
};

// One shortcut's hotkey control. Backspace and Delete turn the shortcut off, as the frame
// around the shortcuts says: the system's control does not clear itself on them everywhere.
// Every other key is the control's own.
class CShortcutBox : public fw::Routed<CShortcutBox, fw::CWnd> {
private:
    LRESULT OnKeyDown(WPARAM vk, LPARAM);

    friend Routed;
    static const fw::MessageMap<CShortcutBox> s_messageMap;
};

class SetupDlg : public fw::Routed<SetupDlg, fw::CDialog>, private CRawInputReader::Listener {
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
    // The choices the dialog starts from, before DoModal. `taken`: the shortcuts another program
    // holds, which the dialog names when it opens.
    void SetChoices(const SetupChoices& choices, std::vector<pedal::ShortcutAction> taken = {}) {
        m_choices = choices;
        m_hid = choices.hid;
        m_taken = std::move(taken);
    }
    // After DoModal: what OK kept, or the choices handed in.
    const SetupChoices& Choices() const { return m_choices; }

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Keeps the current port, open or not.
    void OnOK() override;
    // Always replaces the port by a new one of the saved type and number and opens it.
    void OnCancel() override;

private:
    // Every tick: the live line, then one poll, and the lamps when the switches changed.
    void OnTimer(UINT_PTR id);
    // A new row: the port is replaced at once; one that will not open is reported, and stays. A
    // HID device whose switches are not known is learnt first.
    void OnSelchangePort();
    void ShowSwitches(pedal::SwitchSet held);
    // The port list: the table's rows, the HID row replaced by one per HID device.
    void FillPortList();
    // The list drops down: a pedal plugged in since has its row.
    void OnDropdownPort();
    // The list row that shows the current port.
    int RowOfPort() const;
    // The function lists of the switches the current port has are the ones to choose from. A
    // one-switch pedal plays while held whatever the lists say: its lists are greyed, the middle
    // one showing that, while the HID pedal's functions are kept as chosen.
    void EnableSwitchChoices();
    // A function list changed: the HID pedal's switch does that from now on.
    void OnFunctionChosen();
    // The shortcuts as the hotkey controls hold them now.
    pedal::Shortcuts ShortcutsShown() const;
    // The first shortcut problem, named in a box: true when OK may go on.
    bool ShortcutsAccepted(const pedal::Shortcuts& shortcuts);
    // Closes and deletes the current port.
    void DropPort();
    // True while the current port's Open runs (its box is up): the port must stay, and the
    // list shows its row again.
    bool PortBusy();
    // The keyboard row: waits for the pedal's key (the line asks for it).
    void CaptureKey();
    // The key the pedal sent: refused when a shortcut uses it, else the keyboard pedal's port.
    LRESULT OnKeyCaptured(WPARAM vk, LPARAM);
    // "Apprendre les pédales", which reads "Terminer" while learning: starts learning the
    // chosen HID device, or ends it with the switches bound so far.
    void OnLearn();
    void StartLearning();
    void FinishLearning();
    void StopLearning();
    void OnHidReport(std::span<const uint8_t> report) override;
    void OnHidPresence(bool present) override;

    // Learning has bound its last switch; posted, so that the reader is not stopped from inside
    // its own report.
    LRESULT OnLearnt(WPARAM, LPARAM);

    static constexpr UINT kKeyCapturedMessage = WM_APP + 41;
    static constexpr UINT kLearntMessage = WM_APP + 42;

    fw::CStatic m_staticLine;
    // Left, middle (the one-switch pedal's), right.
    fw::CStatic m_lamps[pedal::kSwitchCount];
    fw::CComboBox m_comboPort;
    fw::CComboBox m_comboFunctions[pedal::kSwitchCount];
    fw::CComboBox m_comboStamp;
    CShortcutBox m_shortcutBoxes[pedal::kShortcutCount];
    fw::UniqueBitmap m_bmpPressed;
    fw::UniqueBitmap m_bmpReleased;
    fw::CWnd* m_pParent;
    std::unique_ptr<CPort> m_pPort;
    int m_nSavedType;
    int m_nSavedNum;
    pedal::SwitchSet m_shown = 0;
    SetupChoices m_choices;
    // The functions chosen in this run; m_choices.functions stays as handed in until OK.
    pedal::SwitchFunctions m_functions;
    // The HID pedal chosen in this run; m_choices.hid stays the one handed in until OK.
    pedal::HidChoice m_hid;
    std::vector<pedal::HidListRow> m_hidRows;
    CKeyPedalHook m_capture;
    std::vector<pedal::ShortcutAction> m_taken;
    pedal::LayoutLearner m_learner;
    CRawInputReader m_learnReader;
    bool m_learning = false;

    friend Routed;
    static const fw::MessageMap<SetupDlg> s_messageMap;
};

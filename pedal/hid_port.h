// CHidPort: a HID pedal through Raw Input ("Port Type" 5). Which device, and how its reports
// show the switches, is the typist's choice (pedal::HidChoice); reports arrive through the
// window thread's messages and the last one says which switches are held. An unplugged pedal
// closes the port, so that everything held counts as released; the owner's retry opens it again
// once it is back.
#pragma once

#include "pedal/hid_pedals.h"
#include "pedal/port.h"
#include "pedal/raw_input_reader.h"

class CHidPort : public CPort, private CRawInputReader::Listener {
public:
    explicit CHidPort(const pedal::HidChoice& choice) : m_choice(choice) {}
    ~CHidPort() override;

    int GetType() const override;
    // Fails while the device is absent or its layout unknown (not in the table, not learnt).
    int Open() override;
    void Close() override;
    // Any switch held.
    int IsPressed() override;
    pedal::SwitchSet ReadSwitches() override { return m_bOpen ? m_held : 0; }
    const pedal::HidChoice& Choice() const { return m_choice; }
    void NotifyTo(HWND window, UINT message) override {
        m_notify = window;
        m_message = message;
    }

private:
    void OnHidReport(std::span<const uint8_t> report) override;
    void OnHidPresence(bool present) override;

    pedal::HidChoice m_choice;
    pedal::ReportLayout m_layout{};
    CRawInputReader m_reader;
    // Sets the switches held and tells the window when they changed.
    void SetHeld(pedal::SwitchSet held);

    pedal::SwitchSet m_held = 0;
    HWND m_notify = nullptr;
    UINT m_message = 0;
};

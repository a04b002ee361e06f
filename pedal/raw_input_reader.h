// CRawInputReader: the reports of one HID device through Raw Input, whichever program has the
// focus, and its plugging and unplugging as they happen.
//
// A message-only window of the calling thread receives WM_INPUT (RIDEV_INPUTSINK) and
// WM_INPUT_DEVICE_CHANGE (RIDEV_DEVNOTIFY) for the device's top-level collection; the listener
// is called from that thread's message loop. Raw Input keeps one target window per collection
// and process, so one reader per device.
#pragma once

#include "framework/handle.h"
#include "pedal/hid_pedals.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A HID device attached now, as Raw Input lists it.
struct HidDeviceInfo {
    HANDLE handle = nullptr;
    pedal::UsbId id;
    USHORT usagePage = 0;
    USHORT usage = 0;
};

// Every HID device other than keyboards and mice, in the system's order.
std::vector<HidDeviceInfo> ListHidDevices();
// The same with what the settings dialog shows of each: the product name the device gives
// (HidD_GetProductString, in the ANSI code page; empty when it gives none).
std::vector<pedal::HidDeviceDescription> DescribeHidDevices();
// The first attached pedal of the known table whose layout is published, if any.
std::optional<pedal::UsbId> FindAttachedKnownPedal();

class CRawInputReader {
public:
    class Listener {
    public:
        // One input report, report ID first (hid_pedals.h).
        virtual void OnHidReport(std::span<const uint8_t> report) = 0;
        // The device was plugged in again or unplugged.
        virtual void OnHidPresence(bool present) = 0;

    protected:
        ~Listener() = default;
    };

    CRawInputReader() = default;
    ~CRawInputReader();
    CRawInputReader(const CRawInputReader&) = delete;
    CRawInputReader& operator=(const CRawInputReader&) = delete;

    // Listens to the device `id`. Fails (false) when it is not attached or the system refuses
    // the registration; the caller retries later.
    bool Start(pedal::UsbId id, Listener& listener);
    // Listens to `device` as found in the device list.
    bool StartOn(const HidDeviceInfo& device, Listener& listener);
    void Stop();
    bool IsStarted() const { return static_cast<bool>(m_window); }
    bool IsPresent() const { return m_device != nullptr; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInput(HRAWINPUT input);
    void OnDeviceChange(WPARAM change, HANDLE device);

    fw::UniqueWindow m_window;
    RAWINPUTDEVICE m_registered{};
    HANDLE m_device = nullptr;
    pedal::UsbId m_id;
    Listener* m_listener = nullptr;
    // WM_INPUT's data, kept between reports (aligned for RAWINPUT).
    std::vector<uint64_t> m_buffer;
};

// The device's IDs and collection, nothing when the system cannot say.
std::optional<HidDeviceInfo> DescribeHidDevice(HANDLE device);

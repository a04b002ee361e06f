#include "pedal/raw_input_reader.h"

// MinGW's header declares the HID functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <cstddef>
#include <string>

namespace {

constexpr char kWindowClass[] = "QuillodromeRawInput";

ATOM RegisterWindowClass(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        return ::RegisterClassA(&wc);
    }();
    return atom;
}

} // namespace

std::optional<HidDeviceInfo> DescribeHidDevice(HANDLE device) {
    RID_DEVICE_INFO info{};
    info.cbSize = sizeof info;
    UINT size = sizeof info;
    if (::GetRawInputDeviceInfoA(device, RIDI_DEVICEINFO, &info, &size) == static_cast<UINT>(-1) ||
        info.dwType != RIM_TYPEHID)
        return std::nullopt;
    HidDeviceInfo result;
    result.handle = device;
    result.id = {static_cast<uint16_t>(info.hid.dwVendorId),
                 static_cast<uint16_t>(info.hid.dwProductId)};
    result.usagePage = info.hid.usUsagePage;
    result.usage = info.hid.usUsage;
    return result;
}

std::vector<HidDeviceInfo> ListHidDevices() {
    std::vector<HidDeviceInfo> devices;
    std::vector<RAWINPUTDEVICELIST> list;
    UINT count = 0;
    // The list can grow between the two calls: ask again until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (::GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0)
            return devices;
        list.resize(count);
        const UINT got = ::GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
        if (got != static_cast<UINT>(-1)) {
            list.resize(got);
            break;
        }
        list.clear();
    }
    for (const RAWINPUTDEVICELIST& entry : list) {
        if (entry.dwType != RIM_TYPEHID)
            continue;
        if (auto info = DescribeHidDevice(entry.hDevice))
            devices.push_back(*info);
    }
    return devices;
}

namespace {
std::string ProductName(HANDLE device) {
    char path[512] = {};
    UINT size = sizeof path;
    if (::GetRawInputDeviceInfoA(device, RIDI_DEVICENAME, path, &size) == static_cast<UINT>(-1) ||
        path[0] == 0)
        return {};
    // No access asked for: the name can be read even from a device another program holds.
    fw::UniqueFile file(::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    // The HID limit for a string descriptor is 126 wide characters.
    wchar_t wide[128] = {};
    if (!file || !::HidD_GetProductString(file.get(), wide, sizeof wide - sizeof(wchar_t)))
        return {};
    char text[256] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr);
    return text;
}
} // namespace

std::vector<pedal::HidDeviceDescription> DescribeHidDevices() {
    std::vector<pedal::HidDeviceDescription> described;
    for (const HidDeviceInfo& device : ListHidDevices())
        described.push_back(
            {device.id, device.usagePage, device.usage, ProductName(device.handle)});
    return described;
}

std::optional<pedal::UsbId> FindAttachedKnownPedal() {
    for (const HidDeviceInfo& device : ListHidDevices()) {
        const pedal::KnownPedal* known = pedal::FindKnownPedal(device.id);
        if (known && known->layoutKnown)
            return device.id;
    }
    return std::nullopt;
}

CRawInputReader::~CRawInputReader() {
    Stop();
}

bool CRawInputReader::Start(pedal::UsbId id, Listener& listener) {
    Stop();
    std::optional<HidDeviceInfo> found;
    for (const HidDeviceInfo& device : ListHidDevices()) {
        if (device.id == id) {
            found = device;
            break;
        }
    }
    return found && StartOn(*found, listener);
}

bool CRawInputReader::StartOn(const HidDeviceInfo& device, Listener& listener) {
    Stop();
    if (!RegisterWindowClass(&WindowProc))
        return false;
    m_window.reset(::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleA(nullptr), nullptr));
    if (!m_window)
        return false;
    ::SetWindowLongPtrA(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_registered = {device.usagePage, device.usage, RIDEV_INPUTSINK | RIDEV_DEVNOTIFY,
                    m_window.get()};
    if (!::RegisterRawInputDevices(&m_registered, 1, sizeof m_registered)) {
        m_window.reset();
        return false;
    }
    m_id = device.id;
    m_device = device.handle;
    m_listener = &listener;
    return true;
}

void CRawInputReader::Stop() {
    if (!m_window)
        return;
    RAWINPUTDEVICE remove = m_registered;
    remove.dwFlags = RIDEV_REMOVE;
    remove.hwndTarget = nullptr;
    ::RegisterRawInputDevices(&remove, 1, sizeof remove);
    ::SetWindowLongPtrA(m_window.get(), GWLP_USERDATA, 0);
    m_window.reset();
    m_device = nullptr;
    m_listener = nullptr;
}

LRESULT CALLBACK CRawInputReader::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<CRawInputReader*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && message == WM_INPUT)
        self->OnInput(reinterpret_cast<HRAWINPUT>(lParam));
    else if (self && message == WM_INPUT_DEVICE_CHANGE)
        self->OnDeviceChange(wParam, reinterpret_cast<HANDLE>(lParam));
    // WM_INPUT must reach the default procedure, which frees the input.
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

void CRawInputReader::OnInput(HRAWINPUT input) {
    UINT size = 0;
    if (::GetRawInputData(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0 ||
        size < sizeof(RAWINPUTHEADER))
        return;
    m_buffer.resize((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
    const UINT got =
        ::GetRawInputData(input, RID_INPUT, m_buffer.data(), &size, sizeof(RAWINPUTHEADER));
    const auto* raw = reinterpret_cast<const RAWINPUT*>(m_buffer.data());
    constexpr std::size_t kDataOffset = offsetof(RAWINPUT, data.hid.bRawData);
    if (got == static_cast<UINT>(-1) || got < kDataOffset || raw->header.dwType != RIM_TYPEHID ||
        raw->header.hDevice != m_device || !m_listener)
        return;
    // Only whole reports that lie within what the system handed over.
    const std::size_t reportSize = raw->data.hid.dwSizeHid;
    if (reportSize == 0)
        return;
    const std::size_t available = (got - kDataOffset) / reportSize;
    const std::size_t count = std::min<std::size_t>(raw->data.hid.dwCount, available);
    const auto* bytes = reinterpret_cast<const uint8_t*>(raw) + kDataOffset;
    for (std::size_t i = 0; i < count && m_listener; ++i)
        m_listener->OnHidReport({bytes + i * reportSize, reportSize});
}

void CRawInputReader::OnDeviceChange(WPARAM change, HANDLE device) {
    if (!m_listener)
        return;
    if (change == GIDC_REMOVAL && device == m_device) {
        m_device = nullptr;
        m_listener->OnHidPresence(false);
    } else if (change == GIDC_ARRIVAL && !m_device) {
        const std::optional<HidDeviceInfo> info = DescribeHidDevice(device);
        if (info && info->id == m_id) {
            m_device = device;
            m_listener->OnHidPresence(true);
        }
    }
}

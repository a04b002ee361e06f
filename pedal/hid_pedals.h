// HID transcription pedals: the table of known ones, reading their input reports, and learning
// the switches of any other device that reports buttons.
//
// A report is read as Windows hands it over (Raw Input's bRawData, HidD_GetInputReport): the
// report ID first, 0 for a device that declares none, then the report's own bytes. Every
// offset below counts from that first byte.
//
// Windows-free: built and tested natively as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pedal {

// The switches of a pedal, from the typist's left. A one-switch pedal has only a middle one
// wherever it has to be named.
enum class Switch : uint8_t { Left, Middle, Right };
inline constexpr int kSwitchCount = 3;

// One bit per switch (bit 0 left, 1 middle, 2 right), set while the switch is held.
using SwitchSet = uint8_t;
inline constexpr SwitchSet Bit(Switch s) {
    return static_cast<SwitchSet>(1u << static_cast<unsigned>(s));
}

// Where one switch shows in a report; a mask of 0 means the pedal has no such switch.
struct SwitchBit {
    uint8_t byte = 0;
    uint8_t mask = 0;
    bool operator==(const SwitchBit&) const = default;
};

// Which report carries the switches (its first byte), and where each switch shows in it.
struct ReportLayout {
    uint8_t reportId = 0;
    SwitchBit bits[kSwitchCount];

    bool HasAny() const;
    bool operator==(const ReportLayout&) const = default;
};

// A USB device as vendor and product ID, the form "Pedal Device" stores ("05F3:00FF").
struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// "VVVV:PPPP", exactly four hex digits on each side (either case); anything else is refused.
std::optional<UsbId> ParseUsbId(std::string_view text);
// Upper-case, zero-padded: the form written back.
std::string FormatUsbId(UsbId id);

// A pedal recognised by its IDs. A row whose layout is not published (`layoutKnown` false) is
// still named in the settings dialog, and its switches are learnt like an unknown device's.
struct KnownPedal {
    UsbId id;
    const char* name;
    bool layoutKnown;
    ReportLayout layout;
};

std::span<const KnownPedal> KnownPedals();
const KnownPedal* FindKnownPedal(UsbId id);

// An attached HID device as the settings dialog sees it: its IDs, the top-level collection it
// reports through, and the product name the device gives (as it came, possibly empty).
struct HidDeviceDescription {
    UsbId id;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    std::string product;
};

// False for collections that are never a foot switch: pointers, mice, keyboards and keypads,
// system controls, digitizers, sensors and power devices. Everything else may be a pedal (known
// pedals report on the consumer or a vendor page).
bool CouldBePedal(const HidDeviceDescription& device);

// A device's own product name made fit to show: control characters become spaces, runs of
// spaces one, no space at either end, at most kMaxProductName characters.
inline constexpr std::size_t kMaxProductName = 40;
std::string CleanProductName(std::string_view product);

// One HID row of the settings dialog's port list; its text starts with kHidRowPrefix.
inline constexpr const char* kHidRowPrefix = "HID: ";
struct HidListRow {
    UsbId id;
    std::string text;
};
// The rows for the HID devices attached (`attached`, in the system's order) and the device the
// typist chose (`chosen`, 0000:0000 for none): one row per device that could be a pedal, a
// device with several collections once, named by the known table, else by its product name,
// else by its IDs; then the chosen device, named likewise, when it is not attached. Empty when
// there is neither.
std::vector<HidListRow> BuildHidRows(std::span<const HidDeviceDescription> attached, UsbId chosen);

// The HID pedal the typist chose ("Pedal Device", and "Pedal Layout" for one that was learnt).
struct HidChoice {
    UsbId id;
    std::optional<ReportLayout> learnt;

    // What its reports are read with: the learnt layout, else the table's; nothing when
    // neither is known (the pedal must be learnt first).
    std::optional<ReportLayout> Layout() const;
};

// The switches held according to `report`; nothing for an empty report or one with another
// report ID (it says nothing about the switches). A switch whose byte lies beyond the report's
// end counts as released: a short report never reads past what was given.
std::optional<SwitchSet> DecodeReport(const ReportLayout& layout, std::span<const uint8_t> report);

// A learnt layout as the "Pedal Layout" value keeps it (REG_SZ): the report ID, then byte:mask
// for the left, middle and right switch, in hex ("00 01:01 01:02 01:04"; "00:00" for a switch
// the pedal lacks). Parsing refuses anything else, a mask of more than one bit, a byte beyond
// what learning looks at, and a layout without any switch.
inline constexpr const char* kPedalLayoutValueName = "Pedal Layout";
std::string FormatLayout(const ReportLayout& layout);
std::optional<ReportLayout> ParseLayout(std::string_view text);

// "Press each pedal in turn": binds, for the switch asked for, the one bit that went from 0 to
// 1 since the previous report with the same report ID. Reports arrive only when something
// changes, so a report whose change is more than one new bit (the first report of a device with
// constant bits, two switches at once) binds nothing and only becomes the reference, as does a
// report with another ID; the bytes a short report lacks keep their last values. Bits already
// bound are ignored, and the next switch is bound only after the last one was released, so a
// switch held between steps binds nothing twice. Only the first kMaxLearnBytes bytes count.
class LayoutLearner {
public:
    static constexpr std::size_t kMaxLearnBytes = 64;

    // Starts over with the left switch.
    void Start();
    // Feeds one report; returns true when it bound the switch being asked for.
    bool Feed(std::span<const uint8_t> report);
    // Leaves the switches not yet bound out (a pedal with fewer than three switches).
    void Skip();
    // The switch the dialog should ask for, or nothing when every switch has been handled.
    std::optional<Switch> Asking() const;
    const ReportLayout& Layout() const { return m_layout; }

private:
    uint8_t m_previous[kMaxLearnBytes] = {};
    bool m_haveReference = false;
    bool m_waitRelease = false;
    int m_next = 0;
    ReportLayout m_layout{};
};

} // namespace pedal

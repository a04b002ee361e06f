#include "pedal/hid_pedals.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace pedal {

namespace {

constexpr ReportLayout Bits(uint8_t byte, uint8_t left, uint8_t middle, uint8_t right) {
    return ReportLayout{0, {{byte, left}, {byte, middle}, {byte, right}}};
}

// Each row with where its facts were published. Only pedals whose IDs have a public source are
// listed; one whose switch bits are not published is learnt (layoutKnown false).
constexpr KnownPedal kPedals[] = {
    // Infinity IN-USB-1 and IN-USB-2 (VEC), the three-switch transcription pedal.
    // IDs: catswhisker.xyz/log/2018/8/27/use_vecinfinity_usb_foot_pedal_as_a_keyboard_under_linux
    //   (idVendor=05f3, idProduct=00ff, "VEC USB Footpedal"; both models report the same).
    // Report: forum.remapper.org/t/emulate-a-3-button-foot-pedal-using-keyboard-or-mouse-button/190
    //   (its descriptor: consumer page, three one-bit buttons then padding, no report ID, two
    //   bytes); github.com/fairfieldt/Biped, Biped/Biped.cs (first data byte: left 0x01,
    //   middle 0x02, right 0x04).
    {{0x05F3, 0x00FF}, "Infinity IN-USB (VEC)", true, Bits(1, 0x01, 0x02, 0x04)},
    // X-keys Footpedal (P.I. Engineering).
    // IDs and report: X-keys SDK 2.1.0 documentation, "X-keys Foot Pedal Data Report" (VID
    //   05f3h, PID 0268h; 19-byte input report, byte 1 constant 0, byte 2 the pedals with bit 2
    //   left, bit 3 middle, bit 4 right, counting bits from 1); the IDs also in
    //   ymouse.com/developer/SPLATOSX/footpedal_cookies.html.
    {{0x05F3, 0x0268}, "X-keys Footpedal", true, Bits(1, 0x02, 0x04, 0x08)},
    // Philips Foot Control ACC2330 (four switches; the ACC2310 and ACC2320 siblings' IDs are not
    // published). community.folivora.ai/t/generic-devices-philips-footcontrol-acc2330/30751:
    // vendor 0x911, product 0x91a, a three-byte report whose first byte has one bit per switch
    // (0x01, 0x02, 0x04, 0x08) without saying which switch is which: learnt.
    {{0x0911, 0x091A}, "Philips ACC2330", false, {}},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<unsigned> ParseHex(std::string_view text) {
    unsigned value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

} // namespace

bool ReportLayout::HasAny() const {
    return std::any_of(std::begin(bits), std::end(bits), [](SwitchBit b) { return b.mask != 0; });
}

std::optional<UsbId> ParseUsbId(std::string_view text) {
    if (text.size() != 9 || text[4] != ':')
        return std::nullopt;
    const auto vendor = ParseHex(text.substr(0, 4));
    const auto product = ParseHex(text.substr(5, 4));
    if (!vendor || !product)
        return std::nullopt;
    return UsbId{static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*product)};
}

std::string FormatUsbId(UsbId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", static_cast<unsigned>(id.vendor),
                  static_cast<unsigned>(id.product));
    return text;
}

std::span<const KnownPedal> KnownPedals() {
    return kPedals;
}

const KnownPedal* FindKnownPedal(UsbId id) {
    for (const KnownPedal& pedal : kPedals) {
        if (pedal.id == id)
            return &pedal;
    }
    return nullptr;
}

std::optional<ReportLayout> HidChoice::Layout() const {
    if (learnt)
        return learnt;
    const KnownPedal* known = FindKnownPedal(id);
    if (known && known->layoutKnown)
        return known->layout;
    return std::nullopt;
}

std::optional<SwitchSet> DecodeReport(const ReportLayout& layout, std::span<const uint8_t> report) {
    if (report.empty() || report[0] != layout.reportId)
        return std::nullopt;
    SwitchSet held = 0;
    for (int i = 0; i < kSwitchCount; ++i) {
        const SwitchBit bit = layout.bits[i];
        if (bit.mask != 0 && bit.byte < report.size() && (report[bit.byte] & bit.mask) != 0)
            held |= Bit(static_cast<Switch>(i));
    }
    return held;
}

std::string FormatLayout(const ReportLayout& layout) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X:%02X %02X:%02X %02X:%02X", layout.reportId,
                  layout.bits[0].byte, layout.bits[0].mask, layout.bits[1].byte,
                  layout.bits[1].mask, layout.bits[2].byte, layout.bits[2].mask);
    return text;
}

std::optional<ReportLayout> ParseLayout(std::string_view text) {
    // "RR BB:MM BB:MM BB:MM"
    if (text.size() != 20)
        return std::nullopt;
    ReportLayout layout;
    const auto id = ParseHex(text.substr(0, 2));
    if (!id)
        return std::nullopt;
    layout.reportId = static_cast<uint8_t>(*id);
    for (int i = 0; i < kSwitchCount; ++i) {
        const std::string_view field = text.substr(2 + 6 * i, 6);
        const auto byte = ParseHex(field.substr(1, 2));
        const auto mask = ParseHex(field.substr(4, 2));
        if (field[0] != ' ' || field[3] != ':' || !byte || !mask ||
            *byte >= LayoutLearner::kMaxLearnBytes || std::popcount(*mask) > 1)
            return std::nullopt;
        layout.bits[i] = {static_cast<uint8_t>(*byte), static_cast<uint8_t>(*mask)};
    }
    if (!layout.HasAny())
        return std::nullopt;
    return layout;
}

bool CouldBePedal(const HidDeviceDescription& device) {
    constexpr uint16_t kGenericDesktop = 0x01, kDigitizer = 0x0D, kSensor = 0x20;
    switch (device.usagePage) {
    case kGenericDesktop:
        // Pointer, mouse, keyboard, keypad, system control.
        return device.usage != 0x01 && device.usage != 0x02 && device.usage != 0x06 &&
               device.usage != 0x07 && device.usage != 0x80;
    case kDigitizer:
    case kSensor:
    case 0x84: // power device
    case 0x85: // battery system
        return false;
    default:
        return true;
    }
}

std::string CleanProductName(std::string_view product) {
    std::string clean;
    for (const char c : product) {
        const auto byte = static_cast<unsigned char>(c);
        const bool blank = byte < 0x20 || byte == 0x7F || c == ' ';
        if (blank) {
            if (!clean.empty() && clean.back() != ' ')
                clean += ' ';
        } else if (clean.size() < kMaxProductName) {
            clean += c;
        }
        if (clean.size() >= kMaxProductName)
            break;
    }
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    return clean;
}

namespace {
std::string RowText(UsbId id, std::string_view product) {
    std::string name;
    if (const KnownPedal* known = FindKnownPedal(id))
        name = known->name;
    else
        name = CleanProductName(product);
    if (name.empty())
        name = "Périphérique " + FormatUsbId(id);
    return kHidRowPrefix + name;
}
} // namespace

std::vector<HidListRow> BuildHidRows(std::span<const HidDeviceDescription> attached, UsbId chosen) {
    std::vector<HidListRow> rows;
    const auto listed = [&rows](UsbId id) {
        return std::any_of(rows.begin(), rows.end(),
                           [id](const HidListRow& r) { return r.id == id; });
    };
    for (const HidDeviceDescription& device : attached) {
        if (device.id != UsbId{} && !listed(device.id) &&
            (FindKnownPedal(device.id) || CouldBePedal(device)))
            rows.push_back({device.id, RowText(device.id, device.product)});
    }
    if (chosen != UsbId{} && !listed(chosen))
        rows.push_back({chosen, RowText(chosen, {})});
    return rows;
}

void LayoutLearner::Start() {
    *this = LayoutLearner();
}

bool LayoutLearner::Feed(std::span<const uint8_t> report) {
    const std::size_t size = std::min(report.size(), kMaxLearnBytes);
    if (size == 0)
        return false;
    if (!m_haveReference || report[0] != m_previous[0]) {
        // A first report, or one of another kind: only the reference from now on.
        std::fill(std::begin(m_previous), std::end(m_previous), uint8_t{0});
        std::copy_n(report.begin(), size, m_previous);
        m_haveReference = true;
        return false;
    }
    uint8_t now[kMaxLearnBytes];
    std::copy_n(m_previous, kMaxLearnBytes, now);
    std::copy_n(report.begin(), size, now);

    if (m_waitRelease) {
        const SwitchBit last = m_layout.bits[m_next - 1];
        m_waitRelease = (now[last.byte] & last.mask) != 0;
    }
    // The newly set bits that no switch owns yet.
    int newBits = 0;
    SwitchBit pressed;
    for (std::size_t i = 1; i < kMaxLearnBytes; ++i) {
        uint8_t fresh = static_cast<uint8_t>(now[i] & ~m_previous[i]);
        for (int s = 0; s < m_next; ++s) {
            if (m_layout.bits[s].byte == i)
                fresh = static_cast<uint8_t>(fresh & ~m_layout.bits[s].mask);
        }
        if (fresh != 0) {
            newBits += std::popcount(fresh);
            pressed = {static_cast<uint8_t>(i), fresh};
        }
    }
    std::copy_n(now, kMaxLearnBytes, m_previous);

    if (m_waitRelease || !Asking() || newBits != 1 || (m_next > 0 && now[0] != m_layout.reportId))
        return false;
    m_layout.reportId = now[0];
    m_layout.bits[m_next++] = pressed;
    m_waitRelease = true;
    return true;
}

void LayoutLearner::Skip() {
    m_next = kSwitchCount;
    m_waitRelease = false;
}

std::optional<Switch> LayoutLearner::Asking() const {
    if (m_next >= kSwitchCount)
        return std::nullopt;
    return static_cast<Switch>(m_next);
}

} // namespace pedal

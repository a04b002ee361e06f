#include "pedal/port_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using pedal::PortKind;

TEST(PortCatalogue, RowsPairTextsTypesAndNumbers) {
    struct Row {
        const char* combo;
        const char* name;
        int type;
        int num;
    };
    const Row rows[pedal::kPortRows] = {
        {"None ", "None", 0, 0},  {"Com1:", "Com1:", 1, 0}, {"Com2:", "Com2:", 1, 1},
        {"Com3:", "Com3:", 1, 2}, {"Com4:", "Com4:", 1, 3}, {"Com5:", "Com5:", 1, 4},
        {"Com6:", "Com6:", 1, 5}, {"Com7:", "Com7:", 1, 6}, {"Com8:", "Com8:", 1, 7},
        {"Lpt1:", "Lpt1:", 2, 0}, {"Lpt2:", "Lpt2:", 2, 1}, {"USB:", "USB", 3, 0},
    };
    for (int i = 0; i < pedal::kPortRows; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::string(pedal::g_szPortComboTexts[i]), rows[i].combo);
        EXPECT_EQ(std::string(pedal::g_szPortNames[i]), rows[i].name);
        EXPECT_EQ(pedal::g_nPortTypes[i], rows[i].type);
        EXPECT_EQ(pedal::g_nPortNums[i], rows[i].num);
    }
}

TEST(PortCatalogue, EverySerialRowNamesTheDeviceItOpens) {
    for (int i = 0; i < pedal::kPortRows; ++i) {
        if (pedal::g_nPortTypes[i] != pedal::kPortTypeSerial)
            continue;
        SCOPED_TRACE(i);
        const int num = pedal::g_nPortNums[i];
        EXPECT_EQ(pedal::ChoosePortKind(pedal::kPortTypeSerial, num), PortKind::Serial);
        ASSERT_NE(pedal::ComDeviceName(num), nullptr);
        EXPECT_EQ(std::string(pedal::ComDeviceName(num)), pedal::g_szPortNames[i]);
        // What the settings dialog selects for the port made from this row.
        EXPECT_EQ(num + 1, i);
    }
    EXPECT_EQ(std::string(pedal::ComDeviceName(4)), "Com5:");
}

TEST(PortCatalogue, ChoosesTheClassAndNeverAnOutOfRangeNumber) {
    struct Case {
        int type;
        int num;
        PortKind kind;
    };
    const Case cases[] = {
        {0, 0, PortKind::None},       {2, 0, PortKind::None},  {2, 1, PortKind::None},
        {7, 0, PortKind::None},       {-1, 0, PortKind::None}, {1, 0, PortKind::Serial},
        {1, 7, PortKind::Serial},     {1, 8, PortKind::None},  {1, -1, PortKind::None},
        {1, 1000000, PortKind::None}, {3, 0, PortKind::Usb},   {3, 1, PortKind::None},
        {3, -1, PortKind::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " num " << c.num);
        EXPECT_EQ(pedal::ChoosePortKind(c.type, c.num), c.kind);
    }
    for (int num : {-1, 8, 100})
        EXPECT_EQ(pedal::ComDeviceName(num), nullptr) << num;
    for (int row : {-1, 12})
        EXPECT_FALSE(pedal::IsPortRow(row)) << row;
    EXPECT_TRUE(pedal::IsPortRow(0));
    EXPECT_TRUE(pedal::IsPortRow(11));
}

TEST(PortCatalogue, DriverVersionShowsTheLowThreeBytes) {
    const struct {
        unsigned version;
        const char* text;
    } cases[] = {
        {0x00021228, "02.12.28"}, {0x01020304, "02.03.04"}, {0x00000000, "00.00.00"},
        {0xFFFFFFFF, "ff.ff.ff"}, {0x000A0B0C, "0a.0b.0c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pedal::FormatDriverVersion(c.version), c.text) << std::hex << c.version;
}

} // namespace

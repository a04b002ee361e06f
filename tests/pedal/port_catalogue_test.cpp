#include "pedal/port_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

using pedal::PortKind;

TEST(PortTable, EveryRowStoresAsItselfAndSerialRowsNameTheirDevice) {
    std::set<std::pair<int, int>> stored;
    for (int row = 0; row < pedal::kPortRows; ++row) {
        SCOPED_TRACE(row);
        const pedal::PortRow& r = pedal::kPortTable[row];
        // What a port of this row stores selects this row again at the next start.
        EXPECT_TRUE(stored.emplace(pedal::TypeCode(r.kind), r.num).second) << "stored twice";
        EXPECT_EQ(pedal::FindPortRow(pedal::TypeCode(r.kind), r.num), row);
        EXPECT_EQ(pedal::ChoosePortKind(pedal::TypeCode(r.kind), r.num), r.kind);
        if (r.kind == PortKind::Serial) {
            ASSERT_NE(pedal::ComDeviceName(r.num), nullptr);
            EXPECT_EQ(std::string(pedal::ComDeviceName(r.num)), r.name);
        }
    }
    EXPECT_EQ(std::string(pedal::ComDeviceName(4)), "Com5:");
}

TEST(PortTable, StoredCodesNoRowStandsForMeanNoPedal) {
    struct Case {
        int type;
        int num;
        PortKind kind;
    };
    const Case cases[] = {
        {0, 0, PortKind::None},       {2, 0, PortKind::Parallel}, {2, 2, PortKind::None},
        {7, 0, PortKind::None},       {-1, 0, PortKind::None},    {1, 0, PortKind::Serial},
        {1, 7, PortKind::Serial},     {1, 8, PortKind::None},     {1, -1, PortKind::None},
        {1, 1000000, PortKind::None}, {3, 0, PortKind::Usb},      {3, 1, PortKind::None},
        {3, -1, PortKind::None},      {0, 5, PortKind::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " num " << c.num);
        EXPECT_EQ(pedal::ChoosePortKind(c.type, c.num), c.kind);
        if (c.kind == PortKind::None) {
            EXPECT_EQ(pedal::PortRowOf(c.type, c.num), 0);
        }
    }
    for (int num : {-1, 8, 100})
        EXPECT_EQ(pedal::ComDeviceName(num), nullptr) << num;
    for (int row : {-1, pedal::kPortRows, 1000}) {
        EXPECT_FALSE(pedal::IsPortRow(row)) << row;
        EXPECT_EQ(&pedal::PortAt(row), &pedal::kPortTable[0]) << row;
    }
}

TEST(PortTable, DriverVersionShowsTheLowThreeBytes) {
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

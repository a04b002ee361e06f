#include "pedal/port.h"

#include "pedal/com_port.h"
#include "pedal/hid_port.h"
#include "pedal/key_port.h"
#include "pedal/usb_port.h"

#include <gtest/gtest.h>

namespace {

TEST(CreatePort, UnknownTypesAndNumbersGiveAPortThatNeverOpens) {
    const struct {
        int type;
        int num;
    } cases[] = {{0, 0},  {2, 0}, {2, 1},    {7, 0},   {-1, 0}, {1, 8},
                 {1, -1}, {3, 1}, {4, 0x10}, {4, 256}, {4, -5}, {5, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " num " << c.num);
        std::unique_ptr<CPort> port = CreatePort(c.type, c.num);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(dynamic_cast<CCom*>(port.get()), nullptr);
        EXPECT_EQ(dynamic_cast<CUSB*>(port.get()), nullptr);
        EXPECT_EQ(port->GetType(), 0);
        EXPECT_EQ(port->GetNum(), 0);
        EXPECT_EQ(port->GetListIndex(), 0);
        EXPECT_EQ(port->GetValue(), 0);
        EXPECT_EQ(port->Open(), 0);
        EXPECT_EQ(port->IsOpen(), 0);
        EXPECT_EQ(port->IsPressed(), 0);
        port->Close();
        EXPECT_EQ(port->IsOpen(), 0);
    }
}

TEST(CreatePort, SerialAndUsbPortsSelectTheirCatalogueRows) {
    const struct {
        int type;
        int num;
        int row;
    } cases[] = {{1, 0, 1},    {1, 4, 5},     {1, 7, 8}, {3, 0, 11},
                 {4, 'X', 12}, {4, 0x75, 12}, {5, 0, 13}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " num " << c.num);
        std::unique_ptr<CPort> port = CreatePort(c.type, c.num);
        EXPECT_EQ(port->GetType(), c.type);
        EXPECT_EQ(port->GetNum(), c.num);
        EXPECT_EQ(port->GetListIndex(), c.row);
        EXPECT_EQ(port->GetValue(), 0);
        EXPECT_EQ(port->IsOpen(), 0) << "made closed";
        EXPECT_EQ(port->IsPressed(), 0);
        if (c.type == 1)
            EXPECT_NE(dynamic_cast<CCom*>(port.get()), nullptr);
        else if (c.type == 3)
            EXPECT_NE(dynamic_cast<CUSB*>(port.get()), nullptr);
        else if (c.type == 4)
            EXPECT_NE(dynamic_cast<CKeyPort*>(port.get()), nullptr);
        else
            EXPECT_NE(dynamic_cast<CHidPort*>(port.get()), nullptr);
    }
    // A HID pedal opens only when attached and readable: here none is attached, and a device
    // outside the table that was never learnt cannot be read at all.
    for (const pedal::HidChoice& choice :
         {pedal::HidChoice{{0x05F3, 0x00FF}, {}}, pedal::HidChoice{{0x1234, 0x5678}, {}},
          pedal::HidChoice{{0x0911, 0x091A}, {}}}) {
        std::unique_ptr<CPort> port = CreatePort(5, 0, choice);
        EXPECT_EQ(port->Open(), 0) << pedal::FormatUsbId(choice.id);
        EXPECT_EQ(port->ReadSwitches(), 0);
    }
}

} // namespace

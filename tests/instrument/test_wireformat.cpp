#include "instrument/WireFormat.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace WireFormat;

TEST(WireFormat, TextFieldsArePaddedOrCut) {
    EXPECT_EQ(Pad("ABC", 16), "ABC             ");
    EXPECT_EQ(Pad("12345678901", 10), "1234567890");
    EXPECT_EQ(Cut("0123456789AB", 10), "0123456789");
    EXPECT_EQ(Cut("0123", 10), "0123");
}

TEST(WireFormat, IntegersInDecimalAndHex) {
    EXPECT_EQ(Dec(-3), "-3");
    EXPECT_EQ(Flag01(-1), "1");
    EXPECT_EQ(Flag01(0), "0");
    EXPECT_EQ(HexN(90, 4), "005A");
    EXPECT_EQ(HexN(10, 2), "0A");
    EXPECT_EQ(HexN(300, 2), "2C");
    EXPECT_EQ(HexN(-1, 4), "FFFF");
    EXPECT_EQ(HexN(-1, 2), "FF");
    EXPECT_EQ(Hex(0), "0");
    EXPECT_EQ(Hex(255), "FF");
}

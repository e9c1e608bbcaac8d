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

TEST(WireFormat, ValueFieldInEveryLocale) {
    for (const auto& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        EXPECT_EQ(Val5(50.0f, 1), " 50.0");
        EXPECT_EQ(Val5(-101.0f, 1), "*****");
        EXPECT_EQ(Val5(-0.5f, 2), "*****");
        EXPECT_EQ(Val5(0.25f, 2), " 0.25");
        EXPECT_EQ(Val5(20.9f, 0), "   21");
        EXPECT_EQ(Val5(5.0f, 7), "    5");
        EXPECT_EQ(Val5(100.0f, 3), "0.000"); // too wide: keeps the last five characters
        EXPECT_EQ(Val5(0.5f, 3), "0.500");
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

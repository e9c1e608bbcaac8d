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

// The value field is the same ASCII text in every locale: "." as separator, no group separator,
// Latin digits; the locales differ in exactly these (German "1.234,5", Arabic digits).
TEST(WireFormat, ValueFieldInEveryLocale) {
    const struct {
        float value;
        int places;
        const char* field;
    } cases[] = {
        {50.0f, 1, " 50.0"},   {-101.0f, 1, "*****"}, {-0.5f, 2, "*****"},
        {0.25f, 2, " 0.25"},   {20.9f, 0, "   21"},  {5.0f, 7, "    5"},
        {1234.0f, 0, " 1234"}, {1234.5f, 1, "234.5"}, {100.0f, 3, "0.000"}, // last five kept
        {0.5f, 3, "0.500"},
    };
    for (const auto& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany),
                               QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        QLocale::setDefault(locale);
        for (const auto& c : cases)
            EXPECT_EQ(Val5(c.value, c.places), c.field) << qPrintable(locale.name());
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

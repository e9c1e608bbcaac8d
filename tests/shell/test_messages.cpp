#include "shell/Messages.h"

#include <gtest/gtest.h>

namespace {

struct EnglishTable : ::testing::Test {
    void SetUp() override { SetMessageLanguage("EN"); }
};

TEST_F(EnglishTable, ExpandsEscapesAndArguments) {
    // 5001 has no escapes; build the cases on top of a known entry by passing it as an argument.
    EXPECT_EQ(LoadMessage(5001), "71-Series - Setup Program");
    EXPECT_EQ(AppTitle(), LoadMessage(5001));
    EXPECT_EQ(UiLanguage(), "EN");
}

TEST_F(EnglishTable, MissingNumberIsVisible) { EXPECT_EQ(LoadMessage(123456), "[123456]"); }

TEST(MessageTables, JapaneseTableSaysJP) {
    SetMessageLanguage("JP");
    EXPECT_EQ(UiLanguage(), "JP");
    EXPECT_EQ(LoadMessage(99), QString::fromUtf8("既に起動しています。"));
    SetMessageLanguage("EN");
}

} // namespace

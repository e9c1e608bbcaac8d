#include "shell/AppState.h"

#include <gtest/gtest.h>

TEST(AppState, SwitchesMatchAsSubstringsInAnyCase) {
    AppState::ApplyCommandLine({"km71setup", "foo", "-seizo", "bar", "-debug"});
    EXPECT_TRUE(AppState::DebugMode());
    EXPECT_TRUE(AppState::FactoryMode());
    AppState::ApplyCommandLine({"km71setup", "-SEIZOXYZ"});
    EXPECT_TRUE(AppState::FactoryMode());
    EXPECT_FALSE(AppState::DebugMode());
    AppState::ApplyCommandLine({"km71setup", "-DEBU", "SEIZO"});
    EXPECT_FALSE(AppState::FactoryMode());
    EXPECT_FALSE(AppState::DebugMode());
}

TEST(AppState, FilesGoIntoTheStartupFolder) {
    const QString before = AppState::StartupFolder();
    AppState::setStartupFolder("/tmp/km71-folder/");
    EXPECT_EQ(AppState::PathInStartupFolder("SerialLog.log"), "/tmp/km71-folder/SerialLog.log");
    AppState::setStartupFolder(before);
}

// Serial port help: the sentence that says why a port could not be opened, and km71ctl ports.

#include "CtlTestSupport.h"
#include "link/PortHelp.h"
#include "shell/Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ctltest;

namespace {

class PortHelpTest : public ::testing::Test {
protected:
    void SetUp() override { SetMessageLanguage(QStringLiteral("EN")); }
    QTemporaryDir dir;
};

TEST_F(PortHelpTest, EachProblemIsOneSentenceNamingTheDeviceAndTheFix) {
    const QString dev = QStringLiteral("/dev/ttyUSB0");
    const struct {
        PortProblem problem;
        const char* group;
        const char* detail;
        const char* expected;
    } cases[] = {
        {PortProblem::NoSuchDevice, "", "",
         "The serial port /dev/ttyUSB0 could not be opened: the device does not exist; check "
         "that the USB infrared module is plugged in."},
        {PortProblem::InUse, "", "",
         "The serial port /dev/ttyUSB0 could not be opened: another program is using it; close "
         "that program and try again."},
        {PortProblem::PermissionDenied, "dialout", "",
         "The serial port /dev/ttyUSB0 could not be opened: permission denied; add your user to "
         "the group 'dialout' that owns /dev/ttyUSB0, then log in again."},
        {PortProblem::PermissionDenied, "", "",
         "The serial port /dev/ttyUSB0 could not be opened: permission denied; ask the "
         "administrator for read and write access to it."},
        {PortProblem::Other, "", "Input/output error.",
         "The serial port /dev/ttyUSB0 could not be opened: Input/output error."},
        {PortProblem::Other, "", "  ",
         "The serial port /dev/ttyUSB0 could not be opened: unknown error."},
    };
    for (const auto& c : cases) {
        const QString text = PortProblemSentence(c.problem, dev, QString::fromLatin1(c.group),
                                                 QString::fromLatin1(c.detail));
        EXPECT_EQ(text, QString::fromLatin1(c.expected));
        EXPECT_FALSE(text.contains(u'\n'));
    }

    // The Japanese table says the same with the same arguments.
    SetMessageLanguage(QStringLiteral("JP"));
    const QString ja =
        PortProblemSentence(PortProblem::PermissionDenied, dev, QStringLiteral("dialout"), {});
    EXPECT_TRUE(ja.contains(QStringLiteral("'dialout'")) && ja.contains(dev)) << ja.toStdString();
    EXPECT_FALSE(ja.contains(QStringLiteral("permission")));
}

TEST_F(PortHelpTest, ErrorKindsMapOntoProblems) {
    const QString missing = dir.filePath(QStringLiteral("ttyGone"));
    const QString present = dir.filePath(QStringLiteral("ttyHere"));
    QFile file(present);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(ProblemForOpenError(QSerialPort::DeviceNotFoundError, present),
              PortProblem::NoSuchDevice);
    // Whatever the port reports, a device that is not there is not there.
    EXPECT_EQ(ProblemForOpenError(QSerialPort::PermissionError, missing),
              PortProblem::NoSuchDevice);
    // A device this user may read and write that still refuses is held by someone else.
    EXPECT_EQ(ProblemForOpenError(QSerialPort::PermissionError, present), PortProblem::InUse);
    EXPECT_EQ(ProblemForOpenError(QSerialPort::OpenError, present), PortProblem::InUse);
    EXPECT_EQ(ProblemForOpenError(QSerialPort::UnsupportedOperationError, present),
              PortProblem::Other);
    EXPECT_EQ(DeviceGroup(missing), QString());
    EXPECT_FALSE(DeviceGroup(present).isEmpty());
}

TEST_F(PortHelpTest, ARealNonexistentPathIsExplainedAsNoSuchDevice) {
    const QString missing = dir.filePath(QStringLiteral("ttyUSB99"));
    const QString text = ExplainOpenFailure(missing, QStringLiteral("No such file or directory"));
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(missing)));
    EXPECT_TRUE(text.contains(QStringLiteral("the device does not exist"))) << text.toStdString();

    // km71ctl says the same, once, and ends with "no detector".
    const InProcessRun run =
        RunInProcess({QStringLiteral("--port"), missing, QStringLiteral("--folder"), dir.path(),
                      QStringLiteral("info")});
    EXPECT_EQ(run.code, CtlOptions::ExitNoDetector);
    EXPECT_EQ(run.err.trimmed(), QStringLiteral("km71ctl: ") + text) << run.err.toStdString();
}

TEST_F(PortHelpTest, PortListingMarksTheInfraredModule) {
    const QList<PortListEntry> ports = {
        {QStringLiteral("/dev/ttyS0"), QString(), 0, 0, false, false},
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB bridge"), 0x10C4, 0xEA60, true, true},
        {QStringLiteral("/dev/ttyUSB1"), QString(), 0x0403, 0x6001, true, false},
    };
    const QStringList lines = PortListText(ports).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("/dev/ttyS0    ----:----"));
    EXPECT_EQ(lines[1],
              QStringLiteral("/dev/ttyUSB0  10C4:EA60  USB infrared module  (USB bridge)"));
    EXPECT_EQ(lines[2], QStringLiteral("/dev/ttyUSB1  0403:6001"));
    EXPECT_EQ(PortListText({}), QStringLiteral("No serial ports found.\n"));

    const QJsonArray json = PortListJson(ports);
    ASSERT_EQ(json.size(), 3);
    EXPECT_TRUE(json[0].toObject().value(QStringLiteral("vendor")).isNull());
    EXPECT_EQ(json[1].toObject().value(QStringLiteral("vendor")).toString(), "10C4");
    EXPECT_EQ(json[1].toObject().value(QStringLiteral("product")).toString(), "EA60");
    EXPECT_TRUE(json[1].toObject().value(QStringLiteral("irModule")).toBool());
    EXPECT_FALSE(json[2].toObject().value(QStringLiteral("irModule")).toBool());
}

TEST_F(PortHelpTest, CtlPortsListsWhatTheSystemHasWithoutADetector) {
    const QList<PortListEntry> system = ListSerialPorts();

    const InProcessRun text = RunInProcess({QStringLiteral("ports")});
    EXPECT_EQ(text.code, CtlOptions::ExitOk) << text.err.toStdString();
    EXPECT_EQ(text.out, PortListText(system));
    EXPECT_TRUE(text.err.isEmpty());
    EXPECT_TRUE(text.frames.isEmpty());

    const InProcessRun json = RunInProcess({QStringLiteral("ports"), QStringLiteral("--json")});
    EXPECT_EQ(json.code, CtlOptions::ExitOk);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("command")).toString(), "ports");
    EXPECT_TRUE(o.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(o.value(QStringLiteral("ports")).toArray(), PortListJson(system));

    // No command options belong to ports.
    const InProcessRun bad = RunInProcess({QStringLiteral("ports"), QStringLiteral("extra")});
    EXPECT_EQ(bad.code, CtlOptions::ExitUsage);
}

} // namespace

// A whole connect-read-write-disconnect cycle under LeakSanitizer. In a sanitizer build the test
// runs the cycle in a child process of this executable with leak detection on and the
// suppressions of tests/lsan.supp (one-time allocations of Qt and the system libraries only),
// and fails on any leak report.
#include "SoakRun.h"

#include "common/SimLink.h"
#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

constexpr const char* kChildSwitch = "KM71_LEAK_CHILD";

// Connects to a simulated detector, reads it, writes a changed setting back, reads again and
// disconnects; everything is destroyed at the end.
void ConnectReadWriteDisconnect(const QString& model) {
    TempStartupFolder folder;
    ASSERT_TRUE(folder.isValid());
    {
        clsInstrument record;
        SimLink sim;
        sim.makeSimLink(model, &record, 1);
        uclHvif& link = *sim.link;
        link.setSerialComm(false);
        ASSERT_TRUE(sim.connectSimLink());

        ASSERT_TRUE(link.GetInstrument(record));
        record.ClearChangeFlags();
        record.setStationID(QStringLiteral("LEAK CHECK"));
        ASSERT_TRUE(link.SetInstrument(record));
        clsInstrument again;
        ASSERT_TRUE(link.GetInstrument(again));
        link.setInstrument(&record);
        EXPECT_EQ(again.StationID(), QStringLiteral("LEAK CHECK"));
        link.DisConnect();
        link.setTimerEnabled(false);
    }
}

TEST(LeakCheck, ConnectReadWriteDisconnectLeaksNothing) {
    if (qEnvironmentVariableIsSet(kChildSwitch)) {
        for (const char* model : {"KM", "QZ", "VL"})
            ConnectReadWriteDisconnect(QLatin1String(model));
        return;
    }
    if (!SoakRun::UnderAddressSanitizer())
        GTEST_SKIP() << "leak check needs the sanitizer build (cmake --preset asan)";

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildSwitch), QStringLiteral("1"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=1:abort_on_error=0"));
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=%1/tests/lsan.supp:print_suppressions=0:exitcode=23")
                   .arg(QLatin1String(KM71_SOURCE_DIR)));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_filter=LeakCheck.ConnectReadWriteDisconnectLeaksNothing")});
    ASSERT_TRUE(child.waitForFinished(300000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QLatin1String("LeakSanitizer"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
}

} // namespace

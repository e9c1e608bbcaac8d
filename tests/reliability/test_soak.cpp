// Read and write cycles against the simulated detector with random faults on the line: nothing
// reported as written is lost, every failure is reported, memory stays flat.
//   KM71_SOAK_CYCLES=N    cycles per model (default 400, three models)
#include "SoakRun.h"

#include <QtGlobal>
#include <gtest/gtest.h>
#include <iostream>

namespace {

int CyclesPerModel() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("KM71_SOAK_CYCLES", &ok);
    return ok && n > 0 ? n : 400;
}

class Soak : public ::testing::TestWithParam<const char*> {};

TEST_P(Soak, WritesReportedAsDoneAreStoredAndFailuresAreReported) {
    SoakRun soak(QString::fromLatin1(GetParam()), 71);
    ASSERT_TRUE(soak.start());
    const int cycles = CyclesPerModel();
    // Warm-up: the first cycles fill caches and pools that then stay.
    soak.run(qMin(50, cycles));
    const qint64 rssAfterWarmUp = SoakRun::ResidentKb();
    soak.run(cycles - qMin(50, cycles));
    const SoakFigures& f = soak.figures();
    std::cout << "[ soak     ] " << soak.report().toStdString() << std::endl;
    for (const QString& line : f.findings)
        ADD_FAILURE() << line.toStdString();

    EXPECT_EQ(f.cycles, cycles);
    EXPECT_EQ(f.settingsLost, 0);
    EXPECT_EQ(f.silentBadReads, 0);
    EXPECT_EQ(f.failuresUnreported, 0);
    EXPECT_EQ(f.failuresReported, f.readsFailed + f.writesFailed);
    // The faults really happened and really made operations fail and succeed.
    EXPECT_GT(f.faultsInjected, cycles);
    EXPECT_GT(f.writesFailed, 0);
    EXPECT_GT(f.writesOk, cycles / 4);
    EXPECT_GT(f.readsFailed, 0);
    EXPECT_GT(f.reconnects + f.readsFailed, 0);
    // No growth: after the warm-up the resident memory stays within a small margin (the
    // sanitizer's quarantine grows by design, so the bound is looser there).
    const qint64 margin = SoakRun::UnderAddressSanitizer() ? 256 * 1024 : 8 * 1024;
    if (rssAfterWarmUp > 0) {
        EXPECT_LT(f.rssEndKb, rssAfterWarmUp + margin);
    }
}

INSTANTIATE_TEST_SUITE_P(Models, Soak, ::testing::Values("KM", "QZ", "VL"));

} // namespace

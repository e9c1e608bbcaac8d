#include "SoakRun.h"

#include "instrument/SettingsFile.h"
#include "link/LinkCodes.h"
#include "link/LinkLog.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr QLatin1String kUploadFailed("---Instrument Upload Failed---");
constexpr int kMaxFindings = 20;

// The settings lines of a record that a write and a read both carry (identity, gas and options),
// without the live values that change on their own.
QStringList SettingsOf(const clsInstrument& record) {
    return SettingsFile::Lines(record);
}

} // namespace

SoakRun::SoakRun(const QString& model, quint32 seed) : m_model(model), m_random(seed) {
    m_sim.makeSimLink(model, &m_truth, 1);
    m_sim.detector->faults().seed = seed;
}

SoakRun::~SoakRun() {
    m_sim.closeSimLink();
}

qint64 SoakRun::ResidentKb() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("VmRSS:")) continue;
        return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

bool SoakRun::UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

bool SoakRun::start() {
    m_sim.link->setSerialComm(false);
    m_sim.link->DetectIrdaModule();
    if (!ensureConnected() || !cleanRead(m_truth)) return false;
    m_baseWarning = m_truth.Warning(0);
    m_baseAlarm = m_truth.Alarm(0);
    m_step = m_truth.GasDesit(0) > 0.0f ? m_truth.GasDesit(0) : 1.0f;
    m_figures.rssStartKb = ResidentKb();
    return true;
}

bool SoakRun::ensureConnected() {
    return SimLink::WaitForConnection(*m_sim.link, 120000);
}

bool SoakRun::cleanRead(clsInstrument& record) {
    setFaults(FaultMode::None);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!ensureConnected()) return false;
        const bool ok = m_sim.link->GetInstrument(record);
        m_sim.link->setInstrument(&m_truth);
        if (ok) return true;
    }
    return false;
}

void SoakRun::setFaults(FaultMode mode) {
    SimFaults& f = m_sim.detector->faults();
    const quint32 seed = f.seed;
    f = SimFaults();
    f.seed = seed;
    switch (mode) {
    case FaultMode::None:
        break;
    case FaultMode::Random:
        f.randomRate = 0.05;
        f.seed = m_random();
        break;
    case FaultMode::Heavy:
        f.randomRate = 0.4;
        f.seed = m_random();
        break;
    case FaultMode::DeadLine:
        f.deadLine = true;
        break;
    }
}

void SoakRun::modify(clsInstrument& record) {
    std::uniform_int_distribution<int> pick(0, 3);
    static const char* const kStations[] = {"NORTH GATE", "TANK 7", "BOILER HOUSE", "PUMP ROOM"};
    static const char* const kUsers[] = {"OPERATOR A", "SHIFT 2", "SERVICE", "QA"};
    record.setStationID(QString::fromLatin1(kStations[pick(m_random)]));
    record.setUserID(QString::fromLatin1(kUsers[pick(m_random)]));
    record.setCalLimit(qint16(30 + 30 * pick(m_random)));
    record.setLcdBackLight(qint16(5 + 5 * pick(m_random)));
    const int k = pick(m_random);
    record.setWarning(0, m_baseWarning + float(k) * m_step);
    record.setAlarm(0, m_baseAlarm + float(k) * m_step);
}

qint64 SoakRun::logSize() const {
    return QFileInfo(AppState::PathInStartupFolder(QString::fromLatin1(kLinkLogName))).size();
}

QByteArray SoakRun::logTail(qint64 from) const {
    QFile file(AppState::PathInStartupFolder(QString::fromLatin1(kLinkLogName)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    if (file.size() < from) from = 0; // rotated
    file.seek(from);
    return file.readAll();
}

void SoakRun::cycle() {
    SoakFigures& f = m_figures;
    const int n = ++f.cycles;
    const auto finding = [&](const QString& text) {
        if (f.findings.size() < kMaxFindings)
            f.findings << QStringLiteral("cycle %1: %2").arg(n).arg(text);
    };
    std::uniform_int_distribution<int> faultPick(0, 19);
    const int roll = faultPick(m_random);
    const FaultMode mode = roll < 12   ? FaultMode::Random
                           : roll < 17 ? FaultMode::Heavy
                           : roll < 19 ? FaultMode::None
                                       : FaultMode::DeadLine;

    // A read under faults: either it fails and says so, or it returns what the detector holds.
    setFaults(mode);
    clsInstrument read;
    const bool readOk = m_sim.link->GetInstrument(read);
    m_sim.link->setInstrument(&m_truth);
    if (readOk) {
        ++f.readsOk;
        if (SettingsOf(read) != SettingsOf(m_truth)) {
            ++f.silentBadReads;
            finding(QStringLiteral("a read reported as successful differs from the detector"));
        }
    } else {
        ++f.readsFailed;
        const int status = m_sim.link->Status();
        if (status == LinkStatus::Failed || status == LinkStatus::Cancelled ||
            !m_sim.link->Connected())
            ++f.failuresReported;
        else {
            ++f.failuresUnreported;
            finding(QStringLiteral("a failed read left Status %1").arg(status));
        }
    }

    // A write under faults of a few identity, option and alarm settings.
    setFaults(mode);
    clsInstrument target = m_truth;
    target.ClearChangeFlags();
    modify(target);
    clsInstrument sent = target;
    const qint64 logFrom = logSize();
    const bool wrote = m_sim.link->SetInstrument(target);
    m_sim.link->setInstrument(&m_truth);
    if (wrote) {
        ++f.writesOk;
    } else {
        ++f.writesFailed;
        if (logTail(logFrom).contains(kUploadFailed.data()))
            ++f.failuresReported;
        else {
            ++f.failuresUnreported;
            finding(QStringLiteral("a failed write was not logged as failed"));
        }
    }
    f.faultsInjected = m_sim.detector->faultsInjected() - m_faultBase;

    // After the dead line the line comes back: the link must connect again by itself.
    const bool wasConnected = m_sim.link->Connected();
    clsInstrument fresh;
    if (!cleanRead(fresh)) {
        finding(QStringLiteral("the link did not come back after the faults"));
        ++f.settingsLost;
        return;
    }
    if (!wasConnected) ++f.reconnects;
    if (wrote && SettingsOf(fresh) != SettingsOf(sent)) {
        ++f.settingsLost;
        finding(QStringLiteral("a write reported as successful was not all stored"));
    }
    m_truth = fresh;
    m_truth.ClearChangeFlags();
    // The simulator keeps every frame it received for tests to inspect; the soak does not.
    m_sim.detector->clearReceivedFrames();
}

void SoakRun::run(int cycles) {
    m_faultBase = m_sim.detector->faultsInjected() - m_figures.faultsInjected;
    for (int i = 0; i < cycles; ++i)
        cycle();
    setFaults(FaultMode::None);
    m_figures.rssEndKb = ResidentKb();
}

QString SoakRun::report() const {
    const SoakFigures& f = m_figures;
    return QStringLiteral("model %1: cycles %2, faults injected %3, reads ok/failed %4/%5, "
                          "writes ok/failed %6/%7, failures reported %8, failures unreported %9, "
                          "settings lost %10, silent bad reads %11, reconnects %12, "
                          "RSS start %13 kB, end %14 kB")
        .arg(m_model)
        .arg(f.cycles)
        .arg(f.faultsInjected)
        .arg(f.readsOk)
        .arg(f.readsFailed)
        .arg(f.writesOk)
        .arg(f.writesFailed)
        .arg(f.failuresReported)
        .arg(f.failuresUnreported)
        .arg(f.settingsLost)
        .arg(f.silentBadReads)
        .arg(f.reconnects)
        .arg(f.rssStartKb)
        .arg(f.rssEndKb);
}

// Files that cannot be written whole (a file-size limit, a read-only folder) and programs cut off
// at random moments: every file is the earlier one or the new one, the factory record holds only
// whole lines, the register opens and verifies, and nothing that failed reports success.
#include "common/SampleRecords.h"
#include "common/SimProgram.h"
#include "common/TempStartupFolder.h"
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "factory/StationCsv.h"
#include "instrument/SettingsFile.h"
#include "link/LinkLog.h"
#include "records/CalibrationCertificate.h"
#include "records/FactoryRecord.h"
#include "register/EventRecorder.h"
#include "register/FleetRegister.h"
#include "shell/Messages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <pwd.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const QDateTime kNow(QDate(2025, 1, 7), QTime(9, 30));

// What makes the writes fail: a file-size limit (bytes beyond the earlier file), or a folder the
// writer may not change (run as the user nobody when the test runs as root, who is not stopped
// by a read-only folder).
struct Limit {
    qint64 bytes = 0; // 0: no limit
    bool readOnlyFolder = false;
};

// Makes the calling process subject to `limit` on `folder`; false when it cannot be made.
bool Restrict(const Limit& limit, const QString& folder) {
    if (limit.bytes > 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write beyond the limit then fails with EFBIG
        const rlimit r{rlim_t(limit.bytes), rlim_t(limit.bytes)};
        if (setrlimit(RLIMIT_FSIZE, &r) != 0) return false;
    }
    if (limit.readOnlyFolder && geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) return false;
    }
    return access(QFile::encodeName(folder).constData(), W_OK) != 0 || !limit.readOnlyFolder;
}

// Limits the calling process's files to 400 bytes, a write beyond failing with EFBIG. It runs in
// a program's child between vfork and exec, sharing the parent's memory and stack: system calls
// only, nothing allocated, and no sanitizer bookkeeping on the shared stack.
__attribute__((no_sanitize("address", "undefined"))) void LimitFileSizeTo400Bytes() {
    signal(SIGXFSZ, SIG_IGN);
    static const rlimit kLimit{400, 400};
    setrlimit(RLIMIT_FSIZE, &kLimit);
}

// Runs `work` in a forked child under `limit`; what it returns comes back through a pipe, and
// "<child failed>" when the child could not be restricted or did not end normally.
QString InChild(const Limit& limit, const QString& folder, const std::function<QString()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return QStringLiteral("<child failed>");
    if (limit.readOnlyFolder) chmod(QFile::encodeName(folder).constData(), 0555);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const QByteArray text = Restrict(limit, folder) ? work().toUtf8() : "<child failed>";
        ssize_t written = 0;
        while (written < text.size()) {
            const ssize_t n =
                write(fds[1], text.constData() + written, size_t(text.size() - written));
            if (n <= 0) break;
            written += n;
        }
        _exit(0);
    }
    close(fds[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(QFile::encodeName(folder).constData(), 0755);
    if (pid < 0 || !WIFEXITED(status)) return QStringLiteral("<child failed>");
    return QString::fromUtf8(text);
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// One writer: its file, whether it appends (the earlier file is then made by the writer itself,
// and under a read-only folder there is none yet), whether its sentence names the file (else its
// caller's does) and the write, which returns that sentence (empty when it reports success).
struct Writer {
    const char* name;
    const char* file;
    bool appends;
    bool namesFile;
    std::function<QString(const QString& path)> write;
};

QList<Writer> Writers() {
    const clsInstrument record = SampleRecord(QStringLiteral("CH4"));
    static const auto error = [](bool ok, const QString& e) { return ok ? QString() : e; };
    return {
        {"configuration file", "detector.seq", false, true,
         [=](const QString& path) {
             QString e;
             return error(SettingsFile::Write(record, path, &e), e);
         }},
        {"tool configuration", "KM71Config.ini", false, true,
         [](const QString& path) {
             QString e;
             return error(
                 WriteToolConfigurationFile(path, ToolSettings(), QStringLiteral("7305"), &e), e);
         }},
        {"station list", "stations.csv", false, false,
         [](const QString& path) {
             QString e;
             return error(StationCsv::Write(path, QStringList(40, QStringLiteral("STATION")),
                                            QStringLiteral(","), &e),
                          e);
         }},
        {"certificate", "certificate.pdf", false, true,
         [=](const QString& path) {
             QString e;
             const auto data = CalibrationCertificateData::FromRecords(
                 record, record, 0, CalibrationCertificateData::Kind::Span, true, kNow, kNow);
             return error(CalibrationCertificate::WritePdf(data, path, &e), e);
         }},
        {"factory record", "KM71_Setting.csv", true, true,
         [=](const QString&) { return AppendToFactoryRecord(record, kFactoryRecordRead); }},
        {"link log", "SerialLog.log", true, true,
         [](const QString&) {
             // Three lines fail; the program is told once.
             QStringList told;
             SetLinkLogProblemHandler([&](const QString& s) { told << s; });
             for (int i = 0; i < 3; ++i)
                 WriteLinkLog(QStringLiteral("W : [STX]0001RC,R,[ETX]FB[EOT] line %1").arg(i),
                              kNow);
             SetLinkLogProblemHandler({});
             CloseLinkLog();
             return told.join(u'|');
         }},
    };
}

class DiskWriters : public ::testing::TestWithParam<Limit> {};

TEST_P(DiskWriters, FailedWriteLeavesTheEarlierFileAndSaysWhichAndWhy) {
    if (GetParam().readOnlyFolder && geteuid() == 0 && !getpwnam("nobody"))
        GTEST_SKIP() << "runs as root and there is no user nobody, and no folder stops root";
    for (const Writer& w : Writers()) {
        SCOPED_TRACE(w.name);
        TempStartupFolder folder;
        const QString path = folder.filePath(QString::fromLatin1(w.file));
        const Limit limit = GetParam();
        // The earlier file: a whole one the writer made, or a short one in its place.
        if (!limit.readOnlyFolder || !w.appends) {
            ASSERT_TRUE(w.appends ? w.write(path).isEmpty() : Put(path, "earlier\r\n"));
        }
        const QByteArray before = Bytes(path);
        const QStringList filesBefore = QDir(folder.path()).entryList(QDir::Files);
        const Limit applied{limit.bytes > 0 ? before.size() + limit.bytes : 0,
                            limit.readOnlyFolder};

        const QString sentence = InChild(applied, folder.path(), [&] { return w.write(path); });

        EXPECT_NE(sentence, QStringLiteral("<child failed>"));
        EXPECT_FALSE(sentence.isEmpty()) << "reported success";
        if (w.namesFile) {
            EXPECT_TRUE(sentence.contains(QString::fromLatin1(w.file))) << sentence.toStdString();
        }
        EXPECT_FALSE(sentence.contains(u'|')) << "said more than once: " << sentence.toStdString();
        EXPECT_EQ(Bytes(path), before);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), filesBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, DiskWriters, ::testing::Values(Limit{10, false}, Limit{0, true}),
                         [](const auto& info) {
                             return std::string(info.param.readOnlyFolder ? "ReadOnlyFolder"
                                                                          : "FileSizeLimit");
                         });

// The register cannot grow: the event waits in the queue and is stored by the next recording; when
// the queue cannot take it either, that is said and the queue keeps its whole lines. The register
// opens and verifies throughout.
TEST(DiskRegister, EventWaitsInTheQueueWhileTheRegisterCannotGrow) {
    struct Row {
        const char* name;
        bool queueFull;
    };
    for (const Row& row : {Row{"queue has room", false}, Row{"queue full too", true}}) {
        SCOPED_TRACE(row.name);
        TempStartupFolder folder;
        const RegisterLocation location = RegisterLocation::Default(folder.path());
        const clsInstrument record = SampleRecord(QStringLiteral("CH4"));
        const auto event = [&] { return RegisterEvent::Make(EventKind::Read, record, true); };
        ASSERT_TRUE(EventRecorder(location, folder.path()).record(event()).stored);
        const QString queue = folder.filePath(QStringLiteral("KM71Fleet.pending"));
        if (row.queueFull) {
            ASSERT_TRUE(Put(queue, event().CanonicalContent() + '\n'));
        }
        const QByteArray queueBefore = Bytes(queue);
        const qint64 room = row.queueFull ? queueBefore.size() + 10 : 4000;

        const QString said = InChild({room, false}, folder.path(), [&] {
            const EventRecorder::Outcome o = EventRecorder(location, folder.path()).record(event());
            return QStringLiteral("%1 %2 %3")
                .arg(int(o.stored))
                .arg(int(o.pending))
                .arg(o.sentence);
        });

        EXPECT_TRUE(said.startsWith(row.queueFull ? "0 0 " : "0 1 ")) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("KM71Fleet.pending"))) << said.toStdString();
        if (row.queueFull) {
            EXPECT_EQ(Bytes(queue), queueBefore);
        }
        FleetRegister reg(location);
        EXPECT_TRUE(reg.verify().ok);
        EXPECT_EQ(reg.eventCount(), 1);
        EXPECT_TRUE(EventRecorder(location, folder.path()).record(event()).stored);
        EXPECT_EQ(reg.eventCount(), 3);
        EXPECT_TRUE(reg.verify().ok);
    }
}

// km71ctl under a file-size limit: the configuration file stays the earlier one, the command
// fails naming the file and why, the link log and the event are each given up in one sentence.
TEST(DiskCtl, ReadUnderFileSizeLimitFailsAndSaysSo) {
    TempStartupFolder folder;
    const QString config = folder.filePath(QStringLiteral("detector.seq"));
    ASSERT_TRUE(Put(config, "earlier\r\n"));
    QProcess ctl;
    ctl.setChildProcessModifier(&LimitFileSizeTo400Bytes);
    ctl.start(ProgramDir() + QStringLiteral("/km71ctl"),
              {QStringLiteral("--sim"), QStringLiteral("KM"), QStringLiteral("--folder"),
               folder.path(), QStringLiteral("read"), config});
    ASSERT_TRUE(ctl.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(ctl.readAllStandardError());
    EXPECT_EQ(ctl.exitCode(), 2) << err.toStdString();
    EXPECT_TRUE(ctl.readAllStandardOutput().isEmpty());
    EXPECT_EQ(Bytes(config), QByteArray("earlier\r\n"));
    EXPECT_TRUE(err.contains(QStringLiteral("detector.seq")) &&
                err.contains(QStringLiteral("File too large")))
        << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("The link log")), 1) << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("could not be recorded")), 1) << err.toStdString();
}

// A child that appends factory records of one fixed line until it is killed or has written `max`.
pid_t StartAppender(const QString& path, int max) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const clsInstrument record = SampleRecord(QStringLiteral("CH4"));
    for (int i = 0; i < max; ++i)
        AppendFactoryRecord(path, record, kFactoryRecordWrite, kNow);
    _exit(0);
}

void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// km71ctl reading the detector (configuration file, link log, register event) and a factory
// record writer, both killed at random moments, 200 times: the configuration file is the earlier
// or the new one, the factory record is its header and whole lines, the register opens and
// verifies.
TEST(PowerCut, KilledWritersLeaveWholeFiles) {
    TempStartupFolder folder;
    const QString config = folder.filePath(QStringLiteral("detector.seq"));
    const QString records = folder.filePath(QStringLiteral("KM71_Setting.csv"));
    const QStringList args{QStringLiteral("--sim"),    QStringLiteral("KM"),
                           QStringLiteral("--folder"), folder.path(),
                           QStringLiteral("read"),     config};
    const QString program = ProgramDir() + QStringLiteral("/km71ctl");
    constexpr int kAppends = 200;

    // One run of each uncut gives the new file, the factory record's line and the time spans.
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(QProcess::execute(program, args), 0);
    const qint64 ctlMs = timer.restart();
    const QByteArray fresh = Bytes(config);
    const pid_t first = StartAppender(records, kAppends);
    waitpid(first, nullptr, 0);
    const qint64 appendUs = timer.nsecsElapsed() / 1000;
    const QByteArray all = Bytes(records);
    const qsizetype headerEnd = all.indexOf('\n') + 1;
    const QByteArray header = all.left(headerEnd);
    const QByteArray line = all.mid(headerEnd, (all.size() - headerEnd) / kAppends);
    ASSERT_EQ(all, header + line.repeated(kAppends));
    const QByteArray earlier = fresh.left(fresh.size() / 2) + "\r\n";

    const unsigned seed = 20250107;
    std::cout << "[ power    ] seed " << seed << ", km71ctl " << ctlMs << " ms, " << kAppends
              << " records " << appendUs << " us" << std::endl;
    std::mt19937 random(seed);
    const qint64 registered = FleetRegister(RegisterLocation::Default(folder.path())).eventCount();
    int cutConfig = 0;
    int cutAtPages = 0;
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(Put(config, earlier));
        QFile::remove(records);
        QProcess ctl;
        ctl.start(program, args);
        ASSERT_TRUE(ctl.waitForStarted());
        const pid_t appender = StartAppender(records, kAppends);
        const auto appendCut = std::chrono::microseconds(qint64(random() % quint64(appendUs + 1)));
        const int ctlCut = int(random() % quint64(ctlMs + 1));
        std::this_thread::sleep_for(appendCut);
        Kill(appender);
        if (!ctl.waitForFinished(ctlCut)) {
            ctl.kill();
            ctl.waitForFinished();
        }

        const QByteArray now = Bytes(config);
        EXPECT_TRUE(now == earlier || now == fresh) << now.size() << " bytes";
        cutConfig += now == earlier;
        // Whole lines, but for one case no program can prevent: the kernel ends a write that
        // crosses a page at a kill, so a line can be cut exactly at a page boundary.
        const QByteArray written = Bytes(records);
        const QByteArray body = written.mid(headerEnd);
        const qsizetype whole = body.size() / line.size();
        const bool cutAtPage = written.size() % 4096 == 0;
        cutAtPages += cutAtPage && body.size() % line.size() != 0;
        EXPECT_TRUE(written == "<none>" ||
                    (written.startsWith(header) &&
                     body.startsWith(line.repeated(whole)) &&
                     (body.size() % line.size() == 0 ||
                      (cutAtPage && line.startsWith(body.mid(whole * line.size()))))))
            << written.size() << " bytes";
        FleetRegister reg(RegisterLocation::Default(folder.path()));
        QString error;
        ASSERT_TRUE(reg.open(&error)) << error.toStdString();
        const ChainCheck check = reg.verify();
        EXPECT_TRUE(check.ok) << check.sentence.toStdString();
        if (HasFailure()) break;
    }
    std::cout << "[ power    ] factory record lines cut at a page boundary: " << cutAtPages
              << std::endl;
    // The cuts fell both before and after the file was replaced.
    EXPECT_GT(cutConfig, 0);
    EXPECT_LT(cutConfig, 200);
    EXPECT_GT(FleetRegister(RegisterLocation::Default(folder.path())).eventCount(), registered);
}

} // namespace

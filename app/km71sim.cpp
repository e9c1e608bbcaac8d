// km71sim: a simulated 71-Series detector on a pseudo-terminal or a TCP port, for trying the
// programs without hardware and for the integration tests.
#include "link/Frame.h"
#include "sim/SimDetector.h"
#include "sim/SimModels.h"
#include "sim/SimPtyServer.h"
#include "sim/SimTcpServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int) {
    g_stopRequested = 1;
}

int Fail(const QString& text, int code) {
    std::fprintf(stderr, "km71sim: %s\n", qPrintable(text));
    return code;
}

// A whole number >= 0 from an option, or false with the reason.
bool ReadCount(const QCommandLineParser& parser, const QString& name, int* out, QString* error) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const int v = parser.value(name).toInt(&ok);
    if (!ok || v < 0) {
        *error = QStringLiteral("--%1 needs a whole number of 0 or more, not \"%2\"")
                     .arg(name, parser.value(name));
        return false;
    }
    *out = v;
    return true;
}

// A request head from an option ("UX,W"; a trailing comma is allowed), or false with the
// reason.
bool ReadHead(const QCommandLineParser& parser, const QString& name, QByteArray* out,
              QString* error) {
    if (!parser.isSet(name)) return true;
    QString head = parser.value(name).trimmed().toUpper();
    if (head.endsWith(QLatin1Char(','))) head.chop(1);
    static const QRegularExpression shape(QStringLiteral("^[A-Z0-9]{2},[A-Z]$"));
    if (!shape.match(head).hasMatch()) {
        *error = QStringLiteral("--%1 needs a request head such as UX,W, not \"%2\"")
                     .arg(name, parser.value(name));
        return false;
    }
    *out = head.toLatin1();
    return true;
}

bool ReadEndpoint(const QString& text, QHostAddress* address, quint16* port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    const QString host = text.left(colon);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) return false;
    if (host == QLatin1String("localhost"))
        *address = QHostAddress(QHostAddress::LocalHost);
    else if (host == QLatin1String("*"))
        *address = QHostAddress(QHostAddress::Any);
    else if (!address->setAddress(host))
        return false;
    *port = quint16(p);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("km71sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KM71_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated 71-Series detector on a pseudo-terminal or a TCP port."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("model"), QStringLiteral("Model type: KM, QZ or VL."),
         QStringLiteral("KM|QZ|VL")},
        {QStringLiteral("pty"), QStringLiteral("Serve on a pseudo-terminal linked at PATH."),
         QStringLiteral("PATH")},
        {QStringLiteral("tcp"), QStringLiteral("Serve on a TCP port (port 0: any free port)."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("log"), QStringLiteral("Write every received frame to FILE."),
         QStringLiteral("FILE")},
        {QStringLiteral("drop-nth"), QStringLiteral("Drop the Nth reply."), QStringLiteral("N")},
        {QStringLiteral("drop-every"), QStringLiteral("Drop every Nth reply."),
         QStringLiteral("N")},
        {QStringLiteral("delay"), QStringLiteral("Send each reply MS milliseconds late."),
         QStringLiteral("MS")},
        {QStringLiteral("split"), QStringLiteral("Send replies in pieces of N bytes."),
         QStringLiteral("N")},
        {QStringLiteral("corrupt-nth"), QStringLiteral("Wrong checksum in the Nth reply."),
         QStringLiteral("N")},
        {QStringLiteral("corrupt-every"), QStringLiteral("Wrong checksum in every Nth reply."),
         QStringLiteral("N")},
        {QStringLiteral("wrong-echo-nth"),
         QStringLiteral("The Nth write echo carries another value."), QStringLiteral("N")},
        {QStringLiteral("wrong-echo-every"),
         QStringLiteral("Every Nth write echo carries another value."), QStringLiteral("N")},
        {QStringLiteral("garble"),
         QStringLiteral("Answer the first request with head HEAD (such as UX,W) with a line that "
                        "ends in CR without a frame end; the request is still carried out."),
         QStringLiteral("HEAD")},
        {QStringLiteral("nak"),
         QStringLiteral("Answer the first request with head HEAD (such as IN,R) with its head "
                        "and NAK alone."),
         QStringLiteral("HEAD")},
        {QStringLiteral("span-off"),
         QStringLiteral("After a span, read PERCENT off the span concentration (negative: "
                        "below it)."),
         QStringLiteral("PERCENT")},
        {QStringLiteral("dead"), QStringLiteral("Answer nothing at all.")},
        {QStringLiteral("not-yet"),
         QStringLiteral("Answer each confirm poll N times \"not yet\" first."),
         QStringLiteral("N")},
        {QStringLiteral("random"),
         QStringLiteral("Inject a random fault into this share (0..1) of the replies."),
         QStringLiteral("RATE")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the random faults and readings."),
         QStringLiteral("N")},
    });
    if (!parser.parse(QCoreApplication::arguments())) return Fail(parser.errorText(), 2);
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return Fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()),
            2);

    const QString model = parser.value(QStringLiteral("model")).toUpper();
    if (!parser.isSet(QStringLiteral("model")))
        return Fail(QStringLiteral("--model KM|QZ|VL is required"), 2);
    if (!SimModels::IsKnownModel(model))
        return Fail(QStringLiteral("unknown model \"%1\" (KM, QZ or VL)")
                        .arg(parser.value(QStringLiteral("model"))),
                    2);
    const bool usePty = parser.isSet(QStringLiteral("pty"));
    const bool useTcp = parser.isSet(QStringLiteral("tcp"));
    if (usePty == useTcp)
        return Fail(QStringLiteral("give either --pty PATH or --tcp HOST:PORT"), 2);
    QHostAddress address;
    quint16 port = 0;
    if (useTcp && !ReadEndpoint(parser.value(QStringLiteral("tcp")), &address, &port))
        return Fail(QStringLiteral("--tcp needs HOST:PORT, not \"%1\"")
                        .arg(parser.value(QStringLiteral("tcp"))),
                    2);
    if (usePty && parser.value(QStringLiteral("pty")).isEmpty())
        return Fail(QStringLiteral("--pty needs a path"), 2);

    SimDetector detector(model);
    SimFaults& faults = detector.faults();
    QString error;
    if (!ReadCount(parser, QStringLiteral("drop-nth"), &faults.dropNth, &error) ||
        !ReadCount(parser, QStringLiteral("drop-every"), &faults.dropEvery, &error) ||
        !ReadCount(parser, QStringLiteral("delay"), &faults.delayMs, &error) ||
        !ReadCount(parser, QStringLiteral("split"), &faults.splitChunk, &error) ||
        !ReadCount(parser, QStringLiteral("corrupt-nth"), &faults.corruptNth, &error) ||
        !ReadCount(parser, QStringLiteral("corrupt-every"), &faults.corruptEvery, &error) ||
        !ReadCount(parser, QStringLiteral("wrong-echo-nth"), &faults.wrongEchoNth, &error) ||
        !ReadCount(parser, QStringLiteral("wrong-echo-every"), &faults.wrongEchoEvery, &error) ||
        !ReadCount(parser, QStringLiteral("not-yet"), &faults.notYet, &error) ||
        !ReadHead(parser, QStringLiteral("garble"), &faults.garbleCommand, &error) ||
        !ReadHead(parser, QStringLiteral("nak"), &faults.nakCommand, &error))
        return Fail(error, 2);
    faults.deadLine = parser.isSet(QStringLiteral("dead"));
    if (parser.isSet(QStringLiteral("random"))) {
        bool ok = false;
        faults.randomRate = parser.value(QStringLiteral("random")).toDouble(&ok);
        if (!ok || faults.randomRate < 0.0 || faults.randomRate > 1.0)
            return Fail(QStringLiteral("--random needs a rate from 0 to 1, not \"%1\"")
                            .arg(parser.value(QStringLiteral("random"))),
                        2);
    }
    if (parser.isSet(QStringLiteral("span-off"))) {
        bool ok = false;
        const double percent = parser.value(QStringLiteral("span-off")).toDouble(&ok);
        if (!ok || percent <= -100.0 || percent > 1000.0)
            return Fail(QStringLiteral("--span-off needs a percentage above -100 and up to "
                                       "1000, not \"%1\"")
                            .arg(parser.value(QStringLiteral("span-off"))),
                        2);
        detector.setSpanAfterOffset(percent);
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        faults.seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok)
            return Fail(QStringLiteral("--seed needs a whole number, not \"%1\"")
                            .arg(parser.value(QStringLiteral("seed"))),
                        2);
    }

    std::unique_ptr<QFile> log;
    if (parser.isSet(QStringLiteral("log"))) {
        log = std::make_unique<QFile>(parser.value(QStringLiteral("log")));
        if (!log->open(QIODevice::WriteOnly | QIODevice::Truncate))
            return Fail(QStringLiteral("cannot write the log %1: %2")
                            .arg(log->fileName(), log->errorString()),
                        2);
        QObject::connect(&detector, &SimDetector::frameReceived, &app,
                         [&log](const QByteArray& frame) {
                             log->write(RenderControlChars(frame).toLatin1() + "\r\n");
                             log->flush();
                         });
    }

    std::unique_ptr<SimPtyServer> pty;
    std::unique_ptr<SimTcpServer> tcp;
    if (usePty) {
        pty = std::make_unique<SimPtyServer>(&detector);
        if (!pty->open(parser.value(QStringLiteral("pty")), &error)) return Fail(error, 1);
        std::printf("ready %s\n", qPrintable(pty->linkPath()));
    } else {
        tcp = std::make_unique<SimTcpServer>(&detector);
        if (!tcp->listen(address, port, &error)) return Fail(error, 1);
        std::printf("ready %u\n", unsigned(tcp->port()));
    }
    std::fflush(stdout);

    // A signal only sets a flag; the event loop notices it and ends cleanly (the link is
    // removed on the way out).
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [] {
        if (g_stopRequested) QCoreApplication::quit();
    });
    stopWatch.start(100);

    const int code = app.exec();
    if (pty) pty->close();
    if (tcp) tcp->close();
    return code;
}

// Feeds arbitrary byte streams to the link's receive path (frame loop and reply decoder) in
// every exchange status, on both transports, with supervision ticks in between.
#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/LinkCodes.h"
#include "link/LinkEngine.h"
#include "link/ResponseParser.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

constexpr qint32 kImageSize = 32768;

const QByteArray& BlankImage() {
    static const QByteArray blank(kImageSize, char(0xFF));
    return blank;
}

class FuzzHost : public LinkEngineHost {
public:
    LinkEngine* engine = nullptr;
    clsInstrument record;
    ReplyContext ctx;
    QByteArray input;
    // A copy of one blank image made once: it is copied only when a block is stored.
    QByteArray image = BlankImage();
    int framesWritten = 0;

    FuzzHost() {
        ctx.instrument = &record;
        ctx.now = [] { return 45000.0; };
        ctx.connectReply = [this] { engine->ConnectReplyAccepted(); };
        ctx.densty = [](float&) {};
        ctx.dumpBlock = [](const QByteArray&, const QByteArray&, const QStringList&) { return true; };
    }
    void writeFrame(const QByteArray& frame) override {
        if (frame.isEmpty() || frame.front() != Ctl::STX) __builtin_trap();
        ++framesWritten;
    }
    bool parseFrame(const QByteArray& frame) override {
        ctx.lastFrame = engine->LastFrame();
        return ParseResponse(frame, ctx);
    }
    void log(const QString&) override {}
    QString dateText() override { return QStringLiteral("2026/01/01 00:00:00"); }
    QByteArray readSerialInput() override { return std::exchange(input, QByteArray()); }
    int serialModemStatus() override { return ModemLine::Cts; }
    void storeDumpBytes(qint32 position, const QByteArray& bytes) override {
        // A block never reaches outside its own 64 bytes, nor outside the image.
        if (position < 0 || bytes.size() > 64 || position + bytes.size() > kImageSize) __builtin_trap();
        image.replace(position, bytes.size(), bytes);
    }
    QByteArray readInfraredInput() override { return std::exchange(input, QByteArray()); }
    int storeInfraredInputToDump(qint32 position, int maxBytes) override {
        if (position < 0 || maxBytes < 0 || maxBytes > 64) __builtin_trap();
        const QByteArray bytes = std::exchange(input, QByteArray()).left(maxBytes);
        if (position + bytes.size() > kImageSize) __builtin_trap();
        image.replace(position, bytes.size(), bytes);
        return int(bytes.size());
    }
    int infraredSocketError() override { return SocketErrorCode::TimedOut; }
    void pollInfrared() override {}
};

const char* const kRequests[] = {"XS,R,", "RC,R,", "SO,R,", "A1,W,   50", "HC,W,250107093000",
                                 "SZ,W,1", "EF,R,", "EP,R,000A", "GJ,R,", "LS,R,"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    FuzzHost host;
    LinkEngine engine(host);
    host.engine = &engine;
    const bool infrared = data[2] & 1;
    engine.setRetry(qint16(data[1] % 4));
    engine.setTimeoutTicks(qint16(data[2] >> 4));
    engine.setLinkState((data[2] & 2) ? LinkStates::Connected : LinkStates::Connecting);
    engine.DataSend(BuildFrame(kRequests[data[3] % std::size(kRequests)]), true);
    engine.setStatus(data[0] % 10);
    if (engine.Status() == LinkStatus::BinaryDump) {
        engine.setDumpOffset((data[3] % 512) * 64);
        engine.setDumpReceived(0);
    }
    size_t i = 4;
    while (i < size) {
        const uint8_t op = data[i++];
        if (op == 0xFF) {
            engine.Tick();
            continue;
        }
        if (op == 0xFE) {
            engine.setCancel(!engine.Cancel());
            continue;
        }
        const size_t n = std::min<size_t>(op % 96 + 1, size - i);
        host.input.append(reinterpret_cast<const char*>(data + i), qsizetype(n));
        i += n;
        if (infrared)
            engine.InfraredEvent(CommEvent::DataReceived);
        else
            engine.SerialEvent(CommEvent::DataReceived);
        if (engine.RxBuffer().size() > qsizetype(size) + 64) __builtin_trap();
    }
    return 0;
}

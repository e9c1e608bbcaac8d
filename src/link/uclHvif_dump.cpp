// Memory dumps: the binary flash image and the hexadecimal listing.
#include "instrument/WireFormat.h"
#include "link/DumpListing.h"
#include "link/LinkCodes.h"
#include "link/LinkLog.h"
#include "link/uclHvif.h"
#include "shell/Messages.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr int kMsgDumpStarted = 5569;
constexpr int kMsgDumpFinished = 5570;

// Highest block number of the flash image.
constexpr int kLastImageBlock = uclHvif::kImageSize / uclHvif::kImageBlock - 1;

// Writes a new image of 0xFF bytes at path; false when it could not be written.
bool CreateImage(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray blank(uclHvif::kImageSize, char(0xFF));
    if (file.write(blank) != blank.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Makes an existing image writable in place and at least the image size: a shorter file is
// completed with 0xFF, so blocks patched beyond its end do not leave a gap of zeros.
bool PrepareImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    const qint64 size = file.size();
    if (size >= uclHvif::kImageSize) return true;
    if (!file.seek(size)) return false;
    const QByteArray rest(uclHvif::kImageSize - size, char(0xFF));
    return file.write(rest) == rest.size();
}

} // namespace

void uclHvif::RaiseDumpMessage(const QString& text) {
    QString value = text;
    emit DumpMessage(value);
}

bool uclHvif::GetBinDump(const QString& path, qint16 first, qint16 last) {
    if (IsWaiting()) return false; // one request at a time
    BeginOperation();
    RaiseDumpMessage(QStringLiteral("Initialize Local Image"));
    if (path.isEmpty() || first < 0 || last > kLastImageBlock || first > last) {
        AddLog(QStringLiteral("--- Dump refused: blocks %1 to %2 (0 to %3 allowed) into \"%4\" ---")
                   .arg(first)
                   .arg(last)
                   .arg(kLastImageBlock)
                   .arg(path));
        m_engine.setStatus(LinkStatus::Idle);
        return false;
    }
    m_engine.setDumpSize(kImageBlock);

    // A complete dump or a missing file starts from a blank image; a partial dump patches
    // the blocks it reads into the existing one.
    const bool initialise = !QFileInfo::exists(path) || (first == 0 && last == kLastImageBlock);
    const bool infrared = InfraredActive();
    bool imageReady = false;
    if (infrared) {
        m_infrared->setDumpPath(path);
        imageReady = initialise ? m_infrared->initImage(kImageSize) : PrepareImage(path);
    } else {
        imageReady = initialise ? CreateImage(path) : PrepareImage(path);
    }
    if (!imageReady) {
        AddLog(QStringLiteral("--- Dump image \"%1\" cannot be written ---").arg(path));
        m_engine.setStatus(LinkStatus::Idle);
        return false;
    }

    RaiseDumpMessage(QStringLiteral("Get FLASH Image"));
    AddLog(LoadMessage(kMsgDumpStarted, {GeneralDateText(m_clock->currentDateTime())}));
    m_opResult = true;
    setCancel(false);
    setBinDumpPath(path);
    setBinaryRetry(false);

    LinkTransport* transport = activeTransport();
    const int threshold = transport->receiveThreshold();
    for (int block = first; block <= last; ++block) {
        m_engine.setDumpOffset(block * kImageBlock);
        m_engine.setDumpReceived(0);
        const QString number = WireFormat::HexN(block, 4);
        if (infrared) transport->setReceiveThreshold(kImageBlock);
        // Whatever is still waiting belongs to no block: it must not land in this one.
        transport->readAll();
        DataSend(BuildFrame("EP,R," + number.toLatin1(), Ctl::EOT), true);
        m_engine.setStatus(LinkStatus::BinaryDump);

        // The detector answers with 64 raw bytes; the link stores them and completes the
        // block, or gives up (Cancel) when they do not come in time.
        ++m_waitDepth;
        const qint64 bound = m_clock->nowMs() + quietBoundMs();
        while (m_engine.Status() == LinkStatus::BinaryDump && !m_engine.Cancel()) {
            if (m_clock->nowMs() >= bound) {
                m_engine.setStatus(LinkStatus::Failed);
                break;
            }
            m_clock->waitForEvents(bound);
        }
        --m_waitDepth;

        RaiseDumpMessage(QStringLiteral("Get FLASH Image ") + number);
        AddLog(LoadMessage(kMsgDumpFinished, {GeneralDateText(m_clock->currentDateTime())}));
        if (m_engine.Status() != LinkStatus::Completed || m_engine.Cancel()) break;
    }
    if (infrared) transport->setReceiveThreshold(threshold);

    if (m_engine.Status() == LinkStatus::Completed && m_opResult && !m_engine.Cancel()) return true;
    m_engine.setStatus(LinkStatus::Idle);
    return false;
}

bool uclHvif::TakeDumpBlock(const QStringList& tokens) {
    return m_listing && m_listing->takeBlock(tokens);
}

bool uclHvif::WriteDumpListing() {
    if (!m_listing || m_listing->bufferedLines() == 0) return false;
    m_listing->writeSection();
    return true;
}

QString uclHvif::FormatDumpLine(quint32 address, const QString& hexDigits) {
    return DumpListing::FormatDumpLine(address, hexDigits);
}

bool uclHvif::GetRomDump2(const QString& path) {
    BeginOperation();
    const QDateTime start = m_clock->currentDateTime();
    const qint64 startMs = m_clock->nowMs();
    AddLog(LoadMessage(kMsgDumpStarted, {GeneralDateText(start)}));

    DumpListing listing;
    if (!listing.open(path, start)) {
        AddLog(QStringLiteral("--- Dump listing \"%1\" cannot be written: %2 ---")
                   .arg(path, listing.errorText()));
        m_engine.setStatus(LinkStatus::Idle);
        return false;
    }
    listing.progress = [this](const QString& text) { RaiseDumpMessage(text); };

    // Every listing block reaches the decoder's dump rule while this listing is open.
    m_listing = &listing;
    const auto previousHook = m_ctx.dumpBlock;
    m_ctx.dumpBlock = [this](const QByteArray&, const QByteArray&, const QStringList& tokens) {
        return TakeDumpBlock(tokens);
    };

    m_opResult = true;
    const bool completed = Exchange("EF,R,", LinkStatus::DumpListing);

    m_ctx.dumpBlock = previousHook;
    m_listing = nullptr;

    listing.flush();
    const qint64 elapsed = m_clock->nowMs() - startMs;
    const bool written = listing.finish(elapsed);
    if (!written)
        AddLog(QStringLiteral("--- Dump listing \"%1\" cannot be written: %2 ---")
                   .arg(path, listing.errorText()));

    if (completed && m_opResult && written) {
        AddLog(LoadMessage(kMsgDumpFinished, {GeneralDateText(m_clock->currentDateTime()),
                                              DumpListing::ElapsedText(elapsed)}));
        return true;
    }
    m_engine.setStatus(LinkStatus::Idle);
    return false;
}

#include "link/uclHvif.h"

#include "link/EventLoopClock.h"
#include "link/LinkLog.h"
#include "link/NVComm.h"
#include "link/NvIrDA11.h"
#include "shell/OleDate.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace {

struct ProcessLinkSettings {
    QString commSettings = QStringLiteral("921600,n,8,1");
    // Links in several threads each note their port here.
    std::atomic<qint16> irCommPort = 0;
};

ProcessLinkSettings& Process() {
    static ProcessLinkSettings settings;
    return settings;
}

// Texts of the read-command table by index; the indexes not listed stay empty.
constexpr struct {
    int index;
    const char* text;
} kReadCommands[] = {
    {0, "VP,R,"},  {1, "XZ,R,"},  {2, "XS,R,"},  {3, "IN,R,"},  {4, "HN,R,"},  {5, "HC,R,"},
    {6, "AP,R,"},  {7, "AU,R,"},  {8, "XP,R,"},  {9, "RC,R,"},  {10, "SD,R,"}, {11, "SM,R,"},
    {12, "SC,R,"}, {13, "AI,R,"}, {14, "AJ,R,"}, {16, "XW,R,"}, {17, "XT,R,"}, {18, "SZ,R,"},
    {19, "S1,R,"}, {20, "GJ,R,"}, {21, "A1,R,"}, {22, "A2,R,"}, {23, "AS,R,"}, {24, "AW,R,"},
    {25, "HA,R,"}, {26, "VS,R,"}, {28, "SA,R,"}, {29, "AT,R,"}, {30, "PG,R,"}, {31, "XB,R,"},
    {32, "AB,R,"}, {33, "PN,R,"}, {34, "PM,R,"}, {35, "BS,R,"}, {36, "PS,R,"}, {37, "UJ,R,"},
    {39, "SJ,R,"}, {40, "SG,R,"}, {41, "MP,R,"}, {42, "BJ,R,"}, {43, "BK,R,"}, {44, "BL,R,"},
    {46, "BU,R,"}, {47, "BV,R,"}, {48, "AK,R,"}, {49, "JW,R,"}, {50, "JH,R,"}, {51, "SE,R,"},
    {52, "RA,R,"},
};

// A replacement transport takes over the settings the link gave the one it replaces.
void CopySettings(const LinkTransport& from, LinkTransport& to) {
    to.setPortNumber(from.portNumber());
    to.setSettings(from.settings());
    to.setDtr(from.dtr());
    to.setRts(from.rts());
    to.setHandshaking(from.handshaking());
}

// Longest wait of a timed wait step beyond its nominal length.
constexpr qint64 kWaitSlackMs = 1000;
// Shortest quiet spell after which an exchange without supervision gives up.
constexpr qint64 kMinQuietBoundMs = 30000;

} // namespace

uclHvif::uclHvif(std::unique_ptr<LinkClock> clock, QObject* parent)
    : QObject(parent), m_clock(clock ? std::move(clock) : std::make_unique<EventLoopClock>()),
      m_engine(*this) {
    m_engine.setStatus(0);

    // Serial component: binary input, no flow control, lines off, then the stored defaults of
    // a fresh instance (port 4, 9600 baud).
    auto serial = std::make_unique<NVComm>();
    serial->setHandshaking(0);
    serial->setRts(false);
    serial->setDtr(false);
    serial->setSettings(QStringLiteral("115200,n,8,1"));
    m_serial = std::move(serial);
    attachSerial(m_serial.get());

    // Infrared component: its mode switch is the negation of availability; closed.
    auto infrared = std::make_unique<NvIrDA11>();
    infrared->setModeSwitch(!infrared->available());
    infrared->close();
    m_infrared = std::move(infrared);
    attachInfrared(m_infrared.get());

    m_engine.setIrPollReload(0);

    connect(m_clock.get(), &LinkClock::tick, this, &uclHvif::onTick);
    m_clock->setTicking(true);

    m_engine.setLinkState(LinkStates::Offline);
    buildReadCommandTable();

    m_ctx.log = [this](const QString& line) { AddLog(line); };
    m_ctx.connectReply = [this] { m_engine.ConnectReplyAccepted(); };
    m_ctx.densty = [this](float& value) { emit Densty(value); };
    m_ctx.now = [this] { return DateTimeToOle(m_clock->currentDateTime()); };

    // Stored defaults of a fresh instance.
    m_enabled = true;
    m_serial->setPortNumber(4);
    m_serial->setDtr(false);
    m_serial->setRts(false);
    m_serial->setSettings(QStringLiteral("9600,n,8,1"));
}

uclHvif::~uclHvif() {
    // The transports go first: none of their events may reach a half-destroyed link.
    if (m_serial) m_serial->disconnect(this);
    if (m_infrared) m_infrared->disconnect(this);
    m_serial.reset();
    m_infrared.reset();
}

void uclHvif::buildReadCommandTable() {
    for (int i = 0; i < kReadCommandCount; ++i) {
        m_readCommands[i].text.clear();
        m_readCommands[i].flag = i < kReadCommandCount - 1;
    }
    for (const auto& entry : kReadCommands)
        m_readCommands[entry.index].text = QString::fromLatin1(entry.text);
}

// ---- Settings ----

bool uclHvif::InfraredActive() const {
    return !m_serialComm && m_infrared && m_infrared->available();
}

LinkTransport* uclHvif::activeTransport() const {
    return InfraredActive() ? m_infrared.get() : m_serial.get();
}

qint16 uclHvif::CommPort() const {
    return activeTransport()->portNumber();
}

void uclHvif::setCommPort(qint16 port) {
    m_serial->setPortNumber(port);
}

QString uclHvif::Settings() const {
    return activeTransport()->settings();
}

bool uclHvif::setSettings(const QString& text) {
    return activeTransport()->setSettings(text);
}

bool uclHvif::DTREnable() const {
    return activeTransport()->dtr();
}

void uclHvif::setDTREnable(bool on) {
    activeTransport()->setDtr(on);
}

bool uclHvif::RTSEnable() const {
    return activeTransport()->rts();
}

void uclHvif::setRTSEnable(bool on) {
    activeTransport()->setRts(on);
}

qint16 uclHvif::Handshaking() const {
    return activeTransport()->handshaking();
}

void uclHvif::setHandshaking(qint16 mode) {
    activeTransport()->setHandshaking(mode);
}

bool uclHvif::PortOpen() const {
    return activeTransport()->isOpen();
}

void uclHvif::setPortOpen(bool open) {
    LinkTransport* transport = activeTransport();
    if (open)
        transport->open(); // a missing or busy port stays closed; lastOpenError() says why
    else
        transport->close();
}

QString uclHvif::lastOpenError() const {
    return m_serial->lastOpenError();
}

qint16 uclHvif::Timeout() const {
    return static_cast<qint16>(m_engine.TimeoutTicks() / 10);
}

bool uclHvif::setTimeout(int seconds) {
    const qint64 ticks = static_cast<qint64>(seconds) * 10;
    if (ticks > std::numeric_limits<qint16>::max() || ticks < std::numeric_limits<qint16>::min())
        return false;
    m_engine.setTimeoutTicks(static_cast<qint16>(ticks));
    return true;
}

bool uclHvif::TimerEnabled() const {
    return m_clock->isTicking();
}

void uclHvif::setTimerEnabled(bool on) {
    m_clock->setTicking(on);
}

void uclHvif::setBinDumpPath(const QString& path) {
    m_binDumpPath = path;
    if (m_infrared) m_infrared->setDumpPath(path);
}

qint32 uclHvif::FactCal(int index, bool* ok) const {
    const bool valid = index >= 0 && index < int(m_factCal.size());
    if (ok) *ok = valid;
    return valid ? m_factCal[index] : 0;
}

bool uclHvif::setFactCal(int index, qint32 value) {
    if (index < 0 || index >= int(m_factCal.size())) return false;
    m_factCal[index] = value;
    return true;
}

void uclHvif::setInstrument(clsInstrument* record) {
    if (record) m_instrument = record;
}

QString uclHvif::CommSettings() {
    return Process().commSettings;
}

void uclHvif::setCommSettings(const QString& settings) {
    Process().commSettings = settings;
}

qint16 uclHvif::IrCommPort() {
    return Process().irCommPort;
}

// ---- Transports ----

void uclHvif::setPortOverride(const QString& device) {
    m_portOverride = device.trimmed();
}

bool uclHvif::setIrdaEndpoint(const QString& hostPort) {
    auto* infrared = qobject_cast<NvIrDA11*>(m_infrared.get());
    if (!infrared) return false;
    return infrared->setEndpoint(hostPort);
}

void uclHvif::attachSerial(LinkTransport* transport) {
    connect(transport, &LinkTransport::commEvent, this,
            [this, transport](int code) { onSerialEvent(transport, code); });
}

void uclHvif::attachInfrared(LinkTransport* transport) {
    transport->setDumpPath(m_binDumpPath);
    connect(transport, &LinkTransport::commEvent, this,
            [this, transport](int code) { onInfraredEvent(transport, code); });
}

void uclHvif::setSerialTransport(std::unique_ptr<LinkTransport> transport) {
    if (!transport) return;
    if (m_serial) {
        m_serial->disconnect(this);
        m_serial->close();
        CopySettings(*m_serial, *transport);
    }
    m_serial = std::move(transport);
    attachSerial(m_serial.get());
}

void uclHvif::setInfraredTransport(std::unique_ptr<LinkTransport> transport) {
    if (!transport) return;
    if (m_infrared) {
        m_infrared->disconnect(this);
        m_infrared->close();
        CopySettings(*m_infrared, *transport);
    }
    m_infrared = std::move(transport);
    attachInfrared(m_infrared.get());
}

void uclHvif::setPortLister(PortLister lister) {
    m_lister = std::move(lister);
}

qint16 uclHvif::FindPortByHardwareId(const QString& hardwareId) {
    const QList<SerialPortEntry> ports = m_lister ? m_lister(hardwareId) : PortLookup(hardwareId);
    qint16 number = 0;
    if (ports.size() == 1) {
        number = ports.first().number;
    } else if (ports.size() > 1) {
        number = ports.first().number;
        if (m_chooser) {
            QStringList names;
            for (const SerialPortEntry& port : ports)
                names << port.name;
            const int chosen = m_chooser(names);
            if (chosen >= 0 && chosen < ports.size()) number = ports.at(chosen).number;
        }
    }
    Process().irCommPort = number;
    return number;
}

bool uclHvif::DetectIrdaModule() {
    qint16 port = 0;
    if (!m_portOverride.isEmpty()) {
        port = PortNumberForDevice(m_portOverride);
        Process().irCommPort = port;
    } else if (m_serial->isAttached()) {
        port = PortNumberForDevice(m_serial->deviceName());
        Process().irCommPort = port;
    } else {
        port = FindPortByHardwareId(QString::fromLatin1(kModuleHardwareId));
    }
    const bool found = port != 0;
    if (found) {
        m_serialComm = true;
        setCommPort(port);
        setRTSEnable(true);
        setDTREnable(true);
        setHandshaking(2);
        setSettings(CommSettings());
    } else {
        m_serialComm = false;
    }
    setPortOpen(true);
    return found;
}

bool uclHvif::DisConnect() {
    m_engine.setStatus(LinkStatus::Idle);
    m_engine.setTickCount(0);
    return false;
}

// ---- Read-command table ----

QString uclHvif::ReadCommand(int index) const {
    if (index < 0 || index >= kReadCommandCount) return {};
    return m_readCommands[index].text;
}

bool uclHvif::ReadCommandFlag(int index) const {
    if (index < 0 || index >= kReadCommandCount) return false;
    return m_readCommands[index].flag;
}

void uclHvif::setReadCommandFlag(int index, bool on) {
    if (index >= 0 && index < kReadCommandCount) m_readCommands[index].flag = on;
}

// ---- Frames, exchange and log ----

QByteArray uclHvif::BuildFrame(const QByteArray& text, char terminator) {
    return ::BuildFrame(text, terminator);
}

void uclHvif::DataSend(const QByteArray& frame, bool resetRetries) {
    m_engine.DataSend(frame, resetRetries);
}

void uclHvif::AddLog(const QString& text) {
    WriteLinkLog(m_logTag.isEmpty() ? text : u'[' + m_logTag + QStringLiteral("] ") + text,
                 m_clock->currentDateTime());
}

bool uclHvif::Exchange(const QByteArray& text, int waitStatus) {
    if (m_waitDepth > 0) return false; // one request at a time
    m_engine.setStatus(waitStatus);
    DataSend(::BuildFrame(text, Ctl::EOT), true);
    WaitWhileStatus(waitStatus);
    return m_engine.Status() == LinkStatus::Completed;
}

qint64 uclHvif::quietBoundMs() const {
    // Longer than the supervision takes to fail an exchange on its own (every repeat waits
    // Timeout and one more tick), so the bound only ends waits that nothing else would end.
    const qint64 retries = std::max<qint64>(0, m_engine.Retry()) + 1;
    const qint64 ticks = std::max<qint64>(0, m_engine.TimeoutTicks()) + 1;
    return std::max(kMinQuietBoundMs, (retries * ticks + 20) * LinkClock::kTickMs);
}

bool uclHvif::WaitWhileStatus(int status) {
    if (m_waitDepth > 0) return false;
    ++m_waitDepth;
    bool ended = true;
    quint64 seenEvents = m_events;
    qint64 deadline = m_clock->nowMs() + quietBoundMs();
    while (m_engine.Status() == status) {
        if (m_clock->nowMs() >= deadline) {
            m_engine.setStatus(LinkStatus::Failed);
            ended = false;
            break;
        }
        m_clock->waitForEvents(deadline);
        if (m_events != seenEvents) {
            seenEvents = m_events;
            deadline = m_clock->nowMs() + quietBoundMs();
        }
    }
    --m_waitDepth;
    return ended;
}

void uclHvif::WaitTicks(int ticks) {
    m_engine.setTickCount(0);
    const qint64 deadline =
        m_clock->nowMs() + std::max(0, ticks) * qint64(LinkClock::kTickMs) + kWaitSlackMs;
    ++m_waitDepth;
    while (m_engine.TickCount() < ticks && m_clock->nowMs() < deadline)
        m_clock->waitForEvents(deadline);
    --m_waitDepth;
}

bool uclHvif::WaitSeconds(int seconds) {
    const qint64 deadline = m_clock->nowMs() + std::max(0, seconds) * qint64(1000);
    ++m_waitDepth;
    while (m_clock->nowMs() < deadline && !m_engine.Cancel())
        m_clock->waitForEvents(deadline);
    --m_waitDepth;
    return !m_engine.Cancel();
}

bool uclHvif::RunPollLoop(const std::function<PollStep()>& attempt, qint64 boundMs) {
    const qint64 deadline = m_clock->nowMs() + boundMs;
    for (;;) {
        if (m_engine.Cancel()) return false;
        const PollStep step = attempt();
        if (step == PollStep::Done) return true;
        if (step == PollStep::Failed) return false;
        if (m_clock->nowMs() >= deadline) return false;
    }
}

// ---- Events from the transports and the clock ----

void uclHvif::onSerialEvent(LinkTransport* from, int code) {
    if (from != m_serial.get() || !from->isOpen()) return;
    ++m_events;
    m_clock->noteActivity();
    m_engine.SerialEvent(code);
}

void uclHvif::onInfraredEvent(LinkTransport* from, int code) {
    if (from != m_infrared.get()) return;
    ++m_events;
    m_clock->noteActivity();
    m_engine.InfraredEvent(code);
}

void uclHvif::onTick() {
    if (m_serial->isOpen()) m_serial->pollModemLines();
    m_engine.Tick();
}

// ---- LinkEngineHost ----

void uclHvif::writeFrame(const QByteArray& frame) {
    LinkTransport* transport = activeTransport();
    if (transport == m_infrared.get()) {
        const int threshold = transport->receiveThreshold();
        transport->setReceiveThreshold(0);
        transport->write(frame);
        transport->setReceiveThreshold(threshold);
    } else {
        transport->write(frame);
    }
}

bool uclHvif::parseFrame(const QByteArray& frame) {
    m_lastReceivedFrame = frame;
    m_ctx.instrument = m_instrument;
    m_ctx.lastFrame = m_engine.LastFrame();
    return ::ParseResponse(frame, m_ctx);
}

void uclHvif::log(const QString& text) {
    AddLog(text);
}

QString uclHvif::dateText() {
    return GeneralDateText(m_clock->currentDateTime());
}

QByteArray uclHvif::readSerialInput() {
    return m_serial->readAll();
}

int uclHvif::serialModemStatus() {
    return m_serial->modemStatus();
}

void uclHvif::storeDumpBytes(qint32 position, const QByteArray& bytes) {
    LinkTransport::WriteBytesAt(m_binDumpPath, position, bytes);
}

QByteArray uclHvif::readInfraredInput() {
    return m_infrared->readAll();
}

int uclHvif::storeInfraredInputToDump(qint32 position, int maxBytes) {
    return m_infrared->storeInputToDump(position, maxBytes);
}

int uclHvif::infraredSocketError() {
    return m_infrared->lastSocketError();
}

void uclHvif::pollInfrared() {
    m_infrared->poll();
}

bool uclHvif::lineStillThere() {
    LinkTransport* transport = activeTransport();
    if (!transport->isOpen()) return false;
    if (transport == m_infrared.get()) return transport->isConnected();
    // A device without modem lines (a pseudo-terminal) reports both on while it is open.
    return (transport->modemStatus() & (ModemLine::Cts | ModemLine::Dsr)) != 0;
}

void uclHvif::onConnect() {
    emit OnConnect();
}

void uclHvif::connectRetry(qint16 count) {
    short value = count;
    emit ConnectRetry(value);
}

void uclHvif::alarmMessage(const QString& text) {
    QString value = text;
    emit AlarmMessage(value);
}

void uclHvif::lineDown() {
    emit LineDown();
}

void uclHvif::irdaError(qint16 code) {
    short value = code;
    emit IrDAError(value);
}

void uclHvif::stsTransmit() {
    emit StsTransmit();
}

void uclHvif::stsIdle() {
    emit StsIdle();
}

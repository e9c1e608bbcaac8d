#include "link/NVComm.h"

#include "link/LinkCodes.h"
#include "link/PortLookup.h"

#include <QMetaObject>
#include <cerrno>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <utility>

NVComm::NVComm(QObject* parent) : LinkTransport(parent) {
    connect(&m_port, &QSerialPort::readyRead, this,
            [this] { emit commEvent(CommEvent::DataReceived); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &NVComm::onError);
}

NVComm::~NVComm() {
    m_port.disconnect(this);
    if (m_port.isOpen()) m_port.close();
}

QString NVComm::deviceName() const {
    return DeviceForPortNumber(portNumber());
}

bool NVComm::open() {
    if (m_port.isOpen()) return true;
    m_port.setPortName(deviceName());
    m_quiet = true; // an open failure is reported by the result, not as an event
    const bool opened = m_port.open(QIODevice::ReadWrite);
    if (!opened) {
        m_lastOpenError = m_port.errorString();
        m_port.clearError();
        m_quiet = false;
        return false;
    }
    m_lastOpenError.clear();
    applySettings();
    applyLines();
    m_port.clear();
    // Can the device report its modem lines at all?
    m_port.clearError();
    m_port.pinoutSignals();
    m_linesUnsupported = m_port.error() != QSerialPort::NoError;
    m_port.clearError();
    m_quiet = false;
    m_modem = 0;
    if (m_linesUnsupported) {
        // No modem lines to watch: the line counts as coming up once, now.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_port.isOpen() || !m_linesUnsupported) return;
                raiseLineChanges(ModemLine::Cts | ModemLine::Dsr);
            },
            Qt::QueuedConnection);
    }
    return true;
}

void NVComm::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
    m_modem = 0;
    m_linesUnsupported = false;
}

bool NVComm::isOpen() const {
    return m_port.isOpen();
}

qint64 NVComm::write(const QByteArray& bytes) {
    if (!m_port.isOpen()) return -1;
#ifdef Q_OS_UNIX
    // A frame goes to the device at once, straight to its descriptor, while nothing of an
    // earlier frame waits in the port's buffer (the port's own path would watch the device for
    // room after every frame and wake its event loop twice for it). What the device does not
    // take now waits in the port's buffer, which hands it on when the device has room; an error
    // of the device is then reported by the port, as for any write.
    qsizetype done = 0;
    if (m_port.bytesToWrite() == 0) {
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_port.handle(), bytes.constData() + done,
                                      size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        if (done == bytes.size()) return done;
    }
    const qint64 queued = m_port.write(bytes.constData() + done, bytes.size() - done);
    return queued < 0 ? (done > 0 ? done : queued) : done + queued;
#else
    const qint64 written = m_port.write(bytes);
    // Hand the frame to the device now instead of on the next pass of the event loop, so the
    // detector starts answering at once.
    if (written > 0) m_port.flush();
    return written;
#endif
}

QByteArray NVComm::read(qint64 maxBytes) {
    if (!m_port.isOpen() || maxBytes <= 0) return {};
    return m_port.read(maxBytes);
}

qint64 NVComm::bytesAvailable() const {
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

void NVComm::pollModemLines() {
    if (!m_port.isOpen() || m_linesUnsupported) return;
    const bool wasQuiet = std::exchange(m_quiet, true);
    const QSerialPort::PinoutSignals pins = m_port.pinoutSignals();
    const bool failed = m_port.error() != QSerialPort::NoError;
    m_port.clearError();
    m_quiet = wasQuiet;
    if (failed) return;
    int status = 0;
    if (pins & QSerialPort::ClearToSendSignal) status |= ModemLine::Cts;
    if (pins & QSerialPort::DataSetReadySignal) status |= ModemLine::Dsr;
    raiseLineChanges(status);
}

void NVComm::raiseLineChanges(int newStatus) {
    const int changed = m_modem ^ newStatus;
    m_modem = newStatus;
    if (changed & ModemLine::Cts) emit commEvent(CommEvent::CtsChanged);
    if (changed & ModemLine::Dsr) emit commEvent(CommEvent::DsrChanged);
}

void NVComm::setPortNumber(qint16 number) {
    const bool wasOpen = m_port.isOpen();
    const bool changed = number != portNumber();
    LinkTransport::setPortNumber(number);
    if (wasOpen && changed) {
        close();
        open();
    }
}

bool NVComm::setSettings(const QString& text) {
    if (!LinkTransport::setSettings(text)) return false;
    if (m_port.isOpen()) applySettings();
    return true;
}

void NVComm::setDtr(bool on) {
    LinkTransport::setDtr(on);
    if (m_port.isOpen()) applyLines();
}

void NVComm::setRts(bool on) {
    LinkTransport::setRts(on);
    if (m_port.isOpen()) applyLines();
}

void NVComm::setHandshaking(qint16 mode) {
    LinkTransport::setHandshaking(mode);
    if (m_port.isOpen()) applySettings();
}

void NVComm::applySettings() {
    SerialSettings s;
    ParseSettings(settings(), &s);
    m_port.setBaudRate(s.baud);
    switch (s.parity) {
    case 'e':
        m_port.setParity(QSerialPort::EvenParity);
        break;
    case 'o':
        m_port.setParity(QSerialPort::OddParity);
        break;
    case 'm':
        m_port.setParity(QSerialPort::MarkParity);
        break;
    case 's':
        m_port.setParity(QSerialPort::SpaceParity);
        break;
    default:
        m_port.setParity(QSerialPort::NoParity);
        break;
    }
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    m_port.setStopBits(s.stopBits == 2   ? QSerialPort::TwoStop
                       : s.stopBits == 3 ? QSerialPort::OneAndHalfStop
                                         : QSerialPort::OneStop);
    switch (handshaking()) {
    case 1:
        m_port.setFlowControl(QSerialPort::SoftwareControl);
        break;
    case 2:
    case 3:
        m_port.setFlowControl(QSerialPort::HardwareControl);
        break;
    default:
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        break;
    }
}

void NVComm::applyLines() {
    // Pseudo-terminals and some bridges have no DTR/RTS; that is not a port error.
    const bool wasQuiet = std::exchange(m_quiet, true);
    m_port.setDataTerminalReady(dtr());
    // With RTS/CTS flow control the driver owns RTS.
    if (m_port.flowControl() != QSerialPort::HardwareControl) m_port.setRequestToSend(rts());
    m_port.clearError();
    m_quiet = wasQuiet;
}

int NVComm::EventForError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
        return CommEvent::PortOverrun;
    case QSerialPort::WriteError:
        return CommEvent::SendBufferFull;
    case QSerialPort::UnsupportedOperationError:
        return CommEvent::DeviceControlError;
    default:
        return 0;
    }
}

void NVComm::onError(QSerialPort::SerialPortError error) {
    if (m_quiet || error == QSerialPort::NoError) return;
    if (error == QSerialPort::ResourceError) {
        // The device went away (USB module unplugged): both lines drop, the port is closed.
        m_port.clearError();
        raiseLineChanges(0);
        close();
        return;
    }
    const int code = EventForError(error);
    m_port.clearError();
    if (code != 0) emit commEvent(code);
}

#include "link/NvIrDA11.h"

#include "link/LinkCodes.h"

#include <QMetaObject>
#include <QRegularExpression>

NvIrDA11::NvIrDA11(QObject* parent) : LinkTransport(parent) {
    connect(&m_socket, &QTcpSocket::connected, this, &NvIrDA11::onConnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NvIrDA11::onError);
    connect(&m_socket, &QTcpSocket::readyRead, this, &NvIrDA11::onReadyRead);
}

NvIrDA11::~NvIrDA11() {
    m_socket.disconnect(this);
    m_socket.abort();
}

QString NvIrDA11::deviceName() const {
    if (m_host.isEmpty()) return {};
    const QString host = m_host.contains(u':') ? u'[' + m_host + u']' : m_host;
    return host + u':' + QString::number(m_port);
}

bool NvIrDA11::available() const {
    return !m_host.isEmpty() && m_port != 0;
}

bool NvIrDA11::setEndpoint(const QString& hostPort) {
    const QString text = hostPort.trimmed();
    if (text.isEmpty()) {
        close();
        m_host.clear();
        m_port = 0;
        return true;
    }
    static const QRegularExpression endpoint(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^:\\s\\[\\]]+)):(\\d{1,5})$"));
    const auto m = endpoint.match(text);
    if (!m.hasMatch()) return false;
    const uint port = m.captured(3).toUInt();
    if (port == 0 || port > 65535) return false;
    const bool wasOpen = m_open;
    close();
    m_host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    m_port = static_cast<quint16>(port);
    if (wasOpen) open();
    return true;
}

bool NvIrDA11::open() {
    if (!available()) return false;
    if (m_open) return true;
    m_open = true;
    m_lastReported = 0;
    connectNow();
    return true;
}

void NvIrDA11::close() {
    m_open = false;
    m_socket.abort();
    m_pollsSinceAttempt = 0;
    m_pollsConnecting = 0;
}

bool NvIrDA11::isConnected() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

qint64 NvIrDA11::write(const QByteArray& bytes) {
    if (!isConnected()) return -1;
    return m_socket.write(bytes);
}

QByteArray NvIrDA11::read(qint64 maxBytes) {
    if (maxBytes <= 0) return {};
    return m_socket.read(maxBytes);
}

qint64 NvIrDA11::bytesAvailable() const {
    return m_socket.bytesAvailable();
}

void NvIrDA11::connectNow() {
    m_pollsSinceAttempt = 0;
    m_pollsConnecting = 0;
    m_socket.abort();
    m_socket.connectToHost(m_host, m_port);
}

void NvIrDA11::poll() {
    if (!m_open) return;
    switch (m_socket.state()) {
    case QAbstractSocket::ConnectedState:
        break;
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        if (++m_pollsConnecting >= kConnectTimeoutPolls) {
            m_socket.abort();
            m_pollsSinceAttempt = 0;
            m_pollsConnecting = 0;
            raiseSocketError(SocketErrorCode::TimedOut);
        }
        break;
    default:
        if (++m_pollsSinceAttempt >= kReconnectPolls) connectNow();
        break;
    }
}

void NvIrDA11::onConnected() {
    m_lastReported = 0;
    m_pollsConnecting = 0;
    emit commEvent(CommEvent::LinkEstablished);
}

void NvIrDA11::onError(QAbstractSocket::SocketError error) {
    if (!m_open) return;
    raiseSocketError(WinsockError(error));
}

void NvIrDA11::raiseSocketError(int code) {
    m_lastSocketError = code;
    // The same failure of attempt after attempt is reported once.
    const bool connected = isConnected();
    if (!connected && code == m_lastReported) return;
    m_lastReported = connected ? 0 : code;
    emit commEvent(CommEvent::SocketError);
}

void NvIrDA11::onReadyRead() {
    if (m_receiveThreshold <= 0) return;
    if (m_socket.bytesAvailable() >= m_receiveThreshold) emit commEvent(CommEvent::DataReceived);
}

void NvIrDA11::setReceiveThreshold(int count) {
    LinkTransport::setReceiveThreshold(count);
    if (count > 0 && m_socket.bytesAvailable() >= count)
        QMetaObject::invokeMethod(this, &NvIrDA11::onReadyRead, Qt::QueuedConnection);
}

int NvIrDA11::WinsockError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SocketErrorCode::ConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return SocketErrorCode::ConnectionReset;
    case QAbstractSocket::HostNotFoundError:
        return SocketErrorCode::HostNotFound;
    case QAbstractSocket::SocketAccessError:
        return SocketErrorCode::AccessDenied;
    case QAbstractSocket::SocketResourceError:
        return SocketErrorCode::NoBufferSpace;
    case QAbstractSocket::SocketTimeoutError:
        return SocketErrorCode::TimedOut;
    case QAbstractSocket::AddressInUseError:
        return SocketErrorCode::AddressInUse;
    case QAbstractSocket::NetworkError:
        return SocketErrorCode::NetworkUnreachable;
    default:
        return SocketErrorCode::NotConnected;
    }
}

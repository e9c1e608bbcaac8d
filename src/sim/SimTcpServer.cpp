#include "sim/SimTcpServer.h"

#include "sim/SimDetector.h"

#include <QTcpSocket>

SimTcpServer::SimTcpServer(SimDetector* detector, QObject* parent)
    : QObject(parent), m_detector(detector) {
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        m_detector->poll();
        schedulePoll();
    });
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        if (!m_client) takeNextClient();
    });
    connect(m_detector, &SimDetector::transmit, this, &SimTcpServer::send);
}

SimTcpServer::~SimTcpServer() {
    close();
}

bool SimTcpServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    close();
    if (m_server.listen(address, port)) return true;
    if (error) *error = m_server.errorString();
    return false;
}

void SimTcpServer::close() {
    m_pollTimer.stop();
    m_server.close();
    if (m_client) {
        m_client->disconnect(this);
        m_client->abort();
        m_client->deleteLater();
        m_client = nullptr;
    }
    while (m_server.hasPendingConnections())
        delete m_server.nextPendingConnection();
}

void SimTcpServer::takeNextClient() {
    while (m_server.hasPendingConnections()) {
        QTcpSocket* socket = m_server.nextPendingConnection();
        if (socket->state() != QAbstractSocket::ConnectedState) {
            socket->deleteLater(); // gave up while waiting
            continue;
        }
        m_client = socket;
        m_detector->resetLine();
        connect(socket, &QTcpSocket::readyRead, this, &SimTcpServer::readInput);
        connect(socket, &QTcpSocket::disconnected, this, &SimTcpServer::clientGone);
        if (socket->bytesAvailable() > 0) readInput();
        return;
    }
}

void SimTcpServer::clientGone() {
    if (m_client) {
        m_client->disconnect(this);
        m_client->deleteLater();
        m_client = nullptr;
    }
    m_pollTimer.stop();
    m_detector->resetLine();
    takeNextClient();
}

void SimTcpServer::readInput() {
    if (!m_client) return;
    m_detector->receive(m_client->readAll());
    schedulePoll();
}

void SimTcpServer::send(const QByteArray& bytes) {
    if (m_client && m_client->state() == QAbstractSocket::ConnectedState) m_client->write(bytes);
}

void SimTcpServer::schedulePoll() {
    const qint64 due = m_detector->nextDueMs();
    if (due < 0) {
        m_pollTimer.stop();
        return;
    }
    m_pollTimer.start(int(qBound(qint64(0), due - m_detector->nowMs(), qint64(24 * 3600 * 1000))));
}

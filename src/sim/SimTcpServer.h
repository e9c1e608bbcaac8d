#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class SimDetector;

// Puts a simulated detector on a TCP listener. One client is served at a time; a client that
// connects meanwhile waits until the one before it has gone.
class SimTcpServer : public QObject {
    Q_OBJECT
public:
    // Serves `detector` (not owned) once listening.
    explicit SimTcpServer(SimDetector* detector, QObject* parent = nullptr);
    ~SimTcpServer() override;

    // Listens on `address`:`port` (port 0: any free port).
    bool listen(const QHostAddress& address, quint16 port, QString* error = nullptr);
    // Stops listening and drops the client.
    void close();
    // The port listened on.
    quint16 port() const { return m_server.serverPort(); }
    // True while a client is being served.
    bool hasClient() const { return m_client != nullptr; }

private:
    void takeNextClient();
    void clientGone();
    void readInput();
    void send(const QByteArray& bytes);
    void schedulePoll();

    SimDetector* m_detector;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QTimer m_pollTimer;
};

#pragma once

#include "link/LinkTransport.h"

#include <QAbstractSocket>
#include <QTcpSocket>

// The infrared component: a stream socket to a configured endpoint "HOST:PORT" that carries the
// detector's bytes (this platform has no infrared socket stack of its own). Available = an
// endpoint is configured. Opening starts connecting; a connection raises event 1020 (link
// established); a socket error raises event 1021 with a Winsock-style number in
// lastSocketError(). The poll operation reconnects while the transport is open and the
// connection is down (one attempt per kReconnectPolls polls; an attempt still pending after
// kConnectTimeoutPolls polls is a timeout, 10060). The same error from attempt after attempt is
// reported once, until a connection succeeds.
class NvIrDA11 : public LinkTransport {
    Q_OBJECT
public:
    // Polls between two reconnection attempts.
    static constexpr int kReconnectPolls = 10;
    // Polls a connection attempt may take before it counts as timed out.
    static constexpr int kConnectTimeoutPolls = 50;

    explicit NvIrDA11(QObject* parent = nullptr);
    ~NvIrDA11() override;

    // Infrared flavour.
    Kind kind() const override { return Kind::Infrared; }
    // The endpoint "HOST:PORT" (empty when none is configured).
    QString deviceName() const override;
    // True when an endpoint is configured.
    bool available() const override;
    // Sets the endpoint "HOST:PORT" (IPv6 hosts in brackets); empty text removes it. False,
    // and nothing changed, for a text that is not an endpoint.
    bool setEndpoint(const QString& hostPort);
    // Starts connecting; false when no endpoint is configured.
    bool open() override;
    // Drops the connection.
    void close() override;
    // Open state as set (the connection may still be on its way).
    bool isOpen() const override { return m_open; }
    // True while the connection is up.
    bool isConnected() const override;
    // Sends bytes when connected; -1 otherwise.
    qint64 write(const QByteArray& bytes) override;
    // Takes at most maxBytes of the received input.
    QByteArray read(qint64 maxBytes) override;
    // Received bytes waiting.
    qint64 bytesAvailable() const override;
    // Reconnects while open and the connection is down.
    void poll() override;
    // Winsock number of the last socket error.
    int lastSocketError() const override { return m_lastSocketError; }
    // Sets the receive threshold; data already waiting raises its event when the threshold allows.
    void setReceiveThreshold(int count) override;
    // Mode switch of the component (set to the negation of availability at initialisation).
    bool modeSwitch() const { return m_modeSwitch; }
    void setModeSwitch(bool on) { m_modeSwitch = on; }

    // The Winsock-style number of a socket error.
    static int WinsockError(QAbstractSocket::SocketError error);

private:
    void connectNow();
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onReadyRead();
    void raiseSocketError(int code);

    QTcpSocket m_socket;
    QString m_host;
    quint16 m_port = 0;
    bool m_open = false;
    bool m_modeSwitch = false;
    int m_lastSocketError = 0;
    int m_lastReported = 0;
    int m_pollsSinceAttempt = 0;
    int m_pollsConnecting = 0;
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;
class SimDetector;

// Puts a simulated detector on a pseudo-terminal: the program under test opens the slave
// device (through a symbolic link at a chosen path) as if it were a serial port.
class SimPtyServer : public QObject {
    Q_OBJECT
public:
    // Serves `detector` (not owned) once opened.
    explicit SimPtyServer(SimDetector* detector, QObject* parent = nullptr);
    ~SimPtyServer() override;

    // Opens a pseudo-terminal in raw mode and links `linkPath` to its slave device. An existing
    // symbolic link at that path is replaced; any other file there is an error.
    bool open(const QString& linkPath, QString* error = nullptr);
    // Stops serving and removes the link.
    void close();
    // True while the pseudo-terminal is open.
    bool isOpen() const { return m_master >= 0; }
    // The slave device ("/dev/pts/N").
    QString devicePath() const { return m_device; }
    // The symbolic link to the slave device.
    QString linkPath() const { return m_link; }

private:
    void readInput();
    void writeOutput();
    void send(const QByteArray& bytes);
    void schedulePoll();

    SimDetector* m_detector;
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    QString m_link;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending;
    QTimer m_pollTimer;
};

// The one platform file of the simulator: pseudo-terminals are POSIX.
#include "sim/SimPtyServer.h"

#include "sim/SimDetector.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

SimPtyServer::SimPtyServer(SimDetector* detector, QObject* parent)
    : QObject(parent), m_detector(detector) {
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        m_detector->poll();
        schedulePoll();
    });
    connect(m_detector, &SimDetector::transmit, this, &SimPtyServer::send);
}

SimPtyServer::~SimPtyServer() {
    close();
}

bool SimPtyServer::open(const QString& linkPath, QString* error) {
    auto fail = [&](const QString& text) {
        if (error) *error = text;
        close();
        return false;
    };
    close();
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        if (!QFile::remove(linkPath))
            return fail(QStringLiteral("cannot replace the link %1").arg(linkPath));
    } else if (existing.exists()) {
        return fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
    }

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(
            QStringLiteral("posix_openpt: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(
            QStringLiteral("grantpt/unlockpt: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    const char* name = ::ptsname(m_master);
    if (!name) return fail(QStringLiteral("ptsname failed"));
    m_device = QString::fromLocal8Bit(name);

    // The slave stays open here as well, so that the master never sees a hang-up between two
    // clients, and it is put in raw mode: no echo, no line editing, every byte as it is.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail(
            QStringLiteral("open %1: %2").arg(m_device, QString::fromLocal8Bit(strerror(errno))));
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0)
        return fail(QStringLiteral("tcgetattr: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return fail(QStringLiteral("tcsetattr: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    const int flags = ::fcntl(m_master, F_GETFL);
    ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);

    if (!QFile::link(m_device, linkPath))
        return fail(QStringLiteral("cannot create the link %1").arg(linkPath));
    m_link = linkPath;

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPtyServer::readInput);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPtyServer::writeOutput);
    return true;
}

void SimPtyServer::close() {
    m_pollTimer.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (!m_link.isEmpty()) {
        // Only our own link is removed, not one that somebody has pointed elsewhere since.
        const QFileInfo link(m_link);
        if (link.isSymLink() && link.symLinkTarget() == m_device) QFile::remove(m_link);
        m_link.clear();
    }
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
    m_device.clear();
    m_pending.clear();
}

void SimPtyServer::readInput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_detector->receive(QByteArray(buffer, int(n)));
            // A read that did not fill the buffer took all there was: asking again would only
            // be told so (one system call less for every frame).
            if (size_t(n) < sizeof buffer) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // EAGAIN: all read
    }
    schedulePoll();
}

void SimPtyServer::send(const QByteArray& bytes) {
    if (m_master < 0) return;
    m_pending.append(bytes);
    writeOutput();
}

void SimPtyServer::writeOutput() {
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) m_pending.clear(); // line gone
        break;
    }
    if (m_writeNotifier) m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

void SimPtyServer::schedulePoll() {
    const qint64 due = m_detector->nextDueMs();
    if (due < 0) {
        m_pollTimer.stop();
        return;
    }
    m_pollTimer.start(int(qBound(qint64(0), due - m_detector->nowMs(), qint64(24 * 3600 * 1000))));
}

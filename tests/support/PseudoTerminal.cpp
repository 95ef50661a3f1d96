#include "support/PseudoTerminal.h"

#include "protocol/FrameCodec.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    termios settings {};
    cfmakeraw(&settings);
    if (openpty(&m_master, &m_slave, name, &settings, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slaveName = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PseudoTerminal::readMaster);
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
}

termios PseudoTerminal::lineSettings() const
{
    termios settings {};
    tcgetattr(m_slave, &settings);
    return settings;
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return done == bytes.size();
}

void PseudoTerminal::closeMaster()
{
    if (m_master < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_master);
    m_master = -1;
    // Keeping our own slave descriptor open would keep the line alive.
    releaseLine();
}

void PseudoTerminal::releaseLine()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

void PseudoTerminal::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        const QByteArray bytes(chunk, int(n));
        m_received.append(bytes);
        emit bytesReceived(bytes);
    }
}

QVector<ParsedFrame> PseudoTerminal::receivedFrames() const
{
    QByteArray wire = m_received;
    QVector<ParsedFrame> frames;
    for (ParsedFrame frame; extractFrame(wire, frame);)
        frames.append(frame);
    return frames;
}

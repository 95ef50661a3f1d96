#include "sim/PtyLink.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
const int ClientPollMs = 20;
// The last piece of output, what completes a frame for the tool, is written on
// time rather than a wake-up later. Input needs no such care: replies are timed
// from when it arrived, whenever it is handed on.
const qint64 OutputSpinNs = 50'000;
const int PiecePauseMs = 1;
const int LargestPiece = 24;
// One noise byte in this many is a sync byte, so that false frame starts are common.
const int SyncInNoise = 8;

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(const char *slaveName, bool exclusive, QString &error)
{
    const int slave = ::open(slaveName, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        error = errnoText("open slave");
        return false;
    }
    termios settings {};
    bool ok = tcgetattr(slave, &settings) == 0;
    if (ok) {
        cfmakeraw(&settings);
        ok = tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    if (!ok)
        error = errnoText("raw mode");
    else if (exclusive && ::ioctl(slave, TIOCEXCL) != 0) {
        error = errnoText("exclusive mode");
        ok = false;
    }
    // Closed again at once: the settings stay with the terminal, and with no
    // slave open the master reports a hang-up until the tool opens the port.
    ::close(slave);
    return ok;
}
}

PtyLink::PtyLink(const LinkOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_input(options.baud), m_output(options.baud)
{
    m_clock.start();
    m_pieceTimer.setSingleShot(true);
    m_pieceTimer.setTimerType(Qt::PreciseTimer);
    m_hangupTimer.setSingleShot(true);
    m_hangupTimer.setTimerType(Qt::PreciseTimer);
    m_clientPoll.setInterval(ClientPollMs);
    connect(&m_clientPoll, &QTimer::timeout, this, &PtyLink::checkForClient);
    connect(&m_inputTimer, &PreciseTimer::timeout, this, &PtyLink::pumpInput);
    connect(&m_outputTimer, &PreciseTimer::timeout, this, &PtyLink::pumpOutput);
    connect(&m_pieceTimer, &QTimer::timeout, this, &PtyLink::writeNextPiece);
    connect(&m_hangupTimer, &QTimer::timeout, this, &PtyLink::hangUp);
    m_returnTimer.setSingleShot(true);
    connect(&m_returnTimer, &QTimer::timeout, this, &PtyLink::comeBack);
}

PtyLink::~PtyLink()
{
    removeLink();
    stopWatchingForOpens();
    if (m_master >= 0)
        ::close(m_master);
}

void PtyLink::removeLink()
{
    if (!m_linkPath.isEmpty() && QFile::symLinkTarget(m_linkPath) == m_devicePath)
        QFile::remove(m_linkPath);
}

bool PtyLink::open(QString &error)
{
    if (!m_inputTimer.isValid() || !m_outputTimer.isValid()) {
        error = QStringLiteral("no timer for pacing the line");
        return false;
    }
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    char name[256] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0) {
        error = errnoText("pseudo-terminal set-up");
        return false;
    }
    if (!makeRaw(name, m_options.exclusiveLeft, error))
        return false;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_devicePath = QString::fromLocal8Bit(name);
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLink::readMaster);
    watchForOpens();
    waitForClient();
    return true;
}

// A client is seen the moment it opens the device rather than at the next
// look: otherwise every short-lived client waits up to a poll's interval for
// its first answer, which is no part of the line. The poll stays for a system
// that tells nothing.
void PtyLink::watchForOpens()
{
    m_openWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_openWatch < 0)
        return;
    if (inotify_add_watch(m_openWatch, m_devicePath.toLocal8Bit().constData(), IN_OPEN) < 0) {
        stopWatchingForOpens();
        return;
    }
    m_openNotifier = new QSocketNotifier(m_openWatch, QSocketNotifier::Read, this);
    connect(m_openNotifier, &QSocketNotifier::activated, this, [this] {
        char events[4096];
        while (::read(m_openWatch, events, sizeof events) > 0) {
        }
        if (m_clientPoll.isActive())
            checkForClient();
    });
}

void PtyLink::stopWatchingForOpens()
{
    delete m_openNotifier;
    m_openNotifier = nullptr;
    if (m_openWatch >= 0)
        ::close(m_openWatch);
    m_openWatch = -1;
}

bool PtyLink::createLink(const QString &path, QString &error)
{
    const QFileInfo existing(path);
    if (existing.isSymLink())
        QFile::remove(path);
    else if (existing.exists()) {
        error = QStringLiteral("%1 exists and is not a symbolic link").arg(path);
        return false;
    }
    if (!QFile::link(m_devicePath, path)) {
        error = QStringLiteral("cannot create the link %1").arg(path);
        return false;
    }
    m_linkPath = path;
    return true;
}

bool PtyLink::hasClient() const
{
    pollfd state {m_master, 0, 0};
    return m_master >= 0 && ::poll(&state, 1, 0) >= 0 && !(state.revents & POLLHUP);
}

void PtyLink::waitForClient()
{
    m_readNotifier->setEnabled(false);
    m_clientPoll.start();
}

void PtyLink::checkForClient()
{
    if (!hasClient())
        return;
    m_clientPoll.stop();
    m_readNotifier->setEnabled(true);
    emit clientConnected();
}

void PtyLink::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            m_input.push(QByteArray(chunk, int(n)), nowNs());
            armHangup();
            continue;
        }
        if (n < 0 && errno == EIO) {
            // The tool closed the port: whatever was still on the line is gone.
            tcflush(m_master, TCIOFLUSH);
            m_input = PacedPipe(m_options.baud);
            m_output = PacedPipe(m_options.baud);
            m_pieces.clear();
            waitForClient();
            emit clientDisconnected();
            return;
        }
        break;
    }
    pumpInput();
}

void PtyLink::armHangup()
{
    if (m_options.hangupAfterMs >= 0 && !m_hungUpOnce && !m_hangupTimer.isActive() && m_master >= 0)
        m_hangupTimer.start(m_options.hangupAfterMs);
}

void PtyLink::hangUpOnce()
{
    if (!m_hungUpOnce && m_master >= 0) {
        m_hangupTimer.stop();
        hangUp();
    }
}

// Closing the controller side ends the tool's reads with end-of-file, and the
// device (with its link) disappears.
void PtyLink::hangUp()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    stopWatchingForOpens();
    m_clientPoll.stop();
    m_pieceTimer.stop();
    m_input = PacedPipe(m_options.baud);
    m_output = PacedPipe(m_options.baud);
    m_pieces.clear();
    ::close(m_master);
    m_master = -1;
    m_hungUpOnce = true;
    removeLink();
    emit hungUp();
    if (comesBack())
        m_returnTimer.start(m_options.returnAfterMs);
}

// The kernel may hand out a different device name, so whoever follows the
// link finds the device again and whoever held the old name does not.
void PtyLink::comeBack()
{
    QString error;
    if (!open(error) || (!m_linkPath.isEmpty() && !createLink(m_linkPath, error))) {
        std::fprintf(stderr, "tavox-sim: cannot come back: %s\n", qPrintable(error));
        return;
    }
    emit cameBack();
}

void PtyLink::pumpInput()
{
    const qint64 now = nowNs();
    const QByteArray bytes = m_input.take(now);
    if (const qint64 due = m_input.nextReadyNs(); due >= 0)
        m_inputTimer.start(due - now);
    if (bytes.isEmpty())
        return;
    // A reply to these bytes goes on the line the moment they were complete,
    // not when this process got round to them: the simulator's own wake-up
    // latency is no part of the line it models.
    m_replyFromNs = m_input.lineTimeNs();
    emit bytesReceived(bytes);
    m_replyFromNs = -1;
}

void PtyLink::send(const QByteArray &bytes)
{
    m_noiseDebt += bytes.size() * m_options.noiseRate;
    const int noise = int(m_noiseDebt);
    m_noiseDebt -= noise;
    m_output.push(lineNoise(noise) + bytes, m_replyFromNs >= 0 ? m_replyFromNs : nowNs());
    pumpOutput();
}

QByteArray PtyLink::lineNoise(int count)
{
    QByteArray noise(count, '\0');
    for (char &byte : noise)
        byte = m_random.bounded(SyncInNoise) == 0 ? char(0xAA) : char(m_random.bounded(256));
    return noise;
}

void PtyLink::pumpOutput()
{
    const qint64 now = nowNs();
    const QByteArray bytes = m_output.take(now);
    if (const qint64 due = m_output.nextReadyNs(); due >= 0)
        m_outputTimer.start(due - now, due == m_output.drainedNs() ? OutputSpinNs : 0);
    if (bytes.isEmpty())
        return;
    if (!m_options.splitOutput) {
        writeToMaster(bytes);
        return;
    }
    m_pieces.append(bytes);
    if (!m_pieceTimer.isActive())
        writeNextPiece();
}

void PtyLink::writeNextPiece()
{
    const int size = qMin(int(m_random.bounded(1, LargestPiece + 1)), int(m_pieces.size()));
    writeToMaster(m_pieces.left(size));
    m_pieces.remove(0, size);
    if (!m_pieces.isEmpty())
        m_pieceTimer.start(PiecePauseMs);
}

void PtyLink::writeToMaster(const QByteArray &bytes)
{
    if (!hasClient())
        return;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;   // a reader that does not keep up loses bytes, as on a real line
    }
}

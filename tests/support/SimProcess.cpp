#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {
const int StopTimeoutMs = 3000;
}

SimProcess::SimProcess(const QStringList &arguments) : m_arguments(arguments) {}

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::program()
{
    return QStringLiteral(TAVOX_BINARY_DIR "/tavox-sim");
}

bool SimProcess::start(int timeoutMs)
{
    // Standard error goes to a file: a verbose simulator must never stall on a full pipe.
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.log")));
    m_process.start(program(), m_arguments);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    m_portName = nextLine(timeoutMs);
    return !m_portName.isEmpty();
}

QString SimProcess::waitForReturn(int timeoutMs)
{
    return nextLine(timeoutMs);
}

// The simulator's next line of standard output; empty when none came in time.
QString SimProcess::nextLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return QString();
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

int SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StopTimeoutMs);
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString SimProcess::errorOutput() const
{
    QFile file(m_dir.filePath(QStringLiteral("stderr.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

#include "support/ProgramRun.h"

#include "support/Waiting.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                      int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString tavoxctlProgram()
{
    return QStringLiteral(TAVOX_BINARY_DIR "/tavoxctl");
}

QString copyBuiltProgram(const QString &name, const QString &folder)
{
    const QString copy = folder + QLatin1Char('/') + name;
    const QString libraries = folder + QStringLiteral("/lib");
    if (!QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/") + name, copy))
        return QString();
    if (!QFileInfo::exists(libraries) && !QFile::link(QStringLiteral(TAVOX_BINARY_DIR "/lib"), libraries))
        return QString();
    return copy;
}

QProcessEnvironment englishEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return environment;
}

RunningProgram::~RunningProgram()
{
    end();
}

void RunningProgram::end()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished();
}

// An ended program has no pid left (0), and kill(0) would signal the test's own process group.
void RunningProgram::signal(int number)
{
    if (const pid_t pid = pid_t(m_process.processId()); pid > 0)
        ::kill(pid, number);
}

int RunningProgram::finish()
{
    if (!m_process.waitForFinished(ProcessWaitMs) || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

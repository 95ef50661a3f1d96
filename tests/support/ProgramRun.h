#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a program run to its end left: exit code (-1 when it crashed or was
// killed at the deadline) and its two output streams.
struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `program` with nothing on its standard input and waits for it.
ProgramRun runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                      int timeoutMs = 60000);

// A copy of the build's program `name` in `folder`, with a link to the build's libraries beside it, where the
// program's run path looks for them; empty when it could not be made.
QString copyBuiltProgram(const QString &name, const QString &folder);

// The build's tavoxctl, and the environment its English messages are checked in.
QString tavoxctlProgram();
QProcessEnvironment englishEnvironment();

// A program at work while the test reads its output and signals it; killed if
// it is still running when the object goes out of scope.
class RunningProgram
{
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    void signal(int number);
    // Its exit code once it ended by itself; -1 when it did not end in time or was killed by a signal.
    int finish();

protected:
    // Kills it if it is still running.
    void end();

    QProcess m_process;
};

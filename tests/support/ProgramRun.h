#pragma once

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

// The build's tavoxctl, and the environment its English messages are checked in.
QString tavoxctlProgram();
QProcessEnvironment englishEnvironment();

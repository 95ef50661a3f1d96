#pragma once

#include "support/ProgramRun.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTemporaryDir;
class SimProcess;

// tavoxctl as a process: run to its end, or at work while the test reads its
// messages and signals it. Only a run that hangs reaches the deadline.
constexpr int CtlRunTimeoutMs = 60000;

ProgramRun runCtl(const QStringList &arguments, const QProcessEnvironment &environment = englishEnvironment(),
                  const QString &program = tavoxctlProgram());
// tavoxctl -p <the simulator's port> `arguments`.
ProgramRun runOn(const SimProcess &sim, const QStringList &arguments);

// A copy of tavoxctl in `dir`, which keeps its data (zentaro.cfg, snapshots,
// the record of restarts still owed) there, apart from every other test's.
// Empty when it cannot be copied.
QString privateCtl(const QTemporaryDir &dir);

// The output of a run with --json; empty when it is not one JSON object.
QJsonObject jsonOf(const QString &text);

// Commands the simulator (run with --verbose) received: every write goes out as one of them.
int commandsReceived(const SimProcess &sim);

// One tavoxctl run and the names (SimReceivedFrame::name) of the frames it
// sent, in order, late ones too: a gyro bias update sent once it has ended
// marks their end in the simulator's log, the simulator answering that command
// only after reading it. `marked` is false when the mark never came.
struct SentFrames
{
    ProgramRun run;
    QStringList frames;
    bool marked = false;
};
// On `sim` (run with --verbose).
SentFrames framesSentBy(const SimProcess &sim, const QStringList &arguments);

// Whether `port` is free again after a tavoxctl ended: the lock file seen
// while it had the port open is gone; where QSerialPort made none, another
// tavoxctl opens the port.
bool portReleased(const QString &lockWhileOpen, const QString &port);

// tavoxctl at work while the test reads its messages and signals it.
class RunningCtl : public RunningProgram
{
public:
    // `input`, when given, becomes its standard input (a terminal's device).
    RunningCtl(const QString &program, const QStringList &arguments, const QString &input = QString());

    bool waitForMessage(const QString &text);
    // Its standard error so far.
    QString messages();

private:
    QString m_messages;
};

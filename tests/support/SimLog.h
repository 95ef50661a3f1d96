#pragma once

#include <QString>
#include <QVector>

// One frame that tavox-sim, run with --verbose, logged as received.
struct SimReceivedFrame
{
    qint64 atMs = 0;   // on the simulator's own clock
    QString name;      // a command by its sub-command ("A0"), a parameter read as "C0", any other by its description
};

// The frames the simulator received, in the order it received them, from its
// log (SimProcess::errorOutput()).
QVector<SimReceivedFrame> simReceivedFrames(const QString &log);

// The commands and parameter reads among `frames`, space-separated, a run of
// reads shown as one ("A2 A0 90 91 C0 A5 91 C0"): how many reads a restart
// takes until the controller answers is the tool's business, not their order.
QString requestSequence(const QVector<SimReceivedFrame> &frames);

// After the last restart request (sub-command 91) that the simulator logged,
// on its clock: its first heartbeat, the controller back, and the first
// parameter read; -1 for one that did not come.
struct RestartReturn
{
    qint64 heartbeatMs = -1;
    qint64 readMs = -1;
};
RestartReturn returnFromLastRestart(const QString &log);

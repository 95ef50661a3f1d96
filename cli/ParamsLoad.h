#pragma once

#include "cli/DeviceSession.h"
#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"
#include "device/ParameterCommands.h"

#include <QStringList>
#include <QVector>

class PendingRestarts;
class RestartWatch;

// The writes of `params load`, one step at a time, and the read-back that
// verifies them. A step is a write with what the bridge times after it: for a
// receiver's channels the activation and the restart, for the torques the
// restart; after a restart, the controller's return and a read of its block. A
// first interruption (Ctrl-C, SIGTERM, SIGHUP) lets the step in flight finish
// with its restart, then stops and says what was written and what was not; a
// second one stops at once and says how to repair what it left.
class ParamsLoad
{
public:
    // `rerun` is the command line that runs this load again.
    ParamsLoad(DeviceSession &session, const PendingRestarts &pending, const QStringList &rerun);

    // Writes `writes` in their order, then reads the block back and compares it
    // with `target`. `repairs`, among them, repeat restarts an earlier load on
    // this port may not have made. Returns the exit code.
    int run(const QVector<ParamWrite> &writes, const QVector<ParamWrite> &repairs, const ParamBlock &target);

private:
    int step(ParamWrite write, const ParamBlock &target);
    DeviceSession::Wait finish(ParamWrite write, const RestartWatch &restart, int rebootRepliesBefore);
    bool stepDone(ParamWrite write, const RestartWatch &restart, int rebootRepliesBefore) const;
    int readAfterRestart();
    int unfinished(ParamWrite write, DeviceSession::Wait wait);
    int abandoned(ParamWrite inFlight, int exitCode);
    int stoppedBetweenSteps();
    void recordRestarts(const QVector<ParamWrite> &writes);
    QVector<ParamWrite> unwritten() const;
    void printWhatWasWritten(const QVector<ParamWrite> &notWritten) const;
    QString names(const QVector<ParamWrite> &writes) const;
    QString describe(ParamWrite write) const;
    int verify(const ParamBlock &target, bool blockJustRead);

    DeviceSession &m_session;
    const PendingRestarts &m_pending;
    const QStringList m_rerun;
    QVector<ParamWrite> m_plan;
    QVector<ParamWrite> m_repairs;
    QVector<ParamWrite> m_written;
    int m_paramsChanges = 0;
    const ParameterCommands::RestartReadsTaken m_restartReads;
};

#include "cli/ParamsLoad.h"

#include "service/ParamWrites.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "cli/PendingRestarts.h"
#include "device/SubCommands.h"
#include "service/RestartWatch.h"

#include <algorithm>

namespace {
// The window reads the block a last time this long after a restart; a load
// gives the controller that, and the reply timeout besides, to come back.
const int RestartAllowanceMs = 6000;
const int FramesWrittenTimeoutMs = 2000;

QString blockText(const CliOutput &out)
{
    return out.text(QStringLiteral("参数块"), QStringLiteral("the parameter block"));
}

TextPair whatApplies(ParamWrite write)
{
    return owedRestartName(restartOwedBy(write));
}

QVector<ParamWrite> restartingOf(const QVector<ParamWrite> &writes)
{
    QVector<ParamWrite> restarting;
    std::copy_if(writes.begin(), writes.end(), std::back_inserter(restarting), rebootsController);
    return restarting;
}
}

ParamsLoad::ParamsLoad(DeviceSession &session, const PendingRestarts &pending, const QStringList &rerun)
    : m_session(session), m_pending(pending), m_rerun(rerun), m_restartReads(session.bridge().parameters())
{
    QObject::connect(&m_session.bridge(), &AppBridge::tavoxParamsChanged, &m_session, [this] { ++m_paramsChanges; });
}

int ParamsLoad::run(const QVector<ParamWrite> &writes, const QVector<ParamWrite> &repairs, const ParamBlock &target)
{
    const CliOutput &out = m_session.out();
    m_plan = writes;
    m_repairs = repairs;
    QString error;
    if (!m_pending.save(restartingOf(writes), error)) {
        out.error(out.text(QStringLiteral("无法记录此次加载将要进行的重启: %1。未写入任何内容。"),
                           QStringLiteral("cannot record the restarts this load is to make: %1. Nothing was written."))
                      .arg(error));
        return ExitCode::Usage;
    }
    for (ParamWrite each : writes) {
        if (m_session.wasInterrupted())
            return stoppedBetweenSteps();
        const int written = step(each, target);
        if (written != ExitCode::Success)
            return written;
    }
    if (m_session.wasInterrupted())
        return stoppedBetweenSteps();
    return verify(target, rebootsController(writes.last()));
}

// A write the port did not take changes nothing in the bridge, so the count of
// parameter changes tells whether it went out.
int ParamsLoad::step(ParamWrite write, const ParamBlock &target)
{
    const CliOutput &out = m_session.out();
    const QString what = describe(write);
    out.note(rebootsController(write) ? out.text(QStringLiteral("写入%1 (控制器将重启)...").arg(what),
                                                 QStringLiteral("Writing %1 (the controller restarts)...").arg(what))
                                      : out.text(QStringLiteral("写入%1...").arg(what), QStringLiteral("Writing %1...").arg(what)));
    const int rebootReplies = m_session.commandReplies(SubCommand::Reboot);
    const int before = m_paramsChanges;
    RestartWatch restart(m_session.bridge(), RestartAllowanceMs + m_session.replyTimeoutMs());
    QObject::connect(&restart, &RestartWatch::settled, &m_session, &DeviceSession::stateChanged);
    applyParamWrite(m_session.bridge(), write, target);
    if (m_paramsChanges == before) {
        out.error(out.text(QStringLiteral("串口未接受%1的写入").arg(what), QStringLiteral("the port did not take the write of %1").arg(what)));
        return ExitCode::PortFailure;
    }
    const DeviceSession::Wait wait = finish(write, restart, rebootReplies);
    if (wait != DeviceSession::Wait::Done)
        return unfinished(write, wait);
    if (!m_session.bridge().serialLink().waitForFramesWritten(FramesWrittenTimeoutMs) || !m_session.bridge().serialOpened()
        || (rebootsController(write) && !restart.restartSent())) {
        out.error(out.text(QStringLiteral("%1的重启指令未能发出").arg(what),
                           QStringLiteral("the restart after %1 could not be sent").arg(what)));
        return abandoned(write, ExitCode::PortFailure);
    }
    m_written.append(write);
    recordRestarts(restartingOf(unwritten()));
    return rebootsController(write) ? readAfterRestart() : ExitCode::Success;
}

DeviceSession::Wait ParamsLoad::finish(ParamWrite write, const RestartWatch &restart, int rebootRepliesBefore)
{
    const CliOutput &out = m_session.out();
    const QMetaObject::Connection hurry = QObject::connect(&m_session, &DeviceSession::interrupted, [&] {
        if (m_session.interruptions() == 1)
            out.note(out.text(QStringLiteral("已中断: 正在完成%1的写入及其%2; 再次中断 (Ctrl-C) 将立即停止"),
                              QStringLiteral("Interrupted: finishing the write of %1 with its %2; interrupt again "
                                             "(Ctrl-C) to stop at once"))
                         .arg(describe(write), out.text(whatApplies(write))));
    });
    const DeviceSession::Wait wait = m_session.finishStep([&] { return stepDone(write, restart, rebootRepliesBefore); },
                                                          [&] { return restart.isOverdue(); });
    QObject::disconnect(hurry);
    return wait;
}

// Uninterrupted, a step that restarts the controller also waits for it to come
// back; interrupted, the controller's answer to the restart is enough, and
// without one, the restart's allowance running out. A restart that never went
// out leaves nothing to wait for: the step says so after.
// A lost port drops what the bridge still had to send: that is no finished step.
bool ParamsLoad::stepDone(ParamWrite write, const RestartWatch &restart, int rebootRepliesBefore) const
{
    const AppBridge &bridge = m_session.bridge();
    if (!bridge.serialOpened() || bridge.serialLink().session().scheduledCount() > 0)
        return false;
    if (!rebootsController(write) || !restart.restartSent() || restart.isBack())
        return true;
    return m_session.wasInterrupted()
        && (restart.isOverdue() || m_session.commandReplies(SubCommand::Reboot) > rebootRepliesBefore);
}

// The controller is back: its block is read, as the window's timed reads would,
// before anything more is written to it. Interrupted, the step is done all the
// same, and the load stops before the next one.
int ParamsLoad::readAfterRestart()
{
    if (m_session.wasInterrupted())
        return ExitCode::Success;
    const DeviceSession::Wait read = m_session.rereadParams();
    if (read == DeviceSession::Wait::Done || read == DeviceSession::Wait::Interrupted)
        return ExitCode::Success;
    return m_session.failure(read, blockText(m_session.out()));
}

// A second interruption closes the port at once: an activation or restart
// still waiting in the bridge is dropped, never sent late.
int ParamsLoad::unfinished(ParamWrite write, DeviceSession::Wait wait)
{
    if (wait != DeviceSession::Wait::Interrupted)
        return abandoned(write, m_session.failure(wait, m_session.out().text(QStringLiteral("重启后回来"),
                                                                             QStringLiteral("its return from the restart"))));
    m_session.bridge().closeSerial();
    const CliOutput &out = m_session.out();
    out.error(out.text(QStringLiteral("已在写入%1时立即停止"), QStringLiteral("stopped at once during the write of %1"))
                  .arg(describe(write)));
    return abandoned(write, ExitCode::Interrupted);
}

int ParamsLoad::abandoned(ParamWrite inFlight, int exitCode)
{
    const CliOutput &out = m_session.out();
    if (!rebootsController(inFlight)) {
        printWhatWasWritten(unwritten());
        out.note(out.text(QStringLiteral("再次运行同一加载即可写入其余部分:\n  %1"),
                          QStringLiteral("Run the same load again to write the rest:\n  %1"))
                     .arg(CliOutput::commandLine(m_rerun)));
        return exitCode;
    }
    const QString what = describe(inFlight);
    out.note(out.text(QStringLiteral("控制器可能已保存%1的新值，但尚未通过%2使其生效。"),
                      QStringLiteral("The controller may hold the new values of %1, not yet applied by their %2."))
                 .arg(what, out.text(whatApplies(inFlight))));
    printWhatWasWritten(unwritten().mid(1));
    out.note(out.text(QStringLiteral("再次运行同一加载即可修复 (它会重新写入%1并使其生效):\n  %2"),
                      QStringLiteral("Run the same load again to repair it (it writes %1 again and applies "
                                     "them):\n  %2"))
                 .arg(what, CliOutput::commandLine(m_rerun)));
    return exitCode;
}

// Nothing after the finished step went out; only the repairs not reached are
// still owed to the controller.
int ParamsLoad::stoppedBetweenSteps()
{
    const CliOutput &out = m_session.out();
    QVector<ParamWrite> owed;
    for (ParamWrite each : unwritten()) {
        if (m_repairs.contains(each))
            owed.append(each);
    }
    recordRestarts(owed);
    out.error(out.text(QStringLiteral("已中断: 正在进行的写入已连同所需的重启完成，其余未写入"),
                       QStringLiteral("interrupted: the write in progress was finished, with the restart it "
                                      "needed, and the rest was not written")));
    printWhatWasWritten(unwritten());
    out.note(out.text(QStringLiteral("参数未读回核对。再次运行同一加载即可写入其余部分:\n  %1"),
                      QStringLiteral("Nothing was read back to verify. Run the same load again to write the rest:\n  %1"))
                 .arg(CliOutput::commandLine(m_rerun)));
    return ExitCode::Interrupted;
}

// What is left written down is what the next load on this port repeats with
// its restart; a record that cannot be updated keeps more than it must, which
// costs that load a restart and nothing else.
void ParamsLoad::recordRestarts(const QVector<ParamWrite> &writes)
{
    QString error;
    if (m_pending.save(writes, error))
        return;
    const CliOutput &out = m_session.out();
    out.error(out.text(QStringLiteral("无法更新重启记录 %1; 此串口的下一次加载会重复其中的重启"),
                       QStringLiteral("cannot update the record of restarts, %1; the next load on this port repeats "
                                      "the restarts it names"))
                  .arg(error));
}

QVector<ParamWrite> ParamsLoad::unwritten() const
{
    return m_plan.mid(m_written.size());
}

void ParamsLoad::printWhatWasWritten(const QVector<ParamWrite> &notWritten) const
{
    const CliOutput &out = m_session.out();
    out.note(out.text(QStringLiteral("  已写入: %1"), QStringLiteral("  written: %1")).arg(names(m_written)));
    out.note(out.text(QStringLiteral("  未写入: %1"), QStringLiteral("  not written: %1")).arg(names(notWritten)));
}

QString ParamsLoad::names(const QVector<ParamWrite> &writes) const
{
    QStringList list;
    for (ParamWrite each : writes)
        list.append(describe(each));
    return list.isEmpty() ? m_session.out().text(QStringLiteral("无"), QStringLiteral("nothing"))
                          : list.join(m_session.out().text(QStringLiteral("、"), QStringLiteral(", ")));
}

QString ParamsLoad::describe(ParamWrite write) const
{
    return m_session.out().text(paramWriteName(write));
}

// After a restart the block was read once the controller was back.
int ParamsLoad::verify(const ParamBlock &target, bool blockJustRead)
{
    const CliOutput &out = m_session.out();
    const DeviceSession::Wait read = blockJustRead ? DeviceSession::Wait::Done : m_session.rereadParams();
    if (read != DeviceSession::Wait::Done)
        return m_session.failure(read, blockText(out));
    const ParamBlock &device = m_session.bridge().parameters().block();
    const QVector<ParamFile::Change> mismatches = ParamFile::differences(target, device, paramBlockFormOf(device));
    for (const ParamFile::Change &mismatch : mismatches)
        out.error(out.text(QStringLiteral("控制器未采用 %1: 写入 %2，读回 %3"),
                           QStringLiteral("the controller did not take %1: wrote %2, reads back %3"))
                      .arg(mismatch.field).arg(mismatch.from).arg(mismatch.to));
    if (!mismatches.isEmpty())
        return ExitCode::ControllerRefused;
    out.note(out.text(QStringLiteral("参数已写入并核对"), QStringLiteral("Parameters written and verified")));
    return ExitCode::Success;
}

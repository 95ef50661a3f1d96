#pragma once

#include "bridge/AppBridge.h"
#include "cli/CliOutput.h"
#include "record/SessionRecorder.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

class InterruptWatcher;

// One controller on one port, driven through the same AppBridge the window
// uses: every frame, every activate-and-reboot sequence and every upgrade step
// is the window's. Only the first exchange after an open is this class's own:
// the window times it for a person, a script wants it at once. Otherwise this
// class only waits: for replies, for the bridge's timed follow-ups, for a
// restarted controller, for the end of an upgrade, and it turns what went
// wrong into an exit code with a message.
class DeviceSession : public QObject
{
    Q_OBJECT

public:
    enum class Wait { Done, TimedOut, PortLost, Interrupted };

    DeviceSession(const CliOutput &out, InterruptWatcher &interrupts, qint64 replyTimeoutMs);
    // Closes the port while the signal handlers still stand, so that no lock file outlives the program.
    ~DeviceSession() override;

    AppBridge &bridge() { return m_bridge; }
    SessionRecorder &recorder() { return *m_recorder; }
    const CliOutput &out() const { return m_out; }
    qint64 replyTimeoutMs() const { return m_replyTimeoutMs; }

    // Exit codes: Success, or PortFailure after a message.
    int open(const QString &port, int baud);
    // Asks for the parameter block and the versions, again once a second
    // while they are missing, until both are in or the reply timeout passed.
    int readDevice();
    // Asks for them once and gives the answers a moment: a controller in its
    // bootloader never gives them. Done unless the port was lost or the user interrupted.
    Wait settleFirstExchange();
    // Re-reads the parameter block, asking again once a second, for the reply timeout.
    Wait rereadParams();

    // Runs the event loop until `done` holds, `timeoutMs` passed (never when
    // negative), the port is lost or the user interrupts.
    Wait waitUntil(const std::function<bool()> &done, qint64 timeoutMs);
    // Runs the event loop while the port is closed: Done once it is open again,
    // Interrupted when the user gives up first.
    Wait waitForReopen();
    // waitUntil for a step that must not be left half-done: a first
    // interruption lets it run on (wasInterrupted() tells afterwards), only a
    // second one ends it. It times out once `overdue` holds.
    Wait finishStep(const std::function<bool()> &done, const std::function<bool()> &overdue);
    // Sends `request` until `answered` holds, once a second, for at most
    // `timeoutMs` (the reply timeout when negative).
    Wait request(const std::function<void()> &send, const std::function<bool()> &answered, qint64 timeoutMs = -1);

    // The exit code for a wait that did not end in Done, after its message.
    int failure(Wait wait, const QString &whatWasAwaited);

    // Asks on the terminal; false on anything but yes, or on Ctrl-C.
    bool confirm(const QString &question);
    bool wasInterrupted() const { return interruptions() > 0; }
    // Ctrl-C, SIGTERM and SIGHUP received so far.
    int interruptions() const;
    // Command replies answering `subCommand` since the session began.
    int commandReplies(quint8 subCommand) const { return m_commandReplies.value(subCommand); }

signals:
    void stateChanged();
    void interrupted();

private:
    void connectBridge();
    void askForFirstExchange();
    bool firstExchangeAnswered() const;
    Wait wait(const std::function<bool()> &done, qint64 timeoutMs, int interruptionsEnding,
              const std::function<bool()> &overdue = [] { return false; });

    const CliOutput &m_out;
    InterruptWatcher &m_interrupts;
    const qint64 m_replyTimeoutMs;
    AppBridge m_bridge;
    // Every port the session opens is recorded.
    std::unique_ptr<SessionRecorder> m_recorder;
    QHash<quint8, int> m_commandReplies;
};

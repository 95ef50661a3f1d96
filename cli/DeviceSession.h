#pragma once

#include "bridge/AppBridge.h"
#include "cli/CliOutput.h"
#include "cli/InterruptWatcher.h"

#include <QHash>
#include <QObject>

#include <functional>

// One controller on one port, driven through the same AppBridge the window
// uses: every frame, every activate-and-reboot sequence and every upgrade step
// is the window's. This class only waits: for replies, for the bridge's timed
// follow-ups, for the end of an upgrade, and it turns what went wrong into
// an exit code with a message.
class DeviceSession : public QObject
{
    Q_OBJECT

public:
    enum class Wait { Done, TimedOut, PortLost, Interrupted };

    DeviceSession(const CliOutput &out, int replyTimeoutMs);

    AppBridge &bridge() { return m_bridge; }
    const CliOutput &out() const { return m_out; }
    int replyTimeoutMs() const { return m_replyTimeoutMs; }

    // Exit codes: Success, or PortFailure after a message.
    int open(const QString &port, int baud);
    // Waits for the parameter block and the versions of the first exchange after the open.
    int readDevice();
    // Re-reads the parameter block; `settleMs` first, for a controller that is restarting.
    int rereadParams(int settleMs);

    // Runs the event loop until `done` holds, `timeoutMs` passed (never when
    // negative), the port is lost or the user interrupts.
    Wait waitUntil(const std::function<bool()> &done, int timeoutMs);
    // Until every request the bridge timed from this open (activation, reboot,
    // re-reads) has gone out.
    Wait waitForFollowUps();
    // Sends `request` until `answered` holds, once a second, for at most the reply timeout.
    Wait request(const std::function<void()> &send, const std::function<bool()> &answered);

    // The exit code for a wait that did not end in Done, after its message.
    int failure(Wait wait, const QString &whatWasAwaited);

    // Asks on the terminal; false on anything but yes, or on Ctrl-C.
    bool confirm(const QString &question);
    bool wasInterrupted() const { return m_interrupts.wasInterrupted(); }
    // Command replies answering `subCommand` since the session began.
    int commandReplies(quint8 subCommand) const { return m_commandReplies.value(subCommand); }

signals:
    void stateChanged();

private:
    void connectBridge();

    const CliOutput &m_out;
    const int m_replyTimeoutMs;
    AppBridge m_bridge;
    InterruptWatcher m_interrupts;
    QHash<quint8, int> m_commandReplies;
};

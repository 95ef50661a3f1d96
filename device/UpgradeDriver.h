#pragma once

#include "device/UpgradeSession.h"
#include "protocol/ParsedFrame.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

// Carries out an upgrade session's decisions over time: sends what it decides,
// chases a silent controller with its watchdog, waits before the reboot, and
// ends the upgrade when the link that carried it is gone. The session decides;
// this class only keeps the clock and reports.
class UpgradeDriver : public QObject
{
    Q_OBJECT

public:
    explicit UpgradeDriver(QObject *parent = nullptr);

    bool active() const { return m_session.active(); }
    int progress() const { return m_session.progress(); }
    const UpgradeSession &session() const { return m_session; }
    void setReplyTimeouts(const UpgradeSession::ReplyTimeouts &timeouts);

    // Takes a checked image; progress starts over. Ignored while an upgrade runs.
    void load(const QByteArray &image);
    // Sends the first request for the loaded image.
    void begin();
    void handleReply(const ParsedFrame &frame);
    // The port was closed or lost: nothing can reach this controller any more,
    // and nothing of this upgrade may reach the next one.
    void abortForClosedLink();
    // As abortForClosedLink, for a port that went away under the open link: the
    // controller kept running, perhaps in its bootloader, and no upgrade is ever
    // resumed on it, so the operator is told to start one again.
    void abortForLostLink();
    // The operator stops the upgrade with the port left open. The controller,
    // erased, waits in its bootloader; later replies of this run are ignored.
    // A verified image is left to its reboot.
    void cancel();
    bool cancellable() const;

signals:
    void message(const Message &message);
    void diagnostic(const QString &line);
    void frameToSend(const QByteArray &frame);
    void activeChanged();
    void progressChanged();
    // The reboot after a verified image has been sent.
    void completed();
    // Every end of an upgrade that ran, after its last message and frame.
    void ended(UpgradeSession::Outcome outcome);

private:
    void carryOut(const UpgradeSession::Reaction &reaction, bool wasActive);
    void reportIgnored(const ParsedFrame &frame);
    void armWatchdog();
    void onReplyTimeout();
    void finish();
    void stopTimers();
    void abort(const QVector<Message> &messages, UpgradeSession::Outcome outcome);

    UpgradeSession m_session;
    QTimer m_watchdog;
    QDeadlineTimer m_replyDeadline;
    QTimer m_rebootDelay;
};

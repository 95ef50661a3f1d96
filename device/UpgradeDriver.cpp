#include "device/UpgradeDriver.h"

namespace {
const int RebootDelayMs = 500;

Message closedLinkMessage()
{
    return Message::error(QStringLiteral("升级已中止：串口已关闭"), QStringLiteral("Upgrade aborted: serial port closed"),
                          MessageTopic::UpgradeFailed, OperatorAction::Upgrade);
}
}

UpgradeDriver::UpgradeDriver(QObject *parent)
    : QObject(parent)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setTimerType(Qt::PreciseTimer);
    connect(&m_watchdog, &QTimer::timeout, this, &UpgradeDriver::onReplyTimeout);
    m_rebootDelay.setSingleShot(true);
    m_rebootDelay.setInterval(RebootDelayMs);
    connect(&m_rebootDelay, &QTimer::timeout, this, &UpgradeDriver::finish);
}

void UpgradeDriver::setReplyTimeouts(const UpgradeSession::ReplyTimeouts &timeouts)
{
    m_session.setReplyTimeouts(timeouts);
}

void UpgradeDriver::load(const QByteArray &image)
{
    if (active())
        return;
    m_session.load(image);
    emit progressChanged();
}

void UpgradeDriver::begin()
{
    if (active())
        return;
    carryOut(m_session.requestErase(), false);
}

void UpgradeDriver::handleReply(const ParsedFrame &frame)
{
    const bool wasActive = active();
    UpgradeSession::Reaction reaction;
    switch (frame.v1CommandId) {
    case UpgradeCommand::EraseDone:
        reaction = m_session.onEraseDone();
        break;
    case UpgradeCommand::StartReply:
        reaction = m_session.onStartReply(frame.payload);
        break;
    case UpgradeCommand::DataAck:
        reaction = m_session.onDataAck(frame.sequence);
        break;
    case UpgradeCommand::VerifyResult:
        reaction = m_session.onVerifyResult(frame.payload);
        break;
    default:
        return;
    }
    if (reaction.ignored)
        reportIgnored(frame);
    else
        carryOut(reaction, wasActive);
}

void UpgradeDriver::abortForClosedLink()
{
    abort({closedLinkMessage()}, UpgradeSession::Outcome::LinkClosed);
}

void UpgradeDriver::abortForLostLink()
{
    abort({closedLinkMessage(),
           Message::info(QStringLiteral("控制器可能仍处于引导程序中：请重新开始升级以完成"),
                         QStringLiteral("The controller may still be in its bootloader: start the upgrade again to finish it"),
                         MessageTopic::None, OperatorAction::Upgrade)},
          UpgradeSession::Outcome::LinkLost);
}

void UpgradeDriver::cancel()
{
    if (!cancellable())
        return;
    abort({Message::warning(QStringLiteral("升级已由操作员取消；控制器停留在引导程序中，直到一次升级完成——请重新运行升级以完成"),
                            QStringLiteral("Upgrade cancelled by the operator; the controller waits in its bootloader "
                                           "until an upgrade completes — run the upgrade again to finish"),
                            MessageTopic::None, OperatorAction::Upgrade)},
          UpgradeSession::Outcome::Cancelled);
}

bool UpgradeDriver::cancellable() const
{
    return active() && m_session.state() != UpgradeSession::State::Verified;
}

void UpgradeDriver::abort(const QVector<Message> &messages, UpgradeSession::Outcome outcome)
{
    if (!active())
        return;
    stopTimers();
    m_session.abort();
    for (const Message &text : messages)
        emit message(text);
    emit activeChanged();
    m_session.clearProgress();
    emit progressChanged();
    emit ended(outcome);
}

// In the order an operator should read it: the upgrade shows as running before
// its first step is reported, and as ended only after its last frame went out.
void UpgradeDriver::carryOut(const UpgradeSession::Reaction &reaction, bool wasActive)
{
    if (!wasActive && active())
        emit activeChanged();
    for (const Message &text : reaction.messages)
        emit message(text);
    if (!reaction.frame.isEmpty())
        emit frameToSend(reaction.frame);
    if (reaction.awaitsReply && active())
        armWatchdog();
    if (reaction.endsUpgrade) {
        stopTimers();
        if (wasActive)
            emit activeChanged();
    }
    if (reaction.progressUpdated)
        emit progressChanged();
    if (reaction.verified) {
        m_watchdog.stop();
        m_rebootDelay.start();
    }
    if (reaction.endsUpgrade && wasActive && reaction.outcome != UpgradeSession::Outcome::Completed)
        emit ended(reaction.outcome);
}

void UpgradeDriver::reportIgnored(const ParsedFrame &frame)
{
    emit diagnostic(QStringLiteral("[DIAG-UPG] ignored reply 0x%1 seq=%2: it answers no request that is out")
                        .arg(frame.v1CommandId, 2, 16, QLatin1Char('0'))
                        .arg(frame.sequence));
}

// Restarting a timer for each of thousands of packets costs more than the
// packet itself: the deadline moves, and the one timer running catches up with
// it when it fires early.
void UpgradeDriver::armWatchdog()
{
    m_replyDeadline.setRemainingTime(m_session.replyTimeoutMs(), Qt::PreciseTimer);
    if (!m_watchdog.isActive() || m_watchdog.remainingTime() > m_replyDeadline.remainingTime())
        m_watchdog.start(int(m_replyDeadline.remainingTime()));
}

void UpgradeDriver::onReplyTimeout()
{
    if (!m_replyDeadline.hasExpired()) {
        m_watchdog.start(int(m_replyDeadline.remainingTime()));
        return;
    }
    const bool wasActive = active();
    carryOut(m_session.onReplyTimeout(), wasActive);
}

void UpgradeDriver::finish()
{
    const UpgradeSession::Reaction reaction = m_session.finish();
    if (!reaction.endsUpgrade)
        return;
    carryOut(reaction, true);
    emit completed();
    emit ended(UpgradeSession::Outcome::Completed);
}

void UpgradeDriver::stopTimers()
{
    m_watchdog.stop();
    m_rebootDelay.stop();
}

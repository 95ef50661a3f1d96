#include "service/ControllerWatch.h"

#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"

ControllerWatch::ControllerWatch(AppBridge &bridge, QObject *parent) : QObject(parent), m_bridge(bridge)
{
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &ControllerWatch::onOpenedChanged);
    // After the answer's own log line, so that the log tells what answered before what it means.
    connect(&bridge, &AppBridge::tavoxVersionChanged, this, &ControllerWatch::onAnswer, Qt::QueuedConnection);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &ControllerWatch::onAnswer, Qt::QueuedConnection);
}

void ControllerWatch::followReconnection(const AutoReconnect &reconnect)
{
    connect(&reconnect, &AutoReconnect::reopened, this, [this] { m_reconnected = true; });
}

QString ControllerWatch::portName() const
{
    return m_bridge.serialLink().portName();
}

void ControllerWatch::onOpenedChanged()
{
    if (!m_bridge.serialOpened()) {
        linkEnded();
        return;
    }
    m_current = {};
    m_identified = false;
}

// A block a write changed is still the controller's as far as it goes: the
// controller keeps written values, applied or not.
void ControllerWatch::onAnswer()
{
    const LinkSession &session = m_bridge.serialLink().session();
    if (session.versionsCurrent()) {
        m_current.firmware = m_bridge.tavoxFirmwareVersion();
        m_current.boot = m_bridge.tavoxBootVersion();
    }
    if (session.paramBlockCurrent()) {
        m_current.block = m_bridge.parameters().block();
        m_current.blockKnown = true;
    }
    if (!m_identified && m_current.isKnown() && m_current.blockKnown)
        identify();
}

void ControllerWatch::identify()
{
    m_identified = true;
    greet(m_reconnected || portName() == m_lastPort);
    if (m_owed != OwedRestart::None)
        settleOwed();
}

void ControllerWatch::greet(bool samePort)
{
    const QString port = portName();
    if (samePort && isAnotherController(m_last, m_current)) {
        ++m_epoch;
        m_otherController = true;
        m_previousFirmware = m_last.firmware;
        emit changed();
        if (m_last.firmware == m_current.firmware)
            m_bridge.messages().report(Message::warning(
                QStringLiteral("%1 上应答的是另一台控制器: 固件同为 %2，参数不同").arg(port, m_current.firmware),
                QStringLiteral("Another controller answered on %1: the same firmware %2, other parameters")
                    .arg(port, m_current.firmware)));
        else
            m_bridge.messages().report(Message::warning(
                QStringLiteral("%1 上应答的是另一台控制器: 固件 %2，之前为 %3").arg(port, m_current.firmware, m_last.firmware),
                QStringLiteral("Another controller answered on %1: firmware %2, was %3")
                    .arg(port, m_current.firmware, m_last.firmware)));
        return;
    }
    if (m_reconnected)
        m_bridge.messages().report(Message::success(QStringLiteral("已重新连接: %1").arg(port),
                                                    QStringLiteral("Reconnected: %1").arg(port)));
}

void ControllerWatch::settleOwed()
{
    const TextPair what = owedRestartName(m_owed);
    if (isAnotherController(m_owedTo, m_current)) {
        m_bridge.messages().report(Message::warning(
            QStringLiteral("仍欠固件 %1 的控制器的%2，不会发给这台控制器 (固件 %3): 请重新连接那台控制器")
                .arg(m_owedTo.firmware, what.zh, m_current.firmware),
            QStringLiteral("The %1 still owed to the controller with firmware %2 is not sent to this one (firmware "
                           "%3): connect that controller again to send it")
                .arg(what.en, m_owedTo.firmware, m_current.firmware)));
        return;
    }
    const OwedRestart owed = m_owed;
    m_owed = OwedRestart::None;
    m_bridge.messages().report(Message::info(QStringLiteral("正在发送链路断开前未发出的%1").arg(what.zh),
                                             QStringLiteral("Sending the %1 that did not go out before the link was lost")
                                                 .arg(what.en)));
    m_bridge.parameters().settleOwedRestart(owed);
}

void ControllerWatch::linkEnded()
{
    // An open on which no controller said who it is leaves the last one known as it was.
    if (m_current.isKnown()) {
        m_last = m_current;
        if (m_last.blockKnown)
            m_last.block = m_bridge.parameters().block();
        m_lastPort = portName();
    }
    m_reconnected = false;
    if (m_otherController) {
        m_otherController = false;
        emit changed();
    }
    const OwedRestart owed = m_bridge.parameters().takeOwedRestart();
    if (owed == OwedRestart::None)
        return;
    m_owed = owed;
    m_owedTo = m_last;
    const TextPair what = owedRestartName(owed);
    m_bridge.messages().report(Message::warning(
        QStringLiteral("链路在上次写入的%1发出前断开: 控制器已保存新值但尚未生效；它再次应答时会补发").arg(what.zh),
        QStringLiteral("The link ended before the %1 of the last write went out: the controller holds the new values "
                       "unapplied; they are sent when it answers again")
            .arg(what.en)));
}

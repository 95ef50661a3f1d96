#include "service/ParamReadBack.h"

#include "bridge/AppBridge.h"

ParamReadBack::ParamReadBack(AppBridge &bridge, QObject *parent) : QObject(parent), m_bridge(bridge)
{
    m_resend.setSingleShot(true);
    connect(&m_resend, &QTimer::timeout, this, &ParamReadBack::ask);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &ParamReadBack::onParamsChanged);
}

void ParamReadBack::start(int timeoutMs)
{
    m_blocksBefore = m_bridge.parameters().blocksReceived();
    m_timeoutMs = timeoutMs;
    m_askedForMs = -1;
    ask();
}

void ParamReadBack::stop()
{
    m_resend.stop();
}

void ParamReadBack::ask()
{
    m_askedForMs = m_askedForMs < 0 ? 0 : m_askedForMs + ResendIntervalMs;
    if (m_askedForMs >= m_timeoutMs) {
        emit timedOut();
        return;
    }
    m_resend.start(ResendIntervalMs);
    emit asking();
    m_bridge.tavoxReadParams();
}

void ParamReadBack::onParamsChanged()
{
    if (!isActive() || m_bridge.parameters().blocksReceived() <= m_blocksBefore)
        return;
    m_resend.stop();
    // After the bridge has reported the block it read.
    QMetaObject::invokeMethod(this, &ParamReadBack::arrived, Qt::QueuedConnection);
}

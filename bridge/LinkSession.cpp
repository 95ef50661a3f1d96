#include "bridge/LinkSession.h"

#include <QTimer>

LinkSession::LinkSession(QObject *parent)
    : QObject(parent)
{
}

void LinkSession::begin()
{
    dropScheduled();
    ++m_generation;
    m_open = true;
}

void LinkSession::end()
{
    dropScheduled();
    m_open = false;
}

void LinkSession::runWhileOpen(int delayMs, std::function<void()> action)
{
    if (!m_open)
        return;
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, timer, action = std::move(action)] {
        m_scheduled.removeOne(timer);
        timer->deleteLater();
        action();
        emit scheduledCountChanged();
    });
    m_scheduled.append(timer);
    timer->start(delayMs);
    emit scheduledCountChanged();
}

void LinkSession::dropScheduled()
{
    if (m_scheduled.isEmpty())
        return;
    qDeleteAll(m_scheduled);
    m_scheduled.clear();
    emit scheduledCountChanged();
}

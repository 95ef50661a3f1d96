#include "app/SignalledClose.h"

#include "log/elog.h"

#include <QGuiApplication>
#include <QWindow>

SignalledClose::SignalledClose(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &InterruptWatcher::interrupted, this, &SignalledClose::onInterrupted);
}

void SignalledClose::onInterrupted()
{
    if (!m_cause.isEmpty()) {
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "%s while the window closes",
                    m_watcher.latestSignalName().toLatin1().constData());
        QCoreApplication::quit();
        return;
    }
    m_cause = m_watcher.firstSignalName();
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "%s: closing the window", m_cause.toLatin1().constData());
    // As the close button: the window hears it is closing and the last window
    // closed ends the event loop. A window that stays open (one still asking
    // something) does not keep the tool from ending.
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows)
        window->close();
    QCoreApplication::quit();
}

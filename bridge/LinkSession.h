#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QTimer;

// Requests timed from one open of the serial link belong to that open: closing
// or reopening the link drops every one still waiting, so a quick reopen never
// sends the first open's requests (or a reboot meant for the last controller)
// to whatever is attached now.
class LinkSession : public QObject
{
    Q_OBJECT

public:
    explicit LinkSession(QObject *parent = nullptr);

    bool isOpen() const { return m_open; }
    // A new open: whatever the previous one scheduled is dropped.
    void begin();
    void end();
    // Runs `action` after `delayMs` unless the link is closed or reopened first.
    // Nothing is scheduled while the link is closed.
    void runWhileOpen(int delayMs, std::function<void()> action);
    int scheduledCount() const { return m_scheduled.size(); }

signals:
    // Whenever a request was scheduled, ran or was dropped.
    void scheduledCountChanged();

private:
    void dropScheduled();

    bool m_open = false;
    QList<QTimer *> m_scheduled;
};

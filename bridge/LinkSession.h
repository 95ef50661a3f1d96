#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QTimer;

// Requests timed from one open of the serial link belong to that open: closing
// or reopening the link drops every one still waiting, so a quick reopen never
// sends the first open's requests (or a reboot meant for the last controller)
// to whatever is attached now. What the controller reported belongs to the open
// it came on as well: after a reopen another controller may be on the line, so
// the bridge's parameter block and versions are the attached controller's only
// once they have been read again.
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

    // Counts the opens: whatever was read on another one came from the controller then attached.
    int generation() const { return m_generation; }
    // The controller sent its parameter block, or its versions, on this open.
    void noteParamBlock() { m_paramBlockGeneration = m_generation; }
    void noteVersions() { m_versionsGeneration = m_generation; }
    bool paramBlockCurrent() const { return m_open && m_paramBlockGeneration == m_generation; }
    bool versionsCurrent() const { return m_open && m_versionsGeneration == m_generation; }

signals:
    // Whenever a request was scheduled, ran or was dropped.
    void scheduledCountChanged();

private:
    void dropScheduled();

    bool m_open = false;
    int m_generation = 0;
    int m_paramBlockGeneration = 0;
    int m_versionsGeneration = 0;
    QList<QTimer *> m_scheduled;
};

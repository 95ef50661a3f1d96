#pragma once

#include "bridge/MessageLog.h"

#include <QHash>
#include <QObject>
#include <QTimer>

class AppBridge;
class ControllerWatch;
class FieldEdits;
class MessageJournal;

// The state shown next to an action's button: working until the message it
// waits for arrives, failed with the reason when an error that such an action
// can cause is reported meanwhile, and "no reply" when nothing came within
// two seconds. The timeout
// is the window's alone: the request itself still waits for its reply.
// "Done" speaks of the controller it was said for and of the values as they
// were: a new open of the port, another controller answering or a new edit
// of the panel takes it back.
class ActionFeedback : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int revision READ revision NOTIFY changed)

public:
    enum State { Idle, Working, Done, Failed, NoReply };
    Q_ENUM(State)
    // What completes an action.
    enum Awaits { ParamsRead, CommandReply, VersionReply };
    Q_ENUM(Awaits)

    static constexpr int ReplyTimeoutMs = 2000;

    ActionFeedback(AppBridge &bridge, MessageJournal &journal, QObject *parent = nullptr);
    void followController(const ControllerWatch &watch);
    // An edit in `edits` takes back the "Done" of `action`.
    Q_INVOKABLE void followEdits(const QString &action, FieldEdits *edits);

    int revision() const { return m_revision; }
    // Call before the bridge operation, so that a refusal it reports is seen.
    Q_INVOKABLE void begin(const QString &action, Awaits awaits);
    Q_INVOKABLE State state(const QString &action) const;
    Q_INVOKABLE QString text(const QString &action) const;

signals:
    void changed();

private:
    struct Action
    {
        State state = Idle;
        Awaits awaits = ParamsRead;
        QString reason;
        QTimer *timeout = nullptr;
    };

    void onEntry(const MessageEntry &entry);
    void finish(Action &action, State state, const QString &reason = QString());
    void forgetDone(const QString &action = QString());
    static bool completes(Awaits awaits, MessageTopic topic);
    static unsigned producer(Awaits awaits);

    AppBridge &m_bridge;
    QHash<QString, Action> m_actions;
    int m_revision = 0;
    int m_controllerEpoch = 0;
};

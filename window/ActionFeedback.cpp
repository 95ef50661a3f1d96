#include "window/ActionFeedback.h"

#include "bridge/AppBridge.h"
#include "service/ControllerWatch.h"
#include "window/FieldEdits.h"
#include "window/MessageJournal.h"

ActionFeedback::ActionFeedback(AppBridge &bridge, MessageJournal &journal, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
    connect(&journal, &MessageJournal::entryAdded, this, &ActionFeedback::onEntry);
    connect(&bridge, &AppBridge::languageChanged, this, [this] {
        ++m_revision;
        emit changed();
    });
    connect(&bridge, &AppBridge::serialOpenedChanged, this, [this] {
        if (m_bridge.serialOpened())
            forgetDone();
    });
}

void ActionFeedback::followController(const ControllerWatch &watch)
{
    m_controllerEpoch = watch.epoch();
    connect(&watch, &ControllerWatch::changed, this, [this, &watch] {
        if (watch.epoch() == m_controllerEpoch)
            return;
        m_controllerEpoch = watch.epoch();
        forgetDone();
    });
}

void ActionFeedback::followEdits(const QString &action, FieldEdits *edits)
{
    if (!edits)
        return;
    connect(edits, &FieldEdits::changed, this, [this, action, edits] {
        if (edits->count() > 0)
            forgetDone(action);
    });
}

// Empty `action`: every action's.
void ActionFeedback::forgetDone(const QString &action)
{
    bool forgotten = false;
    for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
        if (it->state == Done && (action.isEmpty() || it.key() == action)) {
            it->state = Idle;
            forgotten = true;
        }
    }
    if (!forgotten)
        return;
    ++m_revision;
    emit changed();
}

void ActionFeedback::begin(const QString &action, Awaits awaits)
{
    Action &entry = m_actions[action];
    if (!entry.timeout) {
        entry.timeout = new QTimer(this);
        entry.timeout->setSingleShot(true);
        entry.timeout->setInterval(ReplyTimeoutMs);
        connect(entry.timeout, &QTimer::timeout, this, [this, action] {
            Action &timedOut = m_actions[action];
            if (timedOut.state == Working)
                finish(timedOut, NoReply);
        });
    }
    entry.state = Working;
    entry.awaits = awaits;
    entry.reason.clear();
    entry.timeout->start();
    ++m_revision;
    emit changed();
}

ActionFeedback::State ActionFeedback::state(const QString &action) const
{
    return m_actions.value(action).state;
}

QString ActionFeedback::text(const QString &action) const
{
    const Action entry = m_actions.value(action);
    switch (entry.state) {
    case Idle:
        return QString();
    case Working:
        return m_bridge.languageSetting().localized(QStringLiteral("处理中…"), QStringLiteral("Working…"));
    case Done:
        return m_bridge.languageSetting().localized(QStringLiteral("完成"), QStringLiteral("Done"));
    case Failed:
        return m_bridge.languageSetting().localized(QStringLiteral("失败：%1"), QStringLiteral("Failed: %1")).arg(entry.reason);
    case NoReply:
        return m_bridge.languageSetting().localized(QStringLiteral("2 秒内无应答"), QStringLiteral("No reply within 2 s"));
    }
    return QString();
}

bool ActionFeedback::completes(Awaits awaits, MessageTopic topic)
{
    switch (awaits) {
    case ParamsRead:
        return topic == MessageTopic::ParamsRead;
    case CommandReply:
        return topic == MessageTopic::CommandReply;
    case VersionReply:
        return topic == MessageTopic::VersionReply;
    }
    return false;
}

unsigned ActionFeedback::producer(Awaits awaits)
{
    switch (awaits) {
    case ParamsRead:
        return OperatorAction::Read;
    case CommandReply:
        return OperatorAction::Command;
    case VersionReply:
        return OperatorAction::VersionQuery;
    }
    return OperatorAction::None;
}

// An error that such an action can cause, reported while it waits, is taken
// as its failure; any other error is someone else's. A reply that arrives
// after "no reply" still completes it.
void ActionFeedback::onEntry(const MessageEntry &entry)
{
    for (Action &action : m_actions) {
        const bool waiting = action.state == Working || action.state == NoReply;
        if (!waiting)
            continue;
        const bool ours = (entry.meaning.answers & producer(action.awaits)) != 0;
        if (completes(action.awaits, entry.meaning.topic))
            finish(action, Done);
        else if (action.state == Working && ours && entry.meaning.kind == MessageKind::Error)
            finish(action, Failed, entry.text);
    }
}

void ActionFeedback::finish(Action &action, State state, const QString &reason)
{
    action.state = state;
    action.reason = reason;
    if (state != NoReply)
        action.timeout->stop();
    ++m_revision;
    emit changed();
}

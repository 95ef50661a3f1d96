#pragma once

#include "device/ParamWritePlan.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class AppBridge;
class FieldEdits;

// The operator's unwritten edits of the whole window, panel by panel: how many
// and where, a way to throw them all away, and a way to write them all, one
// panel's write after the follow-ups (activation, restart) of the one before
// have gone out, in the order a parameter restore writes. Each write is the
// panel's own, asked for through writeRequested. Edits still unwritten when
// the tool ends are named in the log, since nobody could be asked.
class UnsavedEdits : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY changed)
    // "3 unsaved: Torque, Channels".
    Q_PROPERTY(QString summary READ summary NOTIFY changed)
    // The edited fields with their values, a line per panel, and whether writing them restarts the controller.
    Q_PROPERTY(QString details READ details NOTIFY changed)
    Q_PROPERTY(bool madeForOtherController READ madeForOtherController NOTIFY changed)
    Q_PROPERTY(bool writing READ writing NOTIFY changed)

public:
    explicit UnsavedEdits(AppBridge &bridge, QObject *parent = nullptr);

    Q_INVOKABLE void watch(FieldEdits *edits);

    int count() const;
    QString summary() const;
    QString details() const;
    bool madeForOtherController() const;
    bool writing() const { return !m_queue.isEmpty() || m_waitingForFollowUps; }

    Q_INVOKABLE void discard();
    Q_INVOKABLE void writeAll();
    // The panel asked to write could not: its write is not sent and the rest wait.
    Q_INVOKABLE void refuse(const QString &reason);

signals:
    void changed();
    // The panel whose FieldEdits are `panel` writes its fields starting with `fields` now.
    void writeRequested(const QString &panel, const QString &fields);
    // Every edit went out.
    void written();
    void writeFailed();
    // The edits are now marked as made for the controller that answered before.
    void otherControllerAnswered();

private:
    struct Unit
    {
        FieldEdits *edits = nullptr;
        QString fields;
    };

    QVector<FieldEdits *> editedPanels() const;
    bool restartsController() const;
    QVector<ParamWrite> pendingWrites() const;
    Unit unitOf(ParamWrite write) const;
    QString panelName(const FieldEdits &edits) const;
    void onEditsChanged();
    void writeNext();
    void afterFollowUps();
    void fail(const QString &zh, const QString &en);
    void logUnwritten() const;

    AppBridge &m_bridge;
    QVector<QPointer<FieldEdits>> m_panels;
    QVector<ParamWrite> m_queue;
    bool m_waitingForFollowUps = false;
    bool m_otherController = false;
    int m_paramsChanges = 0;
};

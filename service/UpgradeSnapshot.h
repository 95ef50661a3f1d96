#pragma once

#include "device/ParamFile.h"
#include "device/ParamSnapshots.h"
#include "device/UpgradeSession.h"

#include <QObject>

class AppBridge;
class ParamRestore;

// An upgrade can reset the controller's tuning. Before every upgrade of a
// controller whose parameters were read since the port was opened, the block is
// kept as a snapshot file; once the upgraded controller answers again its
// parameters are read back, and if they are no longer the snapshot's the window
// offers to put them back through the restore table. The snapshot belongs to
// the controller on the link it was taken on: a block read before a reopen is
// never kept as the attached controller's, and closing or reopening the port
// ends the comparison and the offer.
class UpgradeSnapshot : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool restoreOffered READ restoreOffered NOTIFY changed)
    Q_PROPERTY(QString snapshotPath READ snapshotPath NOTIFY changed)

public:
    UpgradeSnapshot(AppBridge &bridge, ParamRestore &restore, const QString &folder, QObject *parent = nullptr);

    bool restoreOffered() const { return m_offered; }
    QString snapshotPath() const { return m_path; }
    const ParamSnapshots &snapshots() const { return m_snapshots; }

    // Lays the snapshot out in the restore table.
    Q_INVOKABLE void showRestore();
    Q_INVOKABLE void dismiss();

signals:
    void changed();

private:
    void onUpgradingChanged();
    void keepSnapshot();
    void onLinkChanged();
    void onUpgradeEnded(UpgradeSession::Outcome outcome);
    void onVersion();
    void onParams();
    void compareWithSnapshot();

    enum class Stage { Idle, Upgrading, AwaitingController, AwaitingParams };

    AppBridge &m_bridge;
    ParamRestore &m_restore;
    ParamSnapshots m_snapshots;
    ParamFile::Contents m_snapshot;
    QString m_path;
    Stage m_stage = Stage::Idle;
    int m_blocksBeforeRead = 0;
    bool m_offered = false;
};

#include "service/UpgradeSnapshot.h"

#include "bridge/AppBridge.h"
#include "service/LinkReadings.h"
#include "service/ParamRestore.h"
#include "service/ParamWrites.h"

#include <QDir>
#include <QFileInfo>

UpgradeSnapshot::UpgradeSnapshot(AppBridge &bridge, ParamRestore &restore, const QString &folder, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_restore(restore), m_snapshots(folder)
{
    connect(&bridge, &AppBridge::tavoxUpgradingChanged, this, &UpgradeSnapshot::onUpgradingChanged);
    connect(&bridge.upgrade().driver(), &UpgradeDriver::ended, this, &UpgradeSnapshot::onUpgradeEnded);
    connect(&bridge, &AppBridge::tavoxVersionChanged, this, &UpgradeSnapshot::onVersion);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &UpgradeSnapshot::onParams);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &UpgradeSnapshot::onLinkChanged);
    connect(&bridge, &AppBridge::languageChanged, this, &UpgradeSnapshot::changed);
}

void UpgradeSnapshot::onUpgradingChanged()
{
    if (!m_bridge.tavoxUpgrading())
        return;
    m_offered = false;
    m_path.clear();
    m_stage = Stage::Idle;
    if (paramsReadOnThisLink(m_bridge))
        keepSnapshot();
    else
        m_bridge.messages().report(Message::info(QStringLiteral("此次升级没有参数快照：打开串口后尚未读到当前控制器的参数"),
                                                 QStringLiteral("No parameter snapshot for this upgrade: the attached controller's parameters were not read since the port was opened")));
    emit changed();
}

void UpgradeSnapshot::keepSnapshot()
{
    m_snapshot = paramFileContentsOfThisLink(m_bridge);
    QString error;
    m_path = m_snapshots.save(m_snapshot, QDateTime::currentDateTime(), error);
    if (m_path.isEmpty()) {
        m_bridge.messages().report(Message::info(QStringLiteral("无法保存升级前的参数: %1").arg(error),
                                                 QStringLiteral("Could not save the parameters before the upgrade: %1").arg(error)));
        return;
    }
    m_bridge.messages().report({ snapshotSavedText(m_path), {} });
    m_stage = Stage::Upgrading;
}

// A running upgrade ends with its link and says so itself; after it, whatever
// is attached once the port is opened again may be another controller.
void UpgradeSnapshot::onLinkChanged()
{
    const bool afterUpgrade = m_stage == Stage::AwaitingController || m_stage == Stage::AwaitingParams;
    if (!afterUpgrade && !m_offered)
        return;
    m_stage = Stage::Idle;
    m_offered = false;
    m_bridge.messages().report(Message::info(QStringLiteral("串口已关闭或重新打开：不再将控制器的参数与升级前的快照比较或据此恢复；快照仍在 %1").arg(QDir::toNativeSeparators(m_path)),
                                             QStringLiteral("The port was closed or opened again: the controller's parameters are no longer compared with or restored from the snapshot taken before the upgrade; it stays in %1").arg(QDir::toNativeSeparators(m_path))));
    emit changed();
}

void UpgradeSnapshot::onUpgradeEnded(UpgradeSession::Outcome outcome)
{
    if (m_stage != Stage::Upgrading)
        return;
    m_stage = outcome == UpgradeSession::Outcome::Completed ? Stage::AwaitingController : Stage::Idle;
}

// The bridge asks the restarted controller for its versions; its answer is
// the sign that it can be asked for its parameters too. A second version
// answer asks again, should the first read have gone unanswered.
void UpgradeSnapshot::onVersion()
{
    const bool answered = m_bridge.tavoxFirmwareVersion() != QLatin1String("-");
    if (!answered || (m_stage != Stage::AwaitingController && m_stage != Stage::AwaitingParams))
        return;
    if (m_stage == Stage::AwaitingController)
        m_blocksBeforeRead = m_bridge.parameters().blocksReceived();
    m_stage = Stage::AwaitingParams;
    m_bridge.tavoxReadParams();
}

void UpgradeSnapshot::onParams()
{
    if (m_stage != Stage::AwaitingParams || m_bridge.parameters().blocksReceived() <= m_blocksBeforeRead)
        return;
    m_stage = Stage::Idle;
    // After the bridge has reported the block it read.
    QMetaObject::invokeMethod(this, &UpgradeSnapshot::compareWithSnapshot, Qt::QueuedConnection);
}

void UpgradeSnapshot::compareWithSnapshot()
{
    const ParamBlock &now = m_bridge.parameters().block();
    const bool sameForm = paramBlockFormOf(now) == m_snapshot.form;
    if (sameForm && ParamFile::differences(now, m_snapshot.block, m_snapshot.form).isEmpty())
        return;
    m_offered = true;
    m_bridge.messages().report(Message::info(QStringLiteral("升级后参数已改变，可恢复升级前的参数"),
                                             QStringLiteral("The upgrade changed the parameters; those from before it can be restored")));
    emit changed();
}

void UpgradeSnapshot::showRestore()
{
    if (m_offered && m_restore.showContents(m_snapshot, QFileInfo(m_path).fileName()))
        dismiss();
}

void UpgradeSnapshot::dismiss()
{
    if (!m_offered)
        return;
    m_offered = false;
    emit changed();
}

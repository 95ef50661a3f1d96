#include "bridge/UpgradeSnapshot.h"

#include "bridge/AppBridge.h"
#include "bridge/ParamRestore.h"
#include "bridge/ParamWrites.h"

#include <QDir>
#include <QFileInfo>

UpgradeSnapshot::UpgradeSnapshot(AppBridge &bridge, ParamRestore &restore, const QString &folder, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_restore(restore), m_snapshots(folder)
{
    connect(&bridge, &AppBridge::tavoxUpgradingChanged, this, &UpgradeSnapshot::onUpgradingChanged);
    connect(&bridge.upgradeDriver(), &UpgradeDriver::ended, this, &UpgradeSnapshot::onUpgradeEnded);
    connect(&bridge, &AppBridge::tavoxVersionChanged, this, &UpgradeSnapshot::onVersion);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &UpgradeSnapshot::onParams);
    connect(&bridge, &AppBridge::languageChanged, this, &UpgradeSnapshot::changed);
}

void UpgradeSnapshot::onUpgradingChanged()
{
    if (!m_bridge.tavoxUpgrading() || m_bridge.paramBlocksReceived() == 0)
        return;
    m_offered = false;
    m_snapshot = paramFileContentsOf(m_bridge);
    QString error;
    m_path = m_snapshots.save(m_snapshot, QDateTime::currentDateTime(), error);
    const QString shown = QDir::toNativeSeparators(m_path);
    if (m_path.isEmpty()) {
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("无法保存升级前的参数: %1"),
                                                  QStringLiteral("Could not save the parameters before the upgrade: %1")).arg(error));
        m_stage = Stage::Idle;
    } else {
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("升级前的参数已保存到 %1"),
                                                  QStringLiteral("Parameters before the upgrade saved to %1")).arg(shown));
        m_stage = Stage::Upgrading;
    }
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
        m_blocksBeforeRead = m_bridge.paramBlocksReceived();
    m_stage = Stage::AwaitingParams;
    m_bridge.tavoxReadParams();
}

void UpgradeSnapshot::onParams()
{
    if (m_stage != Stage::AwaitingParams || m_bridge.paramBlocksReceived() <= m_blocksBeforeRead)
        return;
    m_stage = Stage::Idle;
    // After the bridge has reported the block it read.
    QMetaObject::invokeMethod(this, &UpgradeSnapshot::compareWithSnapshot, Qt::QueuedConnection);
}

void UpgradeSnapshot::compareWithSnapshot()
{
    const ParamBlock &now = m_bridge.paramBlock();
    const bool sameForm = paramBlockFormOf(now) == m_snapshot.form;
    if (sameForm && ParamFile::differences(now, m_snapshot.block, m_snapshot.form).isEmpty())
        return;
    m_offered = true;
    m_bridge.appendMessage(m_bridge.localized(QStringLiteral("升级后参数已改变，可恢复升级前的参数"),
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

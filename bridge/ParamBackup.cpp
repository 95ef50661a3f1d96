#include "bridge/ParamBackup.h"

#include "bridge/AppBridge.h"
#include "bridge/ParamWrites.h"
#include "device/ParamSnapshots.h"

#include <QDate>
#include <QDir>

ParamBackup::ParamBackup(AppBridge &bridge, QObject *parent)
    : QObject(parent), m_bridge(bridge)
{
    m_resend.setInterval(ResendIntervalMs);
    connect(&m_resend, &QTimer::timeout, this, &ParamBackup::request);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &ParamBackup::onParamsChanged);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, [this] {
        if (!m_busy || m_bridge.serialOpened())
            return;
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("串口已断开，未备份"),
                                         QStringLiteral("The serial port closed; nothing was backed up")));
        finish();
    });
}

QString ParamBackup::suggestedName(const QString &firmwareVersion, const QDate &date)
{
    return QStringLiteral("tavox-params_%1_%2.json")
        .arg(ParamSnapshots::versionForFileName(firmwareVersion), date.toString(QStringLiteral("yyyyMMdd")));
}

void ParamBackup::backUp()
{
    if (m_busy || !m_bridge.tavoxRequireSerial())
        return;
    m_busy = true;
    m_blocksBefore = m_bridge.paramBlocksReceived();
    m_waitedMs = 0;
    emit changed();
    request();
}

void ParamBackup::request()
{
    if (m_waitedMs >= ReadTimeoutMs) {
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("控制器没有回复参数块，未备份"),
                                         QStringLiteral("No parameter block from the controller; nothing was backed up")));
        finish();
        return;
    }
    m_waitedMs += ResendIntervalMs;
    m_resend.start();
    if (m_bridge.tavoxFirmwareVersion() == QLatin1String("-"))
        m_bridge.tavoxQueryVersion();
    m_bridge.tavoxReadParams();
}

void ParamBackup::onParamsChanged()
{
    if (m_busy && m_bridge.paramBlocksReceived() > m_blocksBefore && m_resend.isActive()) {
        m_resend.stop();
        // The dialog runs its own event loop: not from inside the bridge's signal.
        QMetaObject::invokeMethod(this, &ParamBackup::save, Qt::QueuedConnection);
    }
}

void ParamBackup::save()
{
    const ParamFile::Contents contents = paramFileContentsOf(m_bridge);
    const QString suggested = QDir::home().filePath(suggestedName(contents.firmwareVersion, QDate::currentDate()));
    const QString path = m_chooseFile ? m_chooseFile(FileDialogMode::Save,
                                                     m_bridge.localized(QStringLiteral("备份参数"), QStringLiteral("Back up parameters")),
                                                     suggested, m_bridge.localized(QStringLiteral("参数文件 (*.json)"),
                                                                          QStringLiteral("Parameter files (*.json)")))
                                      : QString();
    if (path.isEmpty()) {
        finish();
        return;
    }
    QString error;
    const QString shown = QDir::toNativeSeparators(path);
    if (ParamFile::save(path, contents, error)) {
        m_lastPath = path;
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("参数已备份到 %1"), QStringLiteral("Parameters backed up to %1")).arg(shown));
    } else {
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("无法写入 %1: %2"), QStringLiteral("Cannot write %1: %2")).arg(shown, error));
    }
    finish();
}

void ParamBackup::finish()
{
    m_resend.stop();
    m_busy = false;
    emit changed();
}

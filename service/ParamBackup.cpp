#include "service/ParamBackup.h"

#include "bridge/AppBridge.h"
#include "service/LinkReadings.h"
#include "service/ParamWrites.h"
#include "device/ParamSnapshots.h"

#include <QDate>
#include <QDir>

ParamBackup::ParamBackup(AppBridge &bridge, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_read(bridge)
{
    connect(&m_read, &ParamReadBack::asking, this, [this] {
        if (firmwareReadOnThisLink(m_bridge) == QLatin1String("-"))
            m_bridge.tavoxQueryVersion();
    });
    // Queued by the read back: the dialog's own event loop never runs inside the bridge's signal.
    connect(&m_read, &ParamReadBack::arrived, this, &ParamBackup::save);
    connect(&m_read, &ParamReadBack::timedOut, this, [this] {
        m_bridge.messages().report(Message::info(QStringLiteral("控制器没有回复参数块，未备份"),
                                                 QStringLiteral("No parameter block from the controller; nothing was backed up")));
        finish();
    });
    connect(&bridge, &AppBridge::serialOpenedChanged, this, [this] {
        if (!m_busy || m_bridge.serialOpened())
            return;
        m_bridge.messages().report(Message::info(QStringLiteral("串口已断开，未备份"),
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
    emit changed();
    m_read.start(ReadTimeoutMs);
}

void ParamBackup::save()
{
    // The port may have closed between the block and this queued call; that was reported already.
    if (!m_busy)
        return;
    const ParamFile::Contents contents = paramFileContentsOfThisLink(m_bridge);
    const QString suggested = QDir(paramFileFolder()).filePath(suggestedName(contents.firmwareVersion, QDate::currentDate()));
    const QString title = m_bridge.languageSetting().localized(QStringLiteral("备份参数"), QStringLiteral("Back up parameters"));
    const TextPair filter = paramFileFilter();
    const QString path = m_chooseFile
        ? m_chooseFile(FileDialogMode::Save, title, suggested, m_bridge.languageSetting().localized(filter.zh, filter.en))
        : QString();
    if (path.isEmpty()) {
        finish();
        return;
    }
    QString error;
    const QString shown = QDir::toNativeSeparators(path);
    if (ParamFile::save(path, contents, error)) {
        m_lastPath = path;
        rememberParamFileFolder(m_bridge, path);
        m_bridge.messages().report(Message::info(QStringLiteral("参数已备份到 %1").arg(shown),
                                                 QStringLiteral("Parameters backed up to %1").arg(shown)));
    } else {
        m_bridge.messages().report(Message::info(QStringLiteral("无法写入 %1: %2").arg(shown, error),
                                                 QStringLiteral("Cannot write %1: %2").arg(shown, error)));
    }
    finish();
}

void ParamBackup::finish()
{
    m_read.stop();
    m_busy = false;
    emit changed();
}

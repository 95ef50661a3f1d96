#include "bridge/DiagnosticsExport.h"

#include "app/Config.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "bridge/ParamWrites.h"
#include "log/AppLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <zip.h>

namespace {
// A log file is rotated at 1 MiB; anything far bigger is not read whole.
const qint64 MaxEntryBytes = 16 * 1024 * 1024;

bool readWhole(const QString &path, QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxEntryBytes)
        return false;
    data = file.readAll();
    return true;
}

QString zipError(zip_t *archive)
{
    return QString::fromUtf8(zip_strerror(archive));
}

QString openError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// libzip writes the archive to a temporary file beside `path` and renames it
// only when everything is in, so a failure leaves an earlier file untouched.
bool writeZip(const QString &path, const QVector<DiagnosticsExport::Entry> &entries, QString &error)
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        error = openError(code);
        return false;
    }
    for (const DiagnosticsExport::Entry &entry : entries) {
        zip_source_t *source = zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        if (!source || zip_file_add(archive, entry.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            error = zipError(archive);
            if (source)
                zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        error = zipError(archive);
        zip_discard(archive);
        return false;
    }
    return true;
}
}

DiagnosticsExport::DiagnosticsExport(AppBridge &bridge, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_logFilePath(appLogFilePath()), m_configFilePath(configFilePath())
{
}

QString DiagnosticsExport::suggestedName(const QDateTime &time)
{
    return QStringLiteral("tavox-diagnostics_%1.zip").arg(time.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QByteArray DiagnosticsExport::versionsText() const
{
    const bool open = m_bridge.serialOpened();
    QStringList lines {
        QStringLiteral("tool: %1").arg(tavoxVersion()),
        QStringLiteral("firmware: %1").arg(m_bridge.tavoxFirmwareVersion()),
        QStringLiteral("boot: %1").arg(m_bridge.tavoxBootVersion()),
        QStringLiteral("qt: %1").arg(QString::fromLatin1(qVersion())),
        QStringLiteral("system: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture()),
        QStringLiteral("port: %1").arg(open ? m_bridge.portName() : QStringLiteral("closed")),
        QStringLiteral("parameterBlocks: %1").arg(m_bridge.paramBlocksReceived()),
        QStringLiteral("exported: %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)),
    };
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}

QVector<DiagnosticsExport::Entry> DiagnosticsExport::entries() const
{
    QVector<Entry> entries {{QStringLiteral("versions.txt"), versionsText()}};
    if (m_bridge.paramBlocksReceived() > 0)
        entries.append({QStringLiteral("parameters.json"), ParamFile::toJson(paramFileContentsOf(m_bridge))});
    QByteArray data;
    if (!m_configFilePath.isEmpty() && readWhole(m_configFilePath, data))
        entries.append({QStringLiteral("zentaro.cfg"), data});
    if (m_logFilePath.isEmpty())
        return entries;
    const QFileInfo log(m_logFilePath);
    // The file and the older generations the log keeps beside it: name.0 (the most recent), name.1 …
    QStringList names {log.fileName()};
    names += log.dir().entryList({log.fileName() + QStringLiteral(".[0-9]*")}, QDir::Files, QDir::Name);
    for (const QString &name : qAsConst(names)) {
        if (readWhole(log.dir().filePath(name), data))
            entries.append({QStringLiteral("logs/") + name, data});
    }
    return entries;
}

bool DiagnosticsExport::writeArchive(const QString &path, QString &error) const
{
    return writeZip(path, entries(), error);
}

void DiagnosticsExport::exportArchive()
{
    if (!m_chooseFile)
        return;
    const QString suggested = QDir::home().filePath(suggestedName(QDateTime::currentDateTime()));
    const QString title = m_bridge.localized(QStringLiteral("导出诊断包"), QStringLiteral("Export diagnostics"));
    const QString filter = m_bridge.localized(QStringLiteral("Zip 压缩包 (*.zip)"), QStringLiteral("Zip archives (*.zip)"));
    const QString path = m_chooseFile(FileDialogMode::Save, title, suggested, filter);
    if (!path.isEmpty())
        exportTo(path);
}

bool DiagnosticsExport::exportTo(const QString &path)
{
    QString error;
    const QString shown = QDir::toNativeSeparators(path);
    if (!writeArchive(path, error)) {
        m_bridge.appendMessage(m_bridge.localized(QStringLiteral("无法导出诊断包 %1: %2"),
                                                  QStringLiteral("Could not export diagnostics to %1: %2")).arg(shown, error));
        return false;
    }
    m_bridge.appendMessage(m_bridge.localized(QStringLiteral("诊断包已导出到 %1"), QStringLiteral("Diagnostics exported to %1")).arg(shown));
    return true;
}

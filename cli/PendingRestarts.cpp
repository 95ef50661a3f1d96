#include "cli/PendingRestarts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {
const QString PortKey = QStringLiteral("port");
const QString DeviceKey = QStringLiteral("device");
const QString WritesKey = QStringLiteral("writes");

struct RestartingWrite
{
    ParamWrite write;
    QString name;
};

const QVector<RestartingWrite> &restartingWrites()
{
    static const QVector<RestartingWrite> all = {
        {ParamWrite::SbusChannels, QStringLiteral("sbusChannels")},
        {ParamWrite::PwmChannels, QStringLiteral("pwmChannels")},
        {ParamWrite::CrsfChannels, QStringLiteral("crsfChannels")},
        {ParamWrite::Torque, QStringLiteral("torque")},
    };
    return all;
}

bool formHas(ParamBlockForm form, ParamWrite write)
{
    return write != ParamWrite::CrsfChannels || form == ParamBlockForm::Crsf;
}

// A bare name (ttyUSB0) is a device under /dev, as for the serial port itself.
QString portPath(const QString &port)
{
    return QFileInfo(port.contains(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port).absoluteFilePath();
}

QString devicePath(const QString &portPath)
{
    const QString canonical = QFileInfo(portPath).canonicalFilePath();
    return canonical.isEmpty() ? portPath : canonical;
}

QJsonObject readRecord(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}
}

PendingRestarts::PendingRestarts(const QString &folder, const QString &port)
    : m_folder(folder), m_port(portPath(port)), m_device(devicePath(m_port))
{
    m_path = QDir(folder).filePath(m_port.mid(1).replace(QLatin1Char('/'), QLatin1Char('_')) + QStringLiteral(".json"));
    readAll();
}

void PendingRestarts::readAll()
{
    if (QFile::exists(m_path))
        read(m_path);
    for (const QFileInfo &file : QDir(m_folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
        const QJsonObject record = readRecord(file.filePath());
        const bool samePort = record.value(PortKey).toString() == m_port || record.value(DeviceKey).toString() == m_device;
        if (file.filePath() != m_path && samePort) {
            m_found.append(file.filePath());
            read(file.filePath());
        }
    }
}

// Its own record unreadable, the port is taken to owe every restart.
void PendingRestarts::read(const QString &path)
{
    const QJsonArray names = readRecord(path).value(WritesKey).toArray();
    m_unreadable = m_unreadable || (names.isEmpty() && path == m_path);
    for (const QJsonValue &name : names) {
        const auto known = std::find_if(restartingWrites().begin(), restartingWrites().end(),
                                        [&](const RestartingWrite &each) { return each.name == name.toString(); });
        if (known == restartingWrites().end())
            m_unreadable = true;
        else
            m_writes.append(known->write);
    }
}

QVector<ParamWrite> PendingRestarts::writesFor(ParamBlockForm form) const
{
    QVector<ParamWrite> writes;
    for (const RestartingWrite &each : restartingWrites()) {
        if ((m_unreadable || m_writes.contains(each.write)) && formHas(form, each.write))
            writes.append(each.write);
    }
    return writes;
}

bool PendingRestarts::save(const QVector<ParamWrite> &writes, QString &error) const
{
    if (!removeOthers(error))
        return false;
    if (writes.isEmpty()) {
        if (!QFile::exists(m_path) || QFile::remove(m_path))
            return true;
        error = QStringLiteral("cannot remove %1").arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    QJsonArray names;
    for (const RestartingWrite &each : restartingWrites()) {
        if (writes.contains(each.write))
            names.append(each.name);
    }
    const QJsonObject record{{PortKey, m_port}, {DeviceKey, m_device}, {WritesKey, names}};
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(record).toJson()) >= 0 && file.commit())
        return true;
    error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), file.errorString());
    return false;
}

// What the port's records under other names held is the port's own record's now.
bool PendingRestarts::removeOthers(QString &error) const
{
    for (const QString &other : m_found) {
        if (QFile::exists(other) && !QFile::remove(other)) {
            error = QStringLiteral("cannot remove %1").arg(QDir::toNativeSeparators(other));
            return false;
        }
    }
    return true;
}

#pragma once

#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"

#include <QString>
#include <QStringList>

class DeviceSession;
class PendingRestarts;

// info and params get/save/diff/load. Each runs against a session whose port
// is not yet open, and returns the exit code.
class ParamsCommands
{
public:
    ParamsCommands(DeviceSession &session, const QString &port, int baud);

    int info(bool json);
    int get(bool json);
    int save(const QString &path);
    int diff(const QString &path);
    int load(const QString &path, bool dryRun, bool yes);

private:
    int connectAndRead();
    ParamFile::Contents deviceContents() const;
    bool readFile(const QString &path, ParamFile::Contents &contents) const;
    bool matchesDeviceForm(const QString &path, const ParamFile::Contents &contents) const;
    int targetOf(const QString &path, ParamBlock &target);
    void printBlock(const ParamFile::Contents &contents) const;
    void printChanges(const QVector<ParamFile::Change> &changes) const;
    void announceUnreadable(const PendingRestarts &pending) const;
    void announceForeign(const PendingRestarts &pending) const;
    void announceRepairs(const QVector<ParamWrite> &repairs, const QString &recordPath) const;
    QStringList loadCommand(const QString &path, bool yes) const;
    int allowedToRestart(const QVector<ParamWrite> &writes, bool yes);

    DeviceSession &m_session;
    QString m_port;
    int m_baud;
};

#pragma once

#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The writes of `params load` that restart the controller (a receiver's
// channels, then Activate and Reboot; the torques, then Reboot) and whose
// restart may not have reached it. A channel value written but not activated
// reads back as written, so the controller itself cannot tell a later load
// what is missing: the load writes its restarting writes down before the first
// write goes out and crosses each off once its restart has gone out, in a file
// per port in the data folder. A load stopped at once (a second Ctrl-C, a lost
// port, a killed program) leaves them written down, and the next load on that
// port writes them again with their activation and restart, even where the
// controller already reports the file's values.
//
// A port is known by the path given and by the device it leads to, so that a
// record made through /dev/serial/by-id/… is found through /dev/ttyUSB0 and the
// other way round, and a by-id link still finds it once a replugged adapter
// has come back as another ttyUSB.
class PendingRestarts
{
public:
    PendingRestarts(const QString &folder, const QString &port);

    // Those written down for the port that a controller of `form` has; every
    // restarting write of `form` when the port's record cannot be read.
    QVector<ParamWrite> writesFor(ParamBlockForm form) const;
    // Replaces what is written down for the port; an empty list removes it.
    // False, with `error` set, when it cannot be written.
    bool save(const QVector<ParamWrite> &writes, QString &error) const;
    // The port's own record file.
    QString path() const { return m_path; }

private:
    void readAll();
    void read(const QString &path);
    bool removeOthers(QString &error) const;

    QString m_folder;
    QString m_port;
    QString m_device;
    QString m_path;
    QStringList m_found; // the records of the port under other names
    QVector<ParamWrite> m_writes;
    bool m_unreadable = false;
};

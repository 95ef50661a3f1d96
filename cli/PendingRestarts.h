#pragma once

#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <sys/types.h>

class QJsonArray;
class QJsonObject;

// The writes of `params load` that restart the controller (a receiver's
// channels, then Activate and Reboot; the torques, then Reboot) and whose
// restart may not have reached it. A channel value written but not activated
// reads back as written, so the controller itself cannot tell a later load
// what is missing: the load writes its restarting writes down before the first
// write goes out and crosses each off once its restart has gone out. A load
// stopped at once (a second Ctrl-C, a lost port, a killed program) leaves them
// written down, and the next load on that port writes them again with their
// activation and restart, even where the controller already reports the
// file's values.
//
// What is owed belongs to one controller on one line: a record is kept per
// device number (st_rdev, so that every name of the line finds it) and per
// controller (the firmware and boot versions it answers with), and it names
// the port as it was meant, so that a by-id link still finds it once a
// replugged adapter has come back as another ttyUSB. What is owed to another
// controller is never made to the one answering, and stays written down.
//
// A record is read without following a link or waiting on a pipe, and only
// as a small regular file; anything else cannot be read, and the port then
// owes every restart. It is written whole, in place of a link, never through one.
class PendingRestarts
{
public:
    // A controller as the version query tells it.
    struct Controller
    {
        QString firmware;
        QString boot;
    };
    // Restarts owed on the port to a controller other than the one answering.
    struct Foreign
    {
        Controller controller;
        QString command; // the load that repairs them, as a command line
        QString path;    // the record
    };

    // `port` as given; `command` the load that makes what this one leaves owed.
    PendingRestarts(const QString &folder, const QString &port, const Controller &controller, const QString &command);

    // Those written down for the port and this controller that a controller of
    // `form` has; every restarting write of `form` when its record cannot be read.
    QVector<ParamWrite> writesFor(ParamBlockForm form) const;
    // Replaces what is written down for the port and this controller; an empty
    // list removes it. False, with `error` set, when it cannot be written.
    bool save(const QVector<ParamWrite> &writes, QString &error) const;
    // This controller's record on the port.
    QString path() const { return m_path; }
    // Why the record cannot be read; empty when it can, or there is none.
    QString unreadable() const { return m_unreadable; }
    const QVector<Foreign> &foreign() const { return m_foreign; }

private:
    void readAll();
    void readOwn();
    void readOther(const QString &path);
    bool addWrites(const QJsonArray &names);
    bool removeAbsorbed(QString &error) const;

    QString m_folder;
    QString m_port;     // the path the port's name was read as
    dev_t m_device = 0;
    Controller m_controller;
    QString m_command;
    QString m_path;
    QStringList m_absorbed; // this controller's records of the port under another device
    QVector<ParamWrite> m_writes;
    QString m_unreadable;
    QVector<Foreign> m_foreign;
};

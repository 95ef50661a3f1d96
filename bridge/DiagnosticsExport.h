#pragma once

#include "bridge/FileChooser.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

class AppBridge;

// "Export diagnostics": one zip with what a service engineer asks for first:
// the session's log file and its rotations, the last parameter block as a
// parameter file, the versions of tool and controller, and the configuration
// file.
class DiagnosticsExport : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QString name;
        QByteArray data;
    };

    explicit DiagnosticsExport(AppBridge &bridge, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // The session's log file unless told otherwise.
    void setLogFilePath(const QString &path) { m_logFilePath = path; }
    void setConfigFilePath(const QString &path) { m_configFilePath = path; }

    // "tavox-diagnostics_20261207-013012.zip"
    static QString suggestedName(const QDateTime &time);

    // What goes into the archive, in its order.
    QVector<Entry> entries() const;
    // Writes the archive whole or, on failure, leaves any earlier file as it was.
    bool writeArchive(const QString &path, QString &error) const;

    // Asks where, then writes and reports in the message log.
    Q_INVOKABLE void exportArchive();
    // The same without the dialog.
    Q_INVOKABLE bool exportTo(const QString &path);

private:
    QByteArray versionsText() const;

    AppBridge &m_bridge;
    FileChooser m_chooseFile;
    QString m_logFilePath;
    QString m_configFilePath;
};

#pragma once

#include "service/FileChooser.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class AppBridge;
class LinkEvents;
class SessionMessages;

// "Export diagnostics": one zip with what a service engineer asks for first:
// the session's log file and its rotations, the newest logs earlier versions
// left in their folder, the session's message log and
// link events, the last parameter block as a parameter file, the versions of
// tool and controller, the configuration file, and the recordings of the link:
// this session's and the newest earlier ones. Only regular files are read, never more than MaxFileBytes of one, so
// a FIFO, a device or a huge file in their place cannot stall or swamp the
// window; what is left out or cut is named in omitted.txt and in the message.
class DiagnosticsExport : public QObject
{
    Q_OBJECT

public:
    // The log rotates at 1 MiB and stops at 2 MiB, so a larger file is not the tool's own.
    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;
    // What the recordings may take together: an hour or so of heartbeats at 200 Hz, so the
    // session asked about and the ones just before it go in, and the archive still travels by mail.
    static constexpr qint64 MaxRecordingBytes = 64 * 1024 * 1024;

    struct Entry
    {
        QString name;
        QByteArray data;
    };

    // A file that is not in the archive whole.
    struct Omission
    {
        enum Reason { Fifo, Device, Directory, NotRegular, Unreadable, Cut, OverRecordingBound };

        QString name;   // its name in the archive
        QString path;
        Reason reason = NotRegular;
        qint64 fileBytes = 0;  // Cut: its size as far as it was read
        QString systemError;   // Unreadable
    };

    struct Contents
    {
        QVector<Entry> entries;   // in the archive's order
        QVector<Omission> omissions;
    };

    explicit DiagnosticsExport(AppBridge &bridge, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // The session's log file unless told otherwise.
    void setLogFilePath(const QString &path) { m_logFilePath = path; }
    // Where earlier versions kept their logs, unless told otherwise; empty: nowhere else.
    void setEarlierLogFolder(const QString &folder) { m_earlierLogFolder = folder; }
    void setConfigFilePath(const QString &path) { m_configFilePath = path; }
    // Kept by the window for as long as it runs; without them the archive has no session/ folder.
    void setSessionRecords(const SessionMessages *messages, const LinkEvents *linkEvents);
    // The sessions folder, and a call that brings the recording being written to disk. Without them the
    // archive has no recordings/ folder.
    void setRecordings(const QString &sessionsFolder, std::function<void()> flushRecording);

    // "tavox-diagnostics_20261207-013012.zip"
    static QString suggestedName(const QDateTime &time);

    // What goes into the archive, and what could not go in whole.
    Contents contents() const;

    // Asks where, then writes and reports in the message log.
    Q_INVOKABLE void exportArchive();
    // The same without the dialog. An archive that cannot be written leaves any earlier file as it was.
    Q_INVOKABLE bool exportTo(const QString &path);

private:
    QByteArray versionsText() const;
    QStringList logFilePaths() const;
    QStringList earlierLogPaths() const;
    void addRecordings(Contents &contents) const;
    QString exportedMessage(const QString &shownPath, const QVector<Omission> &omissions) const;

    AppBridge &m_bridge;
    FileChooser m_chooseFile;
    QString m_logFilePath;
    QString m_earlierLogFolder;
    QString m_configFilePath;
    const SessionMessages *m_sessionMessages = nullptr;
    const LinkEvents *m_linkEvents = nullptr;
    QString m_sessionsFolder;
    std::function<void()> m_flushRecording;
};

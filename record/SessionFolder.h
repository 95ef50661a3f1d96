#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

// The sessions folder: one recording per opened link, named
// `<yyyyMMdd-HHmmss>_<port>.pcapng` with its `.tsv` beside it. Only files of
// that pattern are ever listed or removed; anything else in the folder is the
// user's and stays.
class SessionFolder
{
public:
    struct Session
    {
        QString recording;   // the .pcapng
        QString notes;       // the .tsv beside it; empty when there is none
        QDateTime start;
        qint64 bytes = 0;    // both files
    };

    explicit SessionFolder(QString path);

    // `20261208-141503_ttyUSB0`: the port's path reduced to a file-name-safe last component.
    static QString sessionName(const QDateTime &start, const QString &portName);
    // The .pcapng path for a new session, unique in the folder (a suffix when two start in one second).
    QString newRecordingPath(const QDateTime &start, const QString &portName) const;
    // The .tsv beside a recording: its name with .pcapng (when it ends so) replaced by .tsv.
    static QString notesPathFor(const QString &recordingPath);

    // The tool's own sessions, newest first.
    QVector<Session> sessions() const;
    // Removes the oldest sessions until at most `maxSessions` remain and they
    // take at most `maxBytes`; `keep` (the recording being written) is never removed.
    void prune(int maxSessions, qint64 maxBytes, const QString &keep) const;

    QString path() const { return m_path; }

private:
    // Newest first, without their start.
    QVector<Session> sessionsUndated() const;

    QString m_path;
};

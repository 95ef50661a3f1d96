#include "record/SessionFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

#include <sys/stat.h>

namespace {
const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QString RecordingSuffix = QStringLiteral(".pcapng");
const QString NotesSuffix = QStringLiteral(".tsv");

// `<stamp>_<port>.pcapng`, the port reduced to letters, digits, '.', '_' and '-'.
const QRegularExpression &ownRecording()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{8}-\\d{6})_[A-Za-z0-9._-]+\\.pcapng$"));
    return pattern;
}

qint64 modifiedNs(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

}

SessionFolder::SessionFolder(QString path)
    : m_path(std::move(path))
{
}

QString SessionFolder::sessionName(const QDateTime &start, const QString &portName)
{
    const QFileInfo path(portName);
    QString port = path.fileName();
    // /dev/pts/3 says little as "3": "pts-3".
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    if (number.match(port).hasMatch())
        port.prepend(QFileInfo(path.path()).fileName() + QLatin1Char('-'));
    port.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (port.isEmpty() || port.startsWith(QLatin1Char('.')))
        port.prepend(QStringLiteral("port"));
    return start.toString(StampFormat) + QLatin1Char('_') + port;
}

QString SessionFolder::notesPathFor(const QString &recordingPath)
{
    const QString base = recordingPath.endsWith(RecordingSuffix) ? recordingPath.chopped(RecordingSuffix.size())
                                                                 : recordingPath;
    return base + NotesSuffix;
}

QString SessionFolder::newRecordingPath(const QDateTime &start, const QString &portName) const
{
    const QString name = m_path + QLatin1Char('/') + sessionName(start, portName);
    QString path = name + RecordingSuffix;
    for (int count = 2; QFileInfo::exists(path) || QFileInfo::exists(notesPathFor(path)); ++count)
        path = name + QStringLiteral("-%1").arg(count) + RecordingSuffix;
    return path;
}

QVector<SessionFolder::Session> SessionFolder::sessions() const
{
    QVector<Session> sessions = sessionsUndated();
    for (Session &session : sessions) {
        const QRegularExpressionMatch match = ownRecording().match(QFileInfo(session.recording).fileName());
        session.start = QDateTime::fromString(match.captured(1), StampFormat);
    }
    return sessions;
}

// One listing and the sizes it brought, and no local time: the recorder looks
// at the folder on every start, a folder at its bound holds a hundred files,
// and each conversion to local time reads the system's zone again.
QVector<SessionFolder::Session> SessionFolder::sessionsUndated() const
{
    struct Found
    {
        QString stamp;   // sorts as the start does
        qint64 modifiedNs;
        Session session;
    };
    const QFileInfoList files = QDir(m_path).entryInfoList({QLatin1Char('*') + RecordingSuffix, QLatin1Char('*') + NotesSuffix},
                                                           QDir::Files);
    QHash<QString, qint64> notesBytes;
    for (const QFileInfo &file : files) {
        if (file.fileName().endsWith(NotesSuffix))
            notesBytes.insert(file.filePath(), file.size());
    }
    QVector<Found> found;
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = ownRecording().match(file.fileName());
        if (!match.hasMatch())
            continue;
        Session session;
        session.recording = file.filePath();
        const QString notes = notesPathFor(session.recording);
        session.notes = notesBytes.contains(notes) ? notes : QString();
        session.bytes = file.size() + notesBytes.value(notes);
        found.append({match.captured(1), modifiedNs(session.recording), session});
    }
    // Two sessions begun in the same second are told apart by which was written last.
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.modifiedNs > b.modifiedNs;
    });
    QVector<Session> sessions;
    sessions.reserve(found.size());
    for (const Found &each : found)
        sessions.append(each.session);
    return sessions;
}

void SessionFolder::prune(int maxSessions, qint64 maxBytes, const QString &keep) const
{
    QVector<Session> all = sessionsUndated();
    int count = all.size();
    qint64 bytes = 0;
    for (const Session &session : all)
        bytes += session.bytes;
    const QString kept = QFileInfo(keep).absoluteFilePath();
    for (auto oldest = all.crbegin(); oldest != all.crend() && (count > maxSessions || bytes > maxBytes); ++oldest) {
        if (QFileInfo(oldest->recording).absoluteFilePath() == kept)
            continue;
        QFile::remove(oldest->recording);
        if (!oldest->notes.isEmpty())
            QFile::remove(oldest->notes);
        --count;
        bytes -= oldest->bytes;
    }
}

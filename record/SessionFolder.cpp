#include "record/SessionFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

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

qint64 sizeOf(const QString &path)
{
    return QFileInfo(path).size();
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
    QVector<Session> found;
    const QFileInfoList files = QDir(m_path).entryInfoList({QLatin1Char('*') + RecordingSuffix}, QDir::Files);
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = ownRecording().match(file.fileName());
        if (!match.hasMatch())
            continue;
        Session session;
        session.recording = file.filePath();
        session.notes = QFileInfo::exists(notesPathFor(session.recording)) ? notesPathFor(session.recording) : QString();
        session.start = QDateTime::fromString(match.captured(1), StampFormat);
        session.bytes = file.size() + (session.notes.isEmpty() ? 0 : sizeOf(session.notes));
        found.append(session);
    }
    // Two sessions begun in the same second are told apart by which was written last.
    std::sort(found.begin(), found.end(), [](const Session &a, const Session &b) {
        if (a.start != b.start)
            return a.start > b.start;
        return QFileInfo(a.recording).lastModified() > QFileInfo(b.recording).lastModified();
    });
    return found;
}

void SessionFolder::prune(int maxSessions, qint64 maxBytes, const QString &keep) const
{
    QVector<Session> all = sessions();
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

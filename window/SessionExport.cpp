#include "window/SessionExport.h"

#include "bridge/AppBridge.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QUrl>

namespace {
// Copied in pieces, so that a long session is never held in memory whole. Unbuffered, each write reaches the
// file at once and a full disk fails the write that met it; the copy takes the name only when it is complete.
bool copyWhole(const QString &from, const QString &to, QString &error)
{
    QFile source(from);
    QSaveFile target(to);
    if (!source.open(QIODevice::ReadOnly)) {
        error = source.errorString();
        return false;
    }
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = target.errorString();
        return false;
    }
    const qint64 ChunkBytes = 1 << 20;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(ChunkBytes);
        if (source.error() != QFile::NoError || target.write(chunk) != chunk.size()) {
            error = source.error() != QFile::NoError ? source.errorString() : target.errorString();
            target.cancelWriting();
            return false;
        }
    }
    if (target.commit())
        return true;
    error = target.errorString();
    return false;
}

// The port as the recording's name keeps it: what follows the time stamp.
QString portOf(const SessionFolder::Session &session)
{
    return QFileInfo(session.recording).completeBaseName().section(QLatin1Char('_'), 1);
}
}

SessionExport::SessionExport(AppBridge &bridge, const QString &folder, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_folder(folder)
{
}

QVariantList SessionExport::sessions() const
{
    QVariantList list;
    const QLocale locale;
    for (const SessionFolder::Session &session : m_sessions) {
        list.append(QVariantMap {{QStringLiteral("start"), session.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                                 {QStringLiteral("port"), portOf(session)},
                                 {QStringLiteral("size"), locale.formattedDataSize(session.bytes)}});
    }
    return list;
}

void SessionExport::refresh()
{
    m_sessions = m_folder.sessions();
    emit sessionsChanged();
}

void SessionExport::openFolder()
{
    const QString shown = QDir::toNativeSeparators(m_folder.path());
    if (!QDir().mkpath(m_folder.path()))
        m_bridge.messages().report(Message::error(QStringLiteral("无法创建录制文件夹 %1").arg(shown),
                                                 QStringLiteral("Could not create the sessions folder %1").arg(shown)));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder.path())))
        m_bridge.messages().report(Message::error(QStringLiteral("没有可打开录制文件夹 %1 的程序").arg(shown),
                                                 QStringLiteral("No program could open the sessions folder %1").arg(shown)));
}

void SessionExport::exportSession(int index)
{
    if (index < 0 || index >= m_sessions.size() || !m_chooseFile)
        return;
    const SessionFolder::Session session = m_sessions.at(index);
    const Language &language = m_bridge.languageSetting();
    const QString path = m_chooseFile(FileDialogMode::Save, language.localized(QStringLiteral("导出录制"), QStringLiteral("Export session")),
                                      QDir::home().filePath(QFileInfo(session.recording).fileName()),
                                      language.localized(QStringLiteral("pcapng 录制 (*.pcapng)"), QStringLiteral("pcapng recordings (*.pcapng)")));
    if (!path.isEmpty())
        exportTo(session, path);
}

bool SessionExport::exportTo(const SessionFolder::Session &session, const QString &path)
{
    if (m_flushRecording)
        m_flushRecording();
    QString error;
    if (!copyWhole(session.recording, path, error)) {
        reportFailure(QDir::toNativeSeparators(path), error);
        return false;
    }
    const QString notes = SessionFolder::notesPathFor(path);
    if (!session.notes.isEmpty() && !copyWhole(session.notes, notes, error)) {
        reportFailure(QDir::toNativeSeparators(notes), error);
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    m_bridge.messages().report(Message::success(QStringLiteral("录制已导出到 %1").arg(shown),
                                               QStringLiteral("Session exported to %1").arg(shown)));
    return true;
}

void SessionExport::reportFailure(const QString &shownPath, const QString &error)
{
    m_bridge.messages().report(Message::error(QStringLiteral("无法导出录制到 %1: %2").arg(shownPath, error),
                                             QStringLiteral("Could not export the session to %1: %2").arg(shownPath, error)));
}

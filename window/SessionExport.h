#pragma once

#include "record/SessionFolder.h"
#include "service/FileChooser.h"

#include <QObject>
#include <QVariantList>

#include <functional>

class AppBridge;

// The recordings of the link in the service bar: "打开录制文件夹" / "Open
// sessions folder" shows the folder in the desktop's file manager; "导出录制…"
// / "Export session…" lists the sessions, newest first, and copies the chosen
// one's .pcapng, with the .tsv of its messages and link events beside it,
// where the operator says.
class SessionExport : public QObject
{
    Q_OBJECT
    // One map per session, newest first: start (local time), port, size (for the operator).
    Q_PROPERTY(QVariantList sessions READ sessions NOTIFY sessionsChanged)

public:
    SessionExport(AppBridge &bridge, const QString &folder, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // Puts what the recorder still holds on disk, so a copy of the session being recorded ends where it stands.
    void setFlushRecording(std::function<void()> flush) { m_flushRecording = std::move(flush); }

    QVariantList sessions() const;
    // Reads the folder again (when the list is about to be shown).
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void openFolder();
    // Asks where, then copies session `index` of the list and reports in the message log.
    Q_INVOKABLE void exportSession(int index);
    // The same without the dialog: the recording to `path`, its notes to the same name ending in .tsv.
    bool exportTo(const SessionFolder::Session &session, const QString &path);

signals:
    void sessionsChanged();

private:
    void reportFailure(const QString &path, const QString &error);

    AppBridge &m_bridge;
    SessionFolder m_folder;
    FileChooser m_chooseFile;
    std::function<void()> m_flushRecording;
    QVector<SessionFolder::Session> m_sessions;
};

#include "record/SessionRecorder.h"

#include "app/Config.h"
#include "app/StandardLocations.h"
#include "device/MessageSink.h"
#include "log/TabSeparated.h"
#include "record/LinkRecorder.h"
#include "record/SessionFolder.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {
const qint64 MiB = 1024 * 1024;
}

RecordingSettings RecordingSettings::stored()
{
    const RecordingSettings defaults;
    RecordingSettings settings;
    settings.enabled = readRecordingEnabled();
    settings.maxSessions = readRecordingMaxSessions(defaults.maxSessions);
    settings.maxBytes = readRecordingMaxMiB(int(defaults.maxBytes / MiB)) * MiB;
    settings.fullUpgrade = readRecordingFullUpgrade();
    return settings;
}

SessionRecorder::SessionRecorder(MessageSink &messages, const QString &folder, const RecordingSettings &settings,
                                 QObject *parent)
    : QObject(parent)
    , m_messages(messages)
    , m_folder(folder)
    , m_settings(settings)
{
}

SessionRecorder::~SessionRecorder()
{
    // Each one finishes its file before it goes.
    qDeleteAll(findChildren<LinkRecorder *>(QString(), Qt::FindDirectChildrenOnly));
}

QString SessionRecorder::defaultFolder()
{
    return dataDirectory() + QStringLiteral("/sessions");
}

void SessionRecorder::setTargetFile(const QString &path)
{
    m_targetFile = path;
}

bool SessionRecorder::recording() const
{
    return m_recorder && !m_recorderStopped;
}

void SessionRecorder::note(const QDateTime &time, const QString &source, const QString &kind, const QString &text)
{
    if (m_recorder)
        m_recorder->takeNote(tabSeparated({isoLocalTime(time), source, kind, text}));
}

bool SessionRecorder::flush(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    bool whole = true;
    for (LinkRecorder *recorder : findChildren<LinkRecorder *>(QString(), Qt::FindDirectChildrenOnly))
        whole = recorder->flush(int(deadline.remainingTime())) && whole;
    return whole;
}

void SessionRecorder::linkOpened(const QString &portName, int baudRate)
{
    linkClosed();
    if (!m_settings.enabled && m_targetFile.isEmpty())
        return;
    LinkRecorder::Target target;
    target.portName = portName;
    target.baudRate = baudRate;
    target.fullUpgrade = m_settings.fullUpgrade;
    if (m_targetFile.isEmpty()) {
        // A folder that cannot be made shows when the file cannot be opened in it.
        QDir().mkpath(m_folder);
        target.recording = SessionFolder(m_folder).newRecordingPath(QDateTime::currentDateTime(), portName);
        target.notes = SessionFolder::notesPathFor(target.recording);
        target.pruneFolder = m_folder;
        target.maxSessions = m_settings.maxSessions;
        target.maxBytes = m_settings.maxBytes;
    } else {
        target.recording = m_targetFile;
    }
    auto *recorder = new LinkRecorder(target, this);
    connect(recorder, &LinkRecorder::stopped, this,
            [this, recorder](const QString &file, const QString &reason) { onStopped(recorder, file, reason); });
    connect(recorder, &QThread::finished, recorder, [this, recorder] {
        if (recorder != m_recorder)
            recorder->deleteLater();
    });
    m_recorder = recorder;
    m_recorderStopped = false;
    m_filePath = target.recording;
    m_frames = 0;
    recorder->start(QThread::LowPriority);
    emit recordingChanged();
}

void SessionRecorder::bytesCrossed(Direction direction, Cut cut, const char *data, int size, qint64 microsSinceEpoch)
{
    if (!m_recorder)
        return;
    m_recorder->take(direction, cut, data, size, microsSinceEpoch);
    m_frames += cut == Cut::Frame ? 1 : 0;
}

void SessionRecorder::linkClosed()
{
    if (!m_recorder)
        return;
    LinkRecorder *closing = m_recorder;
    m_recorder = nullptr;
    closing->finish();
    if (closing->isFinished())
        closing->deleteLater();
    emit recordingChanged();
}

void SessionRecorder::onStopped(const LinkRecorder *recorder, const QString &file, const QString &reason)
{
    const QString shown = QDir::toNativeSeparators(file);
    m_messages.report(Message::error(QStringLiteral("录制已停止: %1 (%2)").arg(shown, reason),
                                     QStringLiteral("Recording stopped: %1 (%2)").arg(shown, reason),
                                     MessageTopic::RecordingStopped));
    if (recorder != m_recorder)
        return;
    m_recorderStopped = true;
    emit recordingChanged();
}

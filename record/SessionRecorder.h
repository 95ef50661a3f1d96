#pragma once

#include "protocol/FrameTap.h"

#include <QDateTime>
#include <QObject>
#include <QString>

class MessageSink;
class LinkRecorder;

// What the recorder keeps, as zentaro.cfg stores it ("recording/…").
struct RecordingSettings
{
    bool enabled = true;
    int maxSessions = 50;
    qint64 maxBytes = qint64(500) * 1024 * 1024;
    // An upgrade's image packets whole, instead of their header and a digest of the image bytes.
    bool fullUpgrade = false;

    static RecordingSettings stored();
};

// The flight recorder of the link: every opened link gets a recording of its
// own (`<yyyyMMdd-HHmmss>_<port>.pcapng` in the sessions folder, with a `.tsv`
// of the message log and link events beside it), the folder kept within the
// settings' bounds. The link never waits for the disk: blocks are written on a
// thread of their own. A disk that refuses them ends the recording with one
// red message; the link goes on.
class SessionRecorder : public QObject, public FrameTap
{
    Q_OBJECT
    Q_PROPERTY(bool recording READ recording NOTIFY recordingChanged)
    Q_PROPERTY(QString filePath READ filePath NOTIFY recordingChanged)
    Q_PROPERTY(QString folder READ folder CONSTANT)

public:
    SessionRecorder(MessageSink &messages, const QString &folder, const RecordingSettings &settings,
                    QObject *parent = nullptr);
    ~SessionRecorder() override;

    // `<data folder>/sessions`.
    static QString defaultFolder();

    // The next opened link is recorded into `path` (tavoxctl record FILE),
    // outside the folder's bounds; an empty path goes back to the folder.
    void setTargetFile(const QString &path);

    bool recording() const;
    // The file of the link being recorded, or of the last one; empty when none.
    QString filePath() const { return m_filePath; }
    QString folder() const { return m_folder; }
    // Frames of the link being recorded, or of the last one, handed to the file so far.
    qint64 framesRecorded() const { return m_frames; }

    // A line for the .tsv beside the recording: `source` "message" or
    // "event", `kind` e.g. "error" or "port-opened". Dropped while no link is recorded.
    void note(const QDateTime &time, const QString &source, const QString &kind, const QString &text);
    // Blocks until everything handed over so far is on disk, or `timeoutMs` passed.
    bool flush(int timeoutMs);

    void linkOpened(const QString &portName, int baudRate) override;
    void bytesCrossed(Direction direction, Cut cut, const char *data, int size, qint64 microsSinceEpoch) override;
    void linkClosed() override;

signals:
    void recordingChanged();

private:
    void onStopped(const LinkRecorder *recorder, const QString &file, const QString &reason);

private:
    MessageSink &m_messages;
    const QString m_folder;
    const RecordingSettings m_settings;
    QString m_targetFile;
    QString m_filePath;
    LinkRecorder *m_recorder = nullptr;
    // Its disk refused it, and the operator was told.
    bool m_recorderStopped = false;
    qint64 m_frames = 0;
};

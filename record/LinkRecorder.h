#pragma once

#include "protocol/FrameTap.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

// The recording of one opened link. The link's thread only appends the bytes
// it moves to a buffer; this thread takes the buffer every HandOverMs (or once
// it holds HandOverBytes), makes whole pcapng blocks of it and puts them on
// disk with one write, so a crash never leaves half a block. The first write
// the disk refuses ends the recording: the file is cut back to its last whole
// block and `stopped` tells why.
class LinkRecorder : public QThread
{
    Q_OBJECT

public:
    struct Target
    {
        QString recording;
        QString notes;        // the .tsv; empty for none
        QString pruneFolder;  // the sessions folder kept within bounds; empty for a file of the user's
        int maxSessions = 0;
        qint64 maxBytes = 0;
        bool fullUpgrade = false;
        QString portName;
        int baudRate = 0;
    };

    static constexpr int HandOverMs = 50;
    static constexpr int HandOverBytes = 64 * 1024;
    // Input the disk has not taken yet beyond this ends the recording rather than the memory.
    static constexpr int MaxWaitingBytes = 64 * 1024 * 1024;

    explicit LinkRecorder(Target target, QObject *parent = nullptr);
    // Finishes the file; waits for the disk.
    ~LinkRecorder() override;

    // From the link's thread.
    void take(FrameTap::Direction direction, FrameTap::Cut cut, const char *data, int size, qint64 microsSinceEpoch);
    void takeNote(const QString &line);
    // Writes what was taken and ends; returns at once.
    void finish();
    bool flush(int timeoutMs);

signals:
    // From this thread, once: the disk refused the recording of `file`.
    void stopped(const QString &file, const QString &reason);

protected:
    void run() override;

private:
    bool begin(int &error);
    bool writeBlocks(const QByteArray &taken, int &error);
    bool writeNotes(const QByteArray &notes, int &error);
    void stop(int error);
    void closeFiles();

    const Target m_target;
    int m_recordingFile = -1;
    int m_notesFile = -1;
    qint64 m_recordingSize = 0;

    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    QWaitCondition m_written;
    QByteArray m_waiting;
    QByteArray m_waitingNotes;
    qint64 m_takenBytes = 0;
    qint64 m_writtenBytes = 0;
    bool m_finishing = false;
    bool m_flushing = false;
    bool m_stopped = false;
    bool m_fellBehind = false;
};

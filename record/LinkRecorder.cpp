#include "record/LinkRecorder.h"

#include "app/Version.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "protocol/Pcapng.h"
#include "record/SessionFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// How the link's thread hands over a piece: this, then its bytes.
struct Taken
{
    qint64 microsSinceEpoch;
    qint32 size;
    FrameTap::Direction direction;
    FrameTap::Cut cut;
};

// Sync, length word, header sum, sequence, three flag bytes, command set and id.
const int V1HeaderBytes = 11;
const int CrcBytes = 2;
// Not an errno: the link moved more than the disk took.
const int FellBehind = -1;

bool isUpgradeImagePacket(const char *frame, int size)
{
    return size > V1HeaderBytes + CrcBytes && quint8(frame[0]) == FrameFormat::Sync
        && (qFromLittleEndian<quint16>(frame + 1) >> 10) == 1 && quint8(frame[9]) == CommandSet::General
        && quint8(frame[10]) == UpgradeCommand::Data;
}

Pcapng::Packet packetOf(const Taken &taken, const char *data, bool fullUpgrade)
{
    Pcapng::Packet packet;
    packet.microsSinceEpoch = taken.microsSinceEpoch;
    packet.direction = taken.direction;
    packet.originalLength = quint32(taken.size);
    if (taken.cut == FrameTap::Cut::Dropped) {
        packet.data = QByteArray(data, taken.size);
        packet.comment = QStringLiteral("dropped %1 bytes (resynchronisation)").arg(taken.size);
    } else if (!fullUpgrade && isUpgradeImagePacket(data, taken.size)) {
        // The image is the user's file: its digest tells which one was sent without filling the budget.
        const QByteArray payload = QByteArray::fromRawData(data + V1HeaderBytes, taken.size - V1HeaderBytes - CrcBytes);
        packet.data = QByteArray(data, V1HeaderBytes);
        packet.comment = QStringLiteral("payload sha256 %1, %2 bytes")
                             .arg(QString::fromLatin1(QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex()))
                             .arg(payload.size());
    } else {
        packet.data = QByteArray(data, taken.size);
    }
    return packet;
}

int openForWriting(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// One write per call where the system allows it, so the file only ever grows by whole blocks.
bool writeWhole(int file, const QByteArray &bytes, int &error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : ENOSPC;
            return false;
        }
        done += written;
    }
    return true;
}
}

LinkRecorder::LinkRecorder(Target target, QObject *parent)
    : QThread(parent)
    , m_target(std::move(target))
{
    m_waiting.reserve(HandOverBytes * 2);
}

LinkRecorder::~LinkRecorder()
{
    finish();
    wait();
}

void LinkRecorder::take(FrameTap::Direction direction, FrameTap::Cut cut, const char *data, int size,
                        qint64 microsSinceEpoch)
{
    const Taken taken {microsSinceEpoch, size, direction, cut};
    QMutexLocker lock(&m_mutex);
    if (m_stopped || m_fellBehind)
        return;
    if (m_waiting.size() > MaxWaitingBytes) {
        m_fellBehind = true;
        m_waiting.clear();
        return;
    }
    m_waiting.append(reinterpret_cast<const char *>(&taken), sizeof taken);
    m_waiting.append(data, size);
    m_takenBytes += qint64(sizeof taken) + size;
    if (m_waiting.size() >= HandOverBytes)
        m_wake.wakeOne();
}

void LinkRecorder::takeNote(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    QMutexLocker lock(&m_mutex);
    if (m_stopped || m_target.notes.isEmpty())
        return;
    m_waitingNotes.append(bytes);
    m_takenBytes += bytes.size();
}

void LinkRecorder::finish()
{
    QMutexLocker lock(&m_mutex);
    m_finishing = true;
    m_wake.wakeOne();
}

bool LinkRecorder::flush(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    const qint64 target = m_takenBytes;
    m_flushing = true;
    m_wake.wakeOne();
    while (m_writtenBytes < target && !m_stopped && m_written.wait(&m_mutex, deadline)) {
    }
    return m_writtenBytes >= target && !m_stopped;
}

void LinkRecorder::run()
{
    int error = 0;
    if (!begin(error))
        return stop(error);
    QByteArray taken;
    taken.reserve(HandOverBytes * 2);
    QByteArray notes;
    for (bool finishing = false; !finishing;) {
        qint64 handedOver = 0;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_finishing && !m_flushing && m_waiting.size() < HandOverBytes)
                m_wake.wait(&m_mutex, HandOverMs);
            if (m_fellBehind)
                return stop(FellBehind);
            taken.swap(m_waiting);
            notes.swap(m_waitingNotes);
            finishing = m_finishing;
            m_flushing = false;
            handedOver = m_takenBytes;
        }
        if (!writeBlocks(taken, error) || !writeNotes(notes, error))
            return stop(error);
        taken.resize(0);
        notes.clear();
        QMutexLocker lock(&m_mutex);
        m_writtenBytes = handedOver;
        m_written.wakeAll();
    }
    closeFiles();
}

bool LinkRecorder::begin(int &error)
{
    m_recordingFile = openForWriting(m_target.recording);
    if (m_recordingFile < 0) {
        error = errno;
        return false;
    }
    const QByteArray head = Pcapng::sectionHeaderBlock(QStringLiteral("tavox ") + tavoxVersion())
        + Pcapng::interfaceBlock(m_target.portName, QStringLiteral("%1 baud").arg(m_target.baudRate));
    if (!writeWhole(m_recordingFile, head, error))
        return false;
    m_recordingSize = head.size();
    if (!m_target.notes.isEmpty()) {
        m_notesFile = openForWriting(m_target.notes);
        if (m_notesFile < 0) {
            error = errno;
            return false;
        }
        if (!writeWhole(m_notesFile, "time\tsource\tkind\ttext\n", error))
            return false;
    }
    if (!m_target.pruneFolder.isEmpty())
        SessionFolder(m_target.pruneFolder).prune(m_target.maxSessions, m_target.maxBytes, m_target.recording);
    return true;
}

bool LinkRecorder::writeBlocks(const QByteArray &taken, int &error)
{
    if (taken.isEmpty())
        return true;
    QByteArray blocks;
    blocks.reserve(taken.size() * 2);
    for (int at = 0; at < taken.size();) {
        Taken header;
        std::memcpy(&header, taken.constData() + at, sizeof header);
        at += int(sizeof header);
        blocks += Pcapng::packetBlock(packetOf(header, taken.constData() + at, m_target.fullUpgrade));
        at += header.size;
    }
    if (!writeWhole(m_recordingFile, blocks, error))
        return false;
    m_recordingSize += blocks.size();
    return true;
}

bool LinkRecorder::writeNotes(const QByteArray &notes, int &error)
{
    return notes.isEmpty() || writeWhole(m_notesFile, notes, error);
}

void LinkRecorder::stop(int error)
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
        m_waiting.clear();
        m_waitingNotes.clear();
        m_written.wakeAll();
    }
    // A block the disk took only in part is cut off, so the file stays readable; a
    // device that cannot be cut (/dev/full) took none.
    if (m_recordingFile >= 0) {
        const bool cutBack = ::ftruncate(m_recordingFile, m_recordingSize) == 0;
        Q_UNUSED(cutBack)
    }
    closeFiles();
    emit stopped(m_target.recording, error == FellBehind ? QStringLiteral("the disk does not keep up with the link")
                                  : QString::fromLocal8Bit(std::strerror(error)));
}

void LinkRecorder::closeFiles()
{
    for (int *file : {&m_recordingFile, &m_notesFile}) {
        if (*file >= 0)
            ::close(*file);
        *file = -1;
    }
}

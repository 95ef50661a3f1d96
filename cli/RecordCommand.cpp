#include "cli/RecordCommand.h"

#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"

#include <QDir>
#include <QFileInfo>

namespace {
// What the disk still owes once the port is closed.
const int FinishWritingMs = 10000;

int exitCode(DeviceSession &session, DeviceSession::Wait wait)
{
    switch (wait) {
    case DeviceSession::Wait::Done:
        return ExitCode::Usage;
    case DeviceSession::Wait::TimedOut:
    case DeviceSession::Wait::Interrupted:
        return ExitCode::Success;
    case DeviceSession::Wait::PortLost:
        break;
    }
    return session.failure(wait, QString());
}
}

int runRecord(DeviceSession &session, const QString &port, int baud, int seconds, const QString &file)
{
    SessionRecorder &recorder = session.recorder();
    recorder.setTargetFile(QFileInfo(file).absoluteFilePath());
    const int opened = session.open(port, baud);
    if (opened != ExitCode::Success)
        return opened;
    const DeviceSession::Wait wait = session.waitUntil([&] { return !recorder.recording(); },
                                                       seconds > 0 ? qint64(seconds) * 1000 : -1);
    const int ended = exitCode(session, wait);
    session.bridge().closeSerial();
    // The disk that refused the file has been told of.
    if (wait == DeviceSession::Wait::Done)
        return ended;
    const CliOutput &out = session.out();
    if (!recorder.flush(FinishWritingMs)) {
        out.error(out.text(QStringLiteral("录制未完整写入: %1"), QStringLiteral("recording not completely written: %1"))
                      .arg(QDir::toNativeSeparators(file)));
        return ended == ExitCode::Success ? ExitCode::Usage : ended;
    }
    out.note(out.text(QStringLiteral("已录制 %1 帧到 %2"), QStringLiteral("recorded %1 frames to %2"))
                 .arg(recorder.framesRecorded())
                 .arg(QDir::toNativeSeparators(file)));
    return ended;
}

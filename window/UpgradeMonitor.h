#pragma once

#include "device/FirmwareImage.h"
#include "device/MessageSink.h"
#include "device/UpgradeSession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class AppBridge;

// The firmware upgrade as the operator follows it: what the confirmation
// before a start says of the attached controller and of the chosen image (its
// size, date and checksum, or why it cannot be flashed), the phase with bytes
// sent and time left, the way out of an upgrade under way, and the result of
// the last upgrade, which stays until the next one starts, another file is
// chosen or the port opens again; a success follows the restarted controller
// once it answers. Versions read on an earlier open are told apart from the
// attached controller's.
class UpgradeMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString fileName READ fileName NOTIFY changed)
    Q_PROPERTY(QString fileSizeText READ fileSizeText NOTIFY changed)
    Q_PROPERTY(qint64 fileSize READ fileSize NOTIFY changed)
    Q_PROPERTY(QString fileModifiedText READ fileModifiedText NOTIFY changed)
    Q_PROPERTY(QString fileChecksumText READ fileChecksumText NOTIFY changed)
    Q_PROPERTY(QString fileProblem READ fileProblem NOTIFY changed)
    Q_PROPERTY(bool cancellable READ cancellable NOTIFY changed)
    Q_PROPERTY(int progress READ progress NOTIFY changed)
    Q_PROPERTY(Phase phase READ phase NOTIFY changed)
    Q_PROPERTY(QString phaseText READ phaseText NOTIFY changed)
    Q_PROPERTY(Result result READ result NOTIFY changed)
    Q_PROPERTY(QString resultText READ resultText NOTIFY changed)
    Q_PROPERTY(QString currentFirmware READ currentFirmware NOTIFY changed)
    Q_PROPERTY(bool keepsSnapshot READ keepsSnapshot NOTIFY changed)
    Q_PROPERTY(bool versionsStale READ versionsStale NOTIFY changed)
    Q_PROPERTY(QString versionsNote READ versionsNote NOTIFY changed)
    Q_PROPERTY(QString versionsStaleHint READ versionsStaleHint NOTIFY changed)

public:
    enum Phase { Idle, Erasing, Writing, Verifying, Restarting };
    Q_ENUM(Phase)
    enum Result { NoResult, Succeeded, Failed, Cancelled };
    Q_ENUM(Result)

    explicit UpgradeMonitor(AppBridge &bridge, QObject *parent = nullptr);

    QString fileName() const;
    // -1 for a file that cannot be flashed.
    qint64 fileSize() const;
    QString fileSizeText() const;
    QString fileModifiedText() const;
    // The SHA-256, shortened; the log has it in full when the upgrade starts.
    QString fileChecksumText() const;
    // Why the chosen file cannot be flashed; empty when it can.
    QString fileProblem() const;
    // Reads the file to be flashed again, as it is now, before the operator
    // confirms it; a file that cannot be flashed is refused in the log.
    Q_INVOKABLE bool inspectFile(const QString &filePath);
    bool cancellable() const;
    Q_INVOKABLE void cancel();
    // Starts again at 0 for a newly chosen file.
    int progress() const;
    Phase phase() const;
    QString phaseText() const;
    Result result() const { return m_result; }
    QString resultText() const;
    // The firmware version the attached controller reported since the port
    // was opened; "未知" / "unknown" until it does.
    QString currentFirmware() const;
    // An upgrade started now keeps a snapshot of the parameters: they were
    // read from the attached controller since the port was opened.
    bool keepsSnapshot() const;
    // The bridge's versions were reported before the port was last opened (or
    // it is closed now): they may be another controller's.
    bool versionsStale() const;
    // Beside a stale version, and its longer explanation; empty otherwise.
    QString versionsNote() const;
    QString versionsStaleHint() const;

signals:
    void changed();

private:
    QString transferText() const;
    void onFileChosen();
    void onActiveChanged();
    void onProgress();
    void onMessage(const Message &message);
    void onEnded(UpgradeSession::Outcome outcome);
    QString failureAdvice() const;
    void onLinkReadings();
    void onOpenedChanged();

    AppBridge &m_bridge;
    FirmwareImageSummary m_image;
    bool m_progressBelongsToFile = true;
    Result m_result = NoResult;
    UpgradeSession::Outcome m_outcome = UpgradeSession::Outcome::Completed;
    // The restarted controller answered the version query after a success.
    bool m_restartAnswered = false;
    TextPair m_lastSetback;
    int m_shownProgress = -1;
    Phase m_shownPhase = Idle;
    QString m_shownFirmware;
    bool m_shownKeepsSnapshot = false;
    bool m_shownVersionsStale = false;
    QElapsedTimer m_transferClock;
    int m_transferStartPacket = 0;
};

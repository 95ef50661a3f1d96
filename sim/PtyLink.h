#pragma once

#include "sim/PacedPipe.h"
#include "sim/PreciseTimer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

class QSocketNotifier;

struct LinkOptions
{
    int baud = 0;               // 0: as fast as the pseudo-terminal goes
    double noiseRate = 0;       // random bytes added per byte sent
    bool splitOutput = false;   // write in small pieces with pauses between them
    int hangupAfterMs = -1;     // hang up this long after the first bytes arrive; -1: never
    int returnAfterMs = -1;     // after the hang-up, come back on a new pseudo-terminal this long later; -1: never
    bool exclusiveLeft = false; // the line starts in exclusive mode, as a program killed while it held the port leaves it
};

// The controller's end of the serial line: a pseudo-terminal in raw mode whose
// other end the tool opens as its port. Moves bytes only; it knows nothing of
// frames. Output while no one has the port open is lost, as on a real line.
// Once hung up the tool's port is gone, as with a pulled adapter; it stays down
// unless told to come back, as an adapter plugged in again does: on a new
// device, the link pointing there. It hangs up only once.
class PtyLink : public QObject
{
    Q_OBJECT

public:
    explicit PtyLink(const LinkOptions &options, QObject *parent = nullptr);
    ~PtyLink() override;

    bool open(QString &error);
    QString devicePath() const { return m_devicePath; }
    // A symbolic link to the device, removed again when the link ends.
    bool createLink(const QString &path, QString &error);

    void send(const QByteArray &bytes);
    bool hasClient() const;
    bool isDown() const { return m_master < 0; }
    bool comesBack() const { return m_options.returnAfterMs >= 0; }
    // Hangs up now, unless it hung up before.
    void hangUpOnce();

signals:
    void clientConnected();
    void bytesReceived(const QByteArray &bytes);
    void clientDisconnected();
    void hungUp();
    void cameBack();

private:
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    void readMaster();
    void armHangup();
    void hangUp();
    void comeBack();
    void removeLink();
    void waitForClient();
    void checkForClient();
    void watchForOpens();
    void stopWatchingForOpens();
    void pumpInput();
    void pumpOutput();
    void writeNextPiece();
    void writeToMaster(const QByteArray &bytes);
    QByteArray lineNoise(int count);

    LinkOptions m_options;
    int m_master = -1;
    QString m_devicePath;
    QString m_linkPath;
    QSocketNotifier *m_readNotifier = nullptr;
    int m_openWatch = -1;
    QSocketNotifier *m_openNotifier = nullptr;
    QTimer m_clientPoll;
    PreciseTimer m_inputTimer;
    PreciseTimer m_outputTimer;
    QTimer m_pieceTimer;
    QTimer m_hangupTimer;
    QTimer m_returnTimer;
    bool m_hungUpOnce = false;
    PacedPipe m_input;
    PacedPipe m_output;
    QByteArray m_pieces;
    double m_noiseDebt = 0;
    qint64 m_replyFromNs = -1;   // while received bytes are handed on: when they had arrived
    QElapsedTimer m_clock;
    QRandomGenerator m_random {QRandomGenerator::securelySeeded()};
};

#pragma once

#include "device/MessageSink.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// General-set command ids of the controller's bootloader exchange.
namespace UpgradeCommand {
constexpr quint8 SoftReset = 0x00;
constexpr quint8 Erase = 0x03;
constexpr quint8 EraseDone = 0x04;
constexpr quint8 Start = 0x0B;
constexpr quint8 StartReply = 0x0C;
constexpr quint8 Data = 0x0D;
constexpr quint8 DataAck = 0x0E;
constexpr quint8 Stop = 0x0F;
constexpr quint8 VerifyResult = 0x10;
}

// A firmware upgrade without any I/O: it holds the image and the packet
// counters, builds the frames, and decides for every reply (and every reply that
// failed to come) what to send next and what to report. The caller sends,
// reports and keeps the time.
//
// A reply is acted on only when it answers the request that is out: a late
// answer and the answer to its resend advance the upgrade one step, and replies
// nobody asked for (a controller reset into its bootloader, noise that passes
// the CRC, another tool on the line) change nothing. Acting on them could stream
// an image into a controller that never asked for it.
class UpgradeSession
{
public:
    enum class State { Idle, Erasing, Starting, Transferring, Stopping, Verified };
    // How an upgrade ended.
    enum class Outcome { Completed, SizeRefused, VerificationFailed, TimedOut, LinkClosed, LinkLost, Cancelled };

    static constexpr int PacketSize = 64;
    static constexpr int DataFrameSize = 77;
    static constexpr int MaxResends = 5;
    static constexpr qint64 MaxImageSize = 64 * 1024 * 1024;

    // How long the controller may stay silent after a request before it is sent again.
    struct ReplyTimeouts
    {
        int eraseMs = 30000;
        int stopMs = 10000;
        int transferMs = 2000;   // start request and data packets
    };

    // One decision. The caller carries it out in this order: append the
    // messages, send the frame, end the upgrade, announce the progress, and
    // schedule the reboot when the controller verified the image.
    struct Reaction
    {
        QVector<Message> messages;
        QByteArray frame;
        bool awaitsReply = false;   // the frame is a request the controller answers
        bool endsUpgrade = false;
        Outcome outcome = Outcome::Completed;   // when endsUpgrade
        bool progressUpdated = false;
        bool verified = false;
        bool ignored = false;       // the reply answered nothing that is out
    };

    State state() const { return m_state; }
    bool active() const { return m_state != State::Idle; }
    int progress() const { return m_progress; }
    int packetIndex() const { return m_packetIndex; }
    int packetCount() const { return m_packetCount; }
    quint16 sequence() const { return m_sequence; }
    const QByteArray &image() const { return m_image; }

    // True while a request is out whose reply has not come.
    bool awaitingReply() const;
    int resendCount() const { return m_resends; }
    // The silence allowed for the request that is out.
    int replyTimeoutMs() const;
    void setReplyTimeouts(const ReplyTimeouts &timeouts) { m_timeouts = timeouts; }

    // Takes a new image: packet counters, sequence and progress start over.
    // Only while idle; an upgrade under way keeps its image.
    void load(const QByteArray &image);

    Reaction requestErase();
    Reaction onEraseDone();
    Reaction onStartReply(const QByteArray &payload);
    Reaction onDataAck(quint16 ackedSequence);
    Reaction onVerifyResult(const QByteArray &payload);
    Reaction onReplyTimeout();
    // Sends the reboot after a verified image; nothing in any other state.
    Reaction finish();
    // Ends whatever is under way; nothing is sent and nothing resent afterwards.
    void abort();
    void clearProgress() { m_progress = 0; }

    QByteArray eraseFrame() const;
    QByteArray startFrame() const;
    QByteArray dataFrame() const;
    QByteArray stopFrame() const;
    static QByteArray softResetFrame();

private:
    static Reaction ignoredReply();
    void sendRequest(State state, QByteArray frame, Reaction &reaction);
    void end(Reaction &reaction, Outcome outcome);
    void sendNextPacket(Reaction &reaction);
    bool isStaleAck(quint16 ackedSequence) const;
    QString pendingRequestName() const;

    QByteArray m_image;
    int m_packetIndex = 0;
    int m_packetCount = 0;
    quint16 m_sequence = 0;
    int m_progress = 0;

    State m_state = State::Idle;
    QByteArray m_pendingFrame;
    int m_resends = 0;
    ReplyTimeouts m_timeouts;
};

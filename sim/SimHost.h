#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

struct ParsedFrame;
class PtyLink;
class SimDevice;

struct HostOptions
{
    bool verbose = false;
    QString saveImagePath;
    // Hang the line up as soon as a command with this sub-command has arrived; -1: never.
    int hangupOnSubCommand = -1;
    // Every this many-th frame sent goes out with a corrupted CRC; 0: none.
    int badCrcEvery = 0;
};

// Connects the device model to the line: cuts received bytes into frames,
// hands them to the device, and sends what the device says when it says it.
class SimHost : public QObject
{
    Q_OBJECT

public:
    SimHost(SimDevice &device, PtyLink &link, const HostOptions &options, QObject *parent = nullptr);

private:
    qint64 nowMs() const { return m_clock.elapsed(); }
    void onBytes(const QByteArray &bytes);
    void onHangup();
    bool isHangupCommand(const ParsedFrame &frame) const;
    void serviceDevice();
    void send(QByteArray frame);
    void saveFinishedImage();
    void log(const char *direction, const ParsedFrame &frame) const;
    void logSent(const QByteArray &bytes) const;
    void logLine(const char *direction, const QString &text) const;

    SimDevice &m_device;
    PtyLink &m_link;
    HostOptions m_options;
    QByteArray m_rxBuffer;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_framesSent = 0;
};

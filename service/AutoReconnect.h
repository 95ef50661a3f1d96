#pragma once

#include "link/PortScanner.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class AppBridge;

// How a lost port is recognised when it comes back: a path (a by-id name, a
// device path, a link) by that path; a kernel name such as ttyUSB0 by its
// adapter's USB serial number, which may come back under another kernel
// name, or else by the name.
struct LostPort
{
    QString name;           // as the operator named it
    QString serialNumber;   // empty when the port has none, or is named by its path
};

// The port of `lost` as it should be opened now, or empty while it is not
// back among `ports`, the system's serial ports.
QString returnedPortName(const LostPort &lost, const QVector<PortEntry> &ports);

// Reopens a port lost under an open link once the same adapter is back.
class AutoReconnect : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(bool waiting READ waiting NOTIFY waitingChanged)
    Q_PROPERTY(QString portName READ portName NOTIFY waitingChanged)

public:
    explicit AutoReconnect(AppBridge &bridge, QObject *parent = nullptr);

    bool enabled() const { return m_enabled; }
    // Turning it off stops a wait; not stored (the caller stores it).
    void setEnabled(bool enabled);
    // A lost port is being watched for.
    bool waiting() const { return m_waiting; }
    // The port watched for, as the operator named it.
    QString portName() const { return m_waiting ? m_port.name : QString(); }
    // The operator gave up (the window's switch turned off).
    Q_INVOKABLE void stop();

signals:
    void enabledChanged();
    void waitingChanged();
    // The lost port is open again; whoever answers on it is yet to be told apart.
    void reopened();

private:
    void onOpenedChanged();
    void onLost();
    void rememberOpenPort();
    void check();
    void reopen(const QString &name);
    void setWaiting(bool waiting);

    AppBridge &m_bridge;
    QTimer m_check;
    LostPort m_port;
    // The system's ports as last scanned while waiting, and the places they were scanned in.
    QVector<PortEntry> m_ports;
    QByteArray m_placesScanned;
    int m_baudRate = 0;
    int m_retryMs = 0;   // after a failed open; 0 before the first
    bool m_enabled = true;
    bool m_waiting = false;
    bool m_reopening = false;
};

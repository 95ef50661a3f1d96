#pragma once

#include "link/PortScanner.h"

#include <QObject>
#include <QTimer>

#include <functional>

// The system's ports, followed as they come and go. Polled rather than told
// by udev: pseudo-terminals and typed paths never appear in a device event.
// A whole scan costs tens of milliseconds on a machine with many terminals, so
// every second only the folders' modification times and the extra paths are
// looked at, a few microseconds, and the ports scanned when those changed.
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    using Scanner = std::function<QVector<PortEntry>()>;
    // Something that changes whenever the ports might have; a scan follows each change.
    using Fingerprint = std::function<QByteArray()>;
    static constexpr int ScanIntervalMs = 1000;

    // By default the ports and the places they appear in are the system's. A
    // `scanner` without a `fingerprint` is asked every time.
    explicit PortWatcher(Scanner scanner = Scanner(), Fingerprint fingerprint = Fingerprint(),
                         QObject *parent = nullptr);

    const QVector<PortEntry> &ports() const { return m_ports; }
    // The modification times of the places system ports appear in, and which extra paths exist.
    static QByteArray systemFingerprint();
    // Scans now, whatever the places look like.
    void rescan();

signals:
    void portsChanged();

private:
    void look();

    Scanner m_scanner;
    Fingerprint m_fingerprint;
    QByteArray m_lastFingerprint;
    QVector<PortEntry> m_ports;
    QTimer m_timer;
};

#pragma once

#include "link/PortScanner.h"

#include <QObject>
#include <QTimer>

#include <functional>

// The system's ports, followed as they come and go. Polled rather than told
// by udev: pseudo-terminals and typed paths never appear in a device event,
// and a scan costs little enough to repeat every second (see the benchmarks).
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    using Scanner = std::function<QVector<PortEntry>()>;
    static constexpr int ScanIntervalMs = 1000;

    // `scanner` stands in for the system's ports; by default they are scanned where the system keeps them.
    explicit PortWatcher(Scanner scanner = Scanner(), QObject *parent = nullptr);

    const QVector<PortEntry> &ports() const { return m_ports; }
    // Scans now, as well as every ScanIntervalMs from then on.
    void rescan();

signals:
    void portsChanged();

private:
    Scanner m_scanner;
    QVector<PortEntry> m_ports;
    QTimer m_timer;
};

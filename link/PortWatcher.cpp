#include "link/PortWatcher.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {
QVector<PortEntry> systemPorts()
{
    return scanPorts(systemPortPlaces());
}

// A device node appearing or going changes its folder's modification time.
void appendPlace(QByteArray &print, const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        print += QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(status.st_mtim.tv_nsec));
    print += '|';
}

}

QByteArray PortWatcher::systemFingerprint()
{
    const PortScanPlaces places = systemPortPlaces();
    QByteArray print;
    appendPlace(print, QStringLiteral("/dev"));
    appendPlace(print, places.byIdFolder);
    for (const QString &extra : places.extraPorts)
        print += QFileInfo::exists(extra) ? '1' : '0';
    return print;
}

PortWatcher::PortWatcher(Scanner scanner, Fingerprint fingerprint, QObject *parent)
    : QObject(parent)
{
    if (!scanner) {
        scanner = systemPorts;
        if (!fingerprint)
            fingerprint = systemFingerprint;
    }
    m_scanner = std::move(scanner);
    m_fingerprint = std::move(fingerprint);
    if (m_fingerprint)
        m_lastFingerprint = m_fingerprint();
    m_ports = m_scanner();
    m_timer.setInterval(ScanIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PortWatcher::look);
    m_timer.start();
}

void PortWatcher::look()
{
    if (m_fingerprint) {
        QByteArray print = m_fingerprint();
        if (print == m_lastFingerprint)
            return;
        m_lastFingerprint = std::move(print);
    }
    rescan();
}

void PortWatcher::rescan()
{
    QVector<PortEntry> ports = m_scanner();
    if (ports == m_ports)
        return;
    m_ports = std::move(ports);
    emit portsChanged();
}

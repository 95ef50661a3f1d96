#pragma once

#include "link/PortWatcher.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// The ports the sidebar offers, as they come and go: each by the name it
// shows (an adapter's stable by-id name when it has one), the kernel's name
// and the system's description beside it. The chosen port stays listed, marked
// gone, when it vanishes, so that a pulled cable never changes the choice.
// Also the port and baud rate of the last successful open, chosen again at the
// next start.
class PortCatalog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList portNames READ portNames NOTIFY portsChanged)
    Q_PROPERTY(QString chosenName READ chosenName NOTIFY portsChanged)
    Q_PROPERTY(QString lastPort READ lastPort NOTIFY lastChoiceChanged)
    Q_PROPERTY(int lastBaud READ lastBaud NOTIFY lastChoiceChanged)

public:
    // `scanner` stands in for the system's ports; by default they are scanned where the system keeps them.
    explicit PortCatalog(QObject *parent = nullptr, PortWatcher::Scanner scanner = PortWatcher::Scanner());

    // The names to offer: the ports present, then the chosen one if it is gone.
    QStringList portNames() const;
    QString chosenName() const { return m_chosen.displayName(); }
    QString lastPort() const { return m_lastPort; }
    int lastBaud() const { return m_lastBaud; }

    // The operator's pick from the list, or a path typed or pasted.
    Q_INVOKABLE void choose(const QString &name);
    // What to open for a name the list shows, or for a typed path.
    Q_INVOKABLE QString pathOf(const QString &name) const;
    // The kernel's name of a port listed by its stable name; empty otherwise.
    Q_INVOKABLE QString kernelName(const QString &name) const;
    // False for a chosen port that is gone, or a typed path that does not exist.
    Q_INVOKABLE bool isPresent(const QString &name) const;
    // "description · manufacturer" of the port, either alone, or empty when the system says nothing.
    Q_INVOKABLE QString details(const QString &name) const;
    Q_INVOKABLE void rescan();
    // Stores the choice for the next start, after an open that succeeded.
    Q_INVOKABLE void remember(const QString &portName, int baudRate);

signals:
    void portsChanged();
    void lastChoiceChanged();

private:
    const PortEntry *present(const QString &name) const;
    void onPortsChanged();

    PortWatcher m_watcher;
    PortEntry m_chosen;
    QString m_lastPort;
    int m_lastBaud = 0;
};

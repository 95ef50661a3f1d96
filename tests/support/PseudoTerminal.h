#pragma once

#include "protocol/ParsedFrame.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

#include <termios.h>

class QSocketNotifier;

// The device side of a real pseudo-terminal: the tool opens slaveName() as its
// serial port; the test reads what the tool sent and writes replies.
class PseudoTerminal : public QObject
{
    Q_OBJECT

public:
    PseudoTerminal();
    ~PseudoTerminal() override;

    bool isValid() const { return m_master >= 0; }
    QString slaveName() const { return m_slaveName; }

    // Line settings as the tool left them on its side.
    termios lineSettings() const;

    bool write(const QByteArray &bytes);
    QByteArray received() const { return m_received; }
    // The frames among the bytes received so far, in order; noise between them is passed over.
    QVector<ParsedFrame> receivedFrames() const;

    // Ends the device side, as an unplugged cable would.
    void closeMaster();
    // Lets go of the test's own descriptor on the line, for another program to
    // claim it: a line that another process has open is in use. Until someone
    // opens it, the device side reads a hang-up.
    void releaseLine();

signals:
    void bytesReceived(const QByteArray &bytes);

private:
    void readMaster();

    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;
    QByteArray m_received;
    QSocketNotifier *m_notifier = nullptr;
};

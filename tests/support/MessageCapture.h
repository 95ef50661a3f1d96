#pragma once

#include <QStringList>
#include <QtGlobal>

// Records every Qt message (debug, warning, ...) while it exists: the bridge
// echoes its entries and diagnostic lines to the debug output when no console
// is attached, and tests read them from here.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();

    QStringList lines() const;
    QStringList linesContaining(const QString &text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler m_previous = nullptr;
};

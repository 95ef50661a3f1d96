#include "support/MessageCapture.h"

#include <QMutex>

namespace {
QMutex mutex;
QStringList captured;
}

MessageCapture::MessageCapture()
{
    clear();
    m_previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
}

QStringList MessageCapture::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

QStringList MessageCapture::linesContaining(const QString &text) const
{
    return lines().filter(text);
}

void MessageCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

void MessageCapture::handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&mutex);
    captured.append(message);
}

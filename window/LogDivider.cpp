#include "window/LogDivider.h"

#include "app/Config.h"

LogDivider::LogDivider(QObject *parent)
    : QObject(parent)
    , m_logHeight(readMessageLogHeight())
{
}

void LogDivider::keep(int logHeight)
{
    if (logHeight < 1 || logHeight == m_logHeight)
        return;
    m_logHeight = logHeight;
    writeMessageLogHeight(logHeight);
    emit logHeightChanged();
}

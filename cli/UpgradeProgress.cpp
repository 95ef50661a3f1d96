#include "cli/UpgradeProgress.h"

#include "cli/CliOutput.h"

namespace {
const int BarWidth = 30;
const int RedrawIntervalMs = 100;
const int LineStepPercent = 10;

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
}

UpgradeProgress::UpgradeProgress(const CliOutput &out, qint64 imageSize, bool terminal)
    : m_out(out), m_imageSize(imageSize), m_terminal(terminal)
{
    m_clock.start();
}

void UpgradeProgress::update(int percent, qint64 bytesSent)
{
    if (m_terminal) {
        const qint64 now = m_clock.elapsed();
        if (percent == m_lastPercent && now - m_lastDrawMs < RedrawIntervalMs)
            return;
        m_lastDrawMs = now;
        m_lastPercent = percent;
        drawBar(percent, bytesSent);
        return;
    }
    const int step = percent / LineStepPercent * LineStepPercent;
    if (step <= m_lastPercent)
        return;
    m_lastPercent = step;
    m_out.note(m_out.text(QStringLiteral("升级: %1 % (%2 / %3 字节)"), QStringLiteral("upgrade: %1 % (%2 of %3 bytes)"))
                   .arg(percent).arg(bytesSent).arg(m_imageSize));
}

void UpgradeProgress::drawBar(int percent, qint64 bytesSent)
{
    const int filled = percent * BarWidth / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'));
    const double seconds = qMax<qint64>(1, m_clock.elapsed()) / 1000.0;
    const double bytesPerSecond = bytesSent / seconds;
    const QString left = bytesPerSecond > 0
        ? minutesAndSeconds(qint64((m_imageSize - bytesSent) / bytesPerSecond))
        : QStringLiteral("-:--");
    m_out.noteInPlace(QStringLiteral("[%1] %2 %  %3/%4 B  %5 KiB/s  %6 %7  ")
                          .arg(bar)
                          .arg(percent, 3)
                          .arg(bytesSent)
                          .arg(m_imageSize)
                          .arg(bytesPerSecond / 1024.0, 0, 'f', 1)
                          .arg(left, m_out.text(QStringLiteral("剩余"), QStringLiteral("left"))));
    m_drawn = true;
}

void UpgradeProgress::finish()
{
    if (m_drawn)
        m_out.note(QString());
    m_drawn = false;
}

#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

class CliOutput;

// Progress of a firmware upgrade on standard error: a bar redrawn in place on
// a terminal (percentage, bytes, rate, time left), a plain line every tenth
// otherwise, so that a log of the run stays readable.
class UpgradeProgress
{
public:
    UpgradeProgress(const CliOutput &out, qint64 imageSize, bool terminal);

    void update(int percent, qint64 bytesSent);
    // Ends the bar's line, so that the next message starts on its own.
    void finish();

private:
    void drawBar(int percent, qint64 bytesSent);

    const CliOutput &m_out;
    const qint64 m_imageSize;
    const bool m_terminal;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1;
    int m_lastPercent = -1;
    bool m_drawn = false;
};

#include "bridge/MessageLog.h"

#include "app/DebugConsole.h"
#include "log/Diagnostics.h"

#include <QDateTime>
#include <QDebug>

namespace {
// Local time without asking the system for its zone on every line (Qt re-reads
// the zone for each conversion): the offset from UTC is looked up once a minute.
QDateTime localNow()
{
    static qint64 offsetMinute = -1;
    static int offsetSecs = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 minute = utc.toSecsSinceEpoch() / 60;
    if (minute != offsetMinute) {
        offsetSecs = utc.toLocalTime().offsetFromUtc();
        offsetMinute = minute;
    }
    return utc.toOffsetFromUtc(offsetSecs);
}

QString timestamped(const QString &text, const QDateTime &time = localNow())
{
    return QStringLiteral("[%1] %2").arg(time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), text);
}

void echo(const QString &line)
{
    if (isConsoleActive())
        writeConsoleLine(line);
    else
        qDebug().noquote() << line;
}
}

MessageLog::MessageLog(const Language &language, QObject *parent)
    : QObject(parent)
    , m_language(language)
{
    m_monotonic.start();
    m_floodEndCheck.setSingleShot(true);
    connect(&m_floodEndCheck, &QTimer::timeout, this, &MessageLog::reportEndedFloods);
}

void MessageLog::clear()
{
    m_text.clear();
    m_separators = 0;
    m_entries.clear();
    QTimer::singleShot(0, this, &MessageLog::textChanged);
}

void MessageLog::report(const Message &message)
{
    add(m_language.localized(message.text), message.text.en, message.meaning);
}

void MessageLog::append(const QString &text, const MessageMeaning &meaning)
{
    add(text, text, meaning);
}

void MessageLog::add(const QString &text, const QString &english, const MessageMeaning &meaning)
{
    const QDateTime now = localNow();
    const MessageEntry entry { text, timestamped(text, now), meaning, now, m_language.code(), english };
    echo(entry.line);
    emit entryAdded(entry);
    if (!m_text.isEmpty()) {
        m_text += QLatin1Char('\n');
        ++m_separators;
    }
    m_text += entry.line;
    m_separators += entry.line.count(QLatin1Char('\n'));

    m_entries.append(entry);
    if (m_separators >= SeparatorLimit)
        dropOldestLines();
    QTimer::singleShot(0, this, &MessageLog::textChanged);
}

// The two oldest lines go, and with them every entry they were part of.
void MessageLog::dropOldestLines()
{
    const int first = m_text.indexOf(QLatin1Char('\n'));
    int dropped = m_text.indexOf(QLatin1Char('\n'), first + 1) + 1;
    m_text.remove(0, dropped);
    m_separators -= 2;
    while (dropped > 0 && !m_entries.isEmpty())
        dropped -= m_entries.takeFirst().line.size() + 1;
}

void MessageLog::reportRepeatable(const Message &message, const TextPair &floodName)
{
    const qint64 now = m_monotonic.elapsed();
    if (m_throttle.admit(floodName.en, now)) {
        report(message);
        return;
    }
    m_floods.insert(floodName.en, { floodName, message.meaning });
    if (!m_floodEndCheck.isActive())
        m_floodEndCheck.start(int(qMax<qint64>(0, m_throttle.nextEndMs() - now)));
}

void MessageLog::reportEndedFloods()
{
    const qint64 now = m_monotonic.elapsed();
    for (const MessageThrottle::Suppressed &ended : m_throttle.takeEnded(now)) {
        const Flood flood = m_floods.take(ended.kind);
        report({ { QStringLiteral("%1: 已抑制 %2 条相似消息").arg(flood.name.zh).arg(ended.count),
                   QStringLiteral("%1: %2 similar messages suppressed").arg(flood.name.en).arg(ended.count) },
                 flood.meaning });
    }
    const qint64 next = m_throttle.nextEndMs();
    if (next >= 0)
        m_floodEndCheck.start(int(qMax<qint64>(0, next - now)));
}

bool MessageLog::diagnosticsHeard() const
{
    return ::diagnosticsHeard();
}

void MessageLog::diagnostic(const QString &line)
{
    if (::diagnosticsHeard())
        echo(timestamped(line));
}

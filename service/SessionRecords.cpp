#include "service/SessionRecords.h"

namespace {
QString kindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Info:
        return QStringLiteral("info");
    case MessageKind::Success:
        return QStringLiteral("success");
    case MessageKind::Error:
        return QStringLiteral("error");
    case MessageKind::Warning:
        return QStringLiteral("warning");
    }
    return QString();
}

QString escaped(QString field)
{
    field.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    field.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    field.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    field.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return field;
}
}

QString isoLocalTime(const QDateTime &time)
{
    const int offsetSecs = time.offsetFromUtc();
    const int offsetMinutes = qAbs(offsetSecs) / 60;
    const QLatin1Char zero('0');
    return time.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz")) + QLatin1Char(offsetSecs < 0 ? '-' : '+')
        + QStringLiteral("%1:%2").arg(offsetMinutes / 60, 2, 10, zero).arg(offsetMinutes % 60, 2, 10, zero);
}

QString tabSeparated(const QStringList &fields)
{
    QStringList line;
    line.reserve(fields.size());
    for (const QString &field : fields)
        line.append(escaped(field));
    return line.join(QLatin1Char('\t'));
}

QByteArray tabSeparatedFile(const QStringList &header, const QStringList &lines, qint64 dropped)
{
    QString text;
    if (dropped > 0)
        text += QStringLiteral("# %1 earlier entries were dropped\n").arg(dropped);
    text += header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const QString &line : lines)
        text += line + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray SessionMessages::toTabSeparated() const
{
    QStringList lines;
    lines.reserve(m_records.size());
    for (const Record &record : m_records)
        lines.append(tabSeparated({isoLocalTime(record.time), kindName(record.kind), record.language, record.text}));
    const QStringList header {QStringLiteral("time"), QStringLiteral("kind"), QStringLiteral("language"),
                              QStringLiteral("text")};
    return tabSeparatedFile(header, lines, m_records.dropped());
}

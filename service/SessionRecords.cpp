#include "service/SessionRecords.h"

QString messageKindName(MessageKind kind)
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
        lines.append(tabSeparated({isoLocalTime(record.time), messageKindName(record.kind), record.language, record.text}));
    const QStringList header {QStringLiteral("time"), QStringLiteral("kind"), QStringLiteral("language"),
                              QStringLiteral("text")};
    return tabSeparatedFile(header, lines, m_records.dropped());
}

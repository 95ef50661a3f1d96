#include "log/TabSeparated.h"

namespace {
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

#include "window/ChannelCheck.h"

#include "bridge/AppBridge.h"
#include "device/ChannelConflicts.h"

#include <QHash>

ChannelCheck::ChannelCheck(AppBridge &bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
}

QVariantMap ChannelCheck::check(const QVariantList &rows, const QString &channelPrefix) const
{
    QVector<ChannelUse> uses;
    QHash<QString, QString> names;
    const bool chinese = m_bridge.language() == QLatin1String("zh");
    for (const QVariant &row : rows) {
        const QVariantMap fields = row.toMap();
        const QString key = fields.value(QStringLiteral("key")).toString();
        uses.append({key, fields.value(QStringLiteral("channel")).toInt()});
        names.insert(key, fields.value(chinese ? QStringLiteral("zh") : QStringLiteral("en")).toString());
    }
    QStringList keys;
    QStringList lines;
    for (const ChannelConflict &conflict : channelConflicts(uses)) {
        keys << conflict.first << conflict.second;
        const QString channel = channelPrefix + QString::number(conflict.channel);
        lines << m_bridge.languageSetting()
                     .localized(QStringLiteral("%1与%2同为 %3"), QStringLiteral("%1 and %2 both on %3"))
                     .arg(names.value(conflict.first), names.value(conflict.second), channel);
    }
    keys.removeDuplicates();
    return {{QStringLiteral("keys"), keys},
            {QStringLiteral("text"), lines.join(m_bridge.languageSetting().localized(QStringLiteral("；"), QStringLiteral("; ")))}};
}

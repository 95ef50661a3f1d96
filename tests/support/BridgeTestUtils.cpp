#include "support/BridgeTestUtils.h"

#include "app/Config.h"
#include "bridge/AppBridge.h"

#include <QFile>
#include <QRegularExpression>

QStringList messageTexts(const AppBridge &bridge)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] "));
    QStringList texts;
    if (bridge.messageLog().isEmpty())
        return texts;
    for (QString line : bridge.messageLog().split(QLatin1Char('\n')))
        texts.append(line.remove(stamp));
    return texts;
}

void removeConfigFile()
{
    QFile::remove(configFilePath());
}

EntryCapture::EntryCapture(AppBridge &bridge)
{
    QObject::connect(&bridge.messages(), &MessageLog::entryAdded, &m_context,
                     [this](const MessageEntry &entry) { m_texts.append(entry.text); });
}

QStringList EntryCapture::startingWith(const QString &start) const
{
    QStringList found;
    for (const QString &text : m_texts) {
        if (text.startsWith(start))
            found.append(text);
    }
    return found;
}

#include "bridge/Language.h"

#include "app/Config.h"

Language::Language()
    : m_code(startLanguage())
{
}

Language::Change Language::set(const QString &requested)
{
    const QString normalised = requested.trimmed().toLower() == QLatin1String("en") ? QStringLiteral("en")
                                                                                     : QStringLiteral("zh");
    if (normalised == m_code)
        return Change::None;
    m_code = normalised;
    return writeConfiguredLanguage(m_code) ? Change::Saved : Change::NotSaved;
}

QString Language::localized(const QString &zh, const QString &en) const
{
    return m_code == QLatin1String("zh") ? zh : en;
}

Message settingsNotSavedMessage()
{
    return Message::error(QStringLiteral("设置无法保存: ") + configFilePath(),
                          QStringLiteral("Settings could not be saved: ") + configFilePath());
}

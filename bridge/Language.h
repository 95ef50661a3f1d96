#pragma once

#include "device/MessageSink.h"
#include "device/TextPair.h"

#include <QString>

// The operator's language, "zh" or "en", as the configuration file keeps it.
class Language
{
public:
    enum class Change { None, Saved, NotSaved };

    // Starts from the configured language, the locale's when there is none (app/Config's startLanguage()).
    Language();

    const QString &code() const { return m_code; }
    // Anything but "en" (in any case, with spaces around) means Chinese.
    // The choice holds even when it cannot be saved.
    Change set(const QString &requested);

    // Chinese when the language is exactly "zh", English otherwise.
    QString localized(const QString &zh, const QString &en) const;
    QString localized(const TextPair &text) const { return localized(text.zh, text.en); }

private:
    QString m_code;
};

// Every setting the bridge saves reports a failure in these words.
Message settingsNotSavedMessage();

#pragma once

#include "device/TextPair.h"

#include <QString>

// Messages on standard error in the user's language, data on standard output
// (language-neutral, so scripts can read it).
class CliOutput
{
public:
    explicit CliOutput(const QString &language);

    // zentaro.cfg's language when it names one, else the locale's (LANG).
    static QString chooseLanguage();

    QString text(const QString &zh, const QString &en) const;
    QString text(const TextPair &pair) const { return text(pair.zh, pair.en); }

    void error(const QString &message) const;
    void note(const QString &message) const;
    // Without a line break, for a progress bar redrawn in place.
    void noteInPlace(const QString &message) const;
    void data(const QString &line) const;

    static bool stdinIsTerminal();
    static bool stderrIsTerminal();

private:
    QString m_language;
};

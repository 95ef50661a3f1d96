#pragma once

#include "device/TextPair.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// Messages on standard error in the user's language, data on standard output
// (language-neutral, so scripts can read it).
class CliOutput
{
public:
    explicit CliOutput(const QString &language);

    // Standard output carries this program's data and nothing else, whatever
    // it is connected to. The bridge echoes its message log and diagnostic
    // lines to standard output whenever that is a terminal (as the window's
    // console); so the data moves to a descriptor of its own and descriptor 1
    // is pointed at /dev/null before the bridge exists. The echo then goes to
    // Qt's debug output, which --verbose shows on standard error. Called once,
    // first thing.
    static void reserveStandardOutput();

    // As the window starts: zentaro.cfg's language when it stores one, else the locale's.
    static QString chooseLanguage();

    QString text(const QString &zh, const QString &en) const;
    QString text(const TextPair &pair) const { return text(pair.zh, pair.en); }

    void error(const QString &message) const;
    void note(const QString &message) const;
    // Without a line break, for a progress bar redrawn in place.
    void noteInPlace(const QString &message) const;
    // False once standard output takes no more: its reader has gone, or a
    // write failed (a full disk, the file size limit).
    bool data(const QString &line) const;

    // Whether the reader of standard output has gone (a closed pipe: `| head`).
    bool dataReaderGone() const;
    // Why standard output failed, other than by its reader going; empty when it did not.
    QString dataFailure() const;

    // `words` as a command line to copy into a shell, quoted where needed.
    static QString commandLine(const QStringList &words);

    static bool stdinIsTerminal();
    static bool stderrIsTerminal();

private:
    QString m_language;
    mutable int m_dataErrno = 0;
};

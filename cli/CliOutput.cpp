#include "cli/CliOutput.h"

#include "app/Config.h"

#include <QLocale>

#include <cstdio>
#include <unistd.h>

namespace {
void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
}

CliOutput::CliOutput(const QString &language) : m_language(language) {}

QString CliOutput::chooseLanguage()
{
    const QString configured = readConfiguredLanguage(QString());
    if (!configured.isEmpty())
        return configured;
    return QLocale::system().language() == QLocale::Chinese ? QStringLiteral("zh") : QStringLiteral("en");
}

QString CliOutput::text(const QString &zh, const QString &en) const
{
    return m_language == QLatin1String("zh") ? zh : en;
}

void CliOutput::error(const QString &message) const
{
    write(stderr, QStringLiteral("tavoxctl: ") + message + QLatin1Char('\n'));
}

void CliOutput::note(const QString &message) const
{
    write(stderr, message + QLatin1Char('\n'));
}

void CliOutput::noteInPlace(const QString &message) const
{
    write(stderr, QLatin1Char('\r') + message);
}

void CliOutput::data(const QString &line) const
{
    write(stdout, line + QLatin1Char('\n'));
}

bool CliOutput::stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool CliOutput::stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

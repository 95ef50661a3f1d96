#include "cli/CliOutput.h"

#include "app/Config.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
FILE *dataStream = stdout;

bool write(FILE *stream, const QString &text)
{
    if (!stream) {
        errno = EBADF;
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}
}

CliOutput::CliOutput(const QString &language) : m_language(language) {}

void CliOutput::reserveStandardOutput()
{
    std::fflush(stdout);
    const int data = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    dataStream = data >= 0 ? ::fdopen(data, "w") : nullptr;
    // With standard output closed from the start, /dev/null lands on descriptor 1 by itself.
    const int nothing = ::open("/dev/null", O_WRONLY);
    if (nothing < 0 || nothing == STDOUT_FILENO)
        return;
    ::dup2(nothing, STDOUT_FILENO);
    ::close(nothing);
}

QString CliOutput::chooseLanguage()
{
    return startLanguage();
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

bool CliOutput::data(const QString &line) const
{
    if (m_dataErrno != 0)
        return false;
    if (write(dataStream, line + QLatin1Char('\n')))
        return true;
    m_dataErrno = errno != 0 ? errno : EBADF;
    return false;
}

bool CliOutput::dataReaderGone() const
{
    return m_dataErrno == EPIPE;
}

QString CliOutput::dataFailure() const
{
    if (m_dataErrno == 0 || dataReaderGone())
        return QString();
    return QString::fromLocal8Bit(std::strerror(m_dataErrno));
}

QString CliOutput::commandLine(const QStringList &words)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@+-]+$"));
    QStringList quoted;
    for (const QString &word : words) {
        if (plain.match(word).hasMatch())
            quoted.append(word);
        else
            quoted.append(QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                          + QLatin1Char('\''));
    }
    return quoted.join(QLatin1Char(' '));
}

bool CliOutput::stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool CliOutput::stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

#include "support/WindowProcess.h"

#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

WindowProcess::WindowProcess(const QStringList &arguments)
    : m_arguments(QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} + arguments)
{
}

QProcessEnvironment WindowProcess::environmentWithoutDisplay()
{
    QProcessEnvironment environment = englishEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

bool WindowProcess::start()
{
    // The libraries the copy loads are still found through the build's run path.
    const QString program = m_dir.filePath(QStringLiteral("tavox"));
    if (!QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), program))
        return false;
    QProcessEnvironment environment = environmentWithoutDisplay();
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    m_process.setProcessEnvironment(environment);
    // Files, not pipes: a window whose output nobody reads must never stall on a full pipe.
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("stdout.log")));
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.log")));
    m_process.start(program, m_arguments);
    return m_process.waitForStarted(ProcessWaitMs);
}

QStringList WindowProcess::logRecords() const
{
    const QDir logs(m_dir.filePath(QStringLiteral("logs")));
    const QStringList files = logs.entryList({QStringLiteral("tavox_*.log")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return {};
    static const QRegularExpression record(QStringLiteral("^[A-Z]/\\S+\\s+\\[[^\\]]+\\] (.*)$"));
    QStringList texts;
    QString content = QString::fromUtf8(readFile(logs.filePath(files.last())));
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    for (const QString &line : content.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = record.match(line);
        texts.append(match.hasMatch() ? match.captured(1) : line);
    }
    return texts;
}

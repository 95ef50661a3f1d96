#include "app/PlatformFailure.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <utility>

QVector<PlatformFailureExit::HeldMessage> PlatformFailureExit::s_held;

namespace {
const QByteArray PlatformCategoryPrefix = QByteArrayLiteral("qt.qpa.");

QString displayDescription()
{
    const QByteArray display = qgetenv("DISPLAY");
    return display.isEmpty() ? QStringLiteral("DISPLAY is not set") : QStringLiteral("DISPLAY=") + QString::fromLocal8Bit(display);
}

// Qt's fatal text blames the installation; only the plugins it names are worth passing on.
QString availablePlugins(const QString &fatalText)
{
    static const QRegularExpression available(QStringLiteral("Available platform plugins are: ([^\\n]*?)\\.?\\s*$"));
    const QRegularExpressionMatch match = available.match(fatalText);
    return match.hasMatch() ? QStringLiteral("available platform plugins: ") + match.captured(1) : QString();
}
}

PlatformFailureExit::PlatformFailureExit()
    : m_previous(qInstallMessageHandler(&PlatformFailureExit::handle))
    , m_watching(true)
{
}

void PlatformFailureExit::release()
{
    if (!m_watching)
        return;
    m_watching = false;
    qInstallMessageHandler(m_previous);
    for (const HeldMessage &message : std::exchange(s_held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr,
                                         message.category.isEmpty() ? nullptr : message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

void PlatformFailureExit::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg)
        exitWithReason(text);
    s_held.append({type, QByteArray(context.category), text});
}

QString PlatformFailureExit::failureReason(const QString &fatalText)
{
    QStringList reasons;
    for (const HeldMessage &message : qAsConst(s_held)) {
        if (!message.category.startsWith(PlatformCategoryPrefix))
            continue;
        if (message.text.startsWith(QLatin1String("could not connect to display"))) {
            const QString plugin = QString::fromLatin1(message.category.mid(PlatformCategoryPrefix.size()));
            return QStringLiteral("no display could be reached (%1; platform plugin %2)").arg(displayDescription(), plugin);
        }
        reasons.append(message.text.trimmed());
    }
    reasons.append(availablePlugins(fatalText));
    reasons.removeAll(QString());
    return reasons.isEmpty() ? fatalText.simplified().section(QLatin1String(". "), 0, 0) : reasons.join(QLatin1String("; "));
}

void PlatformFailureExit::exitWithReason(const QString &fatalText)
{
    const QString line = QStringLiteral("tavox: cannot open the window: ") + failureReason(fatalText) + QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), stderr);
    // Qt is half way through building the application object: no static destructor may run now.
    std::_Exit(ExitStatus);
}

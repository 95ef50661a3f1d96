#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <QtGlobal>

// Watches the construction of the application object, where Qt opens the
// window system. When no platform plugin can start there (no display to
// reach, an unknown QT_QPA_PLATFORM), Qt aborts with a fatal message that
// blames the installation; instead the operator gets one line naming the
// cause on standard error and the exit status 1.
//
// Qt's other messages of that time are held back, so a failed start prints
// that line alone, and passed on as they were once the platform is up.
class PlatformFailureExit
{
public:
    static constexpr int ExitStatus = 1;

    PlatformFailureExit();
    PlatformFailureExit(const PlatformFailureExit &) = delete;
    PlatformFailureExit &operator=(const PlatformFailureExit &) = delete;

    // The platform is up: Qt's messages go where they went before, those held back first.
    void release();

private:
    struct HeldMessage
    {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);
    static QString failureReason(const QString &fatalText);
    [[noreturn]] static void exitWithReason(const QString &fatalText);

    static QVector<HeldMessage> s_held;
    QtMessageHandler m_previous = nullptr;
    bool m_watching = false;
};

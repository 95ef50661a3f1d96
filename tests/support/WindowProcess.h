#pragma once

#include "support/ProgramRun.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real window as a process of its own, headless (Qt's own -platform
// offscreen, nothing from the test's environment), from a copy of the program
// in a folder of its own, where its zentaro.cfg and logs/ then are:
//   WindowProcess window({"--port", sim.portName()});
//   QVERIFY(window.start());
//   window.signal(SIGTERM);
//   QCOMPARE(window.finish(), 0);
class WindowProcess : public RunningProgram
{
public:
    explicit WindowProcess(const QStringList &arguments);
    ~WindowProcess() { end(); }   // before its folder goes

    // The environment without a display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM removed.
    static QProcessEnvironment environmentWithoutDisplay();

    bool start();

    // The messages of its log file's records (level, tag and time taken off), in order;
    // empty while there is no log file.
    QStringList logRecords() const;

private:
    QTemporaryDir m_dir;
    QStringList m_arguments;
};

#pragma once

#include "support/ProgramRun.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A user whom the system may refuse a device. Root opens any device whatever
// its mode, so a test run as root meets the system as the user "nobody": in a
// forked child that gives up root, or through setpriv for a program. A test
// run by an ordinary user meets it as that user.

// For a forked child: gives up root for "nobody", without any other group.
// Does nothing for an ordinary user. False when root could not be given up.
bool becomeUnprivileged();

// Sets `device` so that the unprivileged user may not open it. With
// `groupMayOpen` its group still may: root gives the device to the group
// dialout, which "nobody" is not in; an ordinary user, the owner, is refused by
// the owner's bits whatever its groups. False when that could not be done.
bool shutOutUnprivileged(const QString &device, bool groupMayOpen);

// The name of the group `path` belongs to; empty when it cannot be found.
QString groupOf(const QString &path);

// A temporary folder that the unprivileged user may enter and write, holding
// copies of the build's programs with the tool's libraries beside them, since
// the build may lie in a folder only its owner may enter. A copied program
// keeps its zentaro.cfg and logs/ in the folder.
class SharedFolder
{
public:
    SharedFolder();

    // False when the unprivileged user cannot reach the folder: TMPDIR lies
    // in a private folder.
    bool isReachable() const { return m_reachable; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // The build's program `name` (tavox, tavoxctl) copied in; empty on failure.
    QString copyProgram(const QString &name);
    // Runs a program of the folder as the unprivileged user, with nothing on
    // its standard input.
    ProgramRun run(const QString &program, const QStringList &arguments, QProcessEnvironment environment,
                   int timeoutMs = 60000) const;

private:
    bool copyLibraries();
    void shareLeakSuppressions(QProcessEnvironment &environment) const;

    QTemporaryDir m_dir;
    bool m_reachable = false;
    bool m_librariesCopied = false;
};

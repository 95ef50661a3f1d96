#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

QString buildProgram(const QString &name)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../") + name);
}

QString copyOfBuildProgram(const QString &name, const QString &folder)
{
    const QString copy = folder + QLatin1Char('/') + name;
    if (!QFile::copy(buildProgram(name), copy))
        return QString();
    const QString libraries = folder + QStringLiteral("/lib");
    return QFileInfo::exists(libraries) || QFile::link(buildProgram(QStringLiteral("lib")), libraries) ? copy : QString();
}

Renderer rendererNamed(const QString &name, bool &known)
{
    known = true;
    if (name == QLatin1String("software"))
        return Renderer::Software;
    if (name == QLatin1String("opengl"))
        return Renderer::OpenGl;
    known = name == QLatin1String("chosen");
    return Renderer::AsChosen;
}

bool parseRunOptions(const QStringList &args, const char *benchmark, RunOptions &options, const OtherOption &other)
{
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args.at(i);
        const QString &value = args.at(i + 1);
        bool known = true;
        if (name == QLatin1String("--runs"))
            options.runs = qMax(1, value.toInt());
        else if (name == QLatin1String("--renderer"))
            options.renderer = rendererNamed(value, known);
        else
            known = other && other(name, value);
        if (!known) {
            std::fprintf(stderr, "%s: unknown option or value: %s %s\n", benchmark, qPrintable(name), qPrintable(value));
            return false;
        }
    }
    return args.size() % 2 == 1;
}

QString rendererLabel(Renderer renderer)
{
    switch (renderer) {
    case Renderer::Software:
        return QStringLiteral("software renderer");
    case Renderer::OpenGl:
        return QStringLiteral("OpenGL on llvmpipe");
    case Renderer::AsChosen:
        break;
    }
    return QStringLiteral("renderer the tool chooses");
}

const char *rendererName(Renderer renderer)
{
    switch (renderer) {
    case Renderer::Software:
        return "software";
    case Renderer::OpenGl:
        return "opengl";
    case Renderer::AsChosen:
        break;
    }
    return "chosen";
}

QString privateToolCopy(const QTemporaryDir &dir, bool recording)
{
    const QString copy = copyOfBuildProgram(QStringLiteral("tavox"), dir.path());
    if (copy.isEmpty())
        return QString();
    QFile settings(dir.filePath(QStringLiteral("zentaro.cfg")));
    const QByteArray text = recording ? QByteArray() : QByteArray("[recording]\nenabled=false\n");
    return settings.open(QIODevice::WriteOnly) && settings.write(text) == text.size() ? copy : QString();
}

QProcessEnvironment toolEnvironment(Renderer renderer)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI", "QSG_RHI_BACKEND",
                             "LIBGL_ALWAYS_SOFTWARE", "TAVOX_SCREENSHOT", "TAVOX_STARTUP_PROBE", "TAVOX_TIMER_PROBE",
                             "TAVOX_ZOOM_PROBE", "TAVOX_DIALOG_PROBE", "TAVOX_OPEN_VIEW", "QT_XCB_GL_INTEGRATION"})
        env.remove(QString::fromLatin1(name));
    if (renderer == Renderer::Software) {
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    } else if (renderer == Renderer::OpenGl) {
        env.insert(QStringLiteral("QSG_RHI"), QStringLiteral("0"));
        env.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
    }
    return env;
}

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name may hold spaces and parentheses: fields count from the last ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();   // utime, stime
    return ticks / double(sysconf(_SC_CLK_TCK));
}

bool holdsOpen(qint64 pid, const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).canonicalFilePath() == target)
            return true;
    }
    return false;
}

double commandMs(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess command;
    command.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    command.start(program, arguments);
    const bool finished = command.waitForFinished(timeoutMs);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (finished && command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0)
        return ms;
    std::fprintf(stderr, "%s", command.readAllStandardError().constData());
    return -1;
}

QString startSimulator(QProcess &sim, const QStringList &arguments)
{
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(buildProgram(QStringLiteral("tavox-sim")), arguments);
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000))
        return QString();
    return QString::fromLocal8Bit(sim.readLine().trimmed());
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

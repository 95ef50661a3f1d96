#include "support/CtlRun.h"

#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

ProgramRun runCtl(const QStringList &arguments, const QProcessEnvironment &environment, const QString &program)
{
    return runProgram(program, arguments, environment, CtlRunTimeoutMs);
}

ProgramRun runOn(const SimProcess &sim, const QStringList &arguments)
{
    return runCtl(QStringList{QStringLiteral("-p"), sim.portName()} + arguments);
}

QString privateCtl(const QTemporaryDir &dir)
{
    return copyBuiltProgram(QStringLiteral("tavoxctl"), dir.path());
}

QJsonObject jsonOf(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

int commandsReceived(const SimProcess &sim)
{
    return sim.errorOutput().count(QRegularExpression(QStringLiteral("RX command 0x")));
}

SentFrames framesSentBy(const SimProcess &sim, const QStringList &arguments)
{
    const QString endMark = QStringLiteral("9D");
    const int before = simReceivedFrames(sim.errorOutput()).size();
    SentFrames sent;
    sent.run = runOn(sim, arguments);
    if (runOn(sim, {QStringLiteral("calibrate"), QStringLiteral("gyro")}).exitCode != 0)
        return sent;
    const QVector<SimReceivedFrame> frames = simReceivedFrames(sim.errorOutput());
    for (int i = before; i < frames.size(); ++i)
        sent.frames.append(frames.at(i).name);
    const int mark = sent.frames.lastIndexOf(endMark);
    sent.marked = mark >= 0;
    sent.frames = sent.frames.mid(0, qMax(mark, 0));
    return sent;
}

bool portReleased(const QString &lockWhileOpen, const QString &port)
{
    if (!lockWhileOpen.isEmpty())
        return !QFile::exists(lockWhileOpen);
    return runCtl({QStringLiteral("-p"), port, QStringLiteral("params"), QStringLiteral("get")}).exitCode == 0;
}

RunningCtl::RunningCtl(const QString &program, const QStringList &arguments, const QString &input)
{
    m_process.setProcessEnvironment(englishEnvironment());
    if (!input.isEmpty())
        m_process.setStandardInputFile(input);
    m_process.start(program, arguments);
}

bool RunningCtl::waitForMessage(const QString &text)
{
    return QTest::qWaitFor([&] { return messages().contains(text); }, ProcessWaitMs);
}

QString RunningCtl::messages()
{
    m_messages += QString::fromUtf8(m_process.readAllStandardError());
    return m_messages;
}

// tavoxctl monitor, the real program against the real simulated controller.
#include "support/CtlRun.h"
#include "support/SerialLock.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>

namespace {
QVector<QJsonObject> jsonLines(const QString &text)
{
    QVector<QJsonObject> objects;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return {};
        objects.append(document.object());
    }
    return objects;
}

bool within(const QJsonValue &value, double low, double high)
{
    return value.isDouble() && value.toDouble() >= low && value.toDouble() <= high;
}

// Every value of a receiver's channels, as the simulator swings them around their centre.
bool channelsWithin(const QJsonObject &channels, int count, double low, double high)
{
    return channels.size() == count
        && std::all_of(channels.begin(), channels.end(), [&](const QJsonValue &value) { return within(value, low, high); });
}
}

class TestCliMonitor : public QObject
{
    Q_OBJECT

private slots:
    void monitorJson();
    void monitorText();
    void monitorWithoutHeartbeatTimesOut();
    void monitorGoesOnAcrossALostPort_data();
    void monitorGoesOnAcrossALostPort();
    void monitorEndsOnInterrupt();
    void monitorEndsWhenItsReaderGoes_data();
    void monitorEndsWhenItsReaderGoes();
};

// On a noisy line, values within what the simulator sends: attitude swings of
// 15, 4 and 30 degrees, an IMU between 32 and 45 degrees, receivers around
// their centres, 20 heartbeats a second, and the noise counted.
void TestCliMonitor::monitorJson()
{
    SimProcess sim({"--noise-rate", "0.2"});
    QVERIFY(sim.start());

    const ProgramRun run = runOn(sim, {"monitor", "--seconds", "2", "--json"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QVector<QJsonObject> reports = jsonLines(run.out);
    QCOMPARE(reports.size(), 2);
    for (const QJsonObject &report : reports) {
        const QJsonObject attitude = report.value("attitude").toObject();
        QVERIFY2(within(attitude.value("pitch"), -15, 15) && within(attitude.value("roll"), -4, 4)
                     && within(attitude.value("yaw"), -30, 30) && within(report.value("imuTemperature"), 32, 45),
                 qPrintable(run.out));
        QCOMPARE(report.value("joints").toObject().keys(), (QStringList{"inner", "middle", "outer"}));
        QCOMPARE(report.value("status").toObject().size(), 8);
        const QJsonObject receivers = report.value("receivers").toObject();
        QVERIFY(channelsWithin(receivers.value("sbus").toObject(), 5, 692, 1292));
        QVERIFY(channelsWithin(receivers.value("pwm").toObject(), 3, 1250, 1750));
        QVERIFY(channelsWithin(receivers.value("crsf").toObject(), 5, 692, 1292));
        // A busy machine bunches frames or thins them out within one second; only an order of magnitude is fixed.
        QVERIFY2(within(report.value("link").toObject().value("framesPerSecond"), 1, 200), qPrintable(run.out));
    }
    const QJsonObject last = reports.last().value("link").toObject();
    QVERIFY2(last.value("resyncBytes").toDouble() > 0, qPrintable(run.out));
    QVERIFY(last.value("frames").toDouble() > reports.first().value("link").toObject().value("frames").toDouble());
}

// A day, the longest timeout, is a day: the monitor waits for its heartbeat
// instead of giving up at once. The heartbeats are all it reports: it asks the
// controller for nothing, neither at once nor when the window would have asked
// for its block and versions.
void TestCliMonitor::monitorText()
{
    SimProcess sim({"--hb-len", "45", "--verbose"});
    QVERIFY(sim.start());
    const SentFrames sent = framesSentBy(sim, {"-t", "86400", "monitor", "--seconds", "1"});
    QVERIFY2(sent.run.exitCode == 0, qPrintable(sent.run.err));
    QVERIFY(sent.marked);
    QCOMPARE(sent.frames, QStringList());
    const QStringList lines = sent.run.out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("pitch ")) && lines.at(0).contains(QStringLiteral(" °C")),
             qPrintable(sent.run.out));
    QVERIFY(lines.at(2).contains(QRegularExpression(QStringLiteral("^  receivers SBUS( \\d+){5}   PWM 0 0 0$"))));
    QVERIFY(lines.at(3).contains(QRegularExpression(QStringLiteral(
        "^  link [\\d.]+ frames/s .* CRC failures 0 .* last heartbeat \\d+ ms ago$"))));
}

void TestCliMonitor::monitorWithoutHeartbeatTimesOut()
{
    SimProcess sim({"--hb-rate", "0"});
    QVERIFY(sim.start());
    const ProgramRun run = runOn(sim, {"-t", "1", "monitor", "--json"});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains("waiting for a heartbeat") && run.out.isEmpty(), qPrintable(run.err));
}

void TestCliMonitor::monitorGoesOnAcrossALostPort_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("reconnects");
    QTest::newRow("reconnection on") << QStringList() << QByteArray() << true;
    QTest::newRow("--no-reconnect") << QStringList{"--no-reconnect"} << QByteArray() << false;
    QTest::newRow("off in zentaro.cfg") << QStringList() << QByteArray("[serial]\nreconnect=false\n") << false;
}

// The simulator hangs up and comes back behind the same link: the monitor says so both ways and reports on
// until its time is up, or, with reconnection off, ends as with any lost port. The simulator's clock for the
// hang-up starts with the first bytes it receives, which a monitor never sends: an info run sends them.
void TestCliMonitor::monitorGoesOnAcrossALostPort()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, config);
    QFETCH(bool, reconnects);
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    QVERIFY(config.isEmpty() || writeFile(dir.filePath(QStringLiteral("zentaro.cfg")), config));
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    SimProcess sim({"--link", link, "--fault-hangup-after", "1500", "--fault-return-after", "300"});
    QVERIFY(sim.start());
    const int seconds = 4;
    QCOMPARE(runCtl({"-p", link, "info"}, englishEnvironment(), ctl).exitCode, 0);

    const ProgramRun run = runCtl(QStringList{"-p", link, "monitor", "--json", "--seconds",
                                              QString::number(seconds)} + options, englishEnvironment(), ctl);
    const QString lost = QStringLiteral("port %1 lost; waiting for it to come back…").arg(link);
    const QString back = QStringLiteral("reconnected: %1").arg(link);
    if (reconnects) {
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.indexOf(lost) >= 0 && run.err.indexOf(lost) < run.err.indexOf(back), qPrintable(run.err));
        QCOMPARE(jsonLines(run.out).size(), seconds);
    } else {
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains("serial port was lost") && !run.err.contains(lost), qPrintable(run.err));
    }
}

void TestCliMonitor::monitorEndsOnInterrupt()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QProcess ctl;
    ctl.setProcessEnvironment(englishEnvironment());
    ctl.start(tavoxctlProgram(), {"-p", sim.portName(), "monitor", "--json"});
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(ctl.readAllStandardOutput())).contains(QLatin1Char('\n')),
                             ProcessWaitMs);
    const QString lock = serialLockFile(sim.portName());
    ::kill(pid_t(ctl.processId()), SIGTERM);
    QVERIFY(ctl.waitForFinished(ProcessWaitMs));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 0);
    QVERIFY(!jsonLines(out + QString::fromUtf8(ctl.readAllStandardOutput())).isEmpty());
    QVERIFY(portReleased(lock, sim.portName()));
}

void TestCliMonitor::monitorEndsWhenItsReaderGoes_data()
{
    QTest::addColumn<QStringList>("format");
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("JSON") << QStringList{"--json"} << QString() << "^\\{\"attitude\":";
    // The first line is one of the bridge's messages; the messages after it find the pipe closed too.
    QTest::newRow("messages into the pipe first") << QStringList{"--json", "--verbose"} << "2>&1" << ".";
}

// `tavoxctl monitor | head -n 1`: the report after the one head took finds the
// pipe closed and ends the monitor as Ctrl-C does, with its port closed.
void TestCliMonitor::monitorEndsWhenItsReaderGoes()
{
    QFETCH(QStringList, format);
    QFETCH(QString, redirection);
    QFETCH(QString, firstLine);
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("STATUS"), dir.filePath(QStringLiteral("status")));
    QProcess pipeline;
    pipeline.setProcessEnvironment(environment);
    const QString script = QStringLiteral("{ \"$0\" \"$@\" %1; echo $? > \"$STATUS\"; } | head -n 1").arg(redirection);
    pipeline.start(QStringLiteral("sh"), QStringList{"-c", script, tavoxctlProgram(), "-p", sim.portName(), "monitor"} + format);
    QVERIFY(QTest::qWaitFor([&] { return pipeline.canReadLine(); }, ProcessWaitMs));
    const QString lock = serialLockFile(sim.portName());
    QVERIFY(pipeline.waitForFinished(ProcessWaitMs));
    const QString out = QString::fromUtf8(pipeline.readAll());
    QCOMPARE(out.count(QLatin1Char('\n')), 1);
    QVERIFY2(out.contains(QRegularExpression(firstLine)), qPrintable(out));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("status"))).trimmed(), QByteArray("0"));
    QVERIFY(portReleased(lock, sim.portName()));
}

QTEST_GUILESS_MAIN(TestCliMonitor)
#include "tst_climonitor.moc"

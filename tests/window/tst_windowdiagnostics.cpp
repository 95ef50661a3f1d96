#include "bridge/AppBridge.h"
#include "bridge/LinkHealth.h"
#include "service/DiagnosticsExport.h"
#include "window/DisplayRhythm.h"
#include "window/LinkMonitor.h"
#include "window/MessageJournal.h"
#include "window/PortCatalog.h"
#include "window/SessionExport.h"
#include "window/WindowState.h"
#include "support/ArchiveEntries.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;

QVector<QStringList> rowsWith(const QVector<QStringList> &rows, int column, const QString &value)
{
    QVector<QStringList> found;
    for (const QStringList &row : rows) {
        if (row.value(column) == value)
            found.append(row);
    }
    return found;
}

// The seconds in "… after 6.2 s", or -1.
double secondsIn(const QString &text)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("(\\d+\\.\\d) s")).match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

template <typename Object>
Object *published(QQmlEngine &engine, const char *name)
{
    return qobject_cast<Object *>(engine.rootContext()->contextProperty(QLatin1String(name)).value<QObject *>());
}
}

class TestWindowDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { removeConfigFile(); }
    void linkFiguresChangeInTheWindowsRhythmAndWithoutIt();
    void heartbeatGapIsToldOnceAndTheArchiveHoldsTheWholeSession();
    void sessionIsExportedWithItsNotesOrSaysWhyNot();
};

// While heartbeats come, the figures renew in the window's rhythm. A busy machine may hold a heartbeat back;
// the timer may then renew them in the rhythm's place, but only once the rhythm has missed its turn.
void TestWindowDiagnostics::linkFiguresChangeInTheWindowsRhythmAndWithoutIt()
{
    SimProcess sim({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("6000:6000")});
    QVERIFY(sim.start());
    AppBridge bridge;
    DisplayRhythm rhythm(bridge);
    LinkHealth health(bridge, true);
    bool inRhythm = false;
    QElapsedTimer sinceDue;
    connect(&rhythm, &DisplayRhythm::due, &health, [&] {
        sinceDue.start();
        inRhythm = true;
        health.refreshIfDue();
        inRhythm = false;
    });
    int renewedInRhythm = 0;
    QVector<qint64> renewedApartAfterDueMs;   // -1: before the rhythm began
    connect(&health, &LinkHealth::changed, this, [&] {
        if (inRhythm)
            ++renewedInRhythm;
        else
            renewedApartAfterDueMs.append(sinceDue.isValid() ? sinceDue.elapsed() : -1);
    });
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    renewedApartAfterDueMs.clear();

    QTRY_VERIFY_WITH_TIMEOUT(renewedInRhythm >= 2, 15000);
    QVERIFY(health.framesPerSecond() > 0);
    for (const qint64 ms : qAsConst(renewedApartAfterDueMs))
        QVERIFY2(ms < 0 || ms >= LinkHealth::FollowingSlackMs,
                 qPrintable(QStringLiteral("renewed apart %1 ms after the rhythm's last call").arg(ms)));

    // A silent link has no rhythm, and its figures still move.
    QTRY_VERIFY_WITH_TIMEOUT(health.linkLost(), 15000);
    const int renewedBefore = renewedApartAfterDueMs.size();
    QTRY_VERIFY_WITH_TIMEOUT(renewedApartAfterDueMs.size() >= renewedBefore + 2, 5000);
    QVERIFY(health.sinceHeartbeatMs() > LinkHealth::LostAfterMs);
}

void TestWindowDiagnostics::heartbeatGapIsToldOnceAndTheArchiveHoldsTheWholeSession()
{
    // Three times the silence that counts as lost: a loss told again for the same gap would show.
    const int gapMs = 3 * LinkHealth::LostAfterMs;
    // Late enough that heartbeats have come before it, however slowly the port is opened.
    SimProcess sim({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("5000:%1").arg(gapMs)});
    QVERIFY(sim.start());
    AppBridge bridge;
    EntryCapture entries(bridge);
    QQmlEngine engine;
    QObject owner;
    publishWindowState(*engine.rootContext(), bridge, owner);
    auto *journal = published<MessageJournal>(engine, "messageJournal");
    auto *diagnostics = published<DiagnosticsExport>(engine, "diagnosticsExport");
    auto *monitor = published<LinkMonitor>(engine, "linkMonitor");
    bridge.setLanguage(QStringLiteral("en"));

    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    // Opened from outside the port box, as by the command line: the box shows the port in use.
    QCOMPARE(published<PortCatalog>(engine, "portCatalog")->chosenName(), sim.portName());
    QTRY_VERIFY_WITH_TIMEOUT(monitor->telemetryLive(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!entries.startingWith(QStringLiteral("Heartbeat lost")).isEmpty(), ProcessWaitMs);
    // The window's monitor runs out of patience at the same heartbeat.
    QTRY_COMPARE_WITH_TIMEOUT(monitor->state(), LinkMonitor::LinkLost, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!entries.startingWith(QStringLiteral("Heartbeat restored")).isEmpty(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(monitor->telemetryLive(), ProcessWaitMs);
    const QStringList lost = entries.startingWith(QStringLiteral("Heartbeat lost"));
    QCOMPARE(lost.size(), 1);
    QVERIFY2(secondsIn(lost.first()) >= LinkHealth::LostAfterMs / 1000.0, qPrintable(lost.first()));
    const QString restored = entries.startingWith(QStringLiteral("Heartbeat restored")).first();
    // Heartbeats come many times a second, so the gap seen is the simulator's, give or take the delivery.
    QVERIFY2(secondsIn(restored) >= gapMs / 1000.0 - 0.3 && secondsIn(restored) < gapMs / 1000.0 + 20, qPrintable(restored));

    const int logged = MessageJournal::MaxEntries + 100;
    for (int n = 0; n < logged; ++n)
        bridge.messages().report(Message::info(QStringLiteral("条目 %1").arg(n), QStringLiteral("entry %1").arg(n)));
    QCOMPARE(journal->count(), MessageJournal::MaxEntries);
    journal->clear();
    bridge.closeSerial();
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    const QString port = sim.portName();
    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(bridge.serialLink().portLost(), ProcessWaitMs);

    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("diagnostics.zip"));
    QVERIFY(diagnostics->exportTo(archive));

    const QVector<QStringList> messages = archivedTable(archive, QStringLiteral("session/messages.tsv"));
    QCOMPARE(messages.first(), (QStringList {"time", "kind", "language", "text"}));
    int previous = -1;
    for (const QStringList &row : messages) {
        if (!row.value(3).startsWith(QLatin1String("entry ")))
            continue;
        QCOMPARE(row.at(3).mid(6).toInt(), previous + 1);
        previous = row.at(3).mid(6).toInt();
    }
    QCOMPARE(previous, logged - 1);
    QCOMPARE(rowsWith(messages, 3, lost.first()).value(0).mid(1, 2), (QStringList {"error", "en"}));
    QCOMPARE(rowsWith(messages, 3, restored).value(0).mid(1, 2), (QStringList {"success", "en"}));

    const QVector<QStringList> events = archivedTable(archive, QStringLiteral("session/link-events.tsv"));
    QCOMPARE(events.first(), (QStringList {"time", "event", "detail"}));
    QStringList happened;
    for (const QStringList &row : events.mid(1))
        happened.append(row.value(1));
    QCOMPARE(happened, (QStringList {"port-opened", "heartbeat-lost", "heartbeat-restored", "port-closed", "port-opened",
                                     "port-lost", "waiting-for-port"}));
    QCOMPARE(events.at(1).at(2), QStringLiteral("%1 at %2 baud").arg(port).arg(Baud));
    QCOMPARE(secondsIn(events.at(3).at(2)), secondsIn(restored));
    QCOMPARE(events.at(6).at(2), port);
    // Once per gap, however long the session went on after it.
    QCOMPARE(entries.startingWith(QStringLiteral("Heartbeat lost")).size(), 1);
}

void TestWindowDiagnostics::sessionIsExportedWithItsNotesOrSaysWhyNot()
{
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("20261208-141503_ttyUSB0.pcapng"));
    QVERIFY(writeFile(recording, QByteArray(3 << 20, '\x0a')) && writeFile(dir.filePath("20261208-141503_ttyUSB0.tsv"), "notes\n"));
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    SessionExport exporter(bridge, dir.path());
    exporter.refresh();
    QCOMPARE(exporter.sessions().value(0).toMap().value(QStringLiteral("port")).toString(), QStringLiteral("ttyUSB0"));

    const QString copy = dir.filePath(QStringLiteral("copy.pcapng"));
    QVERIFY(exporter.exportTo(SessionFolder(dir.path()).sessions().value(0), copy));
    QCOMPARE(messageTexts(bridge).last(), QStringLiteral("Session exported to ") + copy);
    QVERIFY(readFile(copy) == readFile(recording));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("copy.tsv"))), QByteArray("notes\n"));
    QVERIFY(!exporter.exportTo(SessionFolder(dir.path()).sessions().value(0), copy + QStringLiteral("/under-a-file")));
    QVERIFY(messageTexts(bridge).last().startsWith(QStringLiteral("Could not export the session to %1/").arg(copy)));
}

QTEST_GUILESS_MAIN(TestWindowDiagnostics)
#include "tst_windowdiagnostics.moc"

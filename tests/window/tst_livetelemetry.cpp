#include "bridge/AppBridge.h"
#include "window/DisplayRhythm.h"
#include "window/LiveTelemetry.h"
#include "window/PlotExport.h"
#include "window/TelemetryHistory.h"
#include "support/BridgeTestUtils.h"
#include "support/FakeBridge.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QElapsedTimer>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

namespace {
// Longer than the shortest spacing of two publications.
const int QuietSpellMs = 1000 / DisplayRhythm::MaxUpdatesPerSecond + 20;

QMetaMethod notifySignalOf(const QObject &map, const char *name)
{
    const QMetaObject *type = map.metaObject();
    return type->property(type->indexOfProperty(name)).notifySignal();
}

std::unique_ptr<QSignalSpy> spyOn(QObject &map, const char *name)
{
    return std::make_unique<QSignalSpy>(&map, notifySignalOf(map, name));
}

// The double announces each property it is given; the bridge announces a
// whole heartbeat once.
void setQuietly(FakeBridge &source, const char *name, const QVariant &value)
{
    const QSignalBlocker quiet(source);
    source.setProperty(name, value);
}

void heartbeat(FakeBridge &source, const char *name, const QVariant &value)
{
    setQuietly(source, name, value);
    emit source.heartbeatChanged();
}

// The spacing of the rhythm's publications as far as a test can time it without a clock of the rhythm's:
// from the last heartbeat before one publication, taken before the rhythm saw it, to the next publication,
// taken after the rhythm made it. That is never shorter than the spacing the rhythm itself measured.
class PublicationSpacing
{
public:
    explicit PublicationSpacing(DisplayRhythm &rhythm)
    {
        m_clock.start();
        QObject::connect(&rhythm, &DisplayRhythm::heartbeat, [this] { m_heartbeatNs = m_clock.nsecsElapsed(); });
        QObject::connect(&rhythm, &DisplayRhythm::due, [this] {
            if (m_previousNs >= 0)
                m_shortestNs = qMin(m_shortestNs, m_clock.nsecsElapsed() - m_previousNs);
            m_previousNs = m_heartbeatNs;
        });
    }

    // -1 until there have been two publications.
    qint64 shortestMs() const { return m_shortestNs == std::numeric_limits<qint64>::max() ? -1 : m_shortestNs / 1000000; }

private:
    QElapsedTimer m_clock;
    qint64 m_heartbeatNs = -1;
    qint64 m_previousNs = -1;
    qint64 m_shortestNs = std::numeric_limits<qint64>::max();
};
}

class TestLiveTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void burstIsCoalescedAndEndsOnItsLatestValues();
    void onlyChangedValuesNotify();
    void heartbeatAfterQuietOrAtTheIntervalShowsAtOnce();
    void lastHeartbeatOfEveryBurstIsShown();
    void plotRepaintsWithTheValuesAndHoldsTheirHeartbeat();
    void followsTheRealBridgeAndItsSimulatedController();

private:
    std::unique_ptr<FakeBridge> m_source;
    std::unique_ptr<DisplayRhythm> m_rhythm;
    std::unique_ptr<LiveTelemetry> m_live;
};

void TestLiveTelemetry::init()
{
    m_live.reset();
    m_rhythm.reset();
    m_source = std::make_unique<FakeBridge>();
    setQuietly(*m_source, "hbRoll", 3.0);
    setQuietly(*m_source, "hbAttiReady", true);
    setQuietly(*m_source, "hbReceived", true);
    m_rhythm = std::make_unique<DisplayRhythm>(*m_source);
    m_live = std::make_unique<LiveTelemetry>(*m_source, *m_rhythm);
}

void TestLiveTelemetry::burstIsCoalescedAndEndsOnItsLatestValues()
{
    const PublicationSpacing spacing(*m_rhythm);
    for (int i = 1; i <= 100; ++i) {
        setQuietly(*m_source, "hbSbusPitchValue", 1000 + i);
        heartbeat(*m_source, "hbPitch", i / 10.0);
    }
    QTRY_COMPARE(m_live->value(QStringLiteral("hbPitch")).toDouble(), 10.0);
    QCOMPARE(m_live->value(QStringLiteral("hbSbusPitchValue")).toInt(), 1100);
    // The burst's first heartbeat shows at once and its last by the timer: however long the burst took on a
    // busy machine, no two updates of the window came closer than the rhythm allows.
    QVERIFY(m_live->publications() >= 2);
    QVERIFY2(spacing.shortestMs() >= DisplayRhythm::IntervalMs - DisplayRhythm::EarlyByMs,
             qPrintable(QStringLiteral("%1 publications, %2 ms apart")
                            .arg(m_live->publications()).arg(spacing.shortestMs())));
}

void TestLiveTelemetry::onlyChangedValuesNotify()
{
    QCOMPARE(m_live->value(QStringLiteral("hbRoll")).toDouble(), 3.0);
    QCOMPARE(m_live->value(QStringLiteral("hbAttiReady")).toBool(), true);
    QCOMPARE(m_live->publications(), 0);
    const auto pitch = spyOn(*m_live, "hbPitch");
    const auto roll = spyOn(*m_live, "hbRoll");
    const auto ready = spyOn(*m_live, "hbAttiReady");
    const auto notified = [&] { return QVector<int> {pitch->count(), roll->count(), ready->count()}; };

    heartbeat(*m_source, "hbPitch", 1.5);
    QCOMPARE(notified(), (QVector<int> {1, 0, 0}));

    QTest::qWait(QuietSpellMs);
    const int before = m_live->publications();
    emit m_source->heartbeatChanged();
    QCOMPARE(m_live->publications(), before + 1);
    QCOMPARE(notified(), (QVector<int> {1, 0, 0}));
}

// The first heartbeat after a quiet spell shows at once, and so does one of a steady controller that arrives
// a hair before the interval ends; a burst in between waits for the timer.
void TestLiveTelemetry::heartbeatAfterQuietOrAtTheIntervalShowsAtOnce()
{
    heartbeat(*m_source, "hbYaw", -45.0);
    QCOMPARE(m_live->value(QStringLiteral("hbYaw")).toDouble(), -45.0);
    QTest::qWait(DisplayRhythm::IntervalMs - DisplayRhythm::EarlyByMs / 2);
    heartbeat(*m_source, "hbYaw", 2.0);
    QCOMPARE(m_live->publications(), 2);

    for (int i = 0; i < 20; ++i)
        heartbeat(*m_source, "hbImuTemp", 30 + i);
    QTRY_COMPARE(m_live->value(QStringLiteral("hbImuTemp")).toDouble(), 49.0);
    QTest::qWait(QuietSpellMs);
    heartbeat(*m_source, "hbImuTemp", 51);
    QCOMPARE(m_live->value(QStringLiteral("hbImuTemp")).toDouble(), 51.0);
}

void TestLiveTelemetry::lastHeartbeatOfEveryBurstIsShown()
{
    const auto ready = spyOn(*m_live, "hbAttiReady");
    for (int round = 1; round <= 5; ++round) {
        heartbeat(*m_source, "hbPwmYawValue", round * 100);
        heartbeat(*m_source, "hbAttiReady", true);
        heartbeat(*m_source, "hbPwmYawValue", round * 100 + 1);
        // A flag that blinked within the burst ends where the controller left it.
        heartbeat(*m_source, "hbAttiReady", round % 2 == 0);
        QTRY_COMPARE(m_live->value(QStringLiteral("hbPwmYawValue")).toInt(), round * 100 + 1);
        QCOMPARE(m_live->value(QStringLiteral("hbAttiReady")).toBool(), round % 2 == 0);
    }
    // Shown values changed on every even round and the round after it, never more.
    QVERIFY2(ready->count() <= 10, qPrintable(QString::number(ready->count())));
}

// Hidden, the plot records without repainting; shown, it repaints with the values; paused, it holds still.
void TestLiveTelemetry::plotRepaintsWithTheValuesAndHoldsTheirHeartbeat()
{
    TelemetryHistory history(*m_source, *m_rhythm);
    heartbeat(*m_source, "hbPitch", 0.25);
    QCOMPARE(history.sampleCount(), 1);
    QCOMPARE(history.updatesAnnounced(), 0);
    history.setActive(true);
    const int announcedAtStart = history.updatesAnnounced();
    const int publishedAtStart = m_live->publications();
    int repaintsApart = 0;
    const QMetaObject::Connection matching = connect(&history, &TelemetryHistory::updated, this, [&] {
        QCOMPARE(history.sample(history.sampleCount() - 1).pitch, m_live->value(QStringLiteral("hbPitch")).toFloat());
    });
    QObject::connect(m_rhythm.get(), &DisplayRhythm::due, [&] {
        if (history.updatesAnnounced() - announcedAtStart != m_live->publications() - publishedAtStart)
            ++repaintsApart;
    });
    for (int i = 2; i <= 60; ++i) {
        heartbeat(*m_source, "hbPitch", i / 4.0);
        QTest::qWait(5);
    }
    QTRY_COMPARE(m_live->value(QStringLiteral("hbPitch")).toDouble(), 15.0);
    QTRY_COMPARE(history.sample(history.sampleCount() - 1).pitch, 15.0f);
    QCOMPARE(history.sampleCount(), 60);
    QVERIFY(history.sample(59).ms > history.sample(0).ms);
    QVERIFY(history.sampleAt(TelemetryHistory::WindowSeconds - 1).isEmpty());   // before the first heartbeat
    QVERIFY(m_live->publications() - publishedAtStart >= 2);
    QCOMPARE(repaintsApart, 0);

    disconnect(matching);
    history.setPaused(true);
    const int announcedWhenPaused = history.updatesAnnounced();
    const QVariantMap frozen = history.sampleAt(0);
    heartbeat(*m_source, "hbPitch", -1.0);
    QTRY_COMPARE(m_live->value(QStringLiteral("hbPitch")).toDouble(), -1.0);
    QCOMPARE(history.sampleCount(), 60);
    QCOMPARE(history.updatesAnnounced(), announcedWhenPaused);
    QCOMPARE(history.sampleAt(0), frozen);

    // What the paused plot shows, exported: a row per sample, the newest at its right edge.
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    PlotExport exporter(history, bridge);
    const QStringList rows = QString::fromUtf8(exporter.csv()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 61);
    QCOMPARE(rows.first(), QStringLiteral("time (s),pitch (°),roll (°),yaw (°)"));
    QVERIFY2(rows.last().startsWith(QLatin1Char('-')) && rows.last().endsWith(QLatin1String(",15.000,3.000,0.000")),
             qPrintable(rows.last()));
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("plots.csv"));
    QVERIFY(exporter.exportTo(csv));
    QCOMPARE(messageTexts(bridge).last(), QStringLiteral("Plots exported to ") + csv);
    QCOMPARE(readFile(csv), exporter.csv());
    QVERIFY(!exporter.exportTo(csv + QStringLiteral("/under-a-file.csv")));
    QVERIFY(messageTexts(bridge).last().startsWith(QStringLiteral("Could not export the plots to ") + csv));
    history.setPaused(false);
    heartbeat(*m_source, "hbPitch", -2.0);
    QCOMPARE(history.sampleCount(), 61);
}

void TestLiveTelemetry::followsTheRealBridgeAndItsSimulatedController()
{
    SimProcess sim({QStringLiteral("--hb-rate"), QStringLiteral("200")});
    QVERIFY(sim.start());
    AppBridge bridge;
    DisplayRhythm rhythm(bridge);
    LiveTelemetry live(bridge, rhythm);
    const auto received = spyOn(live, "hbReceived");
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_VERIFY_WITH_TIMEOUT(live.value(QStringLiteral("hbReceived")).toBool(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(live.publications() >= 3, ProcessWaitMs);
    QCOMPARE(received->count(), 1);

    bridge.closeSerial();
    QTRY_VERIFY(!live.value(QStringLiteral("hbReceived")).toBool());
    QCOMPARE(live.value(QStringLiteral("hbPitch")).toDouble(), bridge.hbPitch());
    QCOMPARE(received->count(), 2);
}

QTEST_MAIN(TestLiveTelemetry)
#include "tst_livetelemetry.moc"

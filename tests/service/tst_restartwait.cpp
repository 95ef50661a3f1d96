// When a restarted controller counts as back, fed with events on a clock of the test's own.
#include "service/RestartWait.h"

#include <QtTest>

Q_DECLARE_METATYPE(RestartWait::State)

namespace {
const qint64 AllowanceMs = 5000;

// "h" a heartbeat, "r" the restart going out, "b" a parameter block, "p" a
// read asked, each at its millisecond; "h0-950/50" heartbeats from 0 to 950 ms, 50 ms apart.
void feed(RestartWait &wait, const QString &events)
{
    static const QRegularExpression event(QStringLiteral("([hrbp])(\\d+)(?:-(\\d+)/(\\d+))?"));
    for (auto it = event.globalMatch(events); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qint64 from = match.captured(2).toLongLong();
        const qint64 to = match.captured(3).isEmpty() ? from : match.captured(3).toLongLong();
        const qint64 step = match.captured(4).isEmpty() ? 1 : match.captured(4).toLongLong();
        const char kind = match.captured(1).at(0).toLatin1();
        for (qint64 ms = from; ms <= to; ms += step) {
            if (kind == 'h')
                wait.heartbeatAt(ms);
            else if (kind == 'r')
                wait.restartSentAt(ms);
            else if (kind == 'b')
                wait.paramBlockAt(ms);
            else
                wait.pollSentAt(ms);
        }
    }
}
}

class TestRestartWait : public QObject
{
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
};

void TestRestartWait::decides_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<qint64>("atMs");
    QTest::addColumn<RestartWait::State>("state");
    QTest::addColumn<bool>("pollDue");
    QTest::addColumn<qint64>("nextEventAt");
    using S = RestartWait::State;
    // 20 heartbeats a second; the activation at 500 ms silences the controller, the restart follows at 1000 ms.
    const QString activated = QStringLiteral("h0-500/50 r1000");
    QTest::newRow("nothing before the restart") << "h0-500/50" << qint64(600) << S::BeforeRestart << false << qint64(-1);
    QTest::newRow("silence from the activation") << activated << qint64(1500) << S::Waiting << false << qint64(6000);
    QTest::newRow("back after the silence") << activated + " h2000" << qint64(2000) << S::Back << false << qint64(-1);
    QTest::newRow("a block is no sign while heartbeats come") << activated + " b1100" << qint64(1100) << S::Waiting
                                                               << false << qint64(6000);
    QTest::newRow("heartbeats in flight past the restart") << "h0-1000/50 r990" << qint64(1000) << S::Waiting << false
                                                           << qint64(5990);
    QTest::newRow("a silence ended before the restart") << "h0-500/50 h900 r1000 h1050" << qint64(1050) << S::Waiting
                                                        << false << qint64(6000);
    QTest::newRow("a gap under the floor") << "h0-1000/50 r1000 h1190" << qint64(1190) << S::Waiting << false
                                           << qint64(6000);
    QTest::newRow("slow heartbeats: a gap under three intervals") << "h0-2000/200 r2000 h2590" << qint64(2590)
                                                                   << S::Waiting << false << qint64(7000);
    QTest::newRow("slow heartbeats: three intervals") << "h0-2000/200 r2000 h2600" << qint64(2600) << S::Back << false
                                                       << qint64(-1);
    QTest::newRow("overdue") << activated << qint64(6000) << S::Overdue << false << qint64(6000);
    QTest::newRow("a heartbeat after the deadline") << activated + " h6000" << qint64(6000) << S::Overdue << false
                                                    << qint64(6000);
    QTest::newRow("no heartbeats: first read due") << "r1000" << qint64(1250) << S::Waiting << true << qint64(1250);
    QTest::newRow("no heartbeats: next read") << "r1000 p1250" << qint64(1400) << S::Waiting << false << qint64(1500);
    QTest::newRow("no heartbeats: read answered") << "r1000 p1250 b1260" << qint64(1260) << S::Back << false
                                                  << qint64(-1);
    QTest::newRow("heartbeats long gone: reads") << "h0-500/50 r3000" << qint64(3250) << S::Waiting << true
                                                 << qint64(3250);
    QTest::newRow("no heartbeats: the first one") << "r1000 h1800" << qint64(1800) << S::Back << false << qint64(-1);
    QTest::newRow("no heartbeats: no reads when overdue") << "r1000 p5900" << qint64(6150) << S::Overdue << false
                                                          << qint64(6000);
}

void TestRestartWait::decides()
{
    QFETCH(QString, events);
    QFETCH(qint64, atMs);
    QFETCH(RestartWait::State, state);
    QFETCH(bool, pollDue);
    QFETCH(qint64, nextEventAt);
    RestartWait wait(AllowanceMs);
    feed(wait, events);
    QCOMPARE(wait.stateAt(atMs), state);
    QCOMPARE(wait.pollDueAt(atMs), pollDue);
    QCOMPARE(wait.nextEventAt(), nextEventAt);
}

QTEST_APPLESS_MAIN(TestRestartWait)
#include "tst_restartwait.moc"

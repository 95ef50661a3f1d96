// The record of the restarts a parameter load owes, kept per line and per
// controller, on real pseudo-terminals and real files.
#include "cli/PendingRestarts.h"
#include "support/PseudoTerminal.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {
using Controller = PendingRestarts::Controller;
const Controller Answering{"1.0.0.60", "1.0.0.2"};
const QVector<ParamWrite> Channels{ParamWrite::SbusChannels};
const QVector<ParamWrite> BaseRestarts{ParamWrite::SbusChannels, ParamWrite::PwmChannels, ParamWrite::Torque};
const QVector<ParamWrite> CrsfRestarts{ParamWrite::SbusChannels, ParamWrite::PwmChannels, ParamWrite::CrsfChannels,
                                       ParamWrite::Torque};
}

Q_DECLARE_METATYPE(PendingRestarts::Controller)

class TestPendingRestarts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void owedUnderEveryNameOfTheLineAlone();
    void replugKeepsWhatIsOwedToEachController_data();
    void replugKeepsWhatIsOwedToEachController();
    void unusableRecordOwesEveryRestart_data();
    void unusableRecordOwesEveryRestart();

private:
    PendingRestarts at(const QString &port, const Controller &controller = Answering) const
    {
        return PendingRestarts(records().path(), port, controller, QStringLiteral("load on ") + port);
    }
    QDir records() const { return QDir(m_dir->filePath(QStringLiteral("records"))); }
    QString linkTo(const PseudoTerminal &line, const QString &name) const
    {
        const QString link = m_dir->filePath(name);
        QFile::remove(link);
        return QFile::link(line.slaveName(), link) ? link : QString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    PseudoTerminal m_line;
    PseudoTerminal m_otherLine;
};

void TestPendingRestarts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("a")));
}

// Written down through a link (as /dev/serial/by-id/… is), found by the
// device's own path and its kernel name; a neighbour named alike (a_b beside
// a/b) owes nothing.
void TestPendingRestarts::owedUnderEveryNameOfTheLineAlone()
{
    const QString link = linkTo(m_line, QStringLiteral("a/b"));
    const QString neighbour = linkTo(m_otherLine, QStringLiteral("a_b"));
    QString error;
    QVERIFY2(at(link).save(Channels, error), qPrintable(error));
    QCOMPARE(at(m_line.slaveName()).writesFor(ParamBlockForm::Base), Channels);
    QCOMPARE(at(m_line.slaveName().mid(5)).writesFor(ParamBlockForm::Base), Channels);
    QVERIFY(at(neighbour).writesFor(ParamBlockForm::Base).isEmpty());

    QVERIFY2(at(m_line.slaveName()).save({}, error), qPrintable(error));
    QVERIFY(at(link).writesFor(ParamBlockForm::Base).isEmpty());
    QCOMPARE(records().entryList(QDir::Files), QStringList());
}

void TestPendingRestarts::replugKeepsWhatIsOwedToEachController_data()
{
    QTest::addColumn<Controller>("returning");
    QTest::newRow("the same controller") << Answering;
    QTest::newRow("another firmware") << Controller{"2.0.0.1", "1.0.0.2"};
    QTest::newRow("another boot") << Controller{"1.0.0.60", "1.0.0.3"};
}

// The link comes back leading to another device, as a replugged adapter's
// does: the same controller is owed what was written down and takes the
// record over; another is owed nothing, and the first one's record stays with
// the command that repairs it.
void TestPendingRestarts::replugKeepsWhatIsOwedToEachController()
{
    QFETCH(Controller, returning);
    const QString link = linkTo(m_line, QStringLiteral("gimbal"));
    QString error;
    QVERIFY2(at(link).save(Channels, error), qPrintable(error));
    const QStringList firstRecord = records().entryList(QDir::Files);
    QVERIFY(!linkTo(m_otherLine, QStringLiteral("gimbal")).isEmpty());

    const PendingRestarts replugged = at(link, returning);
    const bool same = returning.firmware == Answering.firmware && returning.boot == Answering.boot;
    QCOMPARE(replugged.writesFor(ParamBlockForm::Base), same ? Channels : QVector<ParamWrite>());
    QStringList foreign;
    for (const PendingRestarts::Foreign &each : replugged.foreign())
        foreign << each.controller.firmware + ' ' + each.controller.boot + ' ' + each.command;
    QCOMPARE(foreign, same ? QStringList() : QStringList{"1.0.0.60 1.0.0.2 load on " + link});
    QVERIFY2(replugged.save({}, error), qPrintable(error));
    QCOMPARE(records().entryList(QDir::Files), same ? QStringList() : firstRecord);
}

void TestPendingRestarts::unusableRecordOwesEveryRestart_data()
{
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<QString>("why");
    QTest::newRow("a pipe, never waited on") << true << "not a regular file";
    QTest::newRow("a link, never followed") << false << "a symbolic link";
}

// A pipe would hold the load forever; a link is replaced by a record of the
// load's own, never written through.
void TestPendingRestarts::unusableRecordOwesEveryRestart()
{
    QFETCH(bool, pipe);
    QFETCH(QString, why);
    const QString record = at(m_line.slaveName()).path();
    const QString target = m_dir->filePath(QStringLiteral("target"));
    QVERIFY(QDir().mkpath(records().path()) && writeFile(target, "not a record"));
    QVERIFY(pipe ? ::mkfifo(QFile::encodeName(record).constData(), 0600) == 0 : QFile::link(target, record));

    const PendingRestarts pending = at(m_line.slaveName());
    QVERIFY2(pending.unreadable().startsWith(why), qPrintable(pending.unreadable()));
    QCOMPARE(pending.writesFor(ParamBlockForm::Base), BaseRestarts);
    QCOMPARE(pending.writesFor(ParamBlockForm::Crsf), CrsfRestarts);
    QString error;
    QCOMPARE(pending.save(Channels, error), !pipe);
    QCOMPARE(readFile(target), QByteArray("not a record"));
    if (!pipe)
        QCOMPARE(at(m_line.slaveName()).writesFor(ParamBlockForm::Base), Channels);
}

QTEST_GUILESS_MAIN(TestPendingRestarts)
#include "tst_pendingrestarts.moc"

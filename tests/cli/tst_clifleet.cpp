// Several tavoxctl at once, each flashing its own controller on its own port,
// as a script flashing a batch of units runs them: the real program, one copy
// with one data folder for all, against real simulated controllers.
#include "support/CtlRun.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
const int Units = 3;
}

class TestCliFleet : public QObject
{
    Q_OBJECT

private slots:
    void upgradesAtOnceEachKeepTheirOwnSnapshot();
};

void TestCliFleet::upgradesAtOnceEachKeepTheirOwnSnapshot()
{
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QByteArray image = randomImage(48 * 1024);
    const QString imagePath = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(imagePath, image));

    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int i = 0; i < Units; ++i) {
        const QString received = dir.filePath(QStringLiteral("received-%1.bin").arg(i));
        sims.push_back(std::make_unique<SimProcess>(
            QStringList{"--hb-rate", "0", "--erase-ms", "0", "--reboot-ms", "100", "--save-image", received}));
        QVERIFY(sims.back()->start());
    }
    std::vector<std::unique_ptr<RunningCtl>> upgrades;
    for (const auto &sim : sims)
        upgrades.push_back(std::make_unique<RunningCtl>(ctl, QStringList{"-p", sim->portName(), "upgrade", imagePath}));

    QStringList snapshotsNamed;
    for (const auto &upgrade : upgrades) {
        const int code = upgrade->finish();
        const QString messages = upgrade->messages();
        QVERIFY2(code == 0, qPrintable(messages));
        const QRegularExpressionMatch saved =
            QRegularExpression(QStringLiteral("Parameters before the upgrade saved to (\\S+)")).match(messages);
        QVERIFY2(saved.hasMatch(), qPrintable(messages));
        snapshotsNamed.append(saved.captured(1));
    }
    for (int i = 0; i < Units; ++i)
        QCOMPARE(readFile(dir.filePath(QStringLiteral("received-%1.bin").arg(i))), image);
    snapshotsNamed.removeDuplicates();
    QCOMPARE(snapshotsNamed.size(), Units);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("snapshots"))).entryList(QDir::Files).size(), Units);
}

QTEST_GUILESS_MAIN(TestCliFleet)
#include "tst_clifleet.moc"

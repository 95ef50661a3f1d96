#include "app/Startup.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QtTest>

// Every text the window can show is drawn by the application's own font: a
// character the font lacks comes out as an empty box on a machine with no
// other font that has it.
class TextTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCharacterHasAGlyph_data();
    void everyCharacterHasAGlyph();
    void digitsShareOneWidth();

private:
    QString m_fontFamily;
};

namespace {
QStringList stringLiterals(const QString &source)
{
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    QStringList literals;
    for (auto match = literal.globalMatch(source); match.hasNext();)
        literals.append(match.next().captured(1));
    return literals;
}
}

void TextTest::initTestCase()
{
    // Pulls in the product's library and with it the window's documents.
    Q_INIT_RESOURCE(tavox);
    m_fontFamily = applyAppFont();
    QVERIFY2(QFontDatabase().families().contains(m_fontFamily), qPrintable(m_fontFamily + QLatin1String(" is not installed")));
}

// The window's documents as the application loads them, and the sources of
// the messages and states the bridge hands to the window.
void TextTest::everyCharacterHasAGlyph_data()
{
    QTest::addColumn<QString>("path");
    QDirIterator documents(QStringLiteral(":/qml"), {QStringLiteral("*.qml")}, QDir::Files, QDirIterator::Subdirectories);
    while (documents.hasNext()) {
        const QString path = documents.next();
        QTest::newRow(qPrintable(path)) << path;
    }
    for (const char *folder : {"bridge", "device", "service", "window", "cli"}) {
        const QDir sources(QStringLiteral(TAVOX_SOURCE_DIR "/") + QLatin1String(folder));
        for (const QString &name : sources.entryList({QStringLiteral("*.cpp")}, QDir::Files))
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(folder), name))) << sources.filePath(name);
    }
}

void TextTest::everyCharacterHasAGlyph()
{
    QFETCH(QString, path);
    const QString source = QString::fromUtf8(readFile(path));
    QVERIFY2(!source.isEmpty(), qPrintable(path));
    const QFontMetrics metrics{QFont(m_fontFamily)};
    QStringList missing;
    for (const QString &text : stringLiterals(source)) {
        for (const uint character : text.toUcs4()) {
            if (character >= 0x20 && !metrics.inFontUcs4(character))
                missing.append(QStringLiteral("U+%1 in \"%2\"").arg(character, 4, 16, QLatin1Char('0')).arg(text));
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(m_fontFamily + QLatin1String(" lacks ") + missing.join(QLatin1String(", "))));
}

// Live numbers are one right-aligned text in a fixed box; they stay put only
// because the font draws every digit with the same advance.
void TextTest::digitsShareOneWidth()
{
    for (const int pixelSize : {13, 16}) {
        QFont font(m_fontFamily);
        font.setPixelSize(pixelSize);
        const QFontMetricsF metrics(font);
        const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
        for (char digit = '1'; digit <= '9'; ++digit)
            QCOMPARE(metrics.horizontalAdvance(QLatin1Char(digit)), zero);
    }
}

QTEST_MAIN(TextTest)

#include "tst_text.moc"

#include "render/fonts.h"
#include "icons/iconfont.h"
#include "testfiles.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QRawFont>
#include <QTemporaryDir>
#include <QtTest>

class TestIconFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qm::installFontSubstitutions(); }
    void catalogueLines_data();
    void catalogueLines();
    void catalogueFromFile();
    void missingStylesheetGivesEmptyCatalogue();
    void installedFontRegistersAndCoversIcons();
    void missingFontKeepsBase();
    void installedStylesheet();
};

void TestIconFont::catalogueLines_data()
{
    QTest::addColumn<QByteArray>("css");
    QTest::addColumn<QString>("expected");

    QTest::newRow("escape on its own line")
        << QByteArray(".fa-glass:before {\n  content: \"\\f000\";\n}\n") << QString(QChar(0xF000));
    QTest::newRow("another code point")
        << QByteArray(".fa-x:before {\n  content: \"\\f2dc\";\n}\n") << QString(QChar(0xF2DC));
    // The first "f" on a one-line rule is the selector's, and "fa-g" is not hexadecimal.
    QTest::newRow("selector first on one line")
        << QByteArray(".fa-glass:before { content: \"\\f000\"; }\n") << QString();
    QTest::newRow("escape without f") << QByteArray("  content: \"\\e900\";\n") << QString();
    QTest::newRow("f without content") << QByteArray("  font: \"\\f000\";\n") << QString();
    QTest::newRow("content is case-sensitive") << QByteArray("  CONTENT: \"\\f000\";\n") << QString();
    QTest::newRow("two selectors, one content line")
        << QByteArray(".fa-a:before,\n.fa-b:before {\n  content: \"\\f0e2\";\n}\n")
        << QString(QChar(0xF0E2));
    QTest::newRow("repeats kept, file order")
        << QByteArray(".a:before {\n  content: \"\\f101\";\n}\n.b:before {\n  content: \"\\f001\";\n}\n"
                      ".c:before {\n  content: \"\\f101\";\n}\n")
        << (QString(QChar(0xF101)) + QChar(0xF001) + QChar(0xF101));
    QTest::newRow("short at line end") << QByteArray("content:\\f") << QString(QChar(0x000F));
    QTest::newRow("bad line does not stop reading")
        << QByteArray("  content: \"\\fzz0\";\n  content: \"\\f003\";\r\n") << QString(QChar(0xF003));
}

void TestIconFont::catalogueLines()
{
    QFETCH(QByteArray, css);
    QFETCH(QString, expected);
    QBuffer buffer(&css);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    QCOMPARE(qm::parseIconCatalogue(&buffer), expected);
}

void TestIconFont::catalogueFromFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("font-awesome.css"));
    QVERIFY(qmtest::writeFile(path, ".fa-a:before {\n  content: \"\\f000\";\n}\n"
                                    ".fa-b:before {\n  content: \"\\f2dc\";\n}\n"));
    QCOMPARE(qm::readIconCatalogue(path), QString(QChar(0xF000)) + QChar(0xF2DC));
}

void TestIconFont::missingStylesheetGivesEmptyCatalogue()
{
    QTemporaryDir dir;
    QVERIFY(qm::readIconCatalogue(dir.filePath(QStringLiteral("missing.css"))).isEmpty());
    QVERIFY(qm::parseIconCatalogue(static_cast<QIODevice *>(nullptr)).isEmpty());
}

void TestIconFont::installedFontRegistersAndCoversIcons()
{
    const QString path = qm::iconFontPath();
    if (!QFileInfo(path).isFile())
        QSKIP("The FontAwesome font (fonts-font-awesome) is not installed");

    QTest::ignoreMessage(QtDebugMsg, "m_awe_font ok");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^\\(.*\\)$")));
    QFont base;
    base.setPointSize(17);
    const QFont font = qm::loadIconFont(path, base);
    QVERIFY(!font.family().isEmpty());
    QVERIFY(font.family() != base.family());
    QCOMPARE(font.pointSize(), 17);  // only the family changes

    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    QVERIFY(raw.supportsCharacter(QChar(0xF000)));
    QVERIFY(raw.supportsCharacter(QChar(0xF2DC)));
}

void TestIconFont::missingFontKeepsBase()
{
    QTemporaryDir dir;
    QTest::ignoreMessage(QtDebugMsg, "fontawesome false");
    QFont base(QStringLiteral("DejaVu Sans"), 9);
    const QFont font = qm::loadIconFont(dir.filePath(QStringLiteral("none.ttf")), base);
    QCOMPARE(font, base);
}

void TestIconFont::installedStylesheet()
{
    const QString path = qm::iconStylesheetPath();
    if (!QFileInfo(path).isFile())
        QSKIP("The FontAwesome stylesheet (fonts-font-awesome) is not installed");
    const QString catalogue = qm::readIconCatalogue(path);
    QVERIFY2(catalogue.size() > 300, qPrintable(QString::number(catalogue.size())));
    QCOMPARE(catalogue.at(0), QChar(0xF000));
    for (const QChar c : catalogue)
        QVERIFY(c.unicode() >= 0xF000);
}

QTEST_MAIN(TestIconFont)
#include "tst_iconfont.moc"

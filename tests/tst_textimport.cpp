#include "convert/textimport.h"

#include <QtEndian>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

QByteArray encoded(const char *codec, const QString &text)
{
    QTextCodec *c = QTextCodec::codecForName(codec);
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader); // no mark of its own
    return c->fromUnicode(text.constData(), text.size(), &state);
}

// Qt's own UTF-32 encoder writes a stray zero unit after a surrogate pair, so the
// UTF-32 samples are built by hand.
QByteArray utf32(const QString &text, bool bigEndian)
{
    QByteArray bytes;
    for (const uint cp : text.toUcs4()) {
        char unit[4];
        if (bigEndian)
            qToBigEndian<quint32>(cp, unit);
        else
            qToLittleEndian<quint32>(cp, unit);
        bytes.append(unit, 4);
    }
    return bytes;
}

const QString kSample = QStringLiteral("中文ABC，标点！\n第二行€😀");

} // namespace

class TestTextImport : public QObject
{
    Q_OBJECT
private slots:
    void decodesByMarkOrContent_data();
    void decodesByMarkOrContent();
    void windowsLineEndsBecomeSingleBreaks();
    void readsFileFromDisk();
    void reportsUnopenableFile();
};

void TestTextImport::decodesByMarkOrContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("utf8 without mark") << kSample.toUtf8() << kSample;
    QTest::newRow("utf8 with mark") << QByteArray("\xEF\xBB\xBF") + kSample.toUtf8() << kSample;
    QTest::newRow("utf16 le mark") << QByteArray("\xFF\xFE") + encoded("UTF-16LE", kSample) << kSample;
    QTest::newRow("utf16 be mark") << QByteArray("\xFE\xFF") + encoded("UTF-16BE", kSample) << kSample;
    QTest::newRow("utf32 le mark") << QByteArray("\xFF\xFE\x00\x00", 4) + utf32(kSample, false) << kSample;
    QTest::newRow("utf32 be mark") << QByteArray("\x00\x00\xFE\xFF", 4) + utf32(kSample, true) << kSample;
    // What a Chinese Windows editor writes by default: no mark, not UTF-8.
    QTest::newRow("gb18030") << encoded("GB18030", kSample) << kSample;
    const QString gbOnly = QStringLiteral("常用汉字：啊阿埃");
    QTest::newRow("gb18030 two-byte only") << encoded("GB18030", gbOnly) << gbOnly;
    QTest::newRow("ascii") << QByteArray("plain ascii 0123") << QStringLiteral("plain ascii 0123");
    QTest::newRow("empty") << QByteArray() << QString();
    // A mark alone is an empty text, not a character.
    QTest::newRow("mark only") << QByteArray("\xEF\xBB\xBF") << QString();
}

void TestTextImport::decodesByMarkOrContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(qm::decodeImportedText(bytes), expected);
}

void TestTextImport::windowsLineEndsBecomeSingleBreaks()
{
    QCOMPARE(qm::decodeImportedText("a\r\nb\r\n"), QStringLiteral("a\nb\n"));
    QCOMPARE(qm::decodeImportedText(QByteArray("\xFF\xFE") + encoded("UTF-16LE", QStringLiteral("中\r\n文"))),
             QStringLiteral("中\n文"));
}

void TestTextImport::readsFileFromDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ascii.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Hello 123\r\nWorld\n");
    file.close();

    QString text;
    QString error;
    QVERIFY(qm::readImportedTextFile(path, &text, &error));
    QCOMPARE(text, QStringLiteral("Hello 123\nWorld\n"));
    QVERIFY(error.isEmpty());
}

void TestTextImport::reportsUnopenableFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing.txt"));
    QString text = QStringLiteral("untouched");
    QString error;
    QVERIFY(!qm::readImportedTextFile(path, &text, &error));
    QCOMPARE(text, QStringLiteral("untouched"));
    QVERIFY2(error.startsWith(QStringLiteral("The file %1 could not be opened: ").arg(path)), qPrintable(error));
    QVERIFY(error.size() > QStringLiteral("The file %1 could not be opened: ").arg(path).size());
}

QTEST_GUILESS_MAIN(TestTextImport)
#include "tst_textimport.moc"

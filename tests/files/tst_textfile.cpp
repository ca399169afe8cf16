#include "files/textfile.h"
#include "testfiles.h"

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

class TestTextFile : public QObject
{
    Q_OBJECT
private slots:
    void decodesByMarkOrContent_data();
    void decodesByMarkOrContent();
    void windowsLineEndsBecomeSingleBreaks();
    void readsFileFromDisk();
    void reportsWhatCannotBeImported();
};

void TestTextFile::decodesByMarkOrContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");   // null: refused as not text

    QTest::newRow("utf8 without mark") << kSample.toUtf8() << kSample;
    QTest::newRow("utf8 with mark") << QByteArray("\xEF\xBB\xBF") + kSample.toUtf8() << kSample;
    QTest::newRow("utf16 le mark") << QByteArray("\xFF\xFE") + encoded("UTF-16LE", kSample) << kSample;
    QTest::newRow("utf16 be mark") << QByteArray("\xFE\xFF") + encoded("UTF-16BE", kSample) << kSample;
    // Without a mark the zero bytes of the Latin letters and line breaks tell.
    QTest::newRow("utf16 le plain") << encoded("UTF-16LE", kSample) << kSample;
    QTest::newRow("utf16 be plain") << encoded("UTF-16BE", kSample) << kSample;
    QTest::newRow("utf32 le mark") << QByteArray("\xFF\xFE\x00\x00", 4) + utf32(kSample, false) << kSample;
    QTest::newRow("utf32 be mark") << QByteArray("\x00\x00\xFE\xFF", 4) + utf32(kSample, true) << kSample;
    // What a Chinese Windows editor writes by default: no mark, not UTF-8.
    QTest::newRow("gb18030") << encoded("GB18030", kSample) << kSample;
    const QString gbOnly = QStringLiteral("常用汉字：啊阿埃");
    QTest::newRow("gb18030 two-byte only") << encoded("GB18030", gbOnly) << gbOnly;
    // CJK alone in UTF-16 has no zero byte; as GB 18030 it would read as control
    // characters, Latin letters and private-use characters.
    const QString cjk = QStringLiteral("你好世界温度湿度");
    QTest::newRow("utf16 le plain cjk") << encoded("UTF-16LE", cjk) << cjk;
    QTest::newRow("utf16 be plain cjk") << encoded("UTF-16BE", cjk) << cjk;
    // 联聘聪腑腕腙 read the other way round is 咀墀檀冁喁妁: nothing tells which was meant.
    QTest::newRow("utf16 either way") << encoded("UTF-16LE", QStringLiteral("联聘聪腑腕腙")) << QString();
    QTest::newRow("ascii") << QByteArray("plain ascii 0123") << QStringLiteral("plain ascii 0123");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("");
    // A mark alone is an empty text, not a character.
    QTest::newRow("mark only") << QByteArray("\xEF\xBB\xBF") << QStringLiteral("");
    // Not text: zero bytes on both sides (a picture), a zero byte in UTF-8, bytes that
    // are neither UTF-8 nor GB 18030.
    QTest::newRow("png") << QByteArray::fromHex("89504e470d0a1a0a0000000d494844520000001000000010") << QString();
    QTest::newRow("zero in utf8") << QByteArray("abc\0def", 7) << QString();
    QTest::newRow("invalid") << QByteArray("\x81\x30\xFF\xFE" "abc") << QString();
}

void TestTextFile::decodesByMarkOrContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QString text = QStringLiteral("untouched");
    QCOMPARE(qm::decodeImportedText(bytes, &text), !expected.isNull());
    QCOMPARE(text, expected.isNull() ? QStringLiteral("untouched") : expected);
}

void TestTextFile::windowsLineEndsBecomeSingleBreaks()
{
    QString text;
    QVERIFY(qm::decodeImportedText("a\r\nb\r\n", &text));
    QCOMPARE(text, QStringLiteral("a\nb\n"));
    QVERIFY(qm::decodeImportedText(QByteArray("\xFF\xFE") + encoded("UTF-16LE", QStringLiteral("中\r\n文")), &text));
    QCOMPARE(text, QStringLiteral("中\n文"));
}

void TestTextFile::readsFileFromDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ascii.txt"));
    QVERIFY(qmtest::writeFile(path, "Hello 123\r\nWorld\n"));

    QString text;
    QString error;
    QVERIFY(qm::readTextFile(path, &text, &error));
    QCOMPARE(text, QStringLiteral("Hello 123\nWorld\n"));
    QVERIFY(error.isEmpty());
}

void TestTextFile::reportsWhatCannotBeImported()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    const QString binary = dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(qmtest::writeFile(binary, QByteArray::fromHex("89504e470d0a1a0a0000000d49484452")));
    const QString either = dir.filePath(QStringLiteral("either.txt"));
    QVERIFY(qmtest::writeFile(either, encoded("UTF-16BE", QStringLiteral("联聘聪腑腕腙"))));
    const QList<QPair<QString, QString>> cases{
        {either, QStringLiteral("The file %1 could not be imported: it reads as UTF-16 LE and as UTF-16 BE "
                                "alike, and nothing tells which it is (save it as UTF-8, or with a byte-order "
                                "mark)").arg(either)},
        // A device without end is read only as far as any text could go.
        {QStringLiteral("/dev/zero"), QStringLiteral("The file /dev/zero could not be imported: it is larger "
                                                     "than 16 MiB, more text than any character set needs")},
        {missing, QStringLiteral("The file %1 could not be opened: No such file or directory").arg(missing)},
        {dir.path(), QStringLiteral("The file %1 could not be opened: it is a folder").arg(dir.path())},
        {binary, QStringLiteral("The file %1 could not be imported: ").arg(binary) + qm::notTextReason()},
    };
    for (const auto &c : cases) {
        QString text = QStringLiteral("untouched");
        QString error;
        QVERIFY(!qm::readTextFile(c.first, &text, &error));
        QCOMPARE(text, QStringLiteral("untouched"));
        QCOMPARE(error, c.second);
    }
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"

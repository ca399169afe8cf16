// The writer of every file the user gets: all or nothing, with the system's reason.
#include "files/atomicfile.h"
#include "filelimit.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

using qmtest::filesIn;
using qmtest::readFile;
using qmtest::writeFile;

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void writesUtf8()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.c"));
        QString error;
        QVERIFY(qm::writeUtf8File(path, QStringLiteral("/* 中 */\n"), &error));
        QCOMPARE(readFile(path), QByteArray("/* \xe4\xb8\xad */\n"));
        QVERIFY(!qm::writeUtf8File(dir.filePath(QStringLiteral("missing/out.c")), QStringLiteral("x"), &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be opened: No such file or directory")
                            .arg(dir.filePath(QStringLiteral("missing/out.c"))));
    }

    // Each encoding length at both of its ends, checked against bytes worked out by hand,
    // after sixteen ASCII characters and inside a run of Latin-1 ones (what is copied in
    // blocks must be ASCII alone).
    void utf8AtEveryLengthBoundary()
    {
        const ushort units[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
        QString text = QString(16, QLatin1Char('a')) + QChar(0xE9) + QString(15, QLatin1Char('b'));
        for (ushort u : units)
            text += QChar(u);
        QByteArray expected = QByteArray(16, 'a') + "\xC3\xA9" + QByteArray(15, 'b');
        expected += "\x7F" "\xC2\x80" "\xDF\xBF" "\xE0\xA0\x80" "\xED\x9F\xBF" "\xEE\x80\x80" "\xEF\xBF\xBF"
                    "\xF0\x90\x80\x80" "\xF4\x8F\xBF\xBF";   // U+10000 and U+10FFFF from their pairs
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("edges.c"));
        QString error;
        QVERIFY2(qm::writeUtf8File(path, text, &error), qPrintable(error));
        QCOMPARE(readFile(path), expected);
    }

    // Large texts are written in pieces; every kind of character, including pairs that
    // straddle a piece's end and lone surrogates, comes out as QString::toUtf8() gives it.
    void utf8MatchesQtAcrossPieces()
    {
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");
        QString text;
        for (int i = 0; text.size() < 900000; ++i) {
            text += QStringLiteral("0x3f,0x00,  //..@@..\n/* 中 */ ÅßЖ ");
            if (i % 97 == 0)
                text += pair;
            if (i % 1013 == 0)
                text += QChar(0xDC00) + QStringLiteral("x");   // a low half alone
        }
        // Pieces are 2^18 units, one more when a pair would be cut. So: a pair across the
        // first end (the first piece takes one unit more), a high half alone as the last
        // unit of the second piece, and a pair across the third end.
        const int firstEnd = (1 << 18) - 1, secondEnd = 1 << 19, thirdEnd = 3 << 18;
        text.replace(firstEnd, 2, pair);
        text.replace(secondEnd, 2, QString(QChar(0xD800)) + QLatin1Char('x'));
        text.replace(thirdEnd, 2, pair);
        QVERIFY(text.at(firstEnd).isHighSurrogate() && text.at(firstEnd + 1).isLowSurrogate());
        QVERIFY(text.at(thirdEnd).isHighSurrogate() && text.at(thirdEnd + 1).isLowSurrogate());
        text += QChar(0xD800);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.c"));
        QString error;
        QVERIFY2(qm::writeUtf8File(path, text, &error), qPrintable(error));
        QVERIFY(readFile(path) == text.toUtf8());
    }

    // A symbolic link is written through: the file it names gets the text, the link stays.
    void writesThroughASymbolicLink()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("real.c"));
        const QString link = dir.filePath(QStringLiteral("link.c"));
        writeFile(real, "old");
        QVERIFY(QFile::link(QStringLiteral("real.c"), link));
        QString error;
        QVERIFY2(qm::writeUtf8File(link, QStringLiteral("new"), &error), qPrintable(error));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(real), QByteArray("new"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("link.c"), QStringLiteral("real.c")}));
    }

    // A full disk (here a file size limit): the old file stays whole, nothing else is
    // left behind, and the message gives the system's reason.
    void failureKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("keep.c"));
        writeFile(path, "previous run");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QString big(20000, QLatin1Char('x'));
        QString error;
        QVERIFY(!qmtest::withFileSizeLimit(8192, [&] { return qm::writeUtf8File(path, big, &error); }));
        QCOMPARE(error, QStringLiteral("The file %1 could not be written: File too large").arg(path));
        QCOMPARE(readFile(path), QByteArray("previous run"));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("keep.c")});

        // A limit the data reach only at the end, while the last buffered block goes out.
        QVERIFY(!qmtest::withFileSizeLimit(19999, [&] { return qm::writeUtf8File(path, big, &error); }));
        QCOMPARE(readFile(path), QByteArray("previous run"));

        QVERIFY(qm::writeUtf8File(path, big, &error));
        QCOMPARE(readFile(path), big.toUtf8());
        const QFile::Permissions ownerGroupOther(0xF0FF);
        QCOMPARE(QFile::permissions(path) & ownerGroupOther, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }

    // Two files that only work together are replaced together: when the second cannot
    // take its name, the first gets its old content back.
    void pairIsReplacedTogetherOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("f.bin"));
        const QString c = dir.filePath(QStringLiteral("f.c"));
        writeFile(bin, "old bin");
        {
            qm::AtomicFile newBin(bin), newC(c);
            QVERIFY(newBin.open() && newC.open());
            QVERIFY(newBin.write("new bin") && newC.write("new c"));
            // The place of the .c is taken by a folder before the rename.
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("f.c")));
            QCOMPARE(qm::AtomicFile::commitAll({&newBin, &newC}), &newC);
            QCOMPARE(newC.errorString(), QStringLiteral("The file %1 could not be written: Is a directory").arg(c));
        }
        QCOMPARE(readFile(bin), QByteArray("old bin"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("f.bin"), QStringLiteral("f.c")}));

        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("f.c")));
        {
            qm::AtomicFile newBin(bin), newC(c);
            QVERIFY(newBin.open() && newC.open());
            QVERIFY(newBin.write("new bin") && newBin.writeAt(0, "N", 1) && newC.write("new c"));
            QCOMPARE(qm::AtomicFile::commitAll({&newBin, &newC}), static_cast<qm::AtomicFile *>(nullptr));
        }
        QCOMPARE(readFile(bin), QByteArray("New bin"));
        QCOMPARE(readFile(c), QByteArray("new c"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("f.bin"), QStringLiteral("f.c")}));
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"

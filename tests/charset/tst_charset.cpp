#include "charset/charset.h"
#include "request/request.h"

#include <QtTest>

using namespace qm;

class TestCharset : public QObject
{
    Q_OBJECT

private slots:
    void removeDuplicatesKeepsFirstOccurrence()
    {
        QCOMPARE(removeDuplicateChars(QStringLiteral("abca\nab\n")), QStringLiteral("abc\n"));
        QCOMPARE(removeDuplicateChars(QString()), QString());
        QCOMPARE(removeDuplicateChars(QStringLiteral("中文中")), QStringLiteral("中文"));
        // Code units, not characters: a surrogate pair's halves are separate entries.
        const QString pair = QString::fromUcs4(U"\U0001F600\U0001F601");
        QCOMPARE(removeDuplicateChars(pair).size(), 3);
    }

    void sortByUnsignedCodeUnit()
    {
        QString s = QString(QChar(0xF000)) + QStringLiteral("中b A1") + QChar(0x000A) + QStringLiteral("b");
        sortChars(s);
        QCOMPARE(s, QString(QChar(0x000A)) + QStringLiteral(" 1Abb中") + QChar(0xF000));
        QString high = QString(QChar(0xFFFF)) + QChar(0x8000) + QChar(0x7FFF);
        sortChars(high);
        QCOMPARE(high, QString(QChar(0x7FFF)) + QChar(0x8000) + QChar(0xFFFF));
    }

    void asciiWithEmptyInput()
    {
        const QString set = buildCharacterSet(QString(), QString(), {true, false, false});
        QCOMPARE(set.size(), 96);
        QCOMPARE(set.front(), QChar(0x20));
        QCOMPARE(set.back(), QChar(0x7F));
        for (int i = 1; i < set.size(); ++i)
            QCOMPARE(set.at(i).unicode(), ushort(0x20 + i));
    }

    void twoLineExample()
    {
        const QString input = QStringLiteral("ab\nba");
        QCOMPARE(buildCharacterSet(input, QString(), {false, false, false}), QStringLiteral("ab\nba"));
        QCOMPARE(buildCharacterSet(input, QString(), {false, true, false}), QStringLiteral("ab\n"));
        QCOMPARE(buildCharacterSet(input, QString(), {false, true, true}), QStringLiteral("\nab"));
        QCOMPARE(buildCharacterSet(input, QString(), {false, false, true}), QStringLiteral("\naabb"));
        QVERIFY(buildCharacterSet(QString(), QString(), {false, true, true}).isEmpty());
    }

    void iconsFollowTheInput()
    {
        const QString icons = QString(QChar(0xF001)) + QChar(0xF000);
        const QString input = QString(QChar(0xF000)) + QStringLiteral("x");
        QCOMPARE(buildCharacterSet(input, icons, {false, false, false}), input + icons);
        // With repeats removed, an icon already typed keeps the input's place.
        QCOMPARE(buildCharacterSet(input, icons, {false, true, false}),
                 QString(QChar(0xF000)) + QStringLiteral("x") + QChar(0xF001));
        // ASCII comes first, then input, then icons.
        const QString full = buildCharacterSet(QStringLiteral("中"), icons, {true, false, false});
        QCOMPARE(full.size(), 96 + 1 + 2);
        QCOMPARE(full.mid(96), QStringLiteral("中") + icons);
    }

    void masks()
    {
        QCOMPARE(bppMask(1), 1);
        QCOMPARE(bppMask(2), 3);
        QCOMPARE(bppMask(4), 15);
        QCOMPARE(bppMask(8), 255);
        QCOMPARE(bppMask(0), 0);
        QCOMPARE(bppMask(3), 0);
        QVERIFY(!isValidBpp(16));
    }

    // What gets an empty glyph and is left out of previews: U+0001..U+001F and U+007F,
    // nothing on either side of them.
    void controlCharacters()
    {
        for (ushort u : {0x01, 0x0A, 0x1F, 0x7F})
            QVERIFY2(isControlCharacter(QChar(u)), qPrintable(codePointName(u)));
        for (ushort u : {0x00, 0x20, 0x7E, 0x80})
            QVERIFY2(!isControlCharacter(QChar(u)), qPrintable(codePointName(u)));
    }

    void dispatchTable_data()
    {
        QTest::addColumn<int>("lvVer");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("sorted");
        QTest::addColumn<int>("kind");
        for (int type = 0; type < 3; ++type) {
            for (bool sorted : {false, true}) {
                QTest::addRow("5.3 type %d sort %d", type, sorted)
                    << 0 << type << sorted << int(GeneratorKind::Legacy);
            }
        }
        for (int lv : {1, 2, 3}) {
            for (bool sorted : {false, true}) {
                QTest::addRow("lv %d xbf array sort %d", lv, sorted)
                    << lv << 1 << sorted << int(GeneratorKind::XbfArray);
                QTest::addRow("lv %d xbf bin sort %d", lv, sorted)
                    << lv << 2 << sorted << int(GeneratorKind::XbfBin);
            }
            QTest::addRow("lv %d internal sorted", lv) << lv << 0 << true << int(GeneratorKind::SortedInternal);
            QTest::addRow("lv %d internal unsorted", lv) << lv << 0 << false << int(GeneratorKind::UnsortedInternal);
        }
    }
    void dispatchTable()
    {
        QFETCH(int, lvVer);
        QFETCH(int, type);
        QFETCH(bool, sorted);
        QFETCH(int, kind);
        QCOMPARE(int(pickGenerator(lvVer, type, sorted)), kind);
    }

    void directToFileKinds()
    {
        QVERIFY(supportsDirectToFile(GeneratorKind::SortedInternal));
        QVERIFY(supportsDirectToFile(GeneratorKind::UnsortedInternal));
        QVERIFY(supportsDirectToFile(GeneratorKind::XbfArray));
        QVERIFY(!supportsDirectToFile(GeneratorKind::XbfBin));
        QVERIFY(!supportsDirectToFile(GeneratorKind::Legacy));
    }
};

QTEST_GUILESS_MAIN(TestCharset)
#include "tst_charset.moc"

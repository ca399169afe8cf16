#include "charset/chartables.h"

#include <QSet>
#include <QtTest>

class TestCharTables : public QObject
{
    Q_OBJECT
private slots:
    void commonTableFollowsGb2312Order();
    void allTableCoversTheUnifiedBlock();
};

void TestCharTables::commonTableFollowsGb2312Order()
{
    const QString common = qm::commonChineseCharacters();
    QCOMPARE(common.size(), 6763);
    QCOMPARE(common.front(), QChar(u'啊'));
    QCOMPARE(common.back(), QChar(u'齄'));
    // Level 1 ends at row 55 cell 89, where the row stops short; level 2 follows.
    QCOMPARE(common.at(3754), QChar(u'座'));
    QCOMPARE(common.at(3755), QChar(u'亍'));

    QSet<QChar> seen;
    for (const QChar c : common) {
        QVERIFY2(!seen.contains(c), qPrintable(QStringLiteral("repeated: %1").arg(c)));
        seen.insert(c);
        QVERIFY(c.unicode() >= 0x4E00 && c.unicode() <= 0x9FA5);
    }
    // Built once and shared, not rebuilt per call.
    QVERIFY(qm::commonChineseCharacters().isSharedWith(common));
}

void TestCharTables::allTableCoversTheUnifiedBlock()
{
    const QString all = qm::allChineseCharacters();
    QCOMPARE(all.size(), 20902);
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(all.at(i).unicode(), char16_t(0x4E00 + i));
    QCOMPARE(all.back().unicode(), char16_t(0x9FA5));
}

QTEST_GUILESS_MAIN(TestCharTables)
#include "tst_chartables.moc"

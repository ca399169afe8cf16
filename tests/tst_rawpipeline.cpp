// The second rendering thread must not change a single glyph, nor outlive a cancel.
#include "convert/fonts.h"
#include "convert/rawpipeline.h"
#include "glyphtesting.h"

#include <QtTest>

#include <atomic>

using qm::RawGlyph;
using qm::RawGlyphPipeline;

class TestRawPipeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qm::installFontSubstitutions(); }

    void threadedEqualsSingleThreaded_data()
    {
        QTest::addColumn<int>("bpp");
        QTest::newRow("1 bpp") << 1;
        QTest::newRow("4 bpp") << 4;
    }
    void threadedEqualsSingleThreaded()
    {
        QFETCH(int, bpp);
        QString chars;
        for (ushort u = 0x20; u < 0x7F; ++u)
            chars.append(QChar(u));
        for (ushort u = 0x4E00; u < 0x4E00 + 500; ++u)
            chars.append(QChar(u));
        const QString icons = qmtest::sampleIcons();
        chars += icons;
        QVERIFY(chars.size() >= RawGlyphPipeline::threadThreshold());
        const QFont icon(qmtest::iconFontFamily());
        const int mask = (1 << bpp) - 1;

        // The decorator sees each glyph encoded, with empty texts to add to. It runs on
        // both threads, so what it finds wrong is counted and checked at the end.
        std::atomic<int> unprepared{0};
        const RawGlyphPipeline::Decorator decorate = [&unprepared](RawGlyphPipeline::Glyph &g) {
            if (!g.block.isEmpty() || !g.line.isEmpty() || !g.glyph.alpha.isNull())
                ++unprepared;
            g.block += QString::number(g.glyph.code, 16) + QLatin1Char('\n') + g.rows;
            g.line += QString::number(g.glyph.advW);
        };
        RawGlyphPipeline threaded(chars, qmtest::cjkFont(), icon, icons, bpp, mask, true, decorate);
        RawGlyphPipeline single(chars, qmtest::cjkFont(), icon, icons, bpp, mask, false, decorate);
        for (int i = 0; i < chars.size(); ++i) {
            RawGlyphPipeline::Glyph a = threaded.next(i);
            RawGlyphPipeline::Glyph b = single.next(i);
            QVERIFY(a.glyph.font == (a.glyph.icon ? &threaded.renderer().iconFont() : &threaded.renderer().textFont()));
            QCOMPARE(a.glyph.advW, b.glyph.advW);
            threaded.finish(a);
            single.finish(b);
            const QString where = QStringLiteral("index %1 U+%2").arg(i).arg(chars.at(i).unicode(), 4, 16);
            QVERIFY2(a.glyph.advW == b.glyph.advW && a.glyph.boxW == b.glyph.boxW
                         && a.glyph.boxH == b.glyph.boxH && a.glyph.ofsX == b.glyph.ofsX
                         && a.glyph.ofsY == b.glyph.ofsY && a.glyph.rowBytes == b.glyph.rowBytes
                         && a.glyph.icon == b.glyph.icon && a.glyph.code == b.glyph.code,
                     qPrintable(where));
            QVERIFY2(a.rows == b.rows, qPrintable(where));
            QVERIFY2(a.block == b.block && a.line == b.line, qPrintable(where));
            QVERIFY2(a.block.endsWith(a.rows) && a.block.startsWith(QString::number(a.glyph.code, 16)),
                     qPrintable(where));
        }
        QCOMPARE(unprepared.load(), 0);
    }

    void stoppingEarlyJoinsTheThread()
    {
        QString chars;
        for (ushort u = 0x4E00; u < 0x4E00 + 2000; ++u)
            chars.append(QChar(u));
        for (int stopAt : {0, 1, 7}) {
            RawGlyphPipeline pipeline(chars, qmtest::cjkFont(), QFont(), QString(), 4, 15, true);
            for (int i = 0; i < stopAt; ++i)
            {
                RawGlyphPipeline::Glyph g = pipeline.next(i);
                pipeline.finish(g);
                QVERIFY(!g.rows.isEmpty());
            }
        }   // the destructor stops and joins the worker; a hang fails the test by timeout
    }
};

QTEST_MAIN(TestRawPipeline)
#include "tst_rawpipeline.moc"

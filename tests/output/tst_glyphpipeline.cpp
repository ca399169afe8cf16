// The second drawing thread must not change a single glyph, nor outlive a cancel.
#include "output/capturepipeline.h"
#include "render/fonts.h"
#include "output/rawpipeline.h"
#include "glyphtesting.h"

#include <QtTest>

#include <atomic>

using qm::CapturedGlyph;
using qm::ConversionRequest;
using qm::PreparedConversion;
using qm::prepareConversion;
using qm::CapturePipeline;
using qm::GlyphCapturer;
using qm::RawGlyph;
using qm::RawGlyphPipeline;

namespace {

// ASCII, hanzi, characters of fallback faces and ones that are laid out, and icons:
// glyphs placed from the engine and glyphs drawn, on both threads.
QString mixedSet()
{
    QString chars;
    for (ushort u = 0x20; u < 0x7F; ++u)
        chars.append(QChar(u));
    for (ushort u = 0x4E00; u < 0x4E00 + 500; ++u)
        chars.append(QChar(u));
    chars += QStringLiteral("한국ผ่าعربي\u0301");
    return chars + qmtest::sampleIcons();
}

} // namespace

// What a conversion hands the pipelines.
PreparedConversion preparedFor(const QString &chars, const QFont &icon, const QString &icons, int bpp)
{
    ConversionRequest request;
    request.chars = chars;
    request.font = qmtest::cjkFont();
    request.iconFont = icon;
    request.iconText = icons;
    request.bpp = bpp;
    request.bppMask = (1 << bpp) - 1;
    return prepareConversion(request);
}

class TestGlyphPipeline : public QObject
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
        const QString chars = mixedSet();
        const QString icons = qmtest::sampleIcons();
        QVERIFY(chars.size() >= RawGlyphPipeline::threadThreshold());
        const QFont icon(qmtest::iconFontFamily());

        // The decorator sees each glyph encoded, with empty texts to add to. It runs on
        // both threads, so what it finds wrong is counted and checked at the end.
        std::atomic<int> unprepared{0};
        const RawGlyphPipeline::Decorator decorate = [&unprepared](RawGlyphPipeline::Glyph &g) {
            if (!g.block.isEmpty() || !g.line.isEmpty() || !g.glyph.alpha.isNull())
                ++unprepared;
            g.block += QString::number(g.glyph.code, 16) + QLatin1Char('\n') + g.rows;
            g.line += QString::number(g.glyph.advW);
        };
        const PreparedConversion prepared = preparedFor(chars, icon, icons, bpp);
        RawGlyphPipeline threaded(prepared, true, decorate);
        RawGlyphPipeline single(prepared, false, decorate);
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

    void capturedThreadedEqualsSingleThreaded_data()
    {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<int>("encoding");
        QTest::newRow("cropped text 4 bpp") << 4 << int(CapturePipeline::Encoding::CroppedText);
        QTest::newRow("full text 1 bpp") << 1 << int(CapturePipeline::Encoding::FullText);
        QTest::newRow("cropped bytes 2 bpp") << 2 << int(CapturePipeline::Encoding::CroppedBytes);
    }
    void capturedThreadedEqualsSingleThreaded()
    {
        QFETCH(int, bpp);
        QFETCH(int, encoding);
        const QString chars = mixedSet();
        const QString icons = qmtest::sampleIcons();
        const auto kind = CapturePipeline::Encoding(encoding);
        // For the full encoding, an icon font whose line is taller than the text's.
        const QFont icon(kind == CapturePipeline::Encoding::FullText ? QStringLiteral("Droid Sans Fallback")
                                                                     : qmtest::iconFontFamily());
        std::atomic<int> unprepared{0};
        const CapturePipeline::Decorator decorate = [&unprepared](CapturedGlyph &g, const GlyphCapturer &capturer) {
            if (!g.block.isEmpty() || !g.line.isEmpty() || !g.glyph.coverage.alpha.isNull())
                ++unprepared;
            g.block += QString(g.glyph.ch) + QString::number(capturer.lineHeight()) + g.rows;
            g.line += QString::number(g.glyph.width);
        };
        const PreparedConversion prepared = preparedFor(chars, icon, icons, bpp);
        CapturePipeline threaded(prepared, kind, decorate, true);
        CapturePipeline single(prepared, kind, decorate, false);
        // The full encoding gives every glyph the rows of the set's tallest line.
        const int fullRows = single.capturer().iconLineHeight();
        if (kind == CapturePipeline::Encoding::FullText)
            QVERIFY(fullRows > single.capturer().lineHeight());
        for (int i = 0; i < chars.size(); ++i) {
            CapturedGlyph a = threaded.next(i);
            CapturedGlyph b = single.next(i);
            const QString where = QStringLiteral("index %1 U+%2").arg(i).arg(chars.at(i).unicode(), 4, 16);
            QVERIFY2(a.glyph.ch == chars.at(i) && a.glyph.width == b.glyph.width && a.glyph.height == b.glyph.height
                         && a.glyph.icon == b.glyph.icon,
                     qPrintable(where));
            QVERIFY2(a.glyph.font == (a.glyph.icon ? &threaded.capturer().iconFont() : &threaded.capturer().renderFont()),
                     qPrintable(where));
            threaded.finish(a);
            single.finish(b);
            QVERIFY2(a.rows == b.rows && a.block == b.block && a.line == b.line, qPrintable(where));
            QVERIFY2(a.crop.boxH == b.crop.boxH && a.crop.rowsBelow == b.crop.rowsBelow, qPrintable(where));
            if (kind == CapturePipeline::Encoding::FullText && a.glyph.width > 0)
                QVERIFY2(a.rows.count(QLatin1Char('\n')) + 1 == fullRows, qPrintable(where));
            if (kind == CapturePipeline::Encoding::CroppedBytes) {
                const size_t used = size_t(qm::rowBytesFor(a.glyph.width, bpp) * a.crop.boxH);
                QVERIFY2(a.bytes.size() >= used && b.bytes.size() >= used
                             && std::equal(a.bytes.begin(), a.bytes.begin() + used, b.bytes.begin()),
                         qPrintable(where));
            }
        }
        QCOMPARE(unprepared.load(), 0);
    }

    void stoppingEarlyJoinsTheThread()
    {
        QString chars;
        for (ushort u = 0x4E00; u < 0x4E00 + 2000; ++u)
            chars.append(QChar(u));
        for (int stopAt : {0, 1, 7}) {
            const PreparedConversion prepared = preparedFor(chars, QFont(), QString(), 4);
            RawGlyphPipeline pipeline(prepared, true);
            CapturePipeline captured(prepared, CapturePipeline::Encoding::CroppedText);
            for (int i = 0; i < stopAt; ++i)
            {
                RawGlyphPipeline::Glyph g = pipeline.next(i);
                pipeline.finish(g);
                QVERIFY(!g.rows.isEmpty());
                CapturedGlyph c = captured.next(i);
                captured.finish(c);
                QVERIFY(!c.rows.isEmpty());
            }
        }   // the destructors stop and join the workers; a hang fails the test by timeout
    }
};

QTEST_MAIN(TestGlyphPipeline)
#include "tst_glyphpipeline.moc"

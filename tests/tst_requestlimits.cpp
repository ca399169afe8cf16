// Requests a kind of font cannot hold are refused before anything is drawn.
#include "convert/conversion.h"
#include "convert/fonts.h"
#include "convert/requestlimits.h"
#include "testfonts.h"

#include <QFontMetrics>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

namespace {

const GeneratorKind kAllKinds[] = {GeneratorKind::SortedInternal, GeneratorKind::UnsortedInternal,
                                   GeneratorKind::Legacy, GeneratorKind::XbfArray, GeneratorKind::XbfBin};

ConversionRequest request(const QString &chars, const QFont &font)
{
    ConversionRequest r;
    r.chars = chars;
    r.font = font;
    r.iconFont = font;
    r.fontName = QStringLiteral("limits");
    r.includeText = QStringLiteral("#include \"lvgl.h\"");
    r.bppText = QStringLiteral("4");
    return r;
}

// Records whether a generator got as far as its glyph loop.
class WatchingProgress : public ConversionProgress
{
public:
    bool begun = false;
    void begin(int) override { begun = true; }
    bool step(int, QChar, const QFont &, int, int) override { return false; }
};

} // namespace

class TestRequestLimits : public QObject
{
    Q_OBJECT

private:
    QFont m_font{QStringLiteral("DejaVu Sans"), 12};
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        const QString missing = qmtest::missingTestFonts();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    // LVGL lists a font's glyphs with a 16-bit count, and the XBF table has one entry
    // per 16-bit code: 65535 pass, one more is refused, with the way out.
    void glyphCountPerKind()
    {
        const QString most(kMaxListedGlyphs, QLatin1Char('A'));
        for (const GeneratorKind kind : {GeneratorKind::SortedInternal, GeneratorKind::UnsortedInternal,
                                         GeneratorKind::XbfArray, GeneratorKind::XbfBin}) {
            QVERIFY2(requestRefusal(kind, request(most, m_font)).isEmpty(), qPrintable(generatorName(kind)));
            WatchingProgress progress;
            const ConversionResult result = runConversion(kind, request(most + QLatin1Char('A'), m_font), progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QVERIFY2(result.error.contains(QStringLiteral("65536")) && result.error.contains(QStringLiteral("65535"))
                         && result.error.contains(QStringLiteral("Remove repeated characters")),
                     qPrintable(result.error));
        }
        // Code units 0 are left out before the count.
        WatchingProgress progress;
        runConversion(GeneratorKind::XbfArray, request(most + QChar(0), m_font), progress);
        QVERIFY(progress.begun);
    }

    // LVGL 5.3 has no count, but a 24-bit glyph_index: the bitmaps before the last glyph
    // must stay below 16 MiB.
    void legacyBitmapSize()
    {
        QFont big(m_font);
        big.setPixelSize(64);
        const QFontMetrics metrics(conversionFont(big));
        const int h = metrics.height();
        const int rowBytes = (metrics.horizontalAdvance(QLatin1Char('M')) * 4 + 7) / 8;
        const int fitting = int(kMaxLegacyGlyphIndex / (qint64(h) * rowBytes)) + 1;
        QVERIFY(requestRefusal(GeneratorKind::Legacy, request(QString(fitting, QLatin1Char('M')), big)).isEmpty());
        WatchingProgress progress;
        const ConversionResult result =
            runConversion(GeneratorKind::Legacy, request(QString(fitting + 1, QLatin1Char('M')), big), progress);
        QVERIFY(!result.ok);
        QVERIFY(!progress.begun);
        QVERIFY2(result.error.contains(QStringLiteral("16777215")), qPrintable(result.error));
    }

    // A font whose ascent and descent are zero, or whose line is upside down, would give
    // line_height 0 or less and glyphs that no lookup keeps: refused for every kind.
    void unusableVerticalMetrics_data()
    {
        QTest::addColumn<int>("ascender");
        QTest::addColumn<int>("descender");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("inverted") << -1200 << 400;
    }
    void unusableVerticalMetrics()
    {
        QFETCH(int, ascender);
        QFETCH(int, descender);
        const QString family = qmtest::registerFontWithVerticalMetrics(m_dir.path(), ascender, descender);
        QVERIFY(!family.isEmpty());
        QFont broken(family);
        broken.setPixelSize(16);
        QVERIFY(QFontMetrics(broken).height() <= 0);
        for (const GeneratorKind kind : kAllKinds) {
            ConversionRequest r = request(QStringLiteral("AB"), broken);
            r.outputDir = m_dir.path();
            WatchingProgress progress;
            const ConversionResult result = runConversion(kind, r, progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QVERIFY2(result.error.contains(family) && result.error.contains(QStringLiteral("vertical metrics")),
                     qPrintable(result.error));
        }
    }
};

QTEST_MAIN(TestRequestLimits)
#include "tst_requestlimits.moc"

// What every output kind does alike for one request: the same glyph for each character
// from the same font, nothing for control characters, no U+0000; and requests a kind
// cannot hold refused before anything is drawn.
#include "charset/charset.h"
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "conversion/requestlimits.h"
#include "output/xbftable.h"
#include "glyphtesting.h"
#include "testfonts.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Box {
    int advW;
    int boxH;
};

// The descriptors of a generated text by code. fmt_txt and legacy texts list them in
// set order; the XBF records name their code.
QMap<ushort, Box> boxes(qm::GeneratorKind kind, const QString &text, const QString &set)
{
    QMap<ushort, Box> out;
    if (kind == qm::GeneratorKind::XbfArray) {
        static const QRegularExpression dsc(QStringLiteral("^(\\d+),\\d+,(\\d+),-?\\d+,-?\\d+,\\d+,  //dsc : unicode = 0x([0-9a-f]{4})"),
                                            QRegularExpression::MultilineOption);
        for (auto it = dsc.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out.insert(ushort(m.captured(3).toUInt(nullptr, 16)), {m.captured(1).toInt(), m.captured(2).toInt()});
        }
        return out;
    }
    static const QRegularExpression fmtTxt(QStringLiteral("\\{\\.bitmap_index = \\d+,[^}]*\\.adv_w = (\\d+)[^}]*\\.box_h = (\\d+)"));
    static const QRegularExpression legacy(QStringLiteral("\\{\\.w_px = (\\d+),"));
    int i = 0;
    for (auto it = (kind == qm::GeneratorKind::Legacy ? legacy : fmtTxt).globalMatch(text); it.hasNext(); ++i) {
        const QRegularExpressionMatch m = it.next();
        out.insert(set.at(i).unicode(), {m.captured(1).toInt(), kind == qm::GeneratorKind::Legacy ? -1 : m.captured(2).toInt()});
    }
    return out;
}

const qm::GeneratorKind kAllKinds[] = {qm::GeneratorKind::SortedInternal, qm::GeneratorKind::UnsortedInternal,
                                       qm::GeneratorKind::Legacy, qm::GeneratorKind::XbfArray,
                                       qm::GeneratorKind::XbfBin};

// Records whether a generator got as far as its glyph loop, and stops it there.
class WatchingProgress : public qm::ConversionProgress
{
public:
    bool begun = false;
    void begin(int) override { begun = true; }
    bool step(int, QChar, const QFont &, int, int) override { return false; }
};

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
        qm::installFontSubstitutions();
    }

    // Droid Sans Fallback lacks Latin letters and ℃: every kind takes them from the face
    // the toolkit falls back to, as the input pane shows them, and the warnings say so.
    void everyKindDrawsTheSameGlyphs()
    {
        const QString icon(QChar(0xf015));
        const QString input = QStringLiteral("A℃") + QChar(0) + QStringLiteral("\n中\tB") + QChar(0x7f) + icon;
        qm::ConversionRequest request =
            qmtest::makeRequest(input, 1, QFont(QStringLiteral("Droid Sans Fallback"), 12), icon);
        QString set = input;
        set.remove(QChar(0));
        QString sorted = set;
        qm::sortChars(sorted);

        QMap<ushort, Box> reference;
        for (const qm::GeneratorKind kind : {qm::GeneratorKind::UnsortedInternal, qm::GeneratorKind::SortedInternal,
                                             qm::GeneratorKind::XbfArray, qm::GeneratorKind::Legacy}) {
            request.chars = input;
            if (kind == qm::GeneratorKind::SortedInternal)
                qm::sortChars(request.chars);
            qm::NoProgress progress;
            const qm::ConversionResult result = qm::runConversion(kind, request, progress);
            const QByteArray what = qm::generatorName(kind).toUtf8();
            QVERIFY2(result.ok, what);
            QCOMPARE(result.written, set.size());
            // The XBF table spans U+0009 to the icon at U+F015 for a few glyphs, and says so.
            const bool xbf = kind == qm::GeneratorKind::XbfArray;
            QCOMPARE(result.warnings.size(), xbf ? 3 : 2);
            if (xbf)
                QVERIFY(result.warnings.at(2).startsWith(QStringLiteral("XBF位置表有61453项（U+0009到U+F015")));
            QVERIFY2(result.warnings.at(0).contains(QLatin1String("U+0000 1 time(s); it was left out")), what);
            // Named in set order; not the control characters, not 中, not the icon.
            const QString lacking = kind == qm::GeneratorKind::SortedInternal
                ? QStringLiteral("A (U+0041), B (U+0042), ℃ (U+2103)")
                : QStringLiteral("A (U+0041), ℃ (U+2103), B (U+0042)");
            QVERIFY2(result.warnings.at(1).endsWith(QStringLiteral("\"Droid Sans Fallback\" lacks 3 characters; their "
                                                                   "glyphs come from other fonts (the missing-glyph box "
                                                                   "where none has them): ") + lacking),
                     qPrintable(result.warnings.at(1)));

            const QMap<ushort, Box> got =
                boxes(kind, result.text, kind == qm::GeneratorKind::SortedInternal ? sorted : set);
            QCOMPARE(got.size(), set.size());
            QVERIFY2(!got.contains(0), what);
            for (const QChar control : {QChar('\n'), QChar('\t'), QChar(0x7f)}) {
                QVERIFY2(got.value(control.unicode()).advW == 0, what);
                QVERIFY2(got.value(control.unicode()).boxH <= 0, what);
            }
            if (reference.isEmpty()) {
                reference = got;
                continue;
            }
            // At 1 bpp every kind inks the same rows of the same glyph.
            for (auto it = got.constBegin(); it != got.constEnd(); ++it) {
                const Box want = reference.value(it.key());
                QVERIFY2(it->advW == want.advW && (it->boxH < 0 || it->boxH == want.boxH),
                         qPrintable(QStringLiteral("%1, U+%2: adv_w %3 box_h %4, expected %5 %6")
                                        .arg(QString::fromUtf8(what)).arg(it.key(), 4, 16, QLatin1Char('0'))
                                        .arg(it->advW).arg(it->boxH).arg(want.advW).arg(want.boxH)));
            }
        }
    }

    // LVGL lists a font's glyphs with a 16-bit count, and the XBF table has one entry
    // per 16-bit code: 65535 pass, one more is refused, with the way out.
    void glyphCountPerKind()
    {
        const QFont font(QStringLiteral("DejaVu Sans"), 12);
        const QString most(qm::kMaxListedGlyphs, QLatin1Char('A'));
        for (const qm::GeneratorKind kind : {qm::GeneratorKind::SortedInternal, qm::GeneratorKind::UnsortedInternal,
                                             qm::GeneratorKind::XbfArray, qm::GeneratorKind::XbfBin}) {
            QVERIFY2(qm::requestRefusal(kind, qm::prepareConversion(qmtest::makeRequest(most, 4, font))).isEmpty(),
                     qPrintable(qm::generatorName(kind)));
            WatchingProgress progress;
            const qm::ConversionResult result =
                qm::runConversion(kind, qmtest::makeRequest(most + QLatin1Char('A'), 4, font), progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QVERIFY2(result.error.contains(QStringLiteral("65536")) && result.error.contains(QStringLiteral("65535"))
                         && result.error.contains(QStringLiteral("Remove repeated characters")),
                     qPrintable(result.error));
        }
        // Code units 0 are left out before the count.
        WatchingProgress progress;
        qm::runConversion(qm::GeneratorKind::XbfArray, qmtest::makeRequest(most + QChar(0), 4, font), progress);
        QVERIFY(progress.begun);
    }

    // LVGL 5.3 has no count, but a 24-bit glyph_index: the bitmaps before the last glyph
    // must stay below 16 MiB.
    void legacyBitmapSize()
    {
        QFont big = qmtest::pixelFont(QStringLiteral("DejaVu Sans"), 64);
        const QFontMetrics metrics(qm::conversionFont(big));
        const int glyphBytes = metrics.height() * ((metrics.horizontalAdvance(QLatin1Char('M')) * 4 + 7) / 8);
        const int fitting = int(qm::kMaxLegacyGlyphIndex / glyphBytes) + 1;
        QVERIFY(qm::requestRefusal(qm::GeneratorKind::Legacy,
                                   qm::prepareConversion(qmtest::makeRequest(QString(fitting, QLatin1Char('M')), 4, big))).isEmpty());
        WatchingProgress progress;
        const qm::ConversionResult result = qm::runConversion(
            qm::GeneratorKind::Legacy, qmtest::makeRequest(QString(fitting + 1, QLatin1Char('M')), 4, big), progress);
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
        QTemporaryDir dir;
        const QString family = qmtest::registerFontWithVerticalMetrics(dir.path(), ascender, descender);
        QVERIFY(!family.isEmpty());
        QFont broken = qmtest::pixelFont(family, 16);
        QVERIFY(QFontMetrics(broken).height() <= 0);
        for (const qm::GeneratorKind kind : kAllKinds) {
            qm::ConversionRequest r = qmtest::makeRequest(QStringLiteral("AB"), 4, broken);
            r.outputDir = dir.path();
            WatchingProgress progress;
            const qm::ConversionResult result = qm::runConversion(kind, r, progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QVERIFY2(result.error.contains(family) && result.error.contains(QStringLiteral("vertical metrics")),
                     qPrintable(result.error));
        }
    }

    // Units per em of 16 instead of 2048: glyphs over a thousand pixels wide at 16 px,
    // a line of over 2,000. No font is drawn like that on purpose, so every kind refuses
    // it before the glyph loop, whatever its fields could hold (at 12 pt such a font
    // once made a file of 451 MB, and at 400 px the glyph engine crashed).
    void glyphBoxesPastWhatTheKindHolds()
    {
        QTemporaryDir dir;
        const QString family = qmtest::registerFontWithUnitsPerEm(dir.path(), 16);
        QVERIFY(!family.isEmpty());
        QFont huge = qmtest::pixelFont(family, 16);
        const int line16 = QFontMetrics(qm::conversionFont(huge)).height();
        QVERIFY(line16 > 2000);
        for (const qm::GeneratorKind kind : kAllKinds) {
            WatchingProgress progress;
            const qm::ConversionResult result =
                qm::runConversion(kind, qmtest::makeRequest(QStringLiteral("A"), 4, huge), progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QCOMPARE(result.error,
                     QStringLiteral("字体的行高为%1像素，是所选大小（16像素）的8倍以上，字体文件可能已损坏（例如每em单位数）。"
                                    "请换一个字体。\nThe font's line would be %1 px, more than 8 times the 16 px asked "
                                    "for: the font file may be damaged (its units per em, for one). Choose another font.")
                         .arg(line16));
        }

        // The bound itself: a line of about 9 times the size is refused, 7.5 times is not.
        for (const int upem : {265, 320}) {
            const QFont font = qmtest::pixelFont(qmtest::registerFontWithUnitsPerEm(dir.path(), upem), 40);
            const int line = QFontMetrics(qm::conversionFont(font)).height();
            QVERIFY(line > 255);
            const QString refusal = qm::requestRefusal(qm::GeneratorKind::SortedInternal,
                                                       qm::prepareConversion(qmtest::makeRequest(QStringLiteral("A"), 4, font)));
            QCOMPARE(refusal.contains(QStringLiteral("more than 8 times the 40 px")), line > 8 * 40);
            QCOMPARE(line > 8 * 40, upem == 265);
        }

        // A sound font past what a kind holds: LVGL 5.3's line ends at 255 px (the XBF
        // kinds say so in words of their own), the lv_font_fmt_txt layouts' at 32767,
        // where their signed offsets end.
        const QFont sound = qmtest::pixelFont(qmtest::latinFont().family(), 300);
        const int line300 = QFontMetrics(qm::conversionFont(sound)).height();
        QVERIFY(line300 > 255 && line300 < 8 * 300);
        for (const qm::GeneratorKind kind : kAllKinds) {
            const QString refusal =
                qm::requestRefusal(kind, qm::prepareConversion(qmtest::makeRequest(QStringLiteral("A"), 4, sound)));
            if (kind == qm::GeneratorKind::SortedInternal || kind == qm::GeneratorKind::UnsortedInternal)
                QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            else if (kind == qm::GeneratorKind::Legacy)
                QVERIFY2(refusal.endsWith(QStringLiteral("The glyph box of the font's line would be %1 px, more than "
                                                         "this output kind holds (255 px). Choose a smaller size or "
                                                         "another font.").arg(line300)),
                         qPrintable(refusal));
            else
                QCOMPARE(refusal, qm::xbfLineHeightError(line300));
        }
        const QFont giant = qmtest::pixelFont(qmtest::latinFont().family(), 30000);
        const int line = QFontMetrics(qm::conversionFont(giant)).height();
        QVERIFY(line > 0x7FFF && line <= 0xFFFF);
        for (const qm::GeneratorKind kind : {qm::GeneratorKind::SortedInternal, qm::GeneratorKind::UnsortedInternal}) {
            WatchingProgress progress;
            const qm::ConversionResult result =
                qm::runConversion(kind, qmtest::makeRequest(QStringLiteral("A"), 4, giant), progress);
            QVERIFY(!result.ok);
            QVERIFY(!progress.begun);
            QVERIFY2(result.error.endsWith(QStringLiteral("The glyph box of the font's line would be %1 px, more than "
                                                          "this output kind holds (32767 px). Choose a smaller size "
                                                          "or another font.").arg(line)),
                     qPrintable(result.error));
        }
    }

    // A glyph the font engine cannot read (a header past the glyph's bytes, or a place
    // past the glyph table) converts as an empty glyph, so the run says which characters
    // those are, apart from the glyph that is blank in the font; the intact ones draw.
    void unreadableGlyphsAreNamed()
    {
        QTemporaryDir dir;
        const QString family = qmtest::registerFontWithDamagedGlyphs(dir.path(), QLatin1Char('B'), QLatin1Char('X'));
        QVERIFY(!family.isEmpty());
        const QString set = QStringLiteral("AB") + QChar(0x2800) + QStringLiteral("X");
        for (const qm::GeneratorKind kind : {qm::GeneratorKind::SortedInternal, qm::GeneratorKind::Legacy}) {
            qm::NoProgress progress;
            const qm::ConversionResult result =
                qm::runConversion(kind, qmtest::makeRequest(set, 4, qmtest::pixelFont(family, 16)), progress);
            QVERIFY(result.ok);
            QCOMPARE(result.warnings,
                     QStringList({QStringLiteral("1个字符的字形是空白的（字体里这个字形没有笔画），转换后什么也不显示：⠀ (U+2800)"
                                                 "/1 characters have a blank glyph (the font's glyph has no ink) and "
                                                 "will draw nothing: ⠀ (U+2800)"),
                                  QStringLiteral("2个字符的字形无法读取（字体文件可能已损坏），转换后什么也不显示："
                                                 "B (U+0042), X (U+0058)/2 characters have a glyph that could not be "
                                                 "read (the font file may be damaged) and will draw nothing: "
                                                 "B (U+0042), X (U+0058)")}));
            if (kind == qm::GeneratorKind::SortedInternal) {
                const QMap<ushort, Box> got = boxes(kind, result.text, set);
                QVERIFY(got.value('A').boxH > 0);
                QCOMPARE(got.value('B').boxH, 0);
                QCOMPARE(got.value('X').boxH, 0);
            }
        }
    }

    // A font whose header tables understate its glyphs a hundredfold: its real advances
    // are measured against the kind, and an outline further from the pen than the
    // rasteriser draws (which crashed the program) is an unreadable glyph instead.
    void outlinesPastTheirDeclaredMetrics()
    {
        QTemporaryDir dir;
        const QString family = qmtest::registerFontOutgrowingItsMetrics(dir.path());
        QVERIFY(!family.isEmpty());
        const QFont at400 = qmtest::pixelFont(family, 400);
        const int width = qm::GlyphCapturer(qm::prepareConversion(qmtest::makeRequest(QStringLiteral("A"), 4, at400)).fonts)
                              .measure(QLatin1Char('A'))
                              .width;
        QVERIFY(width > 0x7FFF);
        WatchingProgress watching;
        const qm::ConversionResult refused =
            qm::runConversion(qm::GeneratorKind::SortedInternal, qmtest::makeRequest(QStringLiteral("A"), 4, at400), watching);
        QVERIFY(!watching.begun);
        QVERIFY2(refused.error.endsWith(QStringLiteral("The glyph box of character “A”(0x0041) would be %1 px, more "
                                                       "than this output kind holds (32767 px). Choose a smaller size "
                                                       "or another font.").arg((width + 1) / 2 * 2)),
                 qPrintable(refused.error));

        for (const int bpp : {1, 4}) {
            qm::NoProgress progress;
            const qm::ConversionResult result = qm::runConversion(
                qm::GeneratorKind::SortedInternal, qmtest::makeRequest(QStringLiteral("A"), bpp, qmtest::pixelFont(family, 360)),
                progress);
            QVERIFY(result.ok);
            QVERIFY2(result.warnings.value(0).endsWith(QStringLiteral("1 characters have a glyph that could not be read "
                                                                      "(the font file may be damaged) and will draw "
                                                                      "nothing: A (U+0041)")),
                     qPrintable(result.warnings.join(QLatin1Char('\n'))));
            QCOMPARE(boxes(qm::GeneratorKind::SortedInternal, result.text, QStringLiteral("A")).value('A').boxH, 0);
        }
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestConversion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_conversion.moc"

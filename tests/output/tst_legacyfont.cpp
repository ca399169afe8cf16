#include "ccompile.h"
#include "testfonts.h"
#include "output/encoders.h"
#include "render/fonts.h"
#include "output/generators.h"
#include "render/glyphcapture.h"
#include "output/linebuffer.h"
#include "glyphtesting.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QtTest>

using qm::GlyphCapturer;

class TestLegacyFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exactTextOfSingleLetter();
    void cancelAtFirstCharacter();
    void cancelAfterSomeCharacters();
    void glyphIndexAndHeightsWithIcons();
    void orderAndOptionsIgnored();
    void compiledLookupsReturnEveryGlyph_data();
    void compiledLookupsReturnEveryGlyph();
    void oversizedGlyphsStopTheBuild();
};

namespace {

const QString kDscOpening = QStringLiteral("static const lv_font_glyph_dsc_t glyph_dsc[] = ");
const QString kCodeOpening = QStringLiteral("static const uint32_t unicode_list[] = ");

// The entries of a section: the lines after its opening line and "{", up to "};".
QStringList entries(const QString &text, const QString &opening)
{
    QStringList lines = qmtest::sectionLines(text, opening);
    if (!lines.isEmpty() && lines.first() == QLatin1String("{"))
        lines.removeFirst();
    return lines;
}

QString fieldLine(const QString &text, const QString &prefix)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            return line;
    }
    return QString();
}

struct Descriptor {
    int width;
    int index;
};

QList<Descriptor> descriptors(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^    \\{\\.w_px = (\\d+),\\t\\.glyph_index = (\\d+)\\},/\\*\\("));
    QList<Descriptor> out;
    for (const QString &line : entries(text, kDscOpening)) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            out << Descriptor{m.captured(1).toInt(), m.captured(2).toInt()};
    }
    return out;
}

QStringList tail(const QFont &font, int height, uint first, uint last, const QString &bpp)
{
    return {qm::fontCommentLine(font),
            QStringLiteral("//字模高度：%1").arg(height),
            QStringLiteral("extern const lv_font_t test_font;"),
            QStringLiteral("const lv_font_t test_font = {"),
            QStringLiteral("    .unicode_first = %1,\t/*First Unicode letter in this font*/").arg(first),
            QStringLiteral("    .unicode_last = %1,\t/*Last Unicode letter in this font*/").arg(last),
            QStringLiteral("    .glyph_bitmap = glyph_bitmap,\t/*Bitmap of glyphs*/"),
            QStringLiteral("    .glyph_dsc = glyph_dsc,\t\t/*Description of glyphs*/"),
            QStringLiteral("    .unicode_list = unicode_list,\t/*List of unicode characters*/"),
            QStringLiteral("    .get_bitmap = lv_font_get_bitmap_sparse,\t/*Function pointer to get glyph's bitmap*/"),
            QStringLiteral("    .get_width = lv_font_get_width_sparse,\t/*Function pointer to get glyph's width*/"),
            QStringLiteral("    .next_page = NULL,\t\t/*Pointer to a font extension*/"),
            QStringLiteral("    .h_px = %1,\t\t\t\t/*Font height in pixels*/").arg(height),
            QStringLiteral("    .bpp = %1,\t\t\t\t/*Bit per pixel*/").arg(bpp),
            QStringLiteral("};"),
            QString(),
            QStringLiteral("//end of file")};
}

QStringList head()
{
    QStringList e = qm::buildFileHeader().split(QLatin1Char('\n'));
    e << QStringLiteral("#include \"./lv_misc/lv_font.h\"") << QString() << QString();
    return e;
}

// The sparse lookups LVGL 5.3 provides, as the font object expects them: the letter's
// position in unicode_list picks its descriptor; the range test comes first.
const char kSparseLookups[] =
    "#include \"lv_misc/lv_font.h\"\n"
    "static int find(const lv_font_t *font, uint32_t letter) {\n"
    "    if (letter < font->unicode_first || letter > font->unicode_last) return -1;\n"
    "    for (int i = 0; font->unicode_list[i] != 0; i++)\n"
    "        if (font->unicode_list[i] == letter) return i;\n"
    "    return -1;\n"
    "}\n"
    "const uint8_t *lv_font_get_bitmap_sparse(const lv_font_t *font, uint32_t letter) {\n"
    "    int i = find(font, letter);\n"
    "    return i < 0 ? NULL : &font->glyph_bitmap[font->glyph_dsc[i].glyph_index];\n"
    "}\n"
    "int16_t lv_font_get_width_sparse(const lv_font_t *font, uint32_t letter) {\n"
    "    int i = find(font, letter);\n"
    "    return i < 0 ? -1 : (int16_t)font->glyph_dsc[i].w_px;\n"
    "}\n";

// Asks the font object for each letter (through its own function pointers) and prints
// the width and the bitmap bytes LVGL 5.3 draws: h_px rows of the width's bytes.
QByteArray lookupProgram(const QList<uint> &queries)
{
    QByteArray q;
    for (uint query : queries)
        q += QByteArray::number(query) + "u, ";
    return "#include <stdio.h>\n#include \"lv_misc/lv_font.h\"\n"
           "extern const lv_font_t test_font;\n"
           "static const uint32_t queries[] = { " + q + "};\n"
           "int main(void) {\n"
           "    const lv_font_t *f = &test_font;\n"
           "    printf(\"font %u %u %u %u\\n\", (unsigned)f->unicode_first, (unsigned)f->unicode_last,\n"
           "           (unsigned)f->h_px, (unsigned)f->bpp);\n"
           "    for (unsigned i = 0; i < sizeof queries / sizeof queries[0]; ++i) {\n"
           "        int w = f->get_width(f, queries[i]);\n"
           "        const uint8_t *bm = f->get_bitmap(f, queries[i]);\n"
           "        unsigned count = bm ? f->h_px * ((w * f->bpp + 7) / 8) : 0;\n"
           "        printf(\"q%u %d %d x\", i, w, bm != NULL);\n"
           "        for (unsigned k = 0; k < count; ++k) printf(\"%02x\", bm[k]);\n"
           "        printf(\"\\n\");\n"
           "    }\n"
           "    return 0;\n"
           "}\n";
}

} // namespace

void TestLegacyFont::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    qm::installFontSubstitutions();
    QVERIFY2(!qmtest::iconFontFamily().isEmpty(), "FontAwesome is not installed");
}

void TestLegacyFont::exactTextOfSingleLetter()
{
    const qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("A"), 1, qmtest::cjkFont());
    qmtest::RecordingProgress progress;
    const qm::ConversionResult result = qm::generateLegacyFont(request, progress);
    QVERIFY(result.ok);
    QCOMPARE(result.written, 1);
    QVERIFY(!result.cancelled);
    QVERIFY(result.warnings.isEmpty());

    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, 1);
    const GlyphCapturer::Glyph a = capturer.measure(QLatin1Char('A'));
    const int w = a.width, h = a.height;
    QCOMPARE(result.fontHeight, h);
    QCOMPARE(progress.boxes, QList<QSize>{QSize(w, h)});

    const QString rows = qm::encodeGlyphRows(capturer.capture(a), 1, 1);
    QStringList e = head();
    e << QStringLiteral("static const uint8_t glyph_bitmap[] = ") << QStringLiteral("{")
      << QStringLiteral("/* A */") << rows.split(QLatin1Char('\n')) << QString() << QString()
      << QStringLiteral("};") << QString() << QString();
    e << kDscOpening << QStringLiteral("{")
      << QStringLiteral("    {.w_px = %1,\t.glyph_index = 0},/*(A)*/").arg(w)
      << QStringLiteral("};") << QString() << QString();
    e << kCodeOpening << QStringLiteral("{")
      << QStringLiteral("    0x0041,\t/*(A)*/")
      << QStringLiteral("    0x0000,    /*End indicator*/")
      << QStringLiteral("};") << QString() << QString();
    e << tail(request.font, h, 65, 65, QStringLiteral("1"));
    const QString expected = e.join(QLatin1Char('\n'));
    QVERIFY2(result.text == expected, qPrintable(qmtest::firstDifference(result.text, expected)));

    // The whole box, h rows of ceil(w / 8) bytes, and each row's bits are its preview.
    const QStringList rowLines = rows.split(QLatin1Char('\n'));
    QCOMPARE(rowLines.size(), h);
    const int rowBytes = qm::rowBytesFor(w, 1);
    const QRegularExpression row(QStringLiteral("^((?:0x[0-9a-f]{2},){%1})  //([.@]{%2})$").arg(rowBytes).arg(w));
    int inkedRows = 0;
    for (const QString &line : rowLines) {
        const QRegularExpressionMatch m = row.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const QStringList hex = m.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        const QString preview = m.captured(2);
        for (int x = 0; x < rowBytes * 8; ++x) {
            const bool bit = (hex.at(x / 8).toUInt(nullptr, 16) >> (7 - x % 8)) & 1;
            QCOMPARE(bit, x < w && preview.at(x) == QLatin1Char('@'));
        }
        inkedRows += preview.contains(QLatin1Char('@'));
    }
    QVERIFY(inkedRows > 0);
}

void TestLegacyFont::cancelAtFirstCharacter()
{
    const qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("AB"), 1, qmtest::cjkFont());
    qmtest::RecordingProgress progress(0);
    const qm::ConversionResult result = qm::generateLegacyFont(request, progress);
    QVERIFY(result.cancelled);
    QCOMPARE(result.written, 0);
    QCOMPARE(result.fontHeight, 0);
    QCOMPARE(progress.indexes, QList<int>{0});
    QCOMPARE(progress.ends, 1);

    QStringList e = head();
    e << QStringLiteral("static const uint8_t glyph_bitmap[] = ") << QStringLiteral("{") << QStringLiteral("};")
      << QString() << QString();
    e << kDscOpening << QStringLiteral("{") << QStringLiteral("};") << QString() << QString();
    e << kCodeOpening << QStringLiteral("{") << QStringLiteral("    0x0000,    /*End indicator*/")
      << QStringLiteral("};") << QString() << QString();
    e << tail(request.font, 0, 65536, 0, QStringLiteral("1"));
    const QString expected = e.join(QLatin1Char('\n'));
    QVERIFY2(result.text == expected, qPrintable(qmtest::firstDifference(result.text, expected)));
}

void TestLegacyFont::cancelAfterSomeCharacters()
{
    const QString chars = QStringLiteral("b中aZ");
    qmtest::RecordingProgress progress(2);
    const qm::ConversionResult result =
        qm::generateLegacyFont(qmtest::makeRequest(chars, 4, qmtest::cjkFont()), progress);
    QVERIFY(result.cancelled);
    QCOMPARE(result.written, 2);
    QCOMPARE(progress.total, 4);
    QCOMPARE(progress.chars, chars.left(3));
    QCOMPARE(descriptors(result.text).size(), 2);
    const QStringList codes = entries(result.text, kCodeOpening);
    QCOMPARE(codes.size(), 3);
    QCOMPARE(codes.last(), QStringLiteral("    0x0000,    /*End indicator*/"));
    QVERIFY(!result.text.contains(QLatin1String("/* a */")));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .unicode_first")),
             QStringLiteral("    .unicode_first = 98,\t/*First Unicode letter in this font*/"));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .unicode_last")),
             QStringLiteral("    .unicode_last = 20013,\t/*Last Unicode letter in this font*/"));
    QVERIFY(result.text.endsWith(QLatin1String("};\n\n//end of file")));
}

// Glyphs follow each other in the bitmap, each h_px rows of ceil(w * bpp / 8) bytes,
// h_px being the taller of the text's and the icons' lines: LVGL 5.3 draws every glyph
// that high.
void TestLegacyFont::glyphIndexAndHeightsWithIcons()
{
    const QChar icon(0xf015);
    qm::ConversionRequest request = qmtest::makeRequest(QString(), 4, qmtest::cjkFont(), QString(icon));
    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, 4);
    QVERIFY(capturer.iconLineHeight() != capturer.lineHeight());
    const int tallest = qMax(capturer.iconLineHeight(), capturer.lineHeight());
    const QString chars = QStringLiteral("Ab 中") + icon;
    request.chars = chars;
    qmtest::RecordingProgress progress;
    const qm::ConversionResult result = qm::generateLegacyFont(request, progress);
    const QList<Descriptor> dsc = descriptors(result.text);
    QCOMPARE(dsc.size(), chars.size());
    int index = 0;
    for (int i = 0; i < chars.size(); ++i) {
        const GlyphCapturer::Glyph glyph = capturer.measure(chars.at(i));
        QCOMPARE(dsc.at(i).width, glyph.width);
        QCOMPARE(dsc.at(i).index, index);
        QCOMPARE(progress.boxes.at(i), QSize(glyph.width, glyph.height));
        QCOMPARE(progress.families.at(i), glyph.font->family());
        const QStringList block = qmtest::sectionLines(result.text, QStringLiteral("/* %1 */").arg(chars.at(i)));
        QCOMPARE(block.indexOf(QString()), tallest);
        index += tallest * qm::rowBytesFor(glyph.width, 4);
    }
    QCOMPARE(result.fontHeight, tallest);
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .h_px")),
             QStringLiteral("    .h_px = %1,\t\t\t\t/*Font height in pixels*/").arg(tallest));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .bpp")), QStringLiteral("    .bpp = 4,\t\t\t\t/*Bit per pixel*/"));
}

// The input order stays; the sort option and the include text play no part.
void TestLegacyFont::orderAndOptionsIgnored()
{
    qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("ba"), 2, qmtest::latinFont());
    qm::NoProgress progress;
    const QString text = qm::generateLegacyFont(request, progress).text;
    const QStringList codes = entries(text, kCodeOpening);
    QCOMPARE(codes.at(0), QStringLiteral("    0x0062,\t/*(b)*/"));
    QCOMPARE(codes.at(1), QStringLiteral("    0x0061,\t/*(a)*/"));
    QVERIFY(text.indexOf(QLatin1String("/* b */")) < text.indexOf(QLatin1String("/* a */")));

    request.sorted = !request.sorted;
    request.includeText = QStringLiteral("#include \"something/else.h\"");
    request.lvVer = 0;
    QCOMPARE(qm::generateLegacyFont(request, progress).text, text);
}

void TestLegacyFont::compiledLookupsReturnEveryGlyph_data()
{
    QTest::addColumn<int>("bpp");
    for (int bpp : {1, 2, 4, 8})
        QTest::addRow("%dbpp", bpp) << bpp;
}

// Every glyph read as LVGL 5.3 draws it, h_px rows, gives its own pixels; under the
// address sanitizer no read leaves the bitmap (icons shorter than the line once did).
void TestLegacyFont::compiledLookupsReturnEveryGlyph()
{
    QFETCH(int, bpp);
    const QString icons = qmtest::sampleIcons();
    const QString chars = QStringLiteral("gA 中文,A\n") + icons;
    const qm::ConversionRequest request = qmtest::makeRequest(chars, bpp, qmtest::cjkFont(), icons);
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateLegacyFont(request, progress);

    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, bpp);
    QList<uint> queries;
    QList<QByteArray> expected;
    QList<int> widths;
    for (const QChar c : chars) {
        const GlyphCapturer::Glyph glyph = capturer.measure(c);
        queries << c.unicode();
        expected << qmtest::fullGlyphBytes(capturer, glyph, bpp, result.fontHeight);
        widths << glyph.width;
    }
    for (uint absent : {0x4e01u, 0x21u, 0x09u, 0xffffu, 0x10000u}) {
        queries << absent;
        expected << QByteArray();
        widths << -1;
    }

    const qmtest::CRun run = qmtest::compileAndRun(
        {{QStringLiteral("font.c"), result.text.toUtf8()},
         {QStringLiteral("sparse.c"), QByteArray(kSparseLookups)},
         {QStringLiteral("main.c"), lookupProgram(queries)}},
        {qmtest::lvglIncludeDir(QStringLiteral("v5"))},
        {QStringLiteral("-fsanitize=address"), QStringLiteral("-fno-omit-frame-pointer")});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    QVERIFY2(!run.compileLog.contains(QLatin1String("warning")), qPrintable(run.compileLog));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(run.output);
    QCOMPARE(out.value(QStringLiteral("font")),
             QStringList({QString::number(0x0a), QString::number(0xf0e0), QString::number(result.fontHeight),
                          QString::number(bpp)}));
    for (int i = 0; i < queries.size(); ++i) {
        const QStringList want{QString::number(widths.at(i)), widths.at(i) < 0 ? QStringLiteral("0") : QStringLiteral("1"),
                               QStringLiteral("x") + QString::fromLatin1(expected.at(i).toHex())};
        const QStringList got = out.value(QStringLiteral("q%1").arg(i));
        QVERIFY2(got == want, qPrintable(QStringLiteral("q%1 (U+%2): got %3, expected %4")
                                             .arg(i).arg(queries.at(i), 4, 16, QLatin1Char('0'))
                                             .arg(got.join(' '), want.join(' '))));
    }
}

// Wider and taller than LVGL 5.3's 8-bit w_px and h_px: the file says so and does not build.
void TestLegacyFont::oversizedGlyphsStopTheBuild()
{
    QFont big = qmtest::latinFont();
    big.setPixelSize(300);
    const qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("W"), 1, big);
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateLegacyFont(request, progress);
    QCOMPARE(result.warnings.size(), 2);
    QVERIFY(result.warnings.at(0).contains(QLatin1String("w_px reaches")));
    QVERIFY(result.warnings.at(1).contains(QLatin1String("h_px reaches")));

    const QStringList lines = result.text.split(QLatin1Char('\n'));
    const int include = lines.indexOf(QStringLiteral("#include \"./lv_misc/lv_font.h\""));
    QVERIFY(lines.value(include + 1).startsWith(QLatin1String("#error \"test_font: w_px reaches")));
    QVERIFY(lines.value(include + 2).startsWith(QLatin1String("#error \"test_font: h_px reaches")));
    QCOMPARE(lines.value(include + 3), QString());

    const qmtest::CRun run = qmtest::compileAndRun(
        {{QStringLiteral("font.c"), result.text.toUtf8()}, {QStringLiteral("sparse.c"), QByteArray(kSparseLookups)}},
        {qmtest::lvglIncludeDir(QStringLiteral("v5"))});
    QVERIFY(!run.compiled);
    QVERIFY2(run.compileLog.contains(QLatin1String("test_font: w_px reaches")), qPrintable(run.compileLog));
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestLegacyFont test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_legacyfont.moc"

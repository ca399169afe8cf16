// The LVGL 9 text of every output kind at every depth, compiled against the stand-ins
// of 9.0, 9.1, 9.2 and 9.3 (for 9.3 to 9.5) as C and as C++, with the fonts declared
// in a second file by LV_FONT_DECLARE, and asked for each glyph the way LVGL 9 draws
// one: a descriptor full of garbage to the descriptor callback, then, from a copy and
// in another order, the bitmap callback with an A8 buffer whose rows are wider than
// the glyph. The 8-bit pixels must be the glyphs we rendered. The fonts share one
// file, each with its own file-local names: a build is then two compiler processes
// instead of 33, and the process start-ups were most of its time.

#include "ccompile.h"
#include "charset/charset.h"
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "sortedglyphs.h"
#include "testfonts.h"
#include "xbfsupport.h"

#include <QFontDatabase>
#include <QRawFont>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

namespace {

const char kMainHead[] = R"C(#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "lvgl.h"
)C";

// Prints "<font>:<code> 0" for a letter the font lacks, else "<font>:<code> 1 adv box_w
// box_h ofs_x ofs_y bpp placeholder stride entry result no-buffer padding pixels"; then
// "<font>:line_height height base_line static_bitmap".
const char kMainBody[] = R"C(
static const uint32_t letters[] = { QM_LETTERS };
enum { LETTERS = sizeof letters / sizeof letters[0], ROW_SLACK = 3 };

static void draw(const char *name, uint32_t letter, lv_font_glyph_dsc_t g)
{
    uint32_t stride = g.box_w + ROW_SLACK, size = stride * g.box_h, x, y;
    uint8_t *mem = (uint8_t *)malloc(size + 16);
    int padding_kept = 1;
    const void *result, *no_buffer;
    lv_draw_buf_t buf;
    memset(&buf, 0, sizeof buf);
    memset(mem, 0xA5, size + 16);
    buf.header.w = g.box_w;
    buf.header.h = g.box_h;
    buf.header.stride = stride;
    buf.data_size = size;
    buf.data = mem;
#if LVGL_VERSION_MINOR >= 2
    result = g.resolved_font->get_glyph_bitmap(&g, &buf);
    no_buffer = g.resolved_font->get_glyph_bitmap(&g, NULL);
#else
    result = g.resolved_font->get_glyph_bitmap(&g, letter, &buf);
    no_buffer = g.resolved_font->get_glyph_bitmap(&g, letter, NULL);
#endif
#if LVGL_VERSION_MINOR >= 1
    unsigned bpp = g.format;
#else
    unsigned bpp = g.bpp;
#endif
#if LVGL_VERSION_MINOR >= 3
    unsigned stride_field = g.stride;
#else
    unsigned stride_field = 0;
#endif
    for (y = 0; y < g.box_h; ++y)
        for (x = g.box_w; x < stride; ++x)
            padding_kept &= mem[y * stride + x] == 0xA5;
    for (x = size; x < size + 16; ++x)
        padding_kept &= mem[x] == 0xA5;
    printf("%s:%04x 1 %u %u %u %d %d %u %u %u %s %s %s %s ", name, (unsigned)letter, (unsigned)g.adv_w,
           (unsigned)g.box_w, (unsigned)g.box_h, (int)g.ofs_x, (int)g.ofs_y, bpp, (unsigned)g.is_placeholder,
           stride_field, g.entry ? "entry" : "null", result == &buf ? "buf" : "other", no_buffer ? "other" : "null",
           padding_kept ? "kept" : "spoilt");
    for (y = 0; y < g.box_h; ++y)
        for (x = 0; x < g.box_w; ++x)
            printf("%02x", mem[y * stride + x]);
    printf("-\n");
    free(mem);
}

int main(void)
{
    size_t f;
    for (f = 0; f < sizeof fonts / sizeof fonts[0]; ++f) {
        lv_font_glyph_dsc_t found[LETTERS];
        uint32_t found_letter[LETTERS];
        int n = 0, i;
        for (i = 0; i < LETTERS; ++i) {
            lv_font_glyph_dsc_t d;
            memset(&d, 0xFF, sizeof d);
            if (!fonts[f].font->get_glyph_dsc(fonts[f].font, &d, letters[i], 0)) {
                printf("%s:%04x 0\n", fonts[f].name, (unsigned)letters[i]);
                continue;
            }
            d.resolved_font = fonts[f].font;
            found_letter[n] = letters[i];
            found[n++] = d;
        }
        while (n-- > 0)
            draw(fonts[f].name, found_letter[n], found[n]);
#if LVGL_VERSION_MINOR >= 3
        printf("%s:line_height %d %d %d\n", fonts[f].name, (int)fonts[f].font->line_height,
               (int)fonts[f].font->base_line, (int)fonts[f].font->static_bitmap);
#else
        printf("%s:line_height %d %d 0\n", fonts[f].name, (int)fonts[f].font->line_height,
               (int)fonts[f].font->base_line);
#endif
    }
    return 0;
}
)C";

struct KindCase {
    const char *tag;
    GeneratorKind kind;
    bool compress = false;
};
const KindCase kKinds[] = {
    {"sorted", GeneratorKind::SortedInternal},
    {"unsorted", GeneratorKind::UnsortedInternal},
    {"xbf", GeneratorKind::XbfArray},
    {"bin", GeneratorKind::XbfBin},
    // Compressed glyphs unpack straight into the draw buffer: the same pixels.
    {"sortedz", GeneratorKind::SortedInternal, true},
    {"unsortedz", GeneratorKind::UnsortedInternal, true},
    {"xbfz", GeneratorKind::XbfArray, true},
    {"binz", GeneratorKind::XbfBin, true},
};

QByteArray a8Pixels(const QByteArray &packed, int boxW, int boxH, int bpp)
{
    const int mask = (1 << bpp) - 1;
    const int rowBytes = (boxW * bpp + 7) / 8;
    QByteArray hex;
    for (int y = 0; y < boxH; ++y) {
        for (int x = 0; x < boxW; ++x) {
            const int bit = x * bpp;
            const int level = (uint8_t(packed.at(y * rowBytes + bit / 8)) >> (8 - bpp - bit % 8)) & mask;
            hex += QByteArray::number(level * 255 / mask, 16).rightJustified(2, '0');
        }
    }
    return hex + '-';
}

} // namespace

class TestLvgl9 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drawsEveryGlyphOnEveryMinor_data();
    void drawsEveryGlyphOnEveryMinor();
    void otherMajorVersionStopsTheBuild();

private:
    QMap<QString, QString> m_fonts;         // by font name, as compiled on its own
    QMap<QString, QByteArray> m_files;      // fonts.c with every font, main.c
    QMap<QString, QString> m_expected;      // "<font>:<code>" -> the line main.c prints
    QStringList m_letters;
    QTemporaryDir m_binDir;
    QStringList m_builds;                   // "<minor> <standard>", as the rows list them
    QList<qmtest::CRun> m_runs;             // in the order of m_builds
};

void TestLvgl9::initTestCase()
{
    installFontSubstitutions();
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    const QString awesome = qmtest::registerFontAwesome();
    QVERIFY(!awesome.isEmpty());

    const QString icons = QString(QChar(0xF000)) + QChar(0xF015) + QChar(0xF26E);
    // "A" twice: the sorted kind keeps one entry each, the unsorted kind finds the first.
    QString sortedChars = QStringLiteral(" AAgj|中文，") + icons;
    sortChars(sortedChars);
    const QString unsortedChars = QStringLiteral("gA 中|文j，A") + icons;
    // An XBF table spans the codes from the lowest to the highest; one that reached the
    // icons would cost each build seconds.
    const QString xbfChars = QStringLiteral("gA |jA");

    QSet<uint> codes;
    for (QChar ch : sortedChars)
        codes.insert(ch.unicode());
    QList<uint> letters = codes.values();
    // Below, between and above the codes, and past 16 bits.
    letters << 0x1f << 0x42 << 0x4e01 << 0xf001 << 0xf8ff << 0x10041;
    std::sort(letters.begin(), letters.end());
    for (uint letter : letters)
        m_letters << QStringLiteral("0x%1").arg(letter, 0, 16);

    QFont font = qmtest::pixelFont(defaultFontFamily(), 16);
    QString declarations, table;
    for (int bpp : {1, 2, 4, 8}) {
        // What the sorted kind draws, worked out from the toolkit directly.
        const QFont textFont = qmtest::fontForBpp(font, bpp);
        const QFont iconFont = qmtest::iconFontFor(QFont(awesome), font, bpp);
        const int lineHeight = QFontMetrics(textFont).height();
        const int baseLine = int(QRawFont::fromFont(textFont, QFontDatabase::Any).descent());
        for (const KindCase &k : kKinds) {
            const bool sorted = k.kind == GeneratorKind::SortedInternal;
            const bool xbf = k.kind == GeneratorKind::XbfArray || k.kind == GeneratorKind::XbfBin;
            ConversionRequest r = qmtest::xbfRequest(sorted ? sortedChars : xbf ? xbfChars : unsortedChars, bpp,
                                                     font, QFont(awesome), icons);
            r.lvVer = kLvgl9;
            r.sorted = sorted;
            r.compress = k.compress;
            r.fontName = QStringLiteral("f_%1_%2").arg(QLatin1String(k.tag)).arg(bpp);
            r.outputDir = m_binDir.path();
            NoProgress progress;
            const ConversionResult result = runConversion(k.kind, r, progress);
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(result.written, r.chars.size());

            // Both XBF tables lie one byte past an aligned address, as a byte array may
            // on the target, for the alignment sanitizer to watch the readers.
            QByteArray source = result.text.toUtf8();
            if (k.kind == GeneratorKind::XbfArray) {
                source = qmtest::misalignXbfArray(result.text);
            } else if (k.kind == GeneratorKind::XbfBin) {
                QFile bin(m_binDir.filePath(r.fontName + QStringLiteral(".bin")));
                QVERIFY(bin.open(QIODevice::ReadOnly));
                source = qmtest::completeBinReader(result.text, bin.readAll());
            }
            QVERIFY(!source.isEmpty());
            // The C2x build below stops after parsing on the strength of this.
            QVERIFY2(!source.contains("__STDC_VERSION__"), qPrintable(r.fontName));
            m_fonts.insert(r.fontName, QString::fromUtf8(source));
            declarations += QStringLiteral("LV_FONT_DECLARE(%1)\n").arg(r.fontName);
            table += QStringLiteral("    { \"%1\", &%1 },\n").arg(r.fontName);

            for (uint letter : letters) {
                const QString key = QStringLiteral("%1:%2").arg(r.fontName).arg(letter, 4, 16, QLatin1Char('0'));
                if (letter > 0xFFFF || !r.chars.contains(QChar(ushort(letter)))) {
                    m_expected.insert(key, QStringLiteral("0"));
                    continue;
                }
                const QChar ch{ushort(letter)};
                int adv, boxW, boxH, ofsX = 0, ofsY;
                QByteArray packed;
                if (sorted) {
                    const bool icon = icons.contains(ch);
                    const qmtest::ExpectedGlyph e =
                        qmtest::expectedRawGlyph(ch, icon ? iconFont : textFont, icon, bpp, lineHeight, baseLine);
                    QVERIFY2(e.ok, qPrintable(e.why));
                    adv = e.advW, boxW = e.boxW, boxH = e.boxH, ofsX = e.ofsX, ofsY = e.ofsY, packed = e.bytes;
                } else {
                    const qmtest::XbfGlyph g = qmtest::expectedXbfGlyph(r, ch);
                    adv = g.adv, boxW = g.boxW, boxH = g.boxH, ofsY = g.ofsY, packed = g.bitmap;
                }
                m_expected.insert(key, QStringLiteral("1 %1 %2 %3 %4 %5 %6 0 0 null buf null kept %7")
                                           .arg(adv).arg(boxW).arg(boxH).arg(ofsX).arg(ofsY).arg(bpp)
                                           .arg(QString::fromLatin1(a8Pixels(packed, boxW, boxH, bpp))));
            }
            m_expected.insert(r.fontName + QStringLiteral(":line_height"),
                              QStringLiteral("%1 0 0").arg(result.fontHeight));
        }
    }
    m_files.insert(QStringLiteral("fonts.c"), qmtest::oneTranslationUnit(m_fonts));
    m_files.insert(QStringLiteral("main.c"),
                   QByteArray(kMainHead) + declarations.toUtf8()
                       + "static const struct { const char *name; const lv_font_t *font; } fonts[] = {\n"
                       + table.toUtf8() + "};\n" + kMainBody);
}

void TestLvgl9::drawsEveryGlyphOnEveryMinor_data()
{
    QTest::addColumn<QString>("minor");
    QTest::addColumn<QString>("standard");
    m_builds.clear();
    for (const char *minor : {"v9.0", "v9.1", "v9.2", "v9.3"})
        for (const char *standard : {"c99", "c++17"})
            m_builds << QStringLiteral("%1 %2").arg(QLatin1String(minor), QLatin1String(standard));
    // Nothing in the text depends on both the minor and the C standard; nor does it ask
    // which C standard it is read under, so C2x is checked by gcc's front end alone: the
    // warnings given after parsing, and the pixels, are those of 9.3's C99 build.
    m_builds << QStringLiteral("v9.3 c2x");
    for (const QString &build : qAsConst(m_builds))
        QTest::newRow(qPrintable(build)) << build.section(QLatin1Char(' '), 0, 0) << build.section(QLatin1Char(' '), 1);
}

void TestLvgl9::drawsEveryGlyphOnEveryMinor()
{
    QFETCH(QString, minor);
    QFETCH(QString, standard);
    // Every row's build at once, on the first row, so that they share the cores.
    if (m_runs.isEmpty()) {
        QList<qmtest::CBuild> builds;
        for (const QString &build : qAsConst(m_builds)) {
            const QString buildStandard = build.section(QLatin1Char(' '), 1);
            // The optimiser's warnings (a value used before it is set) come from the C99
            // build of each minor; the other standards are built for their own rules
            // and, in C++, for the link against main.c.
            const bool optimised = buildStandard == QLatin1String("c99");
            QStringList flags{QStringLiteral("-Werror"), QStringLiteral("-Wextra"),
                              QStringLiteral("-Wno-missing-field-initializers"),
                              optimised ? QStringLiteral("-O1") : QStringLiteral("-O0"),
                              QStringLiteral("-fsanitize=alignment"), QStringLiteral("-fno-sanitize-recover=alignment"),
                              QStringLiteral("-DQM_LETTERS=") + m_letters.join(QLatin1Char(','))};
            if (buildStandard == QLatin1String("c2x"))
                flags << QStringLiteral("-fsyntax-only");
            builds.append({m_files, {qmtest::lvglIncludeDir(build.section(QLatin1Char(' '), 0, 0))}, flags, {},
                           buildStandard});
        }
        m_runs = qmtest::compileAndRunAll(builds);
    }
    const qmtest::CRun run = m_runs.value(m_builds.indexOf(minor + QLatin1Char(' ') + standard));
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    if (standard == QLatin1String("c2x"))
        return;
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors + QString::fromUtf8(run.output)));
    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(run.output);
    for (auto it = m_expected.constBegin(); it != m_expected.constEnd(); ++it) {
        const QString got = out.value(it.key()).join(QLatin1Char(' '));
        QVERIFY2(got == it.value(),
                 qPrintable(QStringLiteral("%1: got %2\n expected %3").arg(it.key(), got, it.value())));
    }
}

// LVGL 8 below and a later major above (here a 10.0 made of 9.0's declarations) stop
// the build with the font's own message.
void TestLvgl9::otherMajorVersionStopsTheBuild()
{
    const QByteArray font = m_fonts.value(QStringLiteral("f_xbf_4")).toUtf8();
    const QByteArray lvgl10 = "#define LVGL_VERSION_MAJOR 10\n#define LVGL_VERSION_MINOR 0\n"
                              "#define LVGL_VERSION_PATCH 0\n#include \"lvgl9_common.h\"\n";
    const qmtest::CRun v8 = qmtest::compileAndRun({{QStringLiteral("font.c"), font}},
                                                  {qmtest::lvglIncludeDir(QStringLiteral("v8"))},
                                                  {QStringLiteral("-fsyntax-only")});
    const qmtest::CRun v10 = qmtest::compileAndRun({{QStringLiteral("font.c"), font}, {QStringLiteral("lvgl.h"), lvgl10}},
                                                   {QStringLiteral(QM_TEST_LVGL_DIR)}, {QStringLiteral("-fsyntax-only")});
    for (const qmtest::CRun &run : {v8, v10}) {
        QVERIFY(!run.compiled);
        QVERIFY2(run.compileLog.contains(QLatin1String("#error \"This font is for LVGL 9.x")), qPrintable(run.compileLog));
    }
}

QTEST_MAIN(TestLvgl9)
#include "tst_lvgl9.moc"

#include "ccompile.h"
#include "testfonts.h"
#include "glyphtesting.h"
#include "charset/charset.h"
#include "output/encoders.h"
#include "output/fmttxtlimits.h"
#include "render/fonts.h"
#include "output/generators.h"
#include "output/linebuffer.h"
#include "sortedglyphs.h"

#include <QFontDatabase>
#include <QRawFont>
#include <QRegularExpression>
#include <QtTest>

using namespace qm;

namespace {

struct Descriptor {
    int bitmapIndex, advW, boxH, boxW, ofsX, ofsY;
};

// The numbers a generated font holds, read back from its text.
struct ParsedFont {
    QVector<Descriptor> glyphs;
    QVector<int> codes;             // without the end indicator
    QVector<int> bitmapBytes;       // byte literals in each glyph's bitmap block
    int rangeStart = -1, rangeLength = -1, listLength = -1;
};

ParsedFont parse(const QString &text)
{
    ParsedFont f;
    static const QRegularExpression dsc(QStringLiteral(
        "^    \\{\\.bitmap_index = (-?\\d+),\\t\\.adv_w = (-?\\d+), \\.box_w = (-?\\d+), \\.box_h = (-?\\d+), "
        "\\.ofs_x = (-?\\d+), \\.ofs_y = (-?\\d+)\\},/\\*\\("),
        QRegularExpression::MultilineOption);
    for (auto it = dsc.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        f.glyphs.append({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(4).toInt(),
                         m.captured(3).toInt(), m.captured(5).toInt(), m.captured(6).toInt()});
    }
    static const QRegularExpression code(QStringLiteral("^    0x([0-9a-f]{4}),\\t/\\*\\("),
                                         QRegularExpression::MultilineOption);
    for (auto it = code.globalMatch(text); it.hasNext();)
        f.codes.append(it.next().captured(1).toInt(nullptr, 16));

    const int start = text.indexOf(QLatin1String("static const uint8_t glyph_bitmap[] = {\n"));
    const int end = text.indexOf(QLatin1String("\n};\n"), start);
    const QString bitmap = text.mid(start, end - start);
    static const QRegularExpression blockHead(QStringLiteral("^/\\* "), QRegularExpression::MultilineOption);
    const QStringList blocks = bitmap.split(blockHead);
    for (int i = 1; i < blocks.size(); ++i)
        f.bitmapBytes.append(blocks.at(i).count(QLatin1String("0x")));

    auto number = [&text](const char *pattern) {
        const auto m = QRegularExpression(QLatin1String(pattern)).match(text);
        return m.hasMatch() ? m.captured(1).toInt(nullptr, 0) : -1;
    };
    f.rangeStart = number("\\.range_start = (0x[0-9a-f]+),");
    f.rangeLength = number("\\.range_length = (0x[0-9a-f]+),");
    f.listLength = number("\\.list_length = (\\d+),");
    return f;
}

// Calls the emitted lookups through the font object for each letter, in both orders so
// that each function runs once with and once without the last-letter cache, and
// prints "<tag><code> found has_bitmap adv box_w box_h ofs_x ofs_y bpp bytes...".
const char *kLookupMain = R"(#include <stdio.h>
#include <string.h>
#include "lvgl.h"

extern const lv_font_t qm_test_font;
static const uint32_t letters[] = { QM_LETTERS };

static void show(char tag, uint32_t letter, bool found, const uint8_t *bitmap, const lv_font_glyph_dsc_t *d)
{
    printf("%c%04x %d %d", tag, (unsigned)letter, found ? 1 : 0, bitmap ? 1 : 0);
    if (found) {
        printf(" %u %u %u %d %d %u", (unsigned)d->adv_w, (unsigned)d->box_w, (unsigned)d->box_h,
               (int)d->ofs_x, (int)d->ofs_y, (unsigned)d->bpp);
        if (bitmap) {
            int row = (d->box_w * QM_BPP + 7) / 8;
            for (int i = 0; i < row * d->box_h; ++i)
                printf(" %02x", bitmap[i]);
        }
    }
    printf("\n");
}

int main(void)
{
    const lv_font_t *font = &qm_test_font;
    size_t n = sizeof letters / sizeof letters[0];
    for (size_t i = 0; i < n; ++i) {
        lv_font_glyph_dsc_t d;
        memset(&d, 0, sizeof d);
        const uint8_t *bitmap = font->get_glyph_bitmap(font, letters[i]);
        bool found = font->get_glyph_dsc(font, &d, letters[i], 0);
        show('B', letters[i], found, bitmap, &d);
    }
    for (size_t i = 0; i < n; ++i) {
        lv_font_glyph_dsc_t d;
        memset(&d, 0, sizeof d);
        bool found = font->get_glyph_dsc(font, &d, letters[i], 0);
        const uint8_t *bitmap = font->get_glyph_bitmap(font, letters[i]);
        show('D', letters[i], found, bitmap, &d);
    }
    printf("line_height %d\n", (int)font->line_height);
    return 0;
}
)";

qmtest::CRun compileWithLookups(const QString &fontText, int lvVer, int bpp, const QList<uint> &letters,
                                const QStringList &flags = {})
{
    QStringList list;
    for (uint letter : letters)
        list << QStringLiteral("0x%1").arg(letter, 0, 16);
    QStringList allFlags = flags;
    allFlags << QStringLiteral("-DQM_BPP=%1").arg(bpp)
             << QStringLiteral("-DQM_LETTERS=%1").arg(list.join(QLatin1Char(',')));
    return qmtest::compileAndRun(
        {{QStringLiteral("font.c"), fontText.toUtf8()}, {QStringLiteral("main.c"), QByteArray(kLookupMain)}},
        {qmtest::lvglIncludeDir(lvVer == 2 ? QStringLiteral("v8.3") : QStringLiteral("v6"))}, allFlags);
}

class RecordingProgress : public ConversionProgress
{
public:
    struct Step {
        int index;
        QChar ch;
        QString family;
        int width, height;
    };
    void begin(int total) override { begins << total; }
    bool step(int index, QChar ch, const QFont &font, int width, int height) override
    {
        steps.append({index, ch, font.family(), width, height});
        return true;
    }
    void end() override { ++ends; }
    QList<int> begins;
    QVector<Step> steps;
    int ends = 0;
};

} // namespace

class TestSortedFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneCharacterExactText_data();
    void oneCharacterExactText();
    void eightDiffersOnlyInCacheLines();
    void bitmapIndexesFollowTheBoxes();
    void blankSetHasNoBitmapBytes();
    void lineBreakInTheSetStaysValidC();
    void optionTextsAreWrittenVerbatim();
    void cancelWritesACompleteShorterFont();
    void progressSeesEveryCharacter();
    void surrogatesDoNotShiftLaterGlyphs();
    void rangeCheckLimits_data();
    void rangeCheckLimits();
    void oversizedGlyphsGetABuildGuard();
    void oversizedBitmapGetsABuildGuard();
    void compiledLookupsMatchRendering_data();
    void compiledLookupsMatchRendering();

private:
    ConversionRequest request(const QString &chars, int bpp, int lvVer = 1) const;
    QString m_awesome;
};

void TestSortedFont::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    installFontSubstitutions();
    m_awesome = qmtest::registerFontAwesome();
    QVERIFY2(!m_awesome.isEmpty(), "FontAwesome could not be registered");
}

ConversionRequest TestSortedFont::request(const QString &chars, int bpp, int lvVer) const
{
    ConversionRequest r;
    r.chars = chars;
    r.bpp = bpp;
    r.bppMask = bppMask(bpp);
    r.bppText = QString::number(bpp);
    r.lvVer = lvVer;
    r.font = QFont(QStringLiteral("DejaVu Sans"));
    r.font.setPixelSize(16);
    r.iconFont = QFont(m_awesome);
    r.fontName = QStringLiteral("qm_test_font");
    r.includeText = QStringLiteral("#include \"lvgl.h\"");
    r.typeText = QStringLiteral("内部字体");
    r.sorted = true;
    return r;
}

void TestSortedFont::oneCharacterExactText_data()
{
    QTest::addColumn<int>("bpp");
    QTest::newRow("1 bit") << 1;
    QTest::newRow("4 bits") << 4;
}

void TestSortedFont::oneCharacterExactText()
{
    QFETCH(int, bpp);
    ConversionRequest r = request(QStringLiteral("A"), bpp);
    r.font = QFont(QStringLiteral("DejaVu Sans"), 12);   // 16 px at the tests' 96 dpi
    NoProgress progress;
    const ConversionResult result = generateSortedFont(r, progress);
    QVERIFY(result.ok);
    QCOMPARE(result.written, 1);
    QVERIFY(!result.cancelled);
    QVERIFY(result.warnings.isEmpty());

    const QFont font = qmtest::fontForBpp(r.font, bpp);
    const int lineHeight = QFontMetrics(font).height();
    QCOMPARE(result.fontHeight, lineHeight);
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Any);
    const qmtest::ExpectedGlyph e =
        qmtest::expectedRawGlyph(QLatin1Char('A'), font, false, bpp, lineHeight, int(raw.descent()));
    QVERIFY2(e.ok, qPrintable(e.why));
    const QString rows = encodeAlphaRows(e.pixels, bpp, bppMask(bpp));
    QCOMPARE(rows.count(QLatin1String("0x")), e.bytes.size());

    const QString expected = buildFileHeader() + QStringLiteral("\n#include \"lvgl.h\"\n\n\n")
        + QStringLiteral("static const uint8_t glyph_bitmap[] = {\n/* A */\n") + rows + QStringLiteral("\n\n\n};\n\n\n")
        + QStringLiteral(
              "static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {\n"
              "    {.bitmap_index = 0,\t.adv_w = %1, .box_w = %2, .box_h = %3, .ofs_x = %4, .ofs_y = %5},/*(A)*/\n"
              "};\n\n\n")
              .arg(e.advW).arg(e.boxW).arg(e.boxH).arg(e.ofsX).arg(e.ofsY)
        + QStringLiteral(R"(static const uint16_t unicode_list_1[] = {
    0x0041,	/*(A)*/
    0x0000,    /*End indicator*/
};


static const lv_font_fmt_txt_cmap_t cmaps[] = {
    {
        .range_start = 0x0041,
        .range_length = 0x0041,
        .glyph_id_start = 0,
        .unicode_list = unicode_list_1,
        .glyph_id_ofs_list = NULL,
        .list_length = 1,
        .type = LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
    }
};


static lv_font_fmt_txt_dsc_t font_dsc = {
    .glyph_bitmap = glyph_bitmap,
    .glyph_dsc = glyph_dsc,
    .cmaps = cmaps,
    .kern_dsc = NULL,
    .kern_scale = 0,
    .cmap_num = 1,
    .bpp = %2,
    .kern_classes = 0,
};


static int binsearch(const uint16_t *sortedSeq, int seqLength, uint16_t keyData) {
    int low = 0, mid, high = seqLength - 1;
    while (low <= high) {
        mid = (low + high)>>1;//右移1位等于是/2，奇数，无论奇偶，有个值就行
        if (keyData < sortedSeq[mid]) {
            high = mid - 1;//是mid-1，因为mid已经比较过了
        }
        else if (keyData > sortedSeq[mid]) {
            low = mid + 1;
        }
        else {
            return mid;
        }
    }
    return -1;
}


static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {
    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;

    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return NULL;

    int i;
    if( unicode_letter==fdsc->last_letter ){
        i = fdsc->last_glyph_id;
    }
    else{
        i = binsearch(fdsc->cmaps[0].unicode_list, fdsc->cmaps[0].list_length, unicode_letter);
    }
    if( i != -1 ) {
        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];
        fdsc->last_glyph_id = i;
        fdsc->last_letter = unicode_letter;
        return &fdsc->glyph_bitmap[gdsc->bitmap_index];
    }
    return NULL;
}


static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {
    (void)unicode_letter_next;
    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;

    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return false;

    int i;
    if( unicode_letter==fdsc->last_letter ){
        i = fdsc->last_glyph_id;
    }
    else{
        i = binsearch(fdsc->cmaps[0].unicode_list, fdsc->cmaps[0].list_length, unicode_letter);
    }
    if( i != -1 ) {
        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];
        fdsc->last_glyph_id = i;
        fdsc->last_letter = unicode_letter;
        dsc_out->adv_w = gdsc->adv_w;
        dsc_out->box_h = gdsc->box_h;
        dsc_out->box_w = gdsc->box_w;
        dsc_out->ofs_x = gdsc->ofs_x;
        dsc_out->ofs_y = gdsc->ofs_y;
        dsc_out->bpp   = fdsc->bpp;
        return true;
    }
    return false;
}


//DejaVu Sans,,12
//字模高度：%1
//内部字体
//使用排序和二分查表
extern const lv_font_t qm_test_font;
const lv_font_t qm_test_font = {
    .get_glyph_dsc = __user_font_get_glyph_dsc,
    .get_glyph_bitmap = __user_font_get_bitmap,
    .line_height = %1,
    .base_line = 0,
    .dsc = &font_dsc,
};

)")
              .arg(lineHeight)
              .arg(bpp);

    if (result.text != expected) {
        const QStringList got = result.text.split(QLatin1Char('\n'));
        const QStringList want = expected.split(QLatin1Char('\n'));
        for (int i = 0; i < qMin(got.size(), want.size()); ++i)
            QVERIFY2(got.at(i) == want.at(i), qPrintable(QStringLiteral("line %1: [%2] expected [%3]")
                                                             .arg(i + 1).arg(got.at(i), want.at(i))));
        QCOMPARE(got.size(), want.size());
    }
}

// LVGL 8 keeps the lookup cache in a separate, writable structure and has is_placeholder
// from 8.2; nothing else changes.
void TestSortedFont::eightDiffersOnlyInCacheLines()
{
    NoProgress progress;
    const QString six = generateSortedFont(request(QStringLiteral("Abc"), 2, 1), progress).text;
    const QString eight = generateSortedFont(request(QStringLiteral("Abc"), 2, 2), progress).text;

    QString converted = six;
    converted.replace(QLatin1String("fdsc->last_"), QLatin1String("fdsc->cache->last_"));
    converted.replace(QLatin1String("};\n\n\nstatic lv_font_fmt_txt_dsc_t font_dsc"),
                      QLatin1String("};\n\n\nstatic lv_font_fmt_txt_glyph_cache_t glyph_cache;\n\n\n"
                                    "static lv_font_fmt_txt_dsc_t font_dsc"));
    converted.replace(QLatin1String("    .kern_classes = 0,\n};"),
                      QLatin1String("    .kern_classes = 0,\n\n    .cache = &glyph_cache,\n};"));
    converted.replace(QLatin1String("        dsc_out->bpp   = fdsc->bpp;\n"),
                      QLatin1String("        dsc_out->bpp   = fdsc->bpp;\n"
                                    "#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)\n"
                                    "        dsc_out->is_placeholder = 0;\n"
                                    "#endif\n"));
    QCOMPARE(six.count(QLatin1String("fdsc->last_")), 8);
    QCOMPARE(eight, converted);
}

void TestSortedFont::bitmapIndexesFollowTheBoxes()
{
    NoProgress progress;
    const ConversionResult result = generateSortedFont(request(QStringLiteral("ABC"), 1), progress);
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.glyphs.size(), 3);
    QCOMPARE(f.bitmapBytes.size(), 3);
    int index = 0;
    for (int i = 0; i < 3; ++i) {
        const Descriptor &d = f.glyphs.at(i);
        QCOMPARE(d.bitmapIndex, index);
        QCOMPARE(d.boxW % 8, 0);
        QVERIFY(d.boxH > 0);
        // The block really holds box_h rows of row_bytes bytes.
        QCOMPARE(f.bitmapBytes.at(i), d.boxH * d.boxW / 8);
        index += d.boxH * d.boxW / 8;
    }
    QCOMPARE(f.codes, (QVector<int>{0x41, 0x42, 0x43}));
}

void TestSortedFont::blankSetHasNoBitmapBytes()
{
    NoProgress progress;
    const ConversionResult result = generateSortedFont(request(QStringLiteral("   "), 4), progress);
    QVERIFY(result.text.contains(QLatin1String("static const uint8_t glyph_bitmap[] = {\n"
                                               "/*   */\n\n\n\n/*   */\n\n\n\n/*   */\n\n\n\n};\n")));
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.glyphs.size(), 3);
    for (const Descriptor &d : f.glyphs) {
        QCOMPARE(d.bitmapIndex, 0);
        QCOMPARE(d.boxH, 0);
        QCOMPARE(d.boxW, 0);
        QVERIFY(d.advW > 0);
    }
    QCOMPARE(f.listLength, 3);

    const qmtest::CRun run = compileWithLookups(result.text, 1, 4, {0x20});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    const auto out = qmtest::parseKeyedLines(run.output);
    QCOMPARE(out.value(QStringLiteral("D0020")).mid(0, 2), (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
}

void TestSortedFont::lineBreakInTheSetStaysValidC()
{
    QString chars = QStringLiteral("A\nb");
    sortChars(chars);
    NoProgress progress;
    const ConversionResult result = generateSortedFont(request(chars, 2, 2), progress);
    QVERIFY(result.text.contains(QLatin1String("\n/* \n */\n")));
    QVERIFY(result.text.contains(QLatin1String("    0x000a,\t/*(\n)*/\n")));
    QVERIFY(result.text.contains(QLatin1String("/*(\n)*/\n    {.bitmap_index")));
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.codes, (QVector<int>{0x0a, 0x41, 0x62}));
    QCOMPARE(f.glyphs.size(), 3);

    const qmtest::CRun run = compileWithLookups(result.text, 2, 2, {0x0a, 0x41, 0x62});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    const auto out = qmtest::parseKeyedLines(run.output);
    for (const char *key : {"D000a", "D0041", "D0062"})
        QCOMPARE(out.value(QLatin1String(key)).value(0), QStringLiteral("1"));
}

void TestSortedFont::optionTextsAreWrittenVerbatim()
{
    NoProgress progress;
    ConversionRequest r = request(QStringLiteral("x"), 1);
    r.includeText = QStringLiteral("#include \"lvgl/lvgl.h\"\n// board fonts");
    r.typeText = QStringLiteral("内部字体");
    r.fontName = QStringLiteral("font_x");
    const QString text = generateSortedFont(r, progress).text;
    QVERIFY(text.contains(QLatin1String("\n    .bpp = 1,\n")));
    QVERIFY(text.contains(QStringLiteral("*/\n\n\n#include \"lvgl/lvgl.h\"\n// board fonts\n\n\nstatic const uint8_t glyph_bitmap[]")));
    QVERIFY(text.contains(QStringLiteral("\n//DejaVu Sans,,16px\n//字模高度：")));
    QVERIFY(text.contains(QStringLiteral("\n//内部字体\n//使用排序和二分查表\nextern const lv_font_t font_x;\n"
                                         "const lv_font_t font_x = {\n")));
    QVERIFY(text.endsWith(QLatin1String("    .dsc = &font_dsc,\n};\n\n")));

    // LVGL 6 keeps bpp in 3 bits: at 8 bpp the 6.0 text sets it for LVGL 7 only and
    // its lookup reports the depth itself. The 8.0 text needs neither.
    r.bpp = 8;
    r.bppMask = 255;
    r.bppText = QStringLiteral("8");
    r.sorted = false;
    const QString eight = generateSortedFont(r, progress).text;
    QVERIFY(eight.contains(QLatin1String("    .cmap_num = 1,\n#if LVGL_VERSION_MAJOR >= 7\n    .bpp = 8,\n#endif\n"
                                         "    .kern_classes = 0,\n")));
    QCOMPARE(eight.count(QLatin1String("dsc_out->bpp   = 8;")), 1);
    QVERIFY(!eight.contains(QLatin1String("fdsc->bpp")));
    QVERIFY(eight.contains(QStringLiteral("\n//未用排序和顺序查表\n")));
    r.lvVer = 2;
    const QString eightFor8 = generateSortedFont(r, progress).text;
    QVERIFY(eightFor8.contains(QLatin1String("    .cmap_num = 1,\n    .bpp = 8,\n    .kern_classes = 0,\n")));
    QCOMPARE(eightFor8.count(QLatin1String("dsc_out->bpp   = fdsc->bpp;")), 1);

    // Family and style names come from the font file or the settings; none may end the
    // comment that quotes them.
    r.font.setFamily(QStringLiteral("Evil\nint injected_by_font_file = 1;\r"));
    r.font.setStyleName(QStringLiteral("Bold\u2028x\x01"));
    const QString crafted = generateSortedFont(r, progress).text;
    QVERIFY(crafted.contains(QStringLiteral("\n//Evil int injected_by_font_file = 1; ,Bold x ,16px\n")));
    QVERIFY(!crafted.contains(QStringLiteral("\nint injected")));
}

void TestSortedFont::cancelWritesACompleteShorterFont()
{
    const QString chars = QStringLiteral("ABCDEFGHIJ");
    CancelAtProgress cancelAtThird(2);
    const ConversionResult result = generateSortedFont(request(chars, 4, 2), cancelAtThird);
    QVERIFY(result.ok);
    QVERIFY(result.cancelled);
    QCOMPARE(result.written, 2);
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.glyphs.size(), 2);
    QCOMPARE(f.codes, (QVector<int>{0x41, 0x42}));
    QCOMPARE(f.bitmapBytes.size(), 2);
    QCOMPARE(f.rangeStart, 0x41);
    QCOMPARE(f.rangeLength, 0x42);
    QCOMPARE(f.listLength, 2);
    QVERIFY(result.text.endsWith(QLatin1String("    .dsc = &font_dsc,\n};\n\n")));

    const qmtest::CRun run = compileWithLookups(result.text, 2, 4, {0x41, 0x42, 0x43});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    const auto out = qmtest::parseKeyedLines(run.output);
    QCOMPARE(out.value(QStringLiteral("D0042")).value(0), QStringLiteral("1"));
    QCOMPARE(out.value(QStringLiteral("D0043")), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
}

void TestSortedFont::progressSeesEveryCharacter()
{
    const QString chars = QStringLiteral("Ab") + QChar(0xF000) + QChar(0xF001);
    ConversionRequest r = request(chars, 4);
    r.iconText = QString(QChar(0xF000));
    RecordingProgress progress;
    const ConversionResult result = generateSortedFont(r, progress);
    QCOMPARE(progress.begins, QList<int>{4});
    QCOMPARE(progress.ends, 1);
    QCOMPARE(progress.steps.size(), 4);
    const ParsedFont f = parse(result.text);
    const QFont icon = qmtest::iconFontFor(QFont(m_awesome), r.font, 4);
    for (int i = 0; i < 4; ++i) {
        const RecordingProgress::Step &s = progress.steps.at(i);
        QCOMPARE(s.index, i);
        QCOMPARE(s.ch, chars.at(i));
        const bool isIcon = i == 2;
        QCOMPARE(s.family, isIcon ? m_awesome : QStringLiteral("DejaVu Sans"));
        QCOMPARE(s.width, f.glyphs.at(i).advW);
        QCOMPARE(s.height, QFontMetrics(isIcon ? icon : r.font).height());
    }
}

void TestSortedFont::surrogatesDoNotShiftLaterGlyphs()
{
    // U+1F600 sorts as two separate code units, both before U+FB01.
    QString chars = QStringLiteral("A") + QString::fromUtf8("\xF0\x9F\x98\x80") + QChar(0xFB01);
    sortChars(chars);
    NoProgress progress;
    const ConversionResult result = generateSortedFont(request(chars, 4), progress);
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.codes, (QVector<int>{0x41, 0xd83d, 0xde00, 0xfb01}));
    QCOMPARE(QString::fromUtf8(result.text.toUtf8()), result.text);   // no lone surrogate left in the text

    const ParsedFont alone = parse(generateSortedFont(request(QString(QChar(0xFB01)), 4), progress).text);
    const Descriptor &got = f.glyphs.at(3), &want = alone.glyphs.at(0);
    QCOMPARE(got.advW, want.advW);
    QCOMPARE(got.boxW, want.boxW);
    QCOMPARE(got.boxH, want.boxH);
    QCOMPARE(got.ofsX, want.ofsX);
    QCOMPARE(got.ofsY, want.ofsY);
    QCOMPARE(f.bitmapBytes.at(3), alone.bitmapBytes.at(0));
}

void TestSortedFont::rangeCheckLimits_data()
{
    QTest::addColumn<QList<int>>("values");   // bitmap_index, adv_w, box_w, box_h, ofs_x, ofs_y
    QTest::addColumn<QString>("overflow");
    QTest::newRow("all at the limits") << QList<int>{0xFFFFF, 4095, 255, 255, -128, 127} << QString();
    QTest::newRow("other ends") << QList<int>{0, 0, 0, 0, 127, -128} << QString();
    QTest::newRow("bitmap_index") << QList<int>{0x100000, 1, 1, 1, 0, 0} << QStringLiteral("bitmap_index 1048576 > 1048575");
    QTest::newRow("adv_w") << QList<int>{0, 4096, 1, 1, 0, 0} << QStringLiteral("adv_w 4096 > 4095");
    QTest::newRow("box_w") << QList<int>{0, 1, 256, 1, 0, 0} << QStringLiteral("box_w 256 > 255");
    QTest::newRow("box_h") << QList<int>{0, 1, 1, 256, 0, 0} << QStringLiteral("box_h 256 > 255");
    QTest::newRow("ofs_x low") << QList<int>{0, 1, 1, 1, -129, 0} << QStringLiteral("ofs_x -129 < -128");
    QTest::newRow("ofs_x high") << QList<int>{0, 1, 1, 1, 128, 0} << QStringLiteral("ofs_x 128 > 127");
    QTest::newRow("ofs_y low") << QList<int>{0, 1, 1, 1, 0, -129} << QStringLiteral("ofs_y -129 < -128");
    QTest::newRow("ofs_y high") << QList<int>{0, 1, 1, 1, 0, 128} << QStringLiteral("ofs_y 128 > 127");
}

void TestSortedFont::rangeCheckLimits()
{
    QFETCH(QList<int>, values);
    QFETCH(QString, overflow);
    FmtTxtRangeCheck check;
    check.addGlyph(0, 10, 8, 12, 0, 3);
    check.addGlyph(values[0], values[1], values[2], values[3], values[4], values[5]);
    check.addGlyph(5, 11, 8, 12, 1, 2);
    if (overflow.isEmpty()) {
        QVERIFY(check.fitsCompactDescriptor());
        QVERIFY(check.buildGuard().isEmpty());
        QVERIFY(check.warning().isEmpty());
    } else {
        QCOMPARE(check.overflows(), QStringList{overflow});
        QVERIFY(check.buildGuard().startsWith(
            QLatin1String("#if !defined(LV_FONT_FMT_TXT_LARGE) || LV_FONT_FMT_TXT_LARGE == 0\n#error \"")));
        QVERIFY(check.buildGuard().contains(overflow));
        QVERIFY(check.buildGuard().endsWith(QLatin1String("\"\n#endif")));
        QVERIFY(check.warning().contains(overflow));
    }
}

void TestSortedFont::oversizedGlyphsGetABuildGuard()
{
    ConversionRequest r = request(QStringLiteral("Wg"), 1, 2);
    r.font.setPixelSize(320);
    NoProgress progress;
    const ConversionResult result = generateSortedFont(r, progress);
    QCOMPARE(result.warnings.size(), 1);
    QVERIFY(result.warnings.first().contains(QLatin1String("LV_FONT_FMT_TXT_LARGE")));
    QVERIFY(result.text.contains(QLatin1String(
        "*/\n\n\n#include \"lvgl.h\"\n\n#if !defined(LV_FONT_FMT_TXT_LARGE) || LV_FONT_FMT_TXT_LARGE == 0\n#error \"")));
    QVERIFY(result.text.contains(QLatin1String("box_w ")));
    QVERIFY(result.text.contains(QLatin1String("\n#endif\n\n\nstatic const uint8_t glyph_bitmap[] = {")));
    // The rest of the text is as without the guard.
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.glyphs.size(), 2);
    QVERIFY(f.glyphs.at(0).boxW > 255);

    const qmtest::CRun compact = compileWithLookups(result.text, 2, 1, {0x57});
    QVERIFY(!compact.compiled);
    QVERIFY2(compact.compileLog.contains(QLatin1String("LV_FONT_FMT_TXT_LARGE")), qPrintable(compact.compileLog));
    const qmtest::CRun large = compileWithLookups(result.text, 2, 1, {0x57}, {QStringLiteral("-DLV_FONT_FMT_TXT_LARGE=1")});
    QVERIFY2(large.compiled, qPrintable(large.compileLog));

    // An ordinary font carries no guard.
    const ConversionResult small = generateSortedFont(request(QStringLiteral("Wg"), 1, 2), progress);
    QVERIFY(small.warnings.isEmpty());
    QVERIFY(!small.text.contains(QLatin1String("#error")));
}

void TestSortedFont::oversizedBitmapGetsABuildGuard()
{
    QString chars;
    for (ushort c = 0x4E00; c < 0x4E00 + 3000; ++c)
        chars += QChar(c);
    ConversionRequest r = request(chars, 8);
    r.font = QFont(defaultFontFamily());
    r.font.setPixelSize(24);
    NoProgress progress;
    const ConversionResult result = generateSortedFont(r, progress);
    const ParsedFont f = parse(result.text);
    QCOMPARE(f.glyphs.size(), 3000);
    QVERIFY(f.glyphs.last().bitmapIndex > FmtTxtRangeCheck::maxBitmapIndex);
    QCOMPARE(result.warnings.size(), 1);
    // Only the index outgrows its field here.
    QVERIFY(result.text.contains(QLatin1String("(bitmap_index ")));
    QVERIFY(!result.text.contains(QLatin1String(", box_")));
}

void TestSortedFont::compiledLookupsMatchRendering_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<int>("lvVer");
    for (int bpp : {1, 2, 4, 8})
        for (int lvVer : {1, 2})
            QTest::addRow("%d bpp, LVGL %s", bpp, lvVer == 1 ? "6" : "8") << bpp << lvVer;
}

// The generated C, compiled against LVGL's structures, hands out for every character
// the descriptor and the bytes that the font itself renders.
void TestSortedFont::compiledLookupsMatchRendering()
{
    QFETCH(int, bpp);
    QFETCH(int, lvVer);
    const QString icons = QString(QChar(0xF000)) + QChar(0xF015) + QChar(0xF26E);
    QString chars = QStringLiteral(" AAgj|中文字體，") + icons;   // "A" twice: one entry each
    sortChars(chars);
    ConversionRequest r = request(chars, bpp, lvVer);
    r.font = QFont(defaultFontFamily());
    r.font.setPixelSize(16);
    r.iconText = icons;
    NoProgress progress;
    const ConversionResult result = generateSortedFont(r, progress);
    QCOMPARE(result.written, chars.size());

    const QFont textFont = qmtest::fontForBpp(r.font, bpp);
    const QFont iconFont = qmtest::iconFontFor(r.iconFont, r.font, bpp);
    const int lineHeight = QFontMetrics(textFont).height();
    const int baseLine = int(QRawFont::fromFont(textFont, QFontDatabase::Any).descent());

    QList<uint> letters;
    QMap<uint, QStringList> expected;
    for (QChar ch : chars) {
        if (letters.contains(ch.unicode()))
            continue;
        letters << ch.unicode();
        const bool icon = icons.contains(ch);
        const qmtest::ExpectedGlyph e =
            qmtest::expectedRawGlyph(ch, icon ? iconFont : textFont, icon, bpp, lineHeight, baseLine);
        QVERIFY2(e.ok, qPrintable(QString(ch) + QLatin1String(": ") + e.why));
        QStringList fields{QStringLiteral("1"), QStringLiteral("1"), QString::number(e.advW),
                           QString::number(e.boxW), QString::number(e.boxH), QString::number(e.ofsX),
                           QString::number(e.ofsY), QString::number(bpp)};
        for (char byte : e.bytes)
            fields << QStringLiteral("%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
        expected.insert(ch.unicode(), fields);
    }
    const QStringList absent{QStringLiteral("0"), QStringLiteral("0")};
    for (uint missing : {0x1fu, 0x42u, 0x4e01u, 0xf001u, 0xf8ffu, 0x10000u}) {
        letters << missing;
        expected.insert(missing, absent);
    }

    const qmtest::CRun run = compileWithLookups(result.text, lvVer, bpp, letters);
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    QVERIFY2(!run.compileLog.contains(QLatin1String("warning")), qPrintable(run.compileLog));
    QCOMPARE(run.exitCode, 0);
    const auto out = qmtest::parseKeyedLines(run.output);
    for (uint letter : letters) {
        for (QChar tag : {QLatin1Char('B'), QLatin1Char('D')}) {
            const QString key = tag + QStringLiteral("%1").arg(letter, 4, 16, QLatin1Char('0'));
            QVERIFY2(out.value(key) == expected.value(letter),
                     qPrintable(key + QLatin1String(": ") + out.value(key).join(QLatin1Char(' '))
                                + QLatin1String("\n expected ") + expected.value(letter).join(QLatin1Char(' '))));
        }
    }
    QCOMPARE(out.value(QStringLiteral("line_height")), QStringList{QString::number(lineHeight)});
}

QTEST_MAIN(TestSortedFont)
#include "tst_sortedfont.moc"

// The XBF glyph table and its two outputs: byte layouts, exact text, the files a run
// leaves behind, cancel, and the refusals and file failures.

#include "conversion/conversion.h"
#include "output/encoders.h"
#include "request/fontname.h"
#include "render/fonts.h"
#include "output/generators.h"
#include "output/xbftable.h"
#include "render/glyphcapture.h"
#include "filelimit.h"
#include "testfiles.h"
#include "testfonts.h"
#include "xbfsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>


using namespace qm;
using namespace qmtest;

namespace {

QFont textFont(int pointSize = 12)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSize(pointSize);
    return f;
}

// Both outputs of one request; the array's bytes must be the .bin.
struct BothKinds {
    ConversionResult array;
    ConversionResult bin;
    QByteArray bytes;   // the .bin
    XbfTableView table;
};

BothKinds runBoth(ConversionRequest request, const QString &dir)
{
    BothKinds b;
    NoProgress progress;
    b.array = generateXbfArray(request, progress);
    request.outputDir = dir;
    b.bin = generateXbfBin(request, progress);
    b.bytes = readFile(dir + QStringLiteral("/myFont.bin"));
    b.table = readXbfTable(b.bytes);
    return b;
}

#define CHECK_BOTH(b)                                                                     \
    do {                                                                                  \
        QVERIFY2((b).array.ok, qPrintable((b).array.error));                              \
        QVERIFY2((b).bin.ok, qPrintable((b).bin.error));                                  \
        QVERIFY2((b).table.error.isEmpty(), qPrintable((b).table.error));                 \
        QCOMPARE(xbfArrayBytes((b).array.text), (b).bytes);                               \
    } while (0)

QString fourLines(const QString &text, const QString &from)
{
    const int at = text.indexOf(from);
    return at < 0 ? QString() : text.mid(at).section(QLatin1Char('\n'), 0, 3);
}

} // namespace

class TestXbf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void codeGapAndOrder();
    void blankAndRepeatedCharacters();
    void iconsCentredAboveTheLine();
    void codeUnitZero();
    void arrayTextExact();
    void binTextAndFiles();
    void progressAndCancel();
    void bufferSizeComment();
    void refusesWhatTheFieldsCannotHold_data();
    void refusesWhatTheFieldsCannotHold();
    void openFailures();
    void cFileFailureKeepsTheEarlierPair();
    void writeFailuresLeaveNothingBehind();
};

void TestXbf::initTestCase()
{
    installFontSubstitutions();
    QVERIFY2(missingTestFonts().isEmpty(), qPrintable(missingTestFonts()));
    QVERIFY(!fontAwesomeFamily().isEmpty());
}

void TestXbf::codeGapAndOrder()
{
    QTemporaryDir dir;
    // "AC": the code between has an entry of 0.
    BothKinds b = runBoth(xbfRequest(QStringLiteral("AC"), 2, textFont()), dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.table.positions.size(), 3);
    QCOMPARE(b.table.positions.at(0), 8u + 12u);
    QCOMPARE(b.table.positions.at(1), 0u);
    QVERIFY(b.table.positions.at(2) > b.table.positions.at(0));

    // Records follow the set's order, entries the code order: B, written last, lies furthest.
    const ConversionRequest acb = xbfRequest(QStringLiteral("ACB"), 4, textFont());
    b = runBoth(acb, dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.table.min, uint16_t('A'));
    QCOMPARE(b.table.max, uint16_t('C'));
    const QList<uint32_t> &pos = b.table.positions;
    QCOMPARE(b.table.recordOrder, (QList<uint32_t>{pos[0], pos[2], pos[1]}));
    QVERIFY(pos[1] > pos[2] && pos[2] > pos[0]);
    QCOMPARE(b.table.records.value(pos[1]), expectedXbfGlyph(acb, QLatin1Char('B')));
    QCOMPARE(b.table.records.value(pos[2]), expectedXbfGlyph(acb, QLatin1Char('C')));
    QStringList lines = b.array.text.split(QLatin1Char('\n'));
    const int first = lines.indexOf(QStringLiteral("0x14,0x00,0x00,0x00,//0x0041"));
    QVERIFY(first > 0);
    QVERIFY(lines.at(first + 1).endsWith(QLatin1String("//0x0042")));
    QVERIFY(lines.at(first + 2).endsWith(QLatin1String("//0x0043")));
    QCOMPARE(lines.at(first + 3), QString());
    QCOMPARE(lines.at(first + 4), QStringLiteral("/* A */"));
}

void TestXbf::blankAndRepeatedCharacters()
{
    QTemporaryDir dir;
    // A space: no ink, a record of 6 bytes, still found through its entry.
    BothKinds b = runBoth(xbfRequest(QStringLiteral(" A"), 4, textFont()), dir.path());
    CHECK_BOTH(b);
    const uint32_t space = b.table.position(' ');
    QCOMPARE(space, 8u + 4u * ('A' - ' ' + 1));
    QCOMPARE(b.table.position('A'), space + 6);
    const XbfGlyph blank = b.table.records.value(space);
    QCOMPARE(blank.boxH, 0);
    QCOMPARE(blank.ofsY, 0);
    QVERIFY(blank.adv > 0);
    QCOMPARE(fourLines(b.array.text, QStringLiteral("/*   */")),
             QStringLiteral("/*   */\n%1,%2,0,0,0,0,  //dsc : unicode = 0x0020\n\n")
                 .arg(blank.adv)
                 .arg(blank.boxW));
    QVERIFY(b.array.text.contains(QStringLiteral("unicode = 0x0020\n\n\n\n/* A */\n")));

    // A repeated character: a record per occurrence, the entry keeps the last.
    b = runBoth(xbfRequest(QStringLiteral("ABA"), 1, textFont()), dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.table.recordOrder.size(), 3);
    QCOMPARE(b.table.position('A'), b.table.recordOrder.at(2));
    QCOMPARE(b.table.position('B'), b.table.recordOrder.at(1));
    QCOMPARE(b.array.text.count(QStringLiteral("/* A */")), 2);
}

void TestXbf::iconsCentredAboveTheLine()
{
    // A face as the "icon font" beside a face with a short line: its full block fills its
    // own taller line, so centring in the short one gives a negative offset.
    QTemporaryDir dir;
    const QString icons = QStringLiteral("\u2588|");
    const ConversionRequest r = xbfRequest(QStringLiteral("A") + icons, 4, pixelFont(QStringLiteral("DejaVu Math TeX Gyre"), 64),
                                           QFont(QStringLiteral("DejaVu Sans")), icons);
    const BothKinds b = runBoth(r, dir.path());
    CHECK_BOTH(b);
    const int lineHeight = b.bin.fontHeight;
    const XbfGlyph ring = b.table.records.value(b.table.position(0x2588));
    QCOMPARE(ring, expectedXbfGlyph(r, QChar(0x2588)));
    QVERIFY2(ring.boxH >= lineHeight + 2, "the set-up must give an icon taller than the line");
    QCOMPARE(ring.ofsY, (lineHeight - ring.boxH) / 2);
    QVERIFY(ring.ofsY < 0);
    QCOMPARE(uint8_t(b.bytes.at(int(b.table.position(0x2588)) + 4)), uint8_t(ring.ofsY & 0xFF));
    // The array holds the offset's byte: C++ refuses a negative value for a uint8_t.
    QVERIFY(b.array.text.contains(QStringLiteral("%1,%2,%3,0,%4,0,  //dsc : unicode = 0x2588")
                                      .arg(ring.adv)
                                      .arg(ring.boxW)
                                      .arg(ring.boxH)
                                      .arg(ring.ofsY & 0xFF)));
    // Text glyphs keep the rows below their ink.
    QCOMPARE(b.table.records.value(b.table.position('A')), expectedXbfGlyph(r, QLatin1Char('A')));
}

void TestXbf::codeUnitZero()
{
    QTemporaryDir dir;
    // The request is prepared without it: no table entry could ever reach its record.
    QString chars = QStringLiteral("A");
    chars += QChar(0);
    chars += QLatin1Char('B');
    RecordingProgress progress;
    ConversionRequest r = xbfRequest(chars, 1, textFont());
    const PreparedConversion prepared = prepareConversion(r);
    QCOMPARE(prepared.chars(), QStringLiteral("AB"));
    QCOMPARE(prepared.removedNulls, 1);
    const ConversionResult array = generateXbfArray(prepared, progress);
    QVERIFY(array.ok);
    QCOMPARE(progress.indices, (QList<int>{0, 1}));
    QCOMPARE(array.written, 2);
    QVERIFY(!array.text.contains(QChar(0)));
    BothKinds b = runBoth(r, dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.table.min, uint16_t('A'));
    QCOMPARE(b.table.max, uint16_t('B'));
    QCOMPARE(b.table.recordOrder.size(), 2);
    QCOMPARE(b.table.positions, (QList<uint32_t>{b.table.recordOrder[0], b.table.recordOrder[1]}));

    // A set of nothing but code units 0: an empty range that finds no code.
    b = runBoth(xbfRequest(QString(2, QChar(0)), 1, textFont()), dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.bytes, QByteArray::fromHex("ffff000001000000"));
    QVERIFY(b.array.text.contains(QStringLiteral("0xff,0xff,0x00,0x00,0x01,0x00,0x00,0x00,//xbf header\n\n\n};")));
}

void TestXbf::arrayTextExact()
{
    ConversionRequest r = xbfRequest(QStringLiteral("A"), 1, textFont());
    r.includeText = QStringLiteral("#include \"lvgl.h\"\n#include \"board.h\"");
    NoProgress progress;
    const ConversionResult result = generateXbfArray(r, progress);
    QVERIFY(result.ok);

    const GlyphCapturer capturer(r.font, r.iconFont, r.iconText, 1);
    const GlyphCapturer::Glyph glyph = capturer.measure(QLatin1Char('A'));
    int boxH = 0, below = 0;
    const QString bitmap = encodeCroppedGlyphRows(capturer.capture(glyph), 1, 1, &boxH, &below);
    const XbfGlyph a = expectedXbfGlyph(r, QLatin1Char('A'));
    QCOMPARE(bitmap.count(QLatin1Char('\n')) + 1, a.boxH);

    // The header's own two empty lines are followed by the include text.
    const QString expected = buildFileHeader() + QStringLiteral(
        "\n"
        "#include \"lvgl.h\"\n"
        "#include \"board.h\"\n"
        "\n"
        "\n"
        "typedef struct{\n"
        "    uint16_t min;\n"
        "    uint16_t max;\n"
        "    uint8_t  bpp;\n"
        "    uint8_t  reserved[3];\n"
        "}x_header_t;\n"
        "typedef struct{\n"
        "    uint32_t pos;\n"
        "}x_table_t;\n"
        "typedef struct{\n"
        "    uint8_t adv_w;\n"
        "    uint8_t box_w;\n"
        "    uint8_t box_h;\n"
        "    int8_t  ofs_x;\n"
        "    int8_t  ofs_y;\n"
        "    uint8_t r;\n"
        "}glyph_dsc_t;\n"
        "\n"
        "\n"
        "static const uint8_t glyph_dsc_xbf[] = {\n"
        "\n"
        "0x41,0x00,0x41,0x00,0x01,0x00,0x00,0x00,//xbf header\n"
        "\n"
        "0x0c,0x00,0x00,0x00,//0x0041\n"
        "\n"
        "/* A */\n"
        "%1,%2,%3,0,%4,0,  //dsc : unicode = 0x0041\n"
        "%5\n"
        "\n"
        "\n"
        "};\n"
        "\n"
        "\n"
        "static x_header_t __user_font_header(void) {\n"
        "    x_header_t hd = {0};\n"
        "    hd.min = glyph_dsc_xbf[0] | glyph_dsc_xbf[1] << 8;\n"
        "    hd.max = glyph_dsc_xbf[2] | glyph_dsc_xbf[3] << 8;\n"
        "    hd.bpp = glyph_dsc_xbf[4];\n"
        "    return hd;\n"
        "}\n"
        "\n"
        "\n"
        "static uint32_t __user_font_pos(const uint8_t *p) {\n"
        "    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;\n"
        "}\n"
        "\n"
        "\n"
        "static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {\n"
        "    x_header_t hd = __user_font_header(), *p_hd = &hd;\n"
        "    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {\n"
        "        return NULL;\n"
        "    }\n"
        "    uint32_t unicode_offset = unicode_letter-p_hd->min;\n"
        "    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);\n"
        "    if( pos != 0 ) {\n"
        "        return &glyph_dsc_xbf[ pos+sizeof(glyph_dsc_t) ];\n"
        "    }\n"
        "    return NULL;\n"
        "}\n"
        "\n"
        "\n"
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {\n"
        "    x_header_t hd = __user_font_header(), *p_hd = &hd;\n"
        "    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {\n"
        "        return false;\n"
        "    }\n"
        "    uint32_t unicode_offset = unicode_letter-p_hd->min;\n"
        "    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);\n"
        "    if( pos != 0 ) {\n"
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)&glyph_dsc_xbf[ pos ];\n"
        "        dsc_out->adv_w = gdsc->adv_w;\n"
        "        dsc_out->box_h = gdsc->box_h;\n"
        "        dsc_out->box_w = gdsc->box_w;\n"
        "        dsc_out->ofs_x = gdsc->ofs_x;\n"
        "        dsc_out->ofs_y = gdsc->ofs_y;\n"
        "        dsc_out->bpp   = p_hd->bpp;\n"
        "#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)\n"
        "        dsc_out->is_placeholder = 0;\n"
        "#endif\n"
        "        return true;\n"
        "    }\n"
        "    return false;\n"
        "}\n"
        "\n"
        "\n"
        "//DejaVu Sans,,12\n"
        "//字模高度：%6\n"
        "//XBF字体,内部大数组\n"
        "extern const lv_font_t myFont;\n"
        "const lv_font_t myFont = {\n"
        "    .get_glyph_dsc = __user_font_get_glyph_dsc,\n"
        "    .get_glyph_bitmap = __user_font_get_bitmap,\n"
        "    .line_height = %6,\n"
        "    .base_line = 0,\n"
        "};\n"
        "\n")
        .arg(a.adv).arg(a.boxW).arg(a.boxH).arg(a.ofsY).arg(bitmap).arg(capturer.lineHeight());
    QCOMPARE(result.text, expected);
    QCOMPARE(buildXbfTypedefs().count(QLatin1Char('\n')), 16);

    // The LVGL generation does not change the text.
    r.lvVer = 2;
    QCOMPARE(generateXbfArray(r, progress).text, expected);
}

void TestXbf::binTextAndFiles()
{
    QTemporaryDir dir;
    ConversionRequest r = xbfRequest(QStringLiteral("A"), 1, textFont());
    r.outputDir = dir.path();
    // An earlier run's files are replaced without a question.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("myFont.c")),
                      "stale stale stale stale stale stale stale stale stale stale stale stale stale"));
    NoProgress progress;
    const ConversionResult result = generateXbfBin(r, progress);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("myFont.bin"), QStringLiteral("myFont.c")}));
    QCOMPARE(result.filesWritten,
             (QStringList{dir.filePath(QStringLiteral("myFont.bin")), dir.filePath(QStringLiteral("myFont.c"))}));
    QVERIFY(result.warnings.isEmpty());
    QCOMPARE(QString::fromUtf8(readFile(dir.filePath(QStringLiteral("myFont.c")))), result.text);

    const XbfGlyph a = expectedXbfGlyph(r, QLatin1Char('A'));
    const int lineHeight = result.fontHeight;
    const QString expectedTail = QStringLiteral(
        "\n"
        "\n"
        "\n"
        "static x_header_t __g_xbf_hd = {\n"
        "    .min = 0x0041,\n"
        "    .max = 0x0041,\n"
        "    .bpp = 1,\n"
        "};\n"
        "\n"
        "\n"
        "//static uint8_t __g_font_buf[%1];//如bin文件存在SPI FLASH可使用此buff\n"
        "\n"
        "\n"
        "static uint8_t *__user_font_getdata(int offset, int size){\n"
        "    //如字模保存在SPI FLASH, SPIFLASH_Read(__g_font_buf,offset,size);\n"
        "    //如字模已加载到SDRAM,直接返回偏移地址即可如:return (uint8_t*)(sdram_fontddr+offset);\n"
        "    return __g_font_buf;\n"
        "}\n"
        "\n"
        "\n"
        "static uint32_t __user_font_pos(const uint8_t *p) {\n"
        "    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;\n"
        "}\n"
        "\n"
        "\n"
        "static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {\n"
        "    if( unicode_letter>__g_xbf_hd.max || unicode_letter<__g_xbf_hd.min ) {\n"
        "        return NULL;\n"
        "    }\n"
        "    uint32_t unicode_offset = sizeof(x_header_t)+(unicode_letter-__g_xbf_hd.min)*4;\n"
        "    uint32_t pos = __user_font_pos(__user_font_getdata(unicode_offset, 4));\n"
        "    if( pos != 0 ) {\n"
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)__user_font_getdata(pos, sizeof(glyph_dsc_t));\n"
        "        return __user_font_getdata(pos+sizeof(glyph_dsc_t), gdsc->box_w*gdsc->box_h*__g_xbf_hd.bpp/8);\n"
        "    }\n"
        "    return NULL;\n"
        "}\n"
        "\n"
        "\n"
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {\n"
        "    if( unicode_letter>__g_xbf_hd.max || unicode_letter<__g_xbf_hd.min ) {\n"
        "        return false;\n"
        "    }\n"
        "    uint32_t unicode_offset = sizeof(x_header_t)+(unicode_letter-__g_xbf_hd.min)*4;\n"
        "    uint32_t pos = __user_font_pos(__user_font_getdata(unicode_offset, 4));\n"
        "    if( pos != 0 ) {\n"
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)__user_font_getdata(pos, sizeof(glyph_dsc_t));\n"
        "        dsc_out->adv_w = gdsc->adv_w;\n"
        "        dsc_out->box_h = gdsc->box_h;\n"
        "        dsc_out->box_w = gdsc->box_w;\n"
        "        dsc_out->ofs_x = gdsc->ofs_x;\n"
        "        dsc_out->ofs_y = gdsc->ofs_y;\n"
        "        dsc_out->bpp   = __g_xbf_hd.bpp;\n"
        "#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)\n"
        "        dsc_out->is_placeholder = 0;\n"
        "#endif\n"
        "        return true;\n"
        "    }\n"
        "    return false;\n"
        "}\n"
        "\n"
        "\n"
        "//DejaVu Sans,,12\n"
        "//字模高度：%2\n"
        "//XBF字体,外部bin文件\n"
        "extern const lv_font_t myFont;\n"
        "const lv_font_t myFont = {\n"
        "    .get_glyph_dsc = __user_font_get_glyph_dsc,\n"
        "    .get_glyph_bitmap = __user_font_get_bitmap,\n"
        "    .line_height = %2,\n"
        "    .base_line = 0,\n"
        "};\n"
        "\n")
        .arg(a.bitmap.size() / a.boxH * lineHeight)
        .arg(lineHeight);
    const QString head = buildFileHeader() + QStringLiteral("\n#include \"lvgl.h\"\n\n\n") + buildXbfTypedefs();
    QCOMPARE(result.text, head + expectedTail);

    const QByteArray bin = readFile(dir.filePath(QStringLiteral("myFont.bin")));
    QCOMPARE(bin, QByteArray::fromHex("41004100010000000c000000") + char(a.adv) + char(a.boxW) + char(a.boxH)
                      + char(0) + char(a.ofsY) + char(0) + a.bitmap);
}

void TestXbf::progressAndCancel()
{
    const QString chars = QStringLiteral("BDAC");
    ConversionRequest r = xbfRequest(chars, 4, textFont());

    // A full run reports every character once, with its box, between begin and end.
    RecordingProgress full;
    const ConversionResult complete = generateXbfArray(r, full);
    QCOMPARE(full.begins, 1);
    QCOMPARE(full.ends, 1);
    QCOMPARE(full.total, 4);
    QCOMPARE(full.chars, chars);
    const GlyphCapturer capturer(r.font, r.iconFont, r.iconText, 4);
    const GlyphCapturer::Glyph d = capturer.measure(QLatin1Char('D'));
    QCOMPARE(full.sizes.at(1), qMakePair(d.width, d.height));
    QVERIFY(!complete.cancelled);

    // Cancel after the first character: the whole range, one record, the rest as usual.
    QTemporaryDir dir;
    r.outputDir = dir.path();
    RecordingProgress arrayCancel(1), binCancel(1);
    const ConversionResult array = generateXbfArray(r, arrayCancel);
    const ConversionResult bin = generateXbfBin(r, binCancel);
    for (const RecordingProgress *p : {&arrayCancel, &binCancel}) {
        QCOMPARE(p->indices, (QList<int>{0, 1}));
        QCOMPARE(p->begins, 1);
        QCOMPARE(p->ends, 1);
    }
    for (const ConversionResult *res : {&array, &bin}) {
        QVERIFY(res->ok);
        QVERIFY(res->cancelled);
        QCOMPARE(res->written, 1);
        QVERIFY(res->text.endsWith(QStringLiteral("    .base_line = 0,\n};\n\n")));
    }
    QCOMPARE(array.text.count(QStringLiteral("//dsc : unicode")), 1);
    QVERIFY(array.text.contains(QStringLiteral("0x18,0x00,0x00,0x00,//0x0042\n"
                                               "0x00,0x00,0x00,0x00,//0x0043\n"
                                               "0x00,0x00,0x00,0x00,//0x0044\n\n/* B */\n")));
    QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("myFont.bin"), QStringLiteral("myFont.c")}));
    const QByteArray bytes = readFile(dir.filePath(QStringLiteral("myFont.bin")));
    QCOMPARE(xbfArrayBytes(array.text), bytes);
    const XbfTableView table = readXbfTable(bytes);
    QCOMPARE(table.min, uint16_t('A'));
    QCOMPARE(table.max, uint16_t('D'));
    QCOMPARE(table.positions, (QList<uint32_t>{0, 24, 0, 0}));
    QCOMPARE(table.recordOrder.size(), 1);

    // Cancelled before anything: an empty table, and still a buffer the readers can use.
    RecordingProgress none(0);
    const ConversionResult empty = generateXbfBin(r, none);
    QVERIFY(empty.ok);
    QCOMPARE(empty.written, 0);
    QVERIFY(empty.text.contains(QStringLiteral("//static uint8_t __g_font_buf[6];")));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("myFont.bin"))).size(), 8 + 16);
}

void TestXbf::bufferSizeComment()
{
    auto printedSize = [](const QString &text) {
        const QString key = QStringLiteral("//static uint8_t __g_font_buf[");
        const int at = text.indexOf(key) + key.size();
        return text.mid(at, text.indexOf(QLatin1Char(']'), at) - at).toInt();
    };
    auto widest = [](const XbfTableView &t, int *rowBytes, int *bitmap) {
        *rowBytes = *bitmap = 0;
        for (const XbfGlyph &g : t.records) {
            *rowBytes = qMax(*rowBytes, g.boxW * t.bpp / 8);
            *bitmap = qMax(*bitmap, g.bitmap.size());
        }
    };
    QTemporaryDir dir;
    int rowBytes = 0, bitmap = 0;

    // Ordinary text: the widest row times the line height.
    BothKinds b = runBoth(xbfRequest(QStringLiteral("il W"), 2, textFont()), dir.path());
    CHECK_BOTH(b);
    widest(b.table, &rowBytes, &bitmap);
    QCOMPARE(printedSize(b.bin.text), rowBytes * b.bin.fontHeight);

    // An icon taller than the line needs more than that for its bitmap.
    const QString icons = QStringLiteral("\u2588");
    b = runBoth(xbfRequest(QStringLiteral("il") + icons, 4, pixelFont(QStringLiteral("DejaVu Math TeX Gyre"), 64),
                           QFont(QStringLiteral("DejaVu Sans")), icons),
                dir.path());
    CHECK_BOTH(b);
    widest(b.table, &rowBytes, &bitmap);
    QVERIFY(bitmap > rowBytes * b.bin.fontHeight);
    QCOMPARE(printedSize(b.bin.text), bitmap);

    // Nothing but zero-width glyphs: the descriptor read still needs six bytes.
    b = runBoth(xbfRequest(QStringLiteral("\u200B"), 1, textFont()), dir.path());
    CHECK_BOTH(b);
    QCOMPARE(b.table.records.first().adv, 0);
    QCOMPARE(printedSize(b.bin.text), 6);
}

void TestXbf::refusesWhatTheFieldsCannotHold_data()
{
    QTest::addColumn<QString>("chars");
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QString>("icons");
    QTest::addColumn<QString>("mentions");
    const QFont huge = pixelFont(QStringLiteral("DejaVu Sans"), 300);
    const QFont big = pixelFont(QStringLiteral("DejaVu Sans"), 200);
    QTest::newRow("line height") << QStringLiteral("AB") << huge << QString() << QStringLiteral("255");
    // The line fits; one icon is wider than 255 pixels.
    QTest::newRow("wide glyph") << QStringLiteral("A\uF240B") << big << QStringLiteral("\uF240")
                                << QStringLiteral("0xf240");
    // The line fits; an apostrophe has more blank rows below than int8 can hold.
    QTest::newRow("offset") << QStringLiteral("A'") << big << QString() << QStringLiteral("-128~127");
}

void TestXbf::refusesWhatTheFieldsCannotHold()
{
    QFETCH(QString, chars);
    QFETCH(QFont, font);
    QFETCH(QString, icons);
    QFETCH(QString, mentions);
    QTemporaryDir dir;
    ConversionRequest r = xbfRequest(chars, 1, font, QFont(fontAwesomeFamily()), icons);
    // The line is refused with the other limits, a glyph by the generator: the run does both.
    NoProgress progress;
    const ConversionResult array = runConversion(GeneratorKind::XbfArray, r, progress);
    QVERIFY(!array.ok);
    QVERIFY(array.text.isEmpty());
    QVERIFY2(array.error.contains(mentions), qPrintable(array.error));
    r.outputDir = dir.path();
    const ConversionResult bin = runConversion(GeneratorKind::XbfBin, r, progress);
    QVERIFY(!bin.ok);
    QCOMPARE(bin.error, array.error);
    QVERIFY(bin.filesWritten.isEmpty());
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestXbf::openFailures()
{
    QTemporaryDir dir;
    ConversionRequest r = xbfRequest(QStringLiteral("AB"), 4, textFont());
    NoProgress progress;

    // No folder to put the .bin in.
    r.outputDir = dir.filePath(QStringLiteral("missing"));
    ConversionResult result = generateXbfBin(r, progress);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("打开文件失败\n%1/myFont.bin: No such file or directory").arg(r.outputDir));
    QVERIFY(result.text.isEmpty());
    QCOMPARE(filesIn(dir.path()), QStringList());

    // A folder where the .bin should go.
    r.outputDir = dir.path();
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("myFont.bin")));
    result = generateXbfBin(r, progress);
    QCOMPARE(result.error, QStringLiteral("打开文件失败\n%1/myFont.bin: Is a directory").arg(dir.path()));
    QVERIFY(result.text.isEmpty());
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("myFont.bin")});

    // A name that would lead out of the folder is no font name.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("inner")));
    r.outputDir = dir.filePath(QStringLiteral("inner"));
    r.fontName = QStringLiteral("../escaped");
    result = generateXbfBin(r, progress);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, fontNameProblem(r.fontName));
    QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("inner"), QStringLiteral("myFont.bin")}));
}

// A .bin is useless without its reader: when the .c cannot be written the run fails
// and the pair of an earlier run stays as it was.
void TestXbf::cFileFailureKeepsTheEarlierPair()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("myFont.bin")), "previous run"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("myFont.c")));
    ConversionRequest r = xbfRequest(QStringLiteral("AB"), 4, textFont());
    r.outputDir = dir.path();
    NoProgress progress;
    const ConversionResult result = generateXbfBin(r, progress);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("打开文件失败\n%1/myFont.c: Is a directory").arg(dir.path()));
    QVERIFY(result.filesWritten.isEmpty());
    QVERIFY(result.warnings.isEmpty());
    QCOMPARE(readFile(dir.filePath(QStringLiteral("myFont.bin"))), QByteArray("previous run"));
    QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("myFont.bin"), QStringLiteral("myFont.c")}));
}

void TestXbf::writeFailuresLeaveNothingBehind()
{
    auto runLimited = [](const ConversionRequest &r, rlim_t limit) {
        return withFileSizeLimit(limit, [&] {
            NoProgress progress;
            return generateXbfBin(r, progress);
        });
    };

    QTemporaryDir dir;
    // The records overflow the limit while they are written.
    QString ascii;
    for (ushort c = 0x21; c < 0x7F; ++c)
        ascii += QChar(c);
    ConversionRequest r = xbfRequest(ascii, 8, textFont());
    r.outputDir = dir.path();
    ConversionResult result = runLimited(r, 4096);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, QStringLiteral("写入文件失败\n%1/myFont.bin: File too large").arg(dir.path()));
    QCOMPARE(filesIn(dir.path()), QStringList());

    // The pair of an earlier run survives a limit met early (the wide range's position
    // table) and one met by the last bytes of the .bin.
    QTemporaryDir unlimited;
    r.chars = QStringLiteral("A\u4E00");
    r.outputDir = unlimited.path();
    QVERIFY(runLimited(r, RLIM_INFINITY).ok);
    const qint64 binSize = QFileInfo(unlimited.filePath(QStringLiteral("myFont.bin"))).size();
    r.outputDir = dir.path();
    for (const QString &name : {QStringLiteral("myFont.bin"), QStringLiteral("myFont.c")}) {
        QVERIFY(writeFile(dir.filePath(name), "previous run"));
    }
    for (const rlim_t limit : {rlim_t(4096), rlim_t(binSize - 1)}) {
        result = runLimited(r, limit);
        QVERIFY(!result.ok);
        QVERIFY2(result.error.startsWith(QStringLiteral("写入文件失败\n%1/myFont.bin: ").arg(dir.path())),
                 qPrintable(result.error));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("myFont.bin"), QStringLiteral("myFont.c")}));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("myFont.bin"))), QByteArray("previous run"));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("myFont.c"))), QByteArray("previous run"));
    }
}

QTEST_MAIN(TestXbf)
#include "tst_xbf.moc"

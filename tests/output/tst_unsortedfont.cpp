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

class TestUnsortedFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exactTextOfSmallSet();
    void orderKeptAndRangeFromExtremes();
    void blankGlyphsAndLineBreaks();
    void cancelAfterSomeCharacters_data();
    void cancelAfterSomeCharacters();
    void sameTextForLvgl6And8();
    void compiledLookupsReturnEveryGlyph_data();
    void compiledLookupsReturnEveryGlyph();
    void emptyFontRejectsEveryLetter();
    void oversizedGlyphsStopTheBuild();
    void largeBitmapNeedsLargeLayout();
};

namespace {

QString hex4(uint v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

// Each query is answered by the two emitted lookups, alternately descriptor first and
// bitmap first, so both meet the cache filled by the other ("q<i>" lines). Each query
// is also asked first thing in a fresh child process ("f<i>" lines), where only the
// cache's initial values stand between the letter and the search.
QByteArray lookupProgram(const QString &fontName, const QList<uint> &queries)
{
    QByteArray list;
    for (uint q : queries)
        list += QByteArray::number(q) + "u, ";
    const QByteArray name = fontName.toUtf8();
    return "#define _POSIX_C_SOURCE 200809L\n"
           "#include <stdio.h>\n#include <string.h>\n#include <sys/wait.h>\n#include <unistd.h>\n"
           "#include \"lvgl.h\"\n"
           "extern const lv_font_t " + name + ";\n"
           "static const uint32_t queries[] = { " + list + "};\n"
           "static void ask(const char *tag, unsigned i, int bitmapFirst) {\n"
           "    const lv_font_t *f = &" + name + ";\n"
           "    lv_font_glyph_dsc_t d;\n"
           "    memset(&d, 0, sizeof d);\n"
           "    const uint8_t *bm;\n"
           "    bool ok;\n"
           "    if (bitmapFirst) { bm = f->get_glyph_bitmap(f, queries[i]); ok = f->get_glyph_dsc(f, &d, queries[i], 0); }\n"
           "    else { ok = f->get_glyph_dsc(f, &d, queries[i], 0); bm = f->get_glyph_bitmap(f, queries[i]); }\n"
           "    printf(\"%s%u %d %u %u %u %d %d %u %d x\", tag, i, ok, d.adv_w, d.box_w, d.box_h, d.ofs_x, d.ofs_y, d.bpp, bm != NULL);\n"
           "    if (ok && bm) {\n"
           "        unsigned n = d.box_w * TEST_BPP / 8u * d.box_h;\n"
           "        for (unsigned k = 0; k < n; ++k) printf(\"%02x\", bm[k]);\n"
           "    }\n"
           "    printf(\"\\n\");\n"
           "    fflush(stdout);\n"
           "}\n"
           "int main(void) {\n"
           "    const unsigned n = sizeof queries / sizeof queries[0];\n"
           "    for (unsigned i = 0; i < n; ++i) {\n"
           "        for (int order = 0; order < 2; ++order) {\n"
           "            pid_t pid = fork();\n"
           "            if (pid == 0) { ask(order ? \"g\" : \"f\", i, order); _exit(0); }\n"
           "            waitpid(pid, NULL, 0);\n"
           "        }\n"
           "    }\n"
           "    for (unsigned i = 0; i < n; ++i)\n"
           "        ask(\"q\", i, i % 2);\n"
           "    return 0;\n"
           "}\n";
}

QStringList descriptorLines(const QString &text)
{
    return qmtest::sectionLines(text, QStringLiteral("static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {"));
}

QStringList codeLines(const QString &text)
{
    return qmtest::sectionLines(text, QStringLiteral("static const uint16_t unicode_list_1[] = {"));
}

QString fieldLine(const QString &text, const QString &prefix)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            return line;
    }
    return QString();
}

} // namespace

void TestUnsortedFont::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    qm::installFontSubstitutions();
    QVERIFY2(!qmtest::iconFontFamily().isEmpty(), "FontAwesome is not installed");
}

// The whole file for a small set: the fixed lines as they must read, the glyph values
// recomputed from the captured pictures.
void TestUnsortedFont::exactTextOfSmallSet()
{
    const QChar icon(0xf015);
    const QString chars = QStringLiteral("Ab ") + icon;
    qm::ConversionRequest request = qmtest::makeRequest(chars, 1, qmtest::latinFont(), QString(icon));
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateUnsortedFont(request, progress);
    QVERIFY(result.ok);
    QVERIFY(!result.cancelled);
    QCOMPARE(result.written, 4);
    QVERIFY(result.warnings.isEmpty());

    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, 1);
    QCOMPARE(result.fontHeight, capturer.lineHeight());

    QStringList bitmap{QStringLiteral("static const uint8_t glyph_bitmap[] = {")};
    QStringList dsc{QStringLiteral("static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {")};
    QStringList codes{QStringLiteral("static const uint16_t unicode_list_1[] = {")};
    int index = 0;
    for (const QChar ch : chars) {
        const GlyphCapturer::Glyph glyph = capturer.measure(ch);
        qm::CropInfo crop;
        const QString rows =
            qm::encodeCroppedGlyphRows(capturer.capture(glyph), 1, 1, &crop.boxH, &crop.rowsBelow);
        const GlyphCapturer::Box box = GlyphCapturer::croppedBox(glyph, crop, 1, capturer.lineHeight());
        bitmap << QStringLiteral("/* %1 */").arg(ch) << rows << QString() << QString();
        dsc << QStringLiteral("    {.bitmap_index = %1,\t.adv_w = %2, .box_w = %3, .box_h = %4, .ofs_x = 0, "
                              ".ofs_y = %5},/*(%6)*/")
                   .arg(index).arg(box.advW).arg(box.boxW).arg(box.boxH).arg(box.ofsY).arg(ch);
        codes << QStringLiteral("    0x%1,\t/*(%2)*/").arg(hex4(ch.unicode())).arg(ch);
        index += box.bitmapSize();
    }
    bitmap << QStringLiteral("};");
    dsc << QStringLiteral("};");
    codes << QStringLiteral("    0x0000,    /*End indicator*/") << QStringLiteral("};");

    const int h = capturer.lineHeight();
    QStringList e;
    e << qm::buildFileHeader().split(QLatin1Char('\n'));
    e << QStringLiteral("#include \"lvgl.h\"") << QString() << QString();
    e << bitmap << QString() << QString() << dsc << QString() << QString() << codes << QString() << QString();
    e << QStringLiteral("static const lv_font_fmt_txt_cmap_t cmaps[] = {")
      << QStringLiteral("    {")
      << QStringLiteral("        .range_start = 0x0020,")
      << QStringLiteral("        .range_length = 0xf015,")
      << QStringLiteral("        .glyph_id_start = 0,")
      << QStringLiteral("        .unicode_list = unicode_list_1,")
      << QStringLiteral("        .glyph_id_ofs_list = NULL,")
      << QStringLiteral("        .list_length = 4,")
      << QStringLiteral("        .type = LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,")
      << QStringLiteral("    }")
      << QStringLiteral("};") << QString() << QString()
      << QStringLiteral("static lv_font_fmt_txt_dsc_t font_dsc = {")
      << QStringLiteral("    .glyph_bitmap = glyph_bitmap,")
      << QStringLiteral("    .glyph_dsc = glyph_dsc,")
      << QStringLiteral("    .cmaps = cmaps,")
      << QStringLiteral("    .kern_dsc = NULL,")
      << QStringLiteral("    .kern_scale = 0,")
      << QStringLiteral("    .cmap_num = 1,")
      << QStringLiteral("    .bpp = 1,")
      << QStringLiteral("    .kern_classes = 0,") << QString()
      << QStringLiteral("    .last_letter = 0x0041,")
      << QStringLiteral("    .last_glyph_id = 0,")
      << QStringLiteral("};") << QString() << QString();
    e << QStringLiteral("static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {")
      << QStringLiteral("    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;") << QString()
      << QStringLiteral("    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return NULL;")
      << QString() << QStringLiteral("    uint32_t i;")
      << QStringLiteral("    if( unicode_letter==fdsc->last_letter ){")
      << QStringLiteral("        i = fdsc->last_glyph_id;")
      << QStringLiteral("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];")
      << QStringLiteral("        return &fdsc->glyph_bitmap[gdsc->bitmap_index];")
      << QStringLiteral("    }")
      << QStringLiteral("    for(i = 0; fdsc->cmaps[0].unicode_list[i] != 0; i++) {")
      << QStringLiteral("        if(fdsc->cmaps[0].unicode_list[i] == unicode_letter) {")
      << QStringLiteral("            fdsc->last_glyph_id = i;")
      << QStringLiteral("            fdsc->last_letter = unicode_letter;")
      << QStringLiteral("            const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];")
      << QStringLiteral("            return &fdsc->glyph_bitmap[gdsc->bitmap_index];")
      << QStringLiteral("        }")
      << QStringLiteral("    }")
      << QStringLiteral("    return NULL;")
      << QStringLiteral("}") << QString() << QString();
    e << QStringLiteral("static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {")
      << QStringLiteral("    (void)unicode_letter_next;")
      << QStringLiteral("    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;") << QString()
      << QStringLiteral("    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return false;")
      << QString() << QStringLiteral("    uint32_t i;")
      << QStringLiteral("    if( unicode_letter==fdsc->last_letter ){")
      << QStringLiteral("        i = fdsc->last_glyph_id;")
      << QStringLiteral("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];");
    const QStringList copies{QStringLiteral("dsc_out->adv_w = gdsc->adv_w;"), QStringLiteral("dsc_out->box_h = gdsc->box_h;"),
                             QStringLiteral("dsc_out->box_w = gdsc->box_w;"), QStringLiteral("dsc_out->ofs_x = gdsc->ofs_x;"),
                             QStringLiteral("dsc_out->ofs_y = gdsc->ofs_y;"), QStringLiteral("dsc_out->bpp   = fdsc->bpp;"),
                             QStringLiteral("return true;")};
    for (const QString &c : copies)
        e << QStringLiteral("        ") + c;
    e << QStringLiteral("    }")
      << QStringLiteral("    for(i = 0; fdsc->cmaps[0].unicode_list[i] != 0; i++) {")
      << QStringLiteral("        if(fdsc->cmaps[0].unicode_list[i] == unicode_letter) {")
      << QStringLiteral("            const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];")
      << QStringLiteral("            fdsc->last_glyph_id = i;")
      << QStringLiteral("            fdsc->last_letter = unicode_letter;");
    for (const QString &c : copies)
        e << QStringLiteral("            ") + c;
    e << QStringLiteral("        }") << QStringLiteral("    }") << QStringLiteral("    return false;")
      << QStringLiteral("}") << QString() << QString();
    e << qm::fontCommentLine(request.font)
      << QStringLiteral("//字模高度：%1").arg(h)
      << QStringLiteral("//内部字体")
      << QStringLiteral("//未用排序和顺序查表")
      << QStringLiteral("extern const lv_font_t test_font;")
      << QStringLiteral("const lv_font_t test_font = {")
      << QStringLiteral("    .get_glyph_dsc = __user_font_get_glyph_dsc,")
      << QStringLiteral("    .get_glyph_bitmap = __user_font_get_bitmap,")
      << QStringLiteral("    .line_height = %1,").arg(h)
      << QStringLiteral("    .base_line = 0,")
      << QStringLiteral("    .dsc = &font_dsc,")
      << QStringLiteral("};") << QString() << QString();

    const QString expected = e.join(QLatin1Char('\n'));
    QVERIFY2(result.text == expected, qPrintable(qmtest::firstDifference(result.text, expected)));

    // The bitmap is real bytes: 'A' at 1 bpp is whole bytes of ink and padding.
    const QStringList rowsOfA = qmtest::sectionLines(result.text, QStringLiteral("/* A */"));
    QVERIFY(!rowsOfA.isEmpty());
    const QRegularExpression oneBitRow(QStringLiteral("^(0x[0-9a-f]{2},)+  //[.@]+$"));
    QVERIFY2(oneBitRow.match(rowsOfA.first()).hasMatch(), qPrintable(rowsOfA.first()));
}

void TestUnsortedFont::orderKeptAndRangeFromExtremes()
{
    qm::NoProgress progress;
    const qm::ConversionResult result =
        qm::generateUnsortedFont(qmtest::makeRequest(QStringLiteral("b中a"), 4, qmtest::cjkFont()), progress);
    const QStringList codes = codeLines(result.text);
    QCOMPARE(codes.size(), 4);
    QVERIFY(codes.at(0).startsWith(QLatin1String("    0x0062,")));
    QVERIFY(codes.at(1).startsWith(QLatin1String("    0x4e2d,")));
    QVERIFY(codes.at(2).startsWith(QLatin1String("    0x0061,")));
    QVERIFY(descriptorLines(result.text).at(0).endsWith(QLatin1String("/*(b)*/")));
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_start")), QStringLiteral("        .range_start = 0x0061,"));
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_length")), QStringLiteral("        .range_length = 0x4e2d,"));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .last_letter")), QStringLiteral("    .last_letter = 0x0062,"));
}

void TestUnsortedFont::blankGlyphsAndLineBreaks()
{
    const QString chars = QStringLiteral("a \nb");
    qm::NoProgress progress;
    const qm::ConversionResult result =
        qm::generateUnsortedFont(qmtest::makeRequest(chars, 4, qmtest::cjkFont()), progress);
    const QStringList lines = result.text.split(QLatin1Char('\n'));

    // The space: comment, one empty line for the missing rows, two empty lines.
    const int space = lines.indexOf(QStringLiteral("/*   */"));
    QVERIFY(space > 0);
    QCOMPARE(lines.mid(space + 1, 3), QStringList({QString(), QString(), QString()}));
    // The line break is written as it is, so its comments run over two lines.
    const int lineBreak = lines.indexOf(QStringLiteral("/* "));
    QVERIFY(lineBreak > space);
    QCOMPARE(lines.at(lineBreak + 1), QStringLiteral(" */"));
    QVERIFY(lines.contains(QStringLiteral("    0x000a,\t/*(")));

    const QRegularExpression dscLine(
        QStringLiteral("^    \\{\\.bitmap_index = (\\d+),\\t\\.adv_w = (\\d+), \\.box_w = (\\d+), \\.box_h = (\\d+), "
                       "\\.ofs_x = 0, \\.ofs_y = (-?\\d+)\\},/\\*\\((.*)$"));
    QList<QList<int>> values;   // bitmap_index, adv_w, box_h, box_w, ofs_y
    for (const QString &line : descriptorLines(result.text)) {
        const QRegularExpressionMatch m = dscLine.match(line);
        if (m.hasMatch())
            values << QList<int>{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(4).toInt(),
                                 m.captured(3).toInt(), m.captured(5).toInt()};
    }
    QCOMPARE(values.size(), 4);
    const QList<int> a = values[0], blank = values[1], lf = values[2], b = values[3];
    QVERIFY(blank[1] > 0);                      // the space still advances
    QCOMPARE(blank[2], 0);                      // no rows
    QCOMPARE(blank[4], 0);                      // ofs_y 0
    QCOMPARE(blank[0], a[0] + qm::rowBytesFor(a[1], 4) * a[2]);
    QCOMPARE(lf[0], blank[0]);                  // the blanks take no bytes
    QCOMPARE(lf[1], 0);
    QCOMPARE(b[0], blank[0]);
    QCOMPARE(b[3], qm::rowBytesFor(b[1], 4) * 2);  // box_w is the padded row
}

void TestUnsortedFont::cancelAfterSomeCharacters_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("at the first") << 0;
    QTest::newRow("after one") << 1;
    QTest::newRow("after three") << 3;
}

void TestUnsortedFont::cancelAfterSomeCharacters()
{
    QFETCH(int, cancelAt);
    const QString chars = QStringLiteral("b中aZ文");
    qmtest::RecordingProgress progress(cancelAt);
    const qm::ConversionResult result =
        qm::generateUnsortedFont(qmtest::makeRequest(chars, 2, qmtest::cjkFont()), progress);

    QVERIFY(result.cancelled);
    QCOMPARE(result.written, cancelAt);
    QCOMPARE(progress.total, chars.size());
    QCOMPARE(progress.begins, 1);
    QCOMPARE(progress.ends, 1);
    QCOMPARE(progress.chars, chars.left(cancelAt + 1));

    QCOMPARE(descriptorLines(result.text).size(), cancelAt);
    QStringList codes = codeLines(result.text);
    QCOMPARE(codes.takeLast(), QStringLiteral("    0x0000,    /*End indicator*/"));
    QCOMPARE(codes.size(), cancelAt);
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .list_length")),
             QStringLiteral("        .list_length = %1,").arg(cancelAt));
    // The tail is complete whatever was written.
    QVERIFY(result.text.endsWith(QLatin1String("    .dsc = &font_dsc,\n};\n\n")));

    const QString written = chars.left(cancelAt);
    uint lo = 0x10000, hi = 0;
    for (const QChar c : written) {
        lo = qMin(lo, uint(c.unicode()));
        hi = qMax(hi, uint(c.unicode()));
    }
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_start")),
             QStringLiteral("        .range_start = 0x%1,").arg(hex4(lo)));
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_length")),
             QStringLiteral("        .range_length = 0x%1,").arg(hex4(hi)));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .last_letter")),
             QStringLiteral("    .last_letter = 0x%1,").arg(cancelAt ? hex4(chars.at(0).unicode()) : QStringLiteral("0000")));
    QCOMPARE(fieldLine(result.text, QStringLiteral("    .last_glyph_id")), QStringLiteral("    .last_glyph_id = 0,"));
}

// LVGL 8 keeps the lookup cache in a glyph cache of its own: the 8.0 text differs from
// the 6.0 text only where the cache is declared and used.
void TestUnsortedFont::sameTextForLvgl6And8()
{
    qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("ab中"), 4, qmtest::cjkFont());
    qm::NoProgress progress;
    request.lvVer = 1;
    const QString six = qm::generateUnsortedFont(request, progress).text;
    request.lvVer = 2;
    QString eight = qm::generateUnsortedFont(request, progress).text;
    const QString cacheBlock = QStringLiteral("static lv_font_fmt_txt_glyph_cache_t glyph_cache = {\n"
                                              "    .last_letter = 0x0061,\n    .last_glyph_id = 0,\n};\n\n\n");
    QVERIFY(eight.contains(cacheBlock));
    eight.remove(cacheBlock);
    eight.replace(QStringLiteral("    .cache = &glyph_cache,"),
                  QStringLiteral("    .last_letter = 0x0061,\n    .last_glyph_id = 0,"));
    QCOMPARE(eight.count(QStringLiteral("fdsc->cache->last_")), 8);
    eight.replace(QStringLiteral("fdsc->cache->last_"), QStringLiteral("fdsc->last_"));
    // Both ways out of the descriptor lookup clear is_placeholder where LVGL has it.
    const QRegularExpression reset(QStringLiteral(
        "\n#if LVGL_VERSION_MAJOR > 8 \\|\\| \\(LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2\\)\n"
        " +dsc_out->is_placeholder = 0;\n#endif(?=\n +return true;)"));
    QCOMPARE(eight.count(reset), 2);
    eight.remove(reset);
    QCOMPARE(eight, six);
}

void TestUnsortedFont::compiledLookupsReturnEveryGlyph_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<int>("lvVer");
    for (int bpp : {1, 2, 4, 8}) {
        QTest::addRow("%dbpp LVGL 6", bpp) << bpp << 1;
        QTest::addRow("%dbpp LVGL 8", bpp) << bpp << 2;
    }
}

// Every glyph read back through the emitted lookups must be the captured one:
// descriptor values and bitmap bytes, through the search and through the cache.
void TestUnsortedFont::compiledLookupsReturnEveryGlyph()
{
    QFETCH(int, bpp);
    QFETCH(int, lvVer);
    const QString icons = qmtest::sampleIcons();
    // 'A' twice: lookups find the first; '\n' has no advance; 'g' has a descender.
    const QString chars = QStringLiteral("gA 中文,") + icons + QStringLiteral("A\n");
    qm::ConversionRequest request = qmtest::makeRequest(chars, bpp, qmtest::cjkFont(), icons);
    request.lvVer = lvVer;
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateUnsortedFont(request, progress);
    QCOMPARE(result.written, chars.size());

    QList<uint> queries;
    queries << chars.at(0).unicode();              // in the parent: from the initial cache
    for (const QChar c : chars)
        queries << c.unicode();
    queries << chars.at(3).unicode() << chars.at(3).unicode();  // the same letter twice
    queries << 0x4e01 << 0x21 << 0x09 << 0xffff << 0x10000 << 0x1f600;  // absent, in and out of range
    queries << chars.at(0).unicode();

    const qmtest::CRun run = qmtest::compileAndRun(
        {{QStringLiteral("font.c"), result.text.toUtf8()},
         {QStringLiteral("main.c"), lookupProgram(request.fontName, queries)}},
        {qmtest::lvglIncludeDir(lvVer == 2 ? QStringLiteral("v8.3") : QStringLiteral("v6"))},
        {QStringLiteral("-DTEST_BPP=%1").arg(bpp)});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    QVERIFY2(!run.compileLog.contains(QLatin1String("warning")), qPrintable(run.compileLog));
    QCOMPARE(run.exitCode, 0);
    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(run.output);

    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, bpp);
    for (int i = 0; i < queries.size(); ++i) {
        const uint letter = queries.at(i);
        const int at = letter < 0x10000 ? chars.indexOf(QChar(ushort(letter))) : -1;
        if (at < 0) {
            for (const QString &tag : {QStringLiteral("q"), QStringLiteral("f"), QStringLiteral("g")}) {
                const QStringList got = out.value(tag + QString::number(i));
                QCOMPARE(got.size(), 9);
                QCOMPARE(got.at(0), QStringLiteral("0"));
                QCOMPARE(got.at(7), QStringLiteral("0"));
            }
            continue;
        }
        const GlyphCapturer::Glyph glyph = capturer.measure(chars.at(at));
        qm::CropInfo crop;
        const QByteArray bytes = qmtest::croppedGlyphBytes(capturer, glyph, bpp, &crop);
        const GlyphCapturer::Box box = GlyphCapturer::croppedBox(glyph, crop, bpp, capturer.lineHeight());
        const QStringList expected{QStringLiteral("1"), QString::number(box.advW), QString::number(box.boxW),
                                   QString::number(box.boxH), QStringLiteral("0"), QString::number(box.ofsY),
                                   QString::number(bpp), QStringLiteral("1"),
                                   QStringLiteral("x") + QString::fromLatin1(bytes.toHex())};
        for (const QString &tag : {QStringLiteral("q"), QStringLiteral("f"), QStringLiteral("g")}) {
            const QStringList got = out.value(tag + QString::number(i));
            QVERIFY2(got == expected, qPrintable(QStringLiteral("%1%2 (U+%3): got %4, expected %5")
                                                     .arg(tag).arg(i).arg(hex4(letter), got.join(' '), expected.join(' '))));
        }
    }
}

// Cancelled at the first character: no glyph, and no letter may reach the tables,
// whatever the cache fields hold.
void TestUnsortedFont::emptyFontRejectsEveryLetter()
{
    qm::CancelAtProgress progress(0);
    const qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("Ab"), 4, qmtest::cjkFont());
    const qm::ConversionResult result = qm::generateUnsortedFont(request, progress);
    QCOMPARE(result.written, 0);
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_start")), QStringLiteral("        .range_start = 0x10000,"));
    QCOMPARE(fieldLine(result.text, QStringLiteral("        .range_length")), QStringLiteral("        .range_length = 0x0000,"));

    const QList<uint> queries{0x0000, 0x0041, 0x0062, 0xffff, 0x10000};
    const qmtest::CRun run = qmtest::compileAndRun(
        {{QStringLiteral("font.c"), result.text.toUtf8()},
         {QStringLiteral("main.c"), lookupProgram(request.fontName, queries)}},
        {qmtest::lvglIncludeDir(QStringLiteral("v6"))}, {QStringLiteral("-DTEST_BPP=4")});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(run.output);
    for (int i = 0; i < queries.size(); ++i) {
        for (const QString &tag : {QStringLiteral("q"), QStringLiteral("f"), QStringLiteral("g")}) {
            const QStringList got = out.value(tag + QString::number(i));
            QCOMPARE(got.value(0), QStringLiteral("0"));
            QCOMPARE(got.value(7), QStringLiteral("0"));
        }
    }
}

// A line of about 470 px with glyphs wider than 255 px. LVGL 7 holds them in its large layout;
// LVGL 6 cannot, whatever its settings, and the file tells each user which case is
// theirs. The guard stands on its own line even after an include text whose last line
// ends in a backslash.
void TestUnsortedFont::oversizedGlyphsStopTheBuild()
{
    QFont big = qmtest::latinFont();
    big.setPixelSize(402);
    qm::ConversionRequest request = qmtest::makeRequest(QStringLiteral("Wj"), 1, big);
    request.includeText = QStringLiteral("#include \"lvgl.h\"\n// fonts of the board \\");
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateUnsortedFont(request, progress);
    const QString lineTooHigh = QStringLiteral("line_height %1 > 255").arg(result.fontHeight);
    QVERIFY(result.fontHeight > 255);
    QCOMPARE(result.warnings.size(), 1);
    QVERIFY(result.warnings.first().contains(lineTooHigh));
    QVERIFY(result.warnings.first().contains(QLatin1String("LV_FONT_FMT_TXT_LARGE")));

    const QStringList lines = result.text.split(QLatin1Char('\n'));
    const int include = lines.indexOf(QStringLiteral("// fonts of the board \\"));
    QCOMPARE(lines.value(include + 1), QString());
    QCOMPARE(lines.value(include + 2), QStringLiteral("#if LVGL_VERSION_MAJOR == 6"));
    QVERIFY(lines.value(include + 3).startsWith(QLatin1String("#error \"This font is too large for LVGL 6")));
    QVERIFY(lines.value(include + 4).startsWith(QLatin1String("#elif !defined(LV_FONT_FMT_TXT_LARGE)")));
    QVERIFY(lines.value(include + 5).startsWith(QLatin1String("#error ")));
    QCOMPARE(lines.mid(include + 6, 3), (QStringList{QStringLiteral("#endif"), QString(), QString()}));

    const QMap<QString, QByteArray> files{{QStringLiteral("font.c"), result.text.toUtf8()},
                                          {QStringLiteral("main.c"), lookupProgram(request.fontName, {'W'})}};
    const QString large = QStringLiteral("-DLV_FONT_FMT_TXT_LARGE=1");
    const qmtest::CRun six = qmtest::compileAndRun(files, {qmtest::lvglIncludeDir(QStringLiteral("v6"))},
                                                   {QStringLiteral("-DTEST_BPP=1"), large});
    QVERIFY(!six.compiled);
    QVERIFY2(six.compileLog.contains(lineTooHigh), qPrintable(six.compileLog));
    QVERIFY2(!six.compileLog.contains(QLatin1String("set LV_FONT_FMT_TXT_LARGE")), qPrintable(six.compileLog));

    const QStringList seven{qmtest::lvglIncludeDir(QStringLiteral("v7"))};
    const qmtest::CRun compact = qmtest::compileAndRun(files, seven, {QStringLiteral("-DTEST_BPP=1")});
    QVERIFY(!compact.compiled);
    QVERIFY2(compact.compileLog.contains(QLatin1String("set LV_FONT_FMT_TXT_LARGE")), qPrintable(compact.compileLog));
    const qmtest::CRun fits = qmtest::compileAndRun(files, seven, {QStringLiteral("-DTEST_BPP=1"), large});
    QVERIFY2(fits.compiled, qPrintable(fits.compileLog));
    const QStringList w = qmtest::parseKeyedLines(fits.output).value(QStringLiteral("q0"));
    QCOMPARE(w.value(0), QStringLiteral("1"));
    QVERIFY(w.value(2).toInt() > 255);
}

// More than a megabyte of bitmaps: bitmap_index outgrows its 20 bits. The file builds
// only with the large layout, and then every glyph reads back intact.
void TestUnsortedFont::largeBitmapNeedsLargeLayout()
{
    QFont big = qmtest::cjkFont();
    big.setPixelSize(128);
    QString chars;
    for (ushort c = 0x4e00; chars.size() < 100; ++c)
        chars += QChar(c);
    const qm::ConversionRequest request = qmtest::makeRequest(chars, 8, big);
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::generateUnsortedFont(request, progress);
    QCOMPARE(result.warnings.size(), 1);
    QVERIFY(result.warnings.first().contains(QLatin1String("bitmap_index")));
    QVERIFY(result.text.contains(QLatin1String("\"lvgl.h\"\n\n#if !defined(LV_FONT_FMT_TXT_LARGE)")));

    const QList<uint> queries{chars.at(0).unicode(), chars.at(99).unicode(), chars.at(98).unicode()};
    const QMap<QString, QByteArray> files{{QStringLiteral("font.c"), result.text.toUtf8()},
                                          {QStringLiteral("main.c"), lookupProgram(request.fontName, queries)}};
    const QStringList include6{qmtest::lvglIncludeDir(QStringLiteral("v6"))};
    // The guard's #error comes first; without -Wfatal-errors gcc would still read the
    // megabytes after it, which took seconds.
    const qmtest::CRun compact =
        qmtest::compileAndRun(files, include6, {QStringLiteral("-DTEST_BPP=8"), QStringLiteral("-Wfatal-errors")});
    QVERIFY(!compact.compiled);
    QVERIFY2(compact.compileLog.contains(QLatin1String("bitmap_index")), qPrintable(compact.compileLog));

    const qmtest::CRun large = qmtest::compileAndRun(
        files, include6, {QStringLiteral("-DTEST_BPP=8"), QStringLiteral("-DLV_FONT_FMT_TXT_LARGE=1")});
    QVERIFY2(large.compiled, qPrintable(large.compileLog));
    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(large.output);
    const GlyphCapturer capturer(request.font, request.iconFont, request.iconText, 8);
    for (int i = 0; i < queries.size(); ++i) {
        const QByteArray bytes = qmtest::croppedGlyphBytes(capturer, capturer.measure(QChar(ushort(queries.at(i)))), 8);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(out.value(QStringLiteral("q%1").arg(i)).value(8), QStringLiteral("x") + QString::fromLatin1(bytes.toHex()));
    }
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestUnsortedFont test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_unsortedfont.moc"

#include "glyphtesting.h"
#include "testfiles.h"
#include "sortedglyphs.h"
#include "testfonts.h"
#include "windowharness.h"

#include "files/atomicfile.h"
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "preview/preview.h"
#include "previewdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using qm::GeneratorKind;

namespace {

// Packed rows (MSB first, each row padded to whole bytes) painted as LVGL maps levels
// to opacities.
void paintRows(QImage &canvas, QPoint at, const QByteArray &bytes, int width, int height, int bpp)
{
    const int rowBytes = (width * bpp + 7) / 8;
    const int mask = (1 << bpp) - 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uchar byte = uchar(bytes.at(y * rowBytes + x * bpp / 8));
            const int level = (byte >> (8 - (x * bpp) % 8 - bpp)) & mask;
            if (level)
                canvas.scanLine(at.y() + y)[at.x() + x] = uchar(level * 255 / mask);
        }
    }
}

QString firstPixelDifference(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1,%2): %3, expected %4")
                    .arg(x).arg(y).arg(qGray(actual.pixel(x, y))).arg(qGray(expected.pixel(x, y)));
    return QString();
}

std::unique_ptr<qm::PreviewFont> decoded(const QString &text, QString *error)
{
    return qm::decodePreviewFont(text, QByteArray(), error);
}

// "x,y=opacity" of every pixel with ink, row by row.
QStringList inkedPixels(const QImage &image)
{
    QStringList out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const int v = image.constScanLine(y)[x])
                out << QStringLiteral("%1,%2=%3").arg(x).arg(y).arg(v);
    return out;
}

// A font written by hand the ways a C compiler accepts: signs, casts, octal, a negative
// byte, positional fields after a designated one. Glyphs at 4 bpp, line height 8, base
// line 2; its lookup is a linear search that keeps the last letter found.
const char kHandFont[] = R"C(#include "lvgl.h"
static const uint8_t glyph_bitmap[] = {0xF0, 0x0F, -1, 0360};
static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {
    {.bitmap_index = 0, .adv_w = 3, .box_w = 2, .box_h = 2, .ofs_x = -1, .ofs_y = -2},
    {.bitmap_index = 2, 4, 2, 1, (int16_t)+1, - 1},
    {3, 2, 1, 1, 0, 0x3},
};
static const uint16_t unicode_list[] = {0x41, 0x42, 0x43, 0};
static const lv_font_fmt_txt_cmap_t cmaps[] = {
    {.range_start = 0x41, .range_length = 0x43, .unicode_list = unicode_list, .list_length = 3},
};
static lv_font_fmt_txt_dsc_t font_dsc = {
    .glyph_bitmap = glyph_bitmap, .glyph_dsc = glyph_dsc, .cmaps = cmaps, .bpp = 4,
};
static bool get_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t letter, uint32_t next)
{
    /* a walk along unicode_list, remembered in last_letter and last_glyph_id */
    return false;
}
const lv_font_t hand = {.get_glyph_dsc = get_dsc, .line_height = 8, .base_line = 2, .dsc = &font_dsc};
)C";

// An XBF table by hand: codes 0x41..0x42 at 4 bpp, positions 16 and 23, records of
// advance, box, offsets (as signed bytes) and a reserved byte, then the pixels.
const char kHandXbf[] = R"C(#include "lvgl.h"
static const uint8_t glyph_dsc_xbf[] = {
    0x41, 0, 0x42, 0, 4, 0, 0, 0,   16, 0, 0, 0,   23, 0, 0, 0,
    3, 2, 1, 0xFF, 0xFE, 0, 0xFF,
    2, 1, 1, 0, 3, 0, 0xF0,
};
const lv_font_t xbf = {.line_height = 8, .base_line = 2};
)C";

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void drawsTheGlyphsTheEngineRendered_data();
    void drawsTheGlyphsTheEngineRendered();
    void readsTheDataWhateverTheLayout();
    void drawsHandWrittenFontsWhereLvglPutsThem();
    void picturesInColourAndMagnified();

    void refusesBrokenOutputsWithAReason_data();
    void refusesBrokenOutputsWithAReason();
    void refusesWhatWouldExhaustTheReader();
    void refusesATruncatedOrForeignBin();
    void picturesStayWithinThePixelBudget();

    void windowShowsTheResult_data();
    void windowShowsTheResult();

private:
    qmtest::WorkingFolder m_dir;
};

void TestPreview::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    qm::installFontSubstitutions();
    QVERIFY(m_dir.enter());
}

void TestPreview::drawsTheGlyphsTheEngineRendered_data()
{
    QTest::addColumn<int>("kindIndex");
    QTest::addColumn<int>("lvVer");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<bool>("fromFile");
    // LV_USE_FONT_PLACEHOLDER is on by default from LVGL 8.3 on.
    QTest::addColumn<bool>("placeholders");
    QTest::addColumn<bool>("compress");

    QTest::newRow("sorted, LVGL 6, 4 bpp, from the file") << int(GeneratorKind::SortedInternal) << 1 << 4 << true << false << false;
    QTest::newRow("sorted, LVGL 8, 1 bpp") << int(GeneratorKind::SortedInternal) << 2 << 1 << false << true << false;
    QTest::newRow("unsorted, LVGL 8, 2 bpp") << int(GeneratorKind::UnsortedInternal) << 2 << 2 << false << true << false;
    QTest::newRow("LVGL 5.3, 4 bpp") << int(GeneratorKind::Legacy) << 0 << 4 << false << false << false;
    QTest::newRow("XBF array, 8 bpp") << int(GeneratorKind::XbfArray) << 1 << 8 << false << false << false;
    QTest::newRow("XBF bin, 1 bpp") << int(GeneratorKind::XbfBin) << 2 << 1 << false << true << false;
    QTest::newRow("sorted, LVGL 9, 8 bpp") << int(GeneratorKind::SortedInternal) << 3 << 8 << false << true << false;
    QTest::newRow("unsorted, LVGL 9, 1 bpp, from the file") << int(GeneratorKind::UnsortedInternal) << 3 << 1 << true << true << false;
    QTest::newRow("XBF array, LVGL 9, 2 bpp") << int(GeneratorKind::XbfArray) << 3 << 2 << false << true << false;
    QTest::newRow("XBF bin, LVGL 9, 4 bpp") << int(GeneratorKind::XbfBin) << 3 << 4 << false << true << false;
    // Compressed glyphs draw the same pictures, unpacked from the streams.
    QTest::newRow("compressed sorted, LVGL 8, 4 bpp") << int(GeneratorKind::SortedInternal) << 2 << 4 << false << true << true;
    QTest::newRow("compressed unsorted, LVGL 6, 8 bpp, from the file") << int(GeneratorKind::UnsortedInternal) << 1 << 8 << true << false << true;
    QTest::newRow("compressed XBF array, LVGL 9, 2 bpp") << int(GeneratorKind::XbfArray) << 3 << 2 << false << true << true;
    QTest::newRow("compressed XBF bin, LVGL 8, 1 bpp") << int(GeneratorKind::XbfBin) << 2 << 1 << false << true << true;
}

// The picture holds exactly the glyphs the engine rendered, each where LVGL puts it:
// line after line, the pen moving by the advance, boxes at their offsets, and a
// placeholder box for a missing letter where the LVGL generation draws one.
void TestPreview::drawsTheGlyphsTheEngineRendered()
{
    QFETCH(int, kindIndex);
    const auto kind = GeneratorKind(kindIndex);
    QFETCH(int, lvVer);
    QFETCH(int, bpp);
    QFETCH(bool, fromFile);
    QFETCH(bool, placeholders);
    QFETCH(bool, compress);

    const QString chars = QStringLiteral("Hg中文");
    qm::ConversionRequest r = qmtest::makeRequest(chars, bpp, qmtest::cjkFont());
    r.lvVer = lvVer;
    r.compress = compress;
    QTemporaryDir dir;
    r.outputDir = dir.path();
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::runConversion(kind, r, progress);
    QVERIFY2(result.ok, qPrintable(result.error));

    QString cFile, error;
    if (fromFile) {
        cFile = dir.filePath(QStringLiteral("font.c"));
        QVERIFY(qm::writeUtf8File(cFile, result.text, &error));
    }
    const std::unique_ptr<qm::PreviewFont> font = qm::loadPreviewFont(qm::previewSourceOf(result, cFile), &error);
    QVERIFY2(font, qPrintable(error));

    QCOMPARE(qm::placeholdersByDefault(lvVer), placeholders);
    const QString sample = QStringLiteral("Hg\n中Z文");
    const qm::PreviewDrawing drawing = qm::drawPreview(*font, sample, placeholders);
    const int lh = result.fontHeight;
    QCOMPARE(drawing.lineHeight, lh);
    QCOMPARE(drawing.lines, 2);
    QCOMPARE(drawing.missingLetters, QStringLiteral("Z"));
    QVERIFY(drawing.notes.isEmpty());

    const qm::GlyphCapturer capturer(r.font, r.iconFont, r.iconText, bpp);
    const QFont rawFont = qmtest::fontForBpp(r.font, bpp);
    const int descent = int(QRawFont::fromFont(rawFont, QFontDatabase::Any).descent());
    QImage expected(drawing.opacity.size(), QImage::Format_Grayscale8);
    expected.fill(0);
    int line = 0, pen = 0;
    for (const QChar ch : sample) {
        const QPoint lineTop = drawing.origin + QPoint(pen, line * lh);
        if (ch == QLatin1Char('\n')) {
            ++line;
            pen = 0;
        } else if (ch == QLatin1Char('Z')) {
            if (placeholders) {
                QPainter p(&expected);
                p.setPen(QColor(255, 255, 255));
                p.drawRect(QRect(lineTop, QSize(lh / 2 + 1, lh + 1)).adjusted(0, 0, -1, -1));
                pen += lh / 2 + 2;
            }
        } else if (kind == GeneratorKind::SortedInternal) {
            const qmtest::ExpectedGlyph e = qmtest::expectedRawGlyph(ch, rawFont, false, bpp, lh, descent);
            QVERIFY2(e.ok, qPrintable(e.why));
            paintRows(expected, lineTop + QPoint(e.ofsX, lh - e.boxH - e.ofsY), e.bytes, e.boxW, e.boxH, bpp);
            pen += e.advW;
        } else {
            // The captured box is the whole line; however the output crops it, it must
            // land where it was drawn.
            const qm::GlyphCapturer::Glyph glyph = capturer.measure(ch);
            paintRows(expected, lineTop, qmtest::fullGlyphBytes(capturer, glyph, bpp, glyph.height), glyph.width,
                      glyph.height, bpp);
            pen += glyph.width;
        }
    }
    const QString difference = firstPixelDifference(drawing.opacity, expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// Field order, initialisers without designators, preprocessor lines inside functions
// and initialisers, an extern "C" block and braces in comments and strings change
// nothing: the font is read by name, as the compiler reads it.
void TestPreview::readsTheDataWhateverTheLayout()
{
    for (const GeneratorKind kind : {GeneratorKind::SortedInternal, GeneratorKind::UnsortedInternal}) {
        qm::ConversionRequest r = qmtest::makeRequest(QStringLiteral("AHg文"), 4, qmtest::cjkFont());
        r.lvVer = 2;
        qm::NoProgress progress;
        const QString text = qm::runConversion(kind, r, progress).text;
        QString error;
        const std::unique_ptr<qm::PreviewFont> original = decoded(text, &error);
        QVERIFY2(original, qPrintable(error));
        const QString sample = QStringLiteral("gAHx文");
        const QImage reference = qm::drawPreview(*original, sample, true).opacity;

        QString changed = text;
        changed.replace(QRegularExpression(QStringLiteral("\\.box_h = (\\d+), \\.box_w = (\\d+)")),
                        QStringLiteral(".box_w = \\2, .box_h = \\1"));
        // The first descriptor in LVGL's declaration order, without designators.
        changed.replace(QRegularExpression(QStringLiteral(
                            "\\{\\.bitmap_index = 0,\\t\\.adv_w = (\\d+), \\.box_w = (\\d+), \\.box_h = (\\d+), "
                            "\\.ofs_x = (-?\\d+), \\.ofs_y = (-?\\d+)\\}")),
                        QStringLiteral("{0, \\1, \\2, \\3, \\4, \\5}"));
        changed.replace(QStringLiteral("        .range_start"),
                        QStringLiteral("#if LV_VERSION_CHECK(8, 0, 0)\n        /* } */ .type = 0,\n#endif\n"
                                       "        .range_start"));
        changed.replace(QStringLiteral("        return true;"),
                        QStringLiteral("#if LVGL_VERSION_MAJOR >= 8\n        dsc_out->is_placeholder = 0;\n"
                                       "#endif\n        return true;"));
        changed.replace(QStringLiteral("#include \"lvgl.h\""),
                        QStringLiteral("#include \"lvgl.h\"\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n"
                                       "static const char *const note = \"{ not a block\";"));
        changed += QStringLiteral("\n#ifdef __cplusplus\n} /*extern \"C\"*/\n#endif\n");
        QVERIFY(changed.contains(QLatin1String("{0, ")));

        const std::unique_ptr<qm::PreviewFont> reread = decoded(changed, &error);
        QVERIFY2(reread, qPrintable(error));
        const QString difference = firstPixelDifference(qm::drawPreview(*reread, sample, true).opacity, reference);
        QVERIFY2(difference.isEmpty(), qPrintable(qm::generatorName(kind) + QLatin1String(": ") + difference));
    }

    // What is not a font of ours is refused with a reason, never drawn as garbage.
    QString error;
    QVERIFY(!decoded(QStringLiteral("static const uint8_t x[] = {1, 2};"), &error));
    QVERIFY2(error.contains(QLatin1String("lv_font_t")), qPrintable(error));
    QVERIFY(!decoded(QStringLiteral("const lv_font_t f = {.dsc = &font_dsc, .line_height = 16,};"), &error));
    QVERIFY2(error.contains(QLatin1String("font_dsc")), qPrintable(error));
}

// Every pixel of two hand-written fonts, worked out by hand: x = pen + ofs_x, y = line
// top + line height - base line - box height - ofs_y, the picture's origin 4 pixels in
// from the leftmost box.
void TestPreview::drawsHandWrittenFontsWhereLvglPutsThem()
{
    QString error;
    std::unique_ptr<qm::PreviewFont> font = decoded(QString::fromLatin1(kHandFont), &error);
    QVERIFY2(font, qPrintable(error));
    // The second B comes from the one-letter cache; CR LF is one line break; C is the last code.
    qm::PreviewDrawing d = qm::drawPreview(*font, QStringLiteral("ABB\r\nC@D"), false);
    QCOMPARE(d.lines, 2);
    QCOMPARE(d.missingLetters, QStringLiteral("@D"));
    QCOMPARE(d.opacity.size(), QSize(20, 24));
    QCOMPARE(inkedPixels(d.opacity), (QStringList{"4,10=255", "9,10=255", "10,10=255", "13,10=255", "14,10=255",
                                                  "5,11=255", "5,14=255"}));

    font = decoded(QString::fromLatin1(kHandXbf), &error);
    QVERIFY2(font, qPrintable(error));
    d = qm::drawPreview(*font, QStringLiteral("AB@C"), false);
    QCOMPARE(d.missingLetters, QStringLiteral("@C"));
    QCOMPARE(inkedPixels(d.opacity), (QStringList{"8,6=255", "4,11=255", "5,11=255"}));
}

void TestPreview::picturesInColourAndMagnified()
{
    qm::PreviewDrawing d;
    d.opacity = QImage(3, 4, QImage::Format_Grayscale8);
    d.opacity.fill(0);
    d.opacity.scanLine(1)[1] = 255;
    d.opacity.scanLine(2)[2] = 128;
    d.origin = QPoint(1, 1);
    d.lineHeight = 2;

    qm::PreviewStyle style;
    style.scale = 4;
    const QImage light = qm::stylePreview(d, style);
    QCOMPARE(light.size(), QSize(12, 16));
    // Every pixel a 4x4 square of one colour, ink blended over the background.
    for (const QPoint p : {QPoint(4, 4), QPoint(7, 7)})
        QCOMPARE(light.pixel(p), qRgb(0, 0, 0));
    QCOMPARE(light.pixel(8, 11), qRgb(127, 127, 127));
    QCOMPARE(light.pixel(3, 3), qRgb(255, 255, 255));
    style.dark = true;
    const QImage dark = qm::stylePreview(d, style);
    QCOMPARE(dark.pixel(4, 4), qRgb(255, 255, 255));
    QCOMPARE(dark.pixel(0, 0), qRgb(0x20, 0x20, 0x20));
    // The guides: the line's top, its bottom (the base line here) and the pen's start.
    style.guides = true;
    const QImage guides = qm::stylePreview(d, style);
    QVERIFY(guides.pixel(10, 4) != dark.pixel(10, 4));
    QVERIFY(guides.pixel(10, 12) != dark.pixel(10, 12));
    QVERIFY(guides.pixel(4, 14) != dark.pixel(4, 14));
    QCOMPARE(guides.pixel(10, 14), dark.pixel(10, 14));

    // Too wide for the magnification asked: the largest that fits.
    d.opacity = QImage(5000, 4, QImage::Format_Grayscale8);
    d.opacity.fill(0);
    style.scale = 8;
    QCOMPARE(qm::stylePreview(d, style).width(), 10000);
}

void TestPreview::refusesBrokenOutputsWithAReason_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");

    // The corpus: small outputs of this program, each edited by hand the way that once
    // crashed, hung or misled the preview.
    QTest::newRow("base line of 2^30") << "base_line_2pow30.c"
        << "the lv_font_t object: .base_line = 1073741824 is not a number from -32768 to 32767";
    QTest::newRow("ofs_x of INT_MIN") << "ofs_x_int_min.c"
        << "glyph_dsc[0]: .ofs_x = -2147483648 is not a number from -32768 to 32767";
    QTest::newRow("literal past INT64_MAX, negated") << "ofs_y_int64_min.c"
        << "glyph_dsc[1]: .ofs_y = -9223372036854775808 is not a number from -32768 to 32767";
    QTest::newRow("list_length of 2^63-1") << "list_length_int64_max.c"
        << "cmaps[0]: .list_length = 0x7FFFFFFFFFFFFFFF is not a number from 0 to 65535";
    QTest::newRow("literal of 2^64") << "line_height_2pow64.c"
        << "the lv_font_t object: .line_height = 18446744073709551616 is not a number from 0 to 32767";
    QTest::newRow("LVGL 5.3 w_px past 8 bits") << "legacy_w_px_300.c"
        << "glyph_dsc[1]: .w_px = 300 is not a number from 0 to 255";
    QTest::newRow("compressed stream past the next glyph's") << "compressed_stream_past_next.c"
        << "a glyph's stream starts at 3, past the next glyph's at 2";
    QTest::newRow("XBF array cut inside a record") << "xbf_array_cut.c"
        << "the XBF table ends early: it holds 35 bytes, but the glyph of U+0042 ends at byte 40";
}

// A value its C field cannot hold, or one the preview would overflow on, is named with
// where it stands; the same file through the CLI exits 1 and leaves the picture alone.
void TestPreview::refusesBrokenOutputsWithAReason()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    const QString path = QStringLiteral(QM_TEST_CORPUS_DIR "/") + file;
    QVERIFY(!path.isEmpty());
    QString error;
    QVERIFY(!qm::loadPreviewFont({QString(), path, QString()}, &error));
    QCOMPARE(error, reason);

    const QString png = m_dir.filePath(QStringLiteral("old.png"));
    QVERIFY(qmtest::writeFile(png, "old"));
    QProcess cli;
    cli.start(QStringLiteral(QM_CLI_PATH), {QStringLiteral("--preview-file"), path, QStringLiteral("--preview"), png});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(QString::fromUtf8(cli.readAllStandardError()).contains(reason), qPrintable(reason));
    QCOMPARE(qmtest::readFile(png), QByteArray("old"));
}

// Lists nested or long enough to exhaust the stack or the memory, files too large to
// hold and files that never end are refused before they are read whole.
void TestPreview::refusesWhatWouldExhaustTheReader()
{
    const QByteArray base = qmtest::readFile(QStringLiteral(QM_TEST_CORPUS_DIR "/line_height_30000.c"));
    QVERIFY(!base.isEmpty());
    const QByteArray list = "glyph_dsc[] = {";
    const int at = base.indexOf(list) + list.size();
    QVERIFY(at > list.size());
    QString error;

    const QByteArray nested = base.left(at) + QByteArray(40000, '{') + QByteArray(40000, '}') + ',' + base.mid(at);
    QVERIFY(!qm::decodePreviewFont(QString::fromLatin1(nested), QByteArray(), &error));
    QCOMPARE(error, QStringLiteral("\"glyph_dsc\" (glyph_dsc) cannot be read: its braces are nested more than 16 deep"));
    // In a field the preview does not read, sixteen deep with the list and the
    // descriptor is still read; seventeen is not.
    const auto deep = [&](int levels) {
        return QString::fromLatin1(base.left(at) + "{.extra = " + QByteArray(levels, '{') + QByteArray(levels, '}')
                                   + "}," + base.mid(at));
    };
    QVERIFY2(qm::decodePreviewFont(deep(14), QByteArray(), &error), qPrintable(error));
    QVERIFY(!qm::decodePreviewFont(deep(15), QByteArray(), &error));

    QByteArray zeros;
    for (int i = 0; i <= (1 << 20); ++i)
        zeros += "0,";
    QVERIFY(!qm::decodePreviewFont(QString::fromLatin1(base.left(at) + zeros + base.mid(at)), QByteArray(), &error));
    QCOMPARE(error, QStringLiteral("\"glyph_dsc\" (glyph_dsc) cannot be read: it holds more than 1048576 elements"));
    const QByteArray codes = "unicode_list_1[] = {";
    const int codesAt = base.indexOf(codes) + codes.size();
    QVERIFY(!qm::decodePreviewFont(QString::fromLatin1(base.left(codesAt) + zeros + base.mid(codesAt)), QByteArray(),
                                   &error));
    QCOMPARE(error,
             QStringLiteral("the array \"unicode_list_1\" (unicode_list) cannot be read: it holds more than 1048576 values"));

    // One byte past the limit, sparse on disk.
    const QString large = m_dir.filePath(QStringLiteral("large.c"));
    {
        QFile file(large);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(base) == base.size()
                && file.resize(qm::kMaxPreviewFileBytes + 1));
    }
    QVERIFY(!qm::loadPreviewFont({QString(), large, QString()}, &error));
    QCOMPARE(error, QStringLiteral("%1 is 536870913 bytes; the preview reads files of up to 512 MiB").arg(large));
    QFile::remove(large);

    QVERIFY(!qm::loadPreviewFont({QString(), QStringLiteral("/dev/zero"), QString()}, &error));
    QCOMPARE(error, QStringLiteral("/dev/zero: not a regular file"));
}

// The XBF bin kind's .bin is checked against the table it must hold: cut short, or
// another font's, it is refused as the C text of a cut file is.
void TestPreview::refusesATruncatedOrForeignBin()
{
    QTemporaryDir dir;
    qm::ConversionRequest r = qmtest::makeRequest(QStringLiteral("AB"), 1, qmtest::latinFont());
    r.outputDir = dir.path();
    qm::NoProgress progress;
    const qm::ConversionResult result = qm::runConversion(GeneratorKind::XbfBin, r, progress);
    QVERIFY2(result.ok, qPrintable(result.error));
    qm::PreviewSource source = qm::previewSourceOf(result, QString());
    const QByteArray bin = qmtest::readFile(source.binPath);
    QString error;
    QVERIFY2(qm::loadPreviewFont(source, &error), qPrintable(error));

    // The last record is B's; its last byte is the file's last.
    const QString cut = dir.filePath(QStringLiteral("cut.bin"));
    source.binPath = cut;
    QVERIFY(qmtest::writeFile(cut, bin.left(bin.size() - 1)));
    QVERIFY(!qm::loadPreviewFont(source, &error));
    QCOMPARE(error, QStringLiteral("the .bin file ends early: it holds %1 bytes, but the glyph of U+0042 ends at "
                                   "byte %2").arg(bin.size() - 1).arg(bin.size()));
    const int positions = 8 + 4 * 2;   // the header, then A's and B's places
    QVERIFY(qmtest::writeFile(cut, bin.left(positions - 1)));
    QVERIFY(!qm::loadPreviewFont(source, &error));
    QCOMPARE(error, QStringLiteral("the .bin file ends early: it holds %1 bytes, its header and position table "
                                   "alone need %2").arg(positions - 1).arg(positions));

    QByteArray foreign = bin;
    foreign[4] = 2;
    QVERIFY(qmtest::writeFile(cut, foreign));
    QVERIFY(!qm::loadPreviewFont(source, &error));
    QCOMPARE(error, QStringLiteral("the .bin file does not belong to this C file: its header says U+0041 to U+0042 "
                                   "at 2 bpp, the C file U+0041 to U+0042 at 1 bpp"));
}

namespace {

// Every letter the same blank box, to put the budget's edges where a test wants them.
class BoxFont : public qm::PreviewFont
{
public:
    BoxFont(int lineHeight, int box, int advance) : m_box(box), m_advance(advance)
    {
        m_lineHeight = lineHeight;
        m_baseLine = 0;
        m_bpp = 8;
        m_bitmap = QByteArray(box * box, char(0));
    }
    bool lookup(uint, qm::PreviewGlyph *g) override
    {
        g->advW = m_advance;
        g->boxW = g->boxH = m_box;
        g->bpp = 8;
        g->bitmap = 0;
        g->rowBits = qint64(m_box) * 8;
        return true;
    }
    QString letters(int) const override { return QString(); }

private:
    int m_box;
    int m_advance;
};

} // namespace

// A legal size and a long sample make a picture of gigabytes; the sample is cut, and
// the magnification lowered, at 16384 pixels a side and 64 megapixels, and it says so.
void TestPreview::picturesStayWithinThePixelBudget()
{
    // 1000 px letters side by side: sixteen fit in 16384 pixels with the margins.
    BoxFont wide(1000, 1000, 1000);
    qm::PreviewDrawing d = qm::drawPreview(wide, QString(1001, QLatin1Char('A')), false);
    QCOMPARE(d.opacity.size(), QSize(16000 + 8, 1000 + 8));
    QCOMPARE(d.notes, QStringList{QStringLiteral("only the first 1000 characters are drawn")}
                          << QStringLiteral("only the first 16 characters are drawn: the picture would exceed "
                                            "16384 pixels a side or 64 megapixels"));

    // Boxes drawn over each other: small picture, but each costs 16 megapixels to draw.
    BoxFont stacked(4096, 4096, 0);
    d = qm::drawPreview(stacked, QStringLiteral("AAAAA"), false);
    QCOMPARE(d.notes, QStringList{QStringLiteral("only the first 4 characters are drawn: the picture would exceed "
                                                 "16384 pixels a side or 64 megapixels")});
    QCOMPARE(d.opacity.size(), QSize(4096 + 8, 4096 + 8));

    // Lines: a line feed that would take the picture past 16384 rows ends the sample.
    BoxFont dot(4096, 1, 1);
    d = qm::drawPreview(dot, QStringLiteral("A\nA\nA\nA\nA"), false);
    QCOMPARE(d.lines, 3);
    QCOMPARE(d.opacity.height(), 3 * 4096 + 8);

    // 8192 pixels doubled is just 16384 a side; 4096 x 4096 doubled would be just 64
    // megapixels, so one row more is drawn 1:1.
    qm::PreviewDrawing square;
    square.opacity = QImage(8192, 1, QImage::Format_Grayscale8);
    square.opacity.fill(0);
    qm::PreviewStyle style;
    style.scale = 2;
    QString note;
    QCOMPARE(qm::stylePreview(square, style, &note).size(), QSize(16384, 2));
    QVERIFY(note.isEmpty());
    square.opacity = QImage(4096, 4097, QImage::Format_Grayscale8);
    square.opacity.fill(0);
    style.scale = 8;
    QCOMPARE(qm::stylePreview(square, style, &note).size(), QSize(4096, 4097));
    QCOMPARE(note, QStringLiteral("drawn at 1x instead of 8x: larger, the picture would exceed 16384 pixels a side "
                                  "or 64 megapixels"));

    // A base line far below the line and a glyph far past the bitmaps are drawn as far
    // as they go, with notes, never outside the picture.
    QString error;
    const std::unique_ptr<qm::PreviewFont> tall =
        qm::loadPreviewFont({QString(), QStringLiteral(QM_TEST_CORPUS_DIR "/line_height_30000.c"), QString()}, &error);
    QVERIFY2(tall, qPrintable(error));
    d = qm::drawPreview(*tall, QStringLiteral("AB\nAB\nAB\nAB\nAB"), false);
    QCOMPARE(d.lineHeight, 30000);
    QCOMPARE(d.lines, 3);
    QCOMPARE(d.opacity.height(), 3 * 4096 + 8);
    const std::unique_ptr<qm::PreviewFont> past =
        qm::loadPreviewFont({QString(), QStringLiteral(QM_TEST_CORPUS_DIR "/bitmap_index_past_end.c"), QString()}, &error);
    QVERIFY2(past, qPrintable(error));
    d = qm::drawPreview(*past, QStringLiteral("AB"), false);
    QCOMPARE(d.notes, QStringList{QStringLiteral("U+0042: the glyph reads past the end of the font's data")});
}

void TestPreview::windowShowsTheResult_data()
{
    QTest::addColumn<int>("typeIndex");
    QTest::addColumn<bool>("toFile");
    QTest::newRow("default options") << 0 << false;
    QTest::newRow("direct to file") << 0 << true;
    QTest::newRow("XBF bin") << 2 << false;
}

// After converting 你好LVGL the preview shows it magnified, and any other sample typed.
void TestPreview::windowShowsTheResult()
{
    QFETCH(int, typeIndex);
    QFETCH(bool, toFile);
    qmtest::WorkingFolder::forgetSettings();
    qmtest::ScriptedWindow w;
    w.saveAnswer = m_dir.filePath(QStringLiteral("direct.c"));
    w.folderAnswer = m_dir.path();
    qmtest::child<QComboBox>(&w, "combo_type")->setCurrentIndex(typeIndex);
    qmtest::child<QCheckBox>(&w, "check_auto_save_file")->setChecked(toFile);
    qmtest::child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("你好LVGL"));
    qmtest::child<QPushButton>(&w, "btn_convert")->click();
    // ASCII and two hanzi make a mostly empty XBF table, which the window notes.
    if (typeIndex == 2 && w.messages.size() == 1 && w.messages.first().startsWith(QStringLiteral("提示|XBF位置表")))
        w.messages.clear();
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));

    qmtest::child<QPushButton>(&w, "btn_preview")->click();
    PreviewDlg *dlg = w.findChild<PreviewDlg *>();
    QVERIFY(dlg && dlg->isVisible());
    QTRY_VERIFY(!dlg->isReading());
    auto *sample = qmtest::child<QPlainTextEdit>(dlg, "pte_sample");
    auto *status = qmtest::child<QLabel>(dlg, "label_status");
    QCOMPARE(sample->toPlainText(), QStringLiteral("你好LVGL"));
    QVERIFY2(!dlg->picture().isNull(), qPrintable(status->text()));
    QVERIFY2(!status->text().contains(QStringLiteral("没有")), qPrintable(status->text()));
    const QSize before = dlg->picture().size();
    QCOMPARE(before.height() % 4, 0);

    sample->setPlainText(QStringLiteral("LV\nGL☃"));
    QVERIFY(dlg->picture().width() < before.width());
    QVERIFY(dlg->picture().height() > before.height());
    QVERIFY2(status->text().contains(QStringLiteral("☃")), qPrintable(status->text()));

    // Other characters converted into the same place (the pane, the same file, the same
    // folder) are what the dialog shows, then and after it is closed and opened again.
    qmtest::child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("温度"));
    qmtest::child<QPushButton>(&w, "btn_convert")->click();
    if (typeIndex == 2 && w.messages.size() == 1 && w.messages.first().startsWith(QStringLiteral("提示|XBF位置表")))
        w.messages.clear();
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));
    for (int reopened = 0; reopened < 2; ++reopened) {
        QTRY_VERIFY(!dlg->isReading());
        sample->setPlainText(QStringLiteral("温度"));
        QVERIFY2(!dlg->picture().isNull() && !status->text().contains(QStringLiteral("没有")),
                 qPrintable(status->text()));
        dlg->close();
        qmtest::child<QPushButton>(&w, "btn_preview")->click();
    }
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"

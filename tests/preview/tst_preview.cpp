#include "glyphtesting.h"
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

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void drawsTheGlyphsTheEngineRendered_data();
    void drawsTheGlyphsTheEngineRendered();
    void readsTheDataWhateverTheLayout();
    void picturesInColourAndMagnified();

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
    QTest::addColumn<bool>("compress");

    QTest::newRow("sorted, LVGL 6, 4 bpp, from the file") << int(GeneratorKind::SortedInternal) << 1 << 4 << true << false;
    QTest::newRow("sorted, LVGL 8, 1 bpp") << int(GeneratorKind::SortedInternal) << 2 << 1 << false << false;
    QTest::newRow("unsorted, LVGL 8, 2 bpp") << int(GeneratorKind::UnsortedInternal) << 2 << 2 << false << false;
    QTest::newRow("LVGL 5.3, 4 bpp") << int(GeneratorKind::Legacy) << 0 << 4 << false << false;
    QTest::newRow("XBF array, 8 bpp") << int(GeneratorKind::XbfArray) << 1 << 8 << false << false;
    QTest::newRow("XBF bin, 1 bpp") << int(GeneratorKind::XbfBin) << 2 << 1 << false << false;
    QTest::newRow("sorted, LVGL 9, 8 bpp") << int(GeneratorKind::SortedInternal) << 3 << 8 << false << false;
    QTest::newRow("unsorted, LVGL 9, 1 bpp, from the file") << int(GeneratorKind::UnsortedInternal) << 3 << 1 << true << false;
    QTest::newRow("XBF array, LVGL 9, 2 bpp") << int(GeneratorKind::XbfArray) << 3 << 2 << false << false;
    QTest::newRow("XBF bin, LVGL 9, 4 bpp") << int(GeneratorKind::XbfBin) << 3 << 4 << false << false;
    // Compressed glyphs draw the same pictures, unpacked from the streams.
    QTest::newRow("compressed sorted, LVGL 8, 4 bpp") << int(GeneratorKind::SortedInternal) << 2 << 4 << false << true;
    QTest::newRow("compressed unsorted, LVGL 6, 8 bpp, from the file") << int(GeneratorKind::UnsortedInternal) << 1 << 8 << true << true;
    QTest::newRow("compressed XBF array, LVGL 9, 2 bpp") << int(GeneratorKind::XbfArray) << 3 << 2 << false << true;
    QTest::newRow("compressed XBF bin, LVGL 8, 1 bpp") << int(GeneratorKind::XbfBin) << 2 << 1 << false << true;
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

    const bool placeholders = qm::placeholdersByDefault(lvVer);
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
    QVERIFY2(w.messages.isEmpty(), qPrintable(w.messages.join('\n')));

    qmtest::child<QPushButton>(&w, "btn_preview")->click();
    PreviewDlg *dlg = w.findChild<PreviewDlg *>();
    QVERIFY(dlg && dlg->isVisible());
    QTRY_VERIFY(!dlg->isReading());
    auto *sample = qmtest::child<QPlainTextEdit>(dlg, "pte_sample");
    auto *status = qmtest::child<QLabel>(dlg, "label_status");
    QCOMPARE(sample->toPlainText(), QStringLiteral("你好LVGL"));
    QVERIFY2(!dlg->picture().isNull(), qPrintable(status->text()));
    QVERIFY2(!status->text().contains(QLatin1String("没有")), qPrintable(status->text()));
    const QSize before = dlg->picture().size();
    QCOMPARE(before.height() % 4, 0);

    sample->setPlainText(QStringLiteral("LV\nGL☃"));
    QVERIFY(dlg->picture().width() < before.width());
    QVERIFY(dlg->picture().height() > before.height());
    QVERIFY2(status->text().contains(QStringLiteral("☃")), qPrintable(status->text()));
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"

#include "output/encoders.h"
#include "testfonts.h"
#include "render/fonts.h"
#include "render/glyphcapture.h"
#include "glyphtesting.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

using qm::GlyphCapturer;

class TestGlyphCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesRenderLabel_data();
    void matchesRenderLabel();
    void placedGlyphsMatchDrawnOnes_data();
    void placedGlyphsMatchDrawnOnes();
    void antialiasingFollowsDepth();
    void tallerBoxKeepsThePlace();
    void measureChoosesFontByIconMembership();
    void croppedBoxArithmetic_data();
    void croppedBoxArithmetic();
    void croppedBoxFromCapturedInk();
    void emptyGlyphs();
};

namespace {

int countGrayPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int r = qRed(image.pixel(x, y));
            if (r != 0 && r != 255)
                ++n;
        }
    }
    return n;
}

int countInkPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) != 0;
    }
    return n;
}

} // namespace

void TestGlyphCapture::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    qm::installFontSubstitutions();
    QVERIFY2(!qmtest::iconFontFamily().isEmpty(), "FontAwesome is not installed");
}

void TestGlyphCapture::matchesRenderLabel_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("bpp");
    for (int bpp : {1, 4}) {
        QTest::addRow("cjk 12pt %dbpp", bpp) << qmtest::cjkFont(12) << bpp;
        QTest::addRow("cjk 9pt %dbpp", bpp) << qmtest::cjkFont(9) << bpp;
        QTest::addRow("latin 15pt %dbpp", bpp) << qmtest::latinFont(15) << bpp;
    }
}

// The off-screen drawing must give the very pixels the window's render label shows.
void TestGlyphCapture::matchesRenderLabel()
{
    QFETCH(QFont, font);
    QFETCH(int, bpp);
    const QString icons = qmtest::sampleIcons();
    const GlyphCapturer capturer(font, QFont(qmtest::iconFontFamily()), icons, bpp);

    QWidget window;
    QLabel label(&window);
    label.setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);\nbackground-color: rgb(0, 0, 0);"));
    window.show();

    // Latin with descenders, punctuation the label might treat specially, CJK, a
    // right-to-left letter, blanks, and icons.
    const QString sample = QStringLiteral("AgjQ@&<é中文字龍，。א ") + QChar('\n') + icons;
    int inked = 0;
    for (const QChar ch : sample) {
        const GlyphCapturer::Glyph glyph = capturer.measure(ch);
        const QImage drawn = capturer.capture(glyph);

        label.setFont(*glyph.font);
        label.resize(glyph.width, glyph.height);
        label.setText(QString(ch));
        const QImage grabbed = label.grab().toImage();

        QCOMPARE(drawn.size(), grabbed.size());
        if (drawn.isNull())
            continue;
        QVERIFY2(drawn.convertToFormat(QImage::Format_RGB32) == grabbed.convertToFormat(QImage::Format_RGB32),
                 qPrintable(QStringLiteral("pixels differ for U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'))));
        inked += countInkPixels(drawn) > 0;
    }
    // Blanks aside, every character drew something, so the comparison was not of empty boxes.
    QCOMPARE(inked, sample.size() - 2);
}

void TestGlyphCapture::placedGlyphsMatchDrawnOnes_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("bpp");
    for (int bpp : {1, 4, 8}) {
        QTest::addRow("cjk 12pt %dbpp", bpp) << qmtest::cjkFont(12) << bpp;
        QTest::addRow("cjk 7pt %dbpp", bpp) << qmtest::cjkFont(7) << bpp;
        QTest::addRow("latin 15pt %dbpp", bpp) << qmtest::latinFont(15) << bpp;
        QTest::addRow("serif 23px %dbpp", bpp) << QFont(QStringLiteral("DejaVu Serif"), 17) << bpp;
        QFont droid = qmtest::pixelFont(QStringLiteral("Droid Sans Fallback"), 16);
        QTest::addRow("droid 16px %dbpp", bpp) << droid << bpp;
    }
}

// A glyph read out of the font engine and placed in the box must give the very width
// and pixels that drawing the character gives, in the line's box and in a taller one,
// ink cut off at the box's edges included.
void TestGlyphCapture::placedGlyphsMatchDrawnOnes()
{
    QFETCH(QFont, font);
    QFETCH(int, bpp);
    const QString icons = qmtest::sampleIcons();
    const QFont iconFont(qmtest::iconFontFamily());
    const GlyphCapturer placing(font, iconFont, icons, bpp);
    const GlyphCapturer drawing(font, iconFont, icons, bpp, false);

    QString sample;
    for (ushort u = 0x20; u < 0x180; ++u)
        sample += QChar(u);
    for (ushort u = 0x4e00; u < 0x4f80; ++u)
        sample += QChar(u);
    sample += QStringLiteral("中文字龍，。、“”（）《》ぁア한국אع\u0301") + QChar(0x2028) + QChar(0xfffc) + icons;
    int placed = 0;
    for (const QChar ch : sample) {
        const GlyphCapturer::Glyph a = placing.measure(ch);
        const GlyphCapturer::Glyph b = drawing.measure(ch);
        QVERIFY(b.coverage.alpha.isNull());
        const QString where = QStringLiteral("U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
        QVERIFY2(a.width == b.width && a.height == b.height && a.icon == b.icon, qPrintable(where));
        placed += !a.coverage.alpha.isNull();
        for (int extra : {0, 3}) {
            const QImage x = placing.capture(a, a.height + extra);
            const QImage y = drawing.capture(b, b.height + extra);
            QVERIFY2(x.isNull() == y.isNull(), qPrintable(where));
            QVERIFY2(x.isNull() || x.convertToFormat(QImage::Format_RGB32) == y.convertToFormat(QImage::Format_RGB32),
                     qPrintable(where));
        }
    }
    // Either the Latin or the CJK part took the short way, so the comparison says
    // something about it.
    QVERIFY2(placed > sample.size() / 3, qPrintable(QString::number(placed)));
}

// At 1 bpp every pixel is pure black or pure white, icons too (a gray icon edge would
// lose all but its white pixels and come out dotted).
void TestGlyphCapture::antialiasingFollowsDepth()
{
    const QChar icon(0xf015);
    const GlyphCapturer oneBit(qmtest::cjkFont(), QFont(qmtest::iconFontFamily()), QString(icon), 1);
    for (const QChar ch : QString(QStringLiteral("Ag中龍") + icon)) {
        const QImage image = oneBit.capture(oneBit.measure(ch));
        QCOMPARE(countGrayPixels(image), 0);
        QVERIFY(countInkPixels(image) > 0);
    }
    QCOMPARE(oneBit.iconFont().styleStrategy(), QFont::NoAntialias);

    const GlyphCapturer fourBit(qmtest::cjkFont(), QFont(qmtest::iconFontFamily()), QString(icon), 4);
    QVERIFY(countGrayPixels(fourBit.capture(fourBit.measure(QChar(0x4e2d)))) > 0);
    QVERIFY(countGrayPixels(fourBit.capture(fourBit.measure(icon))) > 0);
}

// In a taller box (LVGL 5.3 draws every glyph h_px rows high) a text glyph keeps its
// top, and so its base line, and an icon stays in the middle.
void TestGlyphCapture::tallerBoxKeepsThePlace()
{
    const QChar icon(0xf015);
    const GlyphCapturer capturer(qmtest::cjkFont(), QFont(qmtest::iconFontFamily()), QString(icon), 4);
    for (const QChar ch : {QChar(0x4e2d), icon}) {
        const GlyphCapturer::Glyph glyph = capturer.measure(ch);
        const QImage plain = capturer.capture(glyph);
        QCOMPARE(capturer.capture(glyph, glyph.height), plain);
        const QImage padded = capturer.capture(glyph, glyph.height + 5);
        QCOMPARE(padded.size(), QSize(glyph.width, glyph.height + 5));
        const int top = glyph.icon ? 3 : 0;   // 5 / 2 blank rows below an icon, the rest above
        QCOMPARE(padded.copy(0, top, glyph.width, glyph.height), plain);
        QCOMPARE(countInkPixels(padded), countInkPixels(plain));
    }
}

void TestGlyphCapture::measureChoosesFontByIconMembership()
{
    const QFont font = qmtest::cjkFont();
    const QFontMetrics textMetrics(font);
    const QFont iconBase(qmtest::iconFontFamily());

    // 'A' also listed as an icon: membership alone decides, even for a typed letter.
    const GlyphCapturer capturer(font, iconBase, QStringLiteral("A") + QChar(0xf015), 4);
    QCOMPARE(capturer.iconFont().pointSize(), font.pointSize());
    QCOMPARE(capturer.lineHeight(), textMetrics.height());
    const QFontMetrics iconMetrics(capturer.iconFont());

    const GlyphCapturer::Glyph icon = capturer.measure(QChar(0xf015));
    QVERIFY(icon.icon);
    QCOMPARE(icon.font->family(), capturer.iconFont().family());
    QCOMPARE(icon.width, iconMetrics.horizontalAdvance(QString(QChar(0xf015))));
    QCOMPARE(icon.height, iconMetrics.height());

    QVERIFY(capturer.measure(QLatin1Char('A')).icon);

    const GlyphCapturer::Glyph text = capturer.measure(QChar(0x4e2d));
    QVERIFY(!text.icon);
    QCOMPARE(text.width, textMetrics.horizontalAdvance(QString(QChar(0x4e2d))));
    QCOMPARE(text.height, textMetrics.height());

    const GlyphCapturer noIcons(font, iconBase, QString(), 1);
    const GlyphCapturer::Glyph plain = noIcons.measure(QChar(0xf015));
    QVERIFY(!plain.icon);
    QCOMPARE(plain.font, &noIcons.renderFont());
    QCOMPARE(noIcons.renderFont().styleStrategy(), QFont::NoAntialias);
}

void TestGlyphCapture::croppedBoxArithmetic_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<bool>("icon");
    QTest::addColumn<int>("boxH");
    QTest::addColumn<int>("rowsBelow");
    QTest::addColumn<int>("fontHeight");
    QTest::addColumn<int>("rowBytes");
    QTest::addColumn<int>("boxW");
    QTest::addColumn<int>("ofsY");

    QTest::newRow("w7 4bpp") << 7 << 4 << false << 10 << 3 << 16 << 4 << 8 << 3;
    QTest::newRow("w7 1bpp") << 7 << 1 << false << 10 << 3 << 16 << 1 << 8 << 3;
    QTest::newRow("w9 1bpp two bytes") << 9 << 1 << false << 10 << 0 << 16 << 2 << 16 << 0;
    QTest::newRow("w5 2bpp") << 5 << 2 << false << 4 << 1 << 16 << 2 << 8 << 1;
    QTest::newRow("w5 4bpp") << 5 << 4 << false << 4 << 1 << 16 << 3 << 6 << 1;
    QTest::newRow("w5 8bpp") << 5 << 8 << false << 4 << 1 << 16 << 5 << 5 << 1;
    QTest::newRow("icon centred") << 14 << 4 << true << 12 << 5 << 16 << 7 << 14 << 2;
    QTest::newRow("icon odd gap") << 14 << 4 << true << 13 << 5 << 16 << 7 << 14 << 1;
    // Taller than the text line: -1.5 truncates toward zero, not down to -2.
    QTest::newRow("icon taller than line") << 14 << 4 << true << 19 << 0 << 16 << 7 << 14 << -1;
    QTest::newRow("no ink") << 4 << 4 << false << 0 << 0 << 16 << 2 << 4 << 0;
}

void TestGlyphCapture::croppedBoxArithmetic()
{
    QFETCH(int, width);
    QFETCH(int, bpp);
    QFETCH(bool, icon);
    QFETCH(int, boxH);
    QFETCH(int, rowsBelow);
    QFETCH(int, fontHeight);

    GlyphCapturer::Glyph glyph;
    glyph.width = width;
    glyph.height = 20;
    glyph.icon = icon;
    qm::CropInfo crop;
    crop.boxH = boxH;
    crop.rowsBelow = rowsBelow;
    const GlyphCapturer::Box box = GlyphCapturer::croppedBox(glyph, crop, bpp, fontHeight);
    QCOMPARE(box.advW, width);
    QTEST(box.rowBytes, "rowBytes");
    QTEST(box.boxW, "boxW");
    QCOMPARE(box.boxH, boxH);
    QCOMPARE(box.ofsX, 0);
    QTEST(box.ofsY, "ofsY");
    QCOMPARE(box.bitmapSize(), box.rowBytes * boxH);
}

// ofs_y counts the blank rows under the ink: more for a letter sitting on the baseline
// than for one with a descender.
void TestGlyphCapture::croppedBoxFromCapturedInk()
{
    const GlyphCapturer capturer(qmtest::latinFont(), QFont(), QString(), 4);
    auto boxOf = [&](QChar ch) {
        const GlyphCapturer::Glyph glyph = capturer.measure(ch);
        qm::CropInfo crop;
        qm::encodeCroppedGlyphRows(capturer.capture(glyph), 4, 15, &crop.boxH, &crop.rowsBelow);
        return GlyphCapturer::croppedBox(glyph, crop, 4, capturer.lineHeight());
    };
    const GlyphCapturer::Box a = boxOf(QLatin1Char('A'));
    const GlyphCapturer::Box g = boxOf(QLatin1Char('g'));
    QVERIFY(a.boxH > 0 && g.boxH > 0);
    QVERIFY(a.ofsY > g.ofsY);

    const GlyphCapturer::Glyph glyphA = capturer.measure(QLatin1Char('A'));
    int top = 0, bottom = 0;
    QVERIFY(qm::findInkedRows(capturer.capture(glyphA), &top, &bottom));
    QCOMPARE(a.boxH, bottom - top + 1);
    QCOMPARE(a.ofsY, glyphA.height - 1 - bottom);
}

void TestGlyphCapture::emptyGlyphs()
{
    const GlyphCapturer capturer(qmtest::cjkFont(), QFont(), QString(), 1);

    const GlyphCapturer::Glyph space = capturer.measure(QLatin1Char(' '));
    QVERIFY(space.width > 0);
    const QImage blank = capturer.capture(space);
    QCOMPARE(blank.size(), QSize(space.width, capturer.lineHeight()));
    QCOMPARE(countInkPixels(blank), 0);
    qm::CropInfo crop;
    QCOMPARE(qm::encodeCroppedGlyphRows(blank, 1, 1, &crop.boxH, &crop.rowsBelow), QString());
    const GlyphCapturer::Box box = GlyphCapturer::croppedBox(space, crop, 1, capturer.lineHeight());
    QCOMPARE(box.boxH, 0);
    QCOMPARE(box.ofsY, 0);
    QCOMPARE(box.bitmapSize(), 0);

    // Control characters (a line break, a tab, DEL) have no advance: no box at all.
    for (const QChar ch : {QChar('\n'), QChar('\t'), QChar(0x7f)}) {
        const GlyphCapturer::Glyph control = capturer.measure(ch);
        QCOMPARE(control.width, 0);
        QVERIFY(capturer.capture(control).isNull());
        QCOMPARE(qm::encodeGlyphRows(capturer.capture(control, 30), 1, 1), QString());
    }
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestGlyphCapture test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glyphcapture.moc"

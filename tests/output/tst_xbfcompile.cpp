// Both XBF outputs compiled with gcc and asked for every glyph through their lv_font_t:
// the array kind directly, the bin kind through a data-access function that copies the
// generated .bin into the buffer whose size the generated comment suggests. Both tables
// lie one byte past an aligned address, and the alignment sanitizer stops any reader
// that loads a wider field from them in one go.

#include "ccompile.h"
#include "render/fonts.h"
#include "output/generators.h"
#include "testfonts.h"
#include "xbfsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;
using namespace qmtest;

namespace {

const char kMain[] = R"C(
#include <stdio.h>
#include <stdint.h>
#include <stddef.h>
#include "font.inc"

static const uint32_t codes[] = { CODES };

int main(void)
{
    const lv_font_t *font = &myFont;
    size_t i;
    int k;
    for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        lv_font_glyph_dsc_t d;
        bool found = font->get_glyph_dsc(font, &d, codes[i], 0);
        const uint8_t *bitmap = font->get_glyph_bitmap(font, codes[i]);
        printf("g%lx %d", (unsigned long)codes[i], found ? 1 : 0);
        if (found) {
            int size = d.box_w * d.box_h * d.bpp / 8;
            printf(" %d %d %d %d %d %d ", d.adv_w, d.box_w, d.box_h, d.ofs_x, d.ofs_y, d.bpp);
            if (!bitmap)
                printf("null");
            else if (size == 0)
                printf("-");
            for (k = 0; bitmap && k < size; ++k)
                printf("%02x", bitmap[k]);
        } else {
            printf(" %s", bitmap ? "bitmap" : "null");
        }
        printf("\n");
    }
    printf("line_height %d\n", font->line_height);
#ifndef QM_BIN_READER
    printf("array ");
    for (i = 0; i < sizeof glyph_dsc_xbf; ++i)
        printf("%02x", glyph_dsc_xbf[i]);
    printf("\n");
#endif
    return 0;
}
)C";

QString codeKey(uint32_t code)
{
    return QStringLiteral("g") + QString::number(code, 16);
}

} // namespace

class TestXbfCompile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyGlyphThroughTheFont_data();
    void everyGlyphThroughTheFont();
};

void TestXbfCompile::initTestCase()
{
    installFontSubstitutions();
    QVERIFY2(missingTestFonts().isEmpty(), qPrintable(missingTestFonts()));
    QVERIFY(!fontAwesomeFamily().isEmpty());
}

void TestXbfCompile::everyGlyphThroughTheFont_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QFont>("iconFont");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("icons");
    QTest::addColumn<QString>("lvgl");

    QFont yahei(QStringLiteral("微软雅黑"));
    yahei.setPointSize(12);
    const QFont awesome(fontAwesomeFamily());
    // Home, bolt, wifi, battery, user: FontAwesome glyphs of several widths.
    const QString faIcons = QStringLiteral("\uF015\uF0E7\uF1EB\uF240\uF2BD");
    const QString text = QStringLiteral("Ag 中文,'|i");
    QTest::newRow("1 bpp") << 1 << yahei << awesome << text << faIcons << "v8.3";
    QTest::newRow("2 bpp") << 2 << yahei << awesome << text << faIcons << "v6";
    QTest::newRow("4 bpp") << 4 << yahei << awesome << text << faIcons << "v8.3";
    QTest::newRow("8 bpp") << 8 << yahei << awesome << text << faIcons << "v6";

    // Icons taller than the line (negative offsets, bitmaps beyond width x line height).
    QFont mathFace = qmtest::pixelFont(QStringLiteral("DejaVu Math TeX Gyre"), 64);
    const QString tall = QStringLiteral("\u2588|");
    QTest::newRow("tall icons 1 bpp") << 1 << mathFace << QFont(QStringLiteral("DejaVu Sans")) << QStringLiteral("il")
                                      << tall << "v8.0";
    QTest::newRow("tall icons 8 bpp") << 8 << mathFace << QFont(QStringLiteral("DejaVu Sans")) << QStringLiteral("il")
                                      << tall << "v8.0";
}

void TestXbfCompile::everyGlyphThroughTheFont()
{
    QFETCH(int, bpp);
    QFETCH(QFont, font);
    QFETCH(QFont, iconFont);
    QFETCH(QString, text);
    QFETCH(QString, icons);
    QFETCH(QString, lvgl);

    const QString chars = text + icons;
    ConversionRequest request = xbfRequest(chars, bpp, font, iconFont, icons);
    NoProgress progress;
    const ConversionResult array = generateXbfArray(request, progress);
    QVERIFY2(array.ok, qPrintable(array.error));
    QTemporaryDir dir;
    request.outputDir = dir.path();
    const ConversionResult bin = generateXbfBin(request, progress);
    QVERIFY2(bin.ok, qPrintable(bin.error));
    QFile binFile(dir.filePath(QStringLiteral("myFont.bin")));
    QVERIFY(binFile.open(QIODevice::ReadOnly));
    const QByteArray binBytes = binFile.readAll();

    // Every character, and codes that must not be found: outside the range on both
    // sides, gaps inside it, 0 and values past 16 bits.
    QMap<QString, QString> expected;
    QStringList codes;
    ushort lo = 0xFFFF, hi = 0;
    for (const QChar ch : chars) {
        lo = qMin(lo, ch.unicode());
        hi = qMax(hi, ch.unicode());
        const XbfGlyph g = expectedXbfGlyph(request, ch);
        expected.insert(codeKey(ch.unicode()),
                        QStringLiteral("1 %1 %2 %3 0 %4 %5 %6")
                            .arg(g.adv).arg(g.boxW).arg(g.boxH).arg(g.ofsY).arg(bpp)
                            .arg(g.bitmap.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(g.bitmap.toHex())));
    }
    QList<uint32_t> absent{0u, uint32_t(lo - 1), uint32_t(hi + 1), 0xFFFFu, 0x10000u + lo};
    for (uint32_t c = lo + 1; c < hi && absent.size() < 9; c += (hi - lo) / 7 + 1) {
        if (!chars.contains(QChar(ushort(c))))
            absent << c;
    }
    for (uint32_t c : absent)
        expected.insert(codeKey(c), QStringLiteral("0 null"));
    for (const QString &key : expected.keys())
        codes << QStringLiteral("0x") + key.mid(1);
    const QStringList flags{QStringLiteral("-DCODES=") + codes.join(QLatin1Char(',')),
                            QStringLiteral("-fsanitize=alignment"), QStringLiteral("-fno-sanitize-recover=alignment")};

    auto check = [&](const CRun &run, const char *kind) {
        QVERIFY2(run.compiled, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(kind), run.compileLog)));
        QVERIFY2(run.exitCode == 0, qPrintable(QStringLiteral("%1: exit %2\n%3%4")
                                                  .arg(QLatin1String(kind)).arg(run.exitCode)
                                                  .arg(QString::fromUtf8(run.output), run.errors)));
        const QMap<QString, QStringList> out = parseKeyedLines(run.output);
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(out.value(it.key()).join(QLatin1Char(' ')), it.value());
        QCOMPARE(out.value(QStringLiteral("line_height")), QStringList{QString::number(array.fontHeight)});
    };

    auto build = [&](const QByteArray &font, const QStringList &moreFlags) {
        return CBuild{{{QStringLiteral("font.inc"), font}, {QStringLiteral("main.c"), QByteArray(kMain)}},
                      {lvglIncludeDir(lvgl)}, flags + moreFlags};
    };

    const QByteArray misaligned = misalignXbfArray(array.text);
    QVERIFY(!misaligned.isEmpty());
    const QByteArray reader = completeBinReader(bin.text, binBytes);
    QVERIFY(!reader.isEmpty());
    const QList<CRun> runs = compileAndRunAll({build(misaligned, {}), build(reader, {QStringLiteral("-DQM_BIN_READER")})});

    const CRun &arrayRun = runs.at(0);
    check(arrayRun, "array");
    // What the compiler makes of the array is the .bin, byte for byte.
    QCOMPARE(parseKeyedLines(arrayRun.output).value(QStringLiteral("array")).value(0).toLatin1(),
             binBytes.toHex());
    check(runs.at(1), "bin");
}

QTEST_MAIN(TestXbfCompile)
#include "tst_xbfcompile.moc"

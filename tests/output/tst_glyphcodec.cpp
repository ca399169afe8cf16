// The glyph codec: the encoder against the engine's decoder, and the decoder the
// generated file carries compiled and run against both, on intact and damaged streams.

#include "ccompile.h"
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "testfonts.h"
#include "glyphtesting.h"
#include "output/glyphcodec.h"

#include <QRandomGenerator>
#include <QtTest>

Q_DECLARE_METATYPE(qm::GlyphCodecModel::KeyLayout)

using namespace qm;
using namespace qmtest;

namespace {

struct Glyph {
    int w = 0, h = 0;
    std::vector<uint8_t> levels;
    GlyphLevels view() const { return {w, h, levels.data()}; }
};

// Shapes a font set throws at the codec: strokes with antialiased edges, a solid icon,
// one-pixel columns and rows, the widest and tallest box, empty glyphs, and noise that
// uses every level.
std::vector<Glyph> sampleGlyphs(int bpp, quint32 seed)
{
    QRandomGenerator rng(seed);
    const int max = (1 << bpp) - 1;
    std::vector<Glyph> glyphs;
    auto add = [&](int w, int h, auto levelAt) {
        Glyph g{w, h, std::vector<uint8_t>(size_t(w * h))};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                g.levels[size_t(y * w + x)] = uint8_t(levelAt(x, y));
        glyphs.push_back(std::move(g));
    };
    for (int i = 0; i < 12; ++i) {
        const int cx = int(rng.bounded(4, 12)), cy = int(rng.bounded(4, 12));
        add(16, 16, [&](int x, int y) {
            const int d = qMin(qAbs(x - cx), qAbs(y - cy));
            return d == 0 ? max : d == 1 ? max / 3 : 0;
        });
    }
    add(20, 20, [&](int, int) { return max; });
    add(1, 17, [&](int, int y) { return y % 3 ? max : 0; });
    add(40, 1, [&](int x, int) { return x % (max + 1); });
    add(1, 1, [&](int, int) { return max; });
    add(0, 0, [&](int, int) { return 0; });
    add(6, 0, [&](int, int) { return 0; });
    add(64, 9, [&](int x, int y) { return (x * 7 + y * 3) % (max + 1); });
    add(3, 48, [&](int x, int y) { return (x + y) % 2 ? max : 1 % (max + 1); });
    for (int i = 0; i < 6; ++i) {
        const int w = int(rng.bounded(1, 24)), h = int(rng.bounded(1, 24));
        add(w, h, [&](int, int) { return int(rng.bounded(max + 1)); });
    }
    return glyphs;
}

// What the decoder must hand LVGL: rows packed MSB first, or one alpha byte a pixel.
QByteArray expectedOutput(const Glyph &g, int bpp, bool a8)
{
    QByteArray out;
    const int max = (1 << bpp) - 1;
    for (int y = 0; y < g.h; ++y) {
        if (a8) {
            for (int x = 0; x < g.w; ++x)
                out += char(g.levels[size_t(y * g.w + x)] * 255 / max);
            continue;
        }
        QByteArray row((g.w * bpp + 7) / 8, '\0');
        for (int x = 0; x < g.w; ++x)
            row[x * bpp / 8] = char(uchar(row[x * bpp / 8]) | g.levels[size_t(y * g.w + x)] << (8 - bpp - x * bpp % 8));
        out += row;
    }
    return out;
}

QByteArray cBytes(const QByteArray &bytes)
{
    QByteArray text;
    for (char c : bytes)
        text += QByteArray::number(uint(uchar(c))) + ',';
    return text + '0';
}

struct Case {
    int unit;           // which (depth, target) translation unit decodes it
    QByteArray stream;  // exactly the bytes the decoder may read
    int w, h, stride;
    QByteArray expected;
};

// One translation unit per (depth, target), each with its tables and decoder behind an
// extern entry, and a main that copies every case into buffers of exactly its size.
QMap<QString, QByteArray> decoderProgram(const QVector<QPair<GlyphCodecModel, bool>> &units,
                                         const QVector<Case> &cases)
{
    QMap<QString, QByteArray> files;
    QByteArray decls;
    for (int u = 0; u < units.size(); ++u) {
        GlyphDecoderTarget target;
        target.a8 = units[u].second;
        QString text = QStringLiteral("#include <stddef.h>\n#include <stdint.h>\n\n");
        text += glyphDecoderTables(units[u].first);
        text += glyphDecoderFunction(units[u].first, target);
        text += QStringLiteral("void unpack%1(const uint8_t * d, uint32_t n, uint32_t w, uint32_t h, uint8_t * o, uint32_t s);\n"
                               "void unpack%1(const uint8_t * d, uint32_t n, uint32_t w, uint32_t h, uint8_t * o, uint32_t s) {\n"
                               "    __user_font_unpack(d, n, 0, w, h, o, s);\n}\n")
                    .arg(u);
        files.insert(QStringLiteral("unit%1.c").arg(u), text.toUtf8());
        decls += QStringLiteral("void unpack%1(const uint8_t * d, uint32_t n, uint32_t w, uint32_t h, uint8_t * o, uint32_t s);\n")
                     .arg(u)
                     .toUtf8();
    }
    QByteArray main = "#include <stdint.h>\n#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n\n" + decls;
    main += "typedef void (*unpack_fn)(const uint8_t *, uint32_t, uint32_t, uint32_t, uint8_t *, uint32_t);\n";
    main += "static const unpack_fn units[] = {";
    for (int u = 0; u < units.size(); ++u)
        main += "unpack" + QByteArray::number(u) + ',';
    main += "};\n";
    for (int i = 0; i < cases.size(); ++i)
        main += "static const uint8_t s" + QByteArray::number(i) + "[] = {" + cBytes(cases[i].stream) + "};\n";
    main += "static const struct { int unit; const uint8_t * s; uint32_t n, w, h, stride; } cases[] = {\n";
    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        main += QStringLiteral("    {%1, s%2, %3, %4, %5, %6},\n")
                    .arg(c.unit)
                    .arg(i)
                    .arg(c.stream.size())
                    .arg(c.w)
                    .arg(c.h)
                    .arg(c.stride)
                    .toUtf8();
    }
    main += "};\n";
    main += R"(
int main(void) {
    size_t i, k;
    for( i = 0; i < sizeof cases / sizeof cases[0]; i++ ) {
        size_t out_size = (size_t)cases[i].stride * cases[i].h;
        uint8_t * data = (uint8_t *)malloc(cases[i].n ? cases[i].n : 1);
        uint8_t * out = (uint8_t *)malloc(out_size ? out_size : 1);
        memcpy(data, cases[i].s, cases[i].n);
        units[cases[i].unit](data, (uint32_t)cases[i].n, cases[i].w, cases[i].h, out, cases[i].stride);
        printf("case%u ", (unsigned)i);
        for( k = 0; k < out_size; k++ ) printf("%02x", out[k]);
        printf("\n");
        free(data);
        free(out);
    }
    return 0;
}
)";
    files.insert(QStringLiteral("main.c"), main);
    return files;
}

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex();
}

} // namespace

class TestGlyphCodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTripInTheEngine_data();
    void roundTripInTheEngine();
    void generatedDecoderMatchesTheEngine();
    void generatedDecoderCompilesCleanEverywhere_data();
    void generatedDecoderCompilesCleanEverywhere();
    void compressedTextKeepsEachGlyphsPicture();
};

void TestGlyphCodec::initTestCase()
{
    // The conversions below draw with the fonts a user's window would.
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    qm::installFontSubstitutions();
}

void TestGlyphCodec::roundTripInTheEngine_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<GlyphCodecModel::KeyLayout>("layout");
    for (int bpp : {1, 2, 4, 8}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 bpp full keys").arg(bpp))) << bpp << GlyphCodecModel::KeyLayout::Full;
        QTest::newRow(qPrintable(QStringLiteral("%1 bpp short keys").arg(bpp))) << bpp << GlyphCodecModel::KeyLayout::Short;
    }
}

void TestGlyphCodec::roundTripInTheEngine()
{
    QFETCH(int, bpp);
    QFETCH(GlyphCodecModel::KeyLayout, layout);
    const std::vector<Glyph> glyphs = sampleGlyphs(bpp, quint32(bpp));
    std::vector<GlyphLevels> views;
    for (const Glyph &g : glyphs)
        views.push_back(g.view());
    const GlyphCodecModel model = GlyphCodecModel::train(bpp, views, layout);
    const int keyBits = layout == GlyphCodecModel::KeyLayout::Short ? 8 : bpp == 4 || bpp == 8 ? 14 : 12;
    QCOMPARE(model.plane(0).groupOfKey.size(), size_t(1) << keyBits);

    // All streams in one blob, as a font holds them: each glyph decodes from its offset,
    // told either exactly where its stream ends (the next glyph's offset) or only that
    // the data goes on past it.
    QByteArray blob, openBlob;
    std::vector<int> offsets, openOffsets;
    for (const Glyph &g : glyphs) {
        offsets.push_back(blob.size());
        openOffsets.push_back(openBlob.size());
        const QByteArray stream = encodeGlyph(model, g.view(), StreamEnd::Known);
        QCOMPARE(stream.isEmpty(), g.w * g.h == 0);
        blob += stream;
        openBlob += encodeGlyph(model, g.view(), StreamEnd::Open);
    }
    offsets.push_back(blob.size());
    for (size_t i = glyphs.size(); i-- > 0;) {
        const Glyph &g = glyphs[i];
        std::vector<uint8_t> decoded(g.levels.size(), 0xEE), fromOpen(g.levels.size(), 0xEE);
        QVERIFY(decodeGlyph(model, reinterpret_cast<const uint8_t *>(blob.constData()), size_t(offsets[i + 1]),
                            size_t(offsets[i]), g.w, g.h, decoded.data()));
        QVERIFY(decodeGlyph(model, reinterpret_cast<const uint8_t *>(openBlob.constData()), size_t(openBlob.size()),
                            size_t(openOffsets[i]), g.w, g.h, fromOpen.data()));
        QVERIFY2(decoded == g.levels, qPrintable(QStringLiteral("glyph %1 (%2x%3)").arg(i).arg(g.w).arg(g.h)));
        QVERIFY2(fromOpen == g.levels, qPrintable(QStringLiteral("open glyph %1 (%2x%3)").arg(i).arg(g.w).arg(g.h)));
    }
    // The known end is worth its keep: about a byte a glyph.
    QVERIFY2(blob.size() < openBlob.size(), qPrintable(QStringLiteral("%1 >= %2").arg(blob.size()).arg(openBlob.size())));

    // A strongly patterned set must come out well below its plain size.
    qint64 plainBytes = 0;
    for (const Glyph &g : glyphs)
        plainBytes += qint64((g.w * bpp + 7) / 8) * g.h;
    QVERIFY2(blob.size() < plainBytes, qPrintable(QStringLiteral("%1 >= %2").arg(blob.size()).arg(plainBytes)));

    // An offset past the data is refused rather than read.
    std::vector<uint8_t> out(16 * 16);
    QVERIFY(!decodeGlyph(model, reinterpret_cast<const uint8_t *>(blob.constData()), size_t(blob.size()),
                         size_t(blob.size()) + 1, 16, 16, out.data()));
}

void TestGlyphCodec::generatedDecoderMatchesTheEngine()
{
    // Every depth and both targets in one program under the sanitizers: intact streams
    // must give the plain glyph, and truncated or damaged ones exactly what the engine's
    // decoder makes of them, without a read outside the stream's own buffer.
    QVector<QPair<GlyphCodecModel, bool>> units;
    QVector<Case> cases;
    for (int bpp : {1, 2, 4, 8}) {
        const std::vector<Glyph> glyphs = sampleGlyphs(bpp, quint32(100 + bpp));
        std::vector<GlyphLevels> views;
        for (const Glyph &g : glyphs)
            views.push_back(g.view());
        // Packed rows with the full keys, the A8 buffer with the short ones: each
        // layout and each target once.
        for (bool a8 : {false, true}) {
            const GlyphCodecModel model = GlyphCodecModel::train(
                bpp, views, a8 ? GlyphCodecModel::KeyLayout::Short : GlyphCodecModel::KeyLayout::Full);
            const int unit = units.size();
            units.append({model, a8});
            QRandomGenerator rng(quint32(bpp * 2 + a8));
            for (const Glyph &g : glyphs) {
                const QByteArray stream = encodeGlyph(model, g.view(), StreamEnd::Known);
                const int stride = a8 ? g.w : (g.w * bpp + 7) / 8;
                cases.append({unit, stream, g.w, g.h, stride, expectedOutput(g, bpp, a8)});
                if (stream.isEmpty())
                    continue;
                QVector<QByteArray> damaged{stream.left(stream.size() / 2), stream.left(1), QByteArray()};
                QByteArray flipped = stream;
                const int at = int(rng.bounded(flipped.size()));
                flipped[at] = char(uchar(flipped[at]) ^ (1u << rng.bounded(8)));
                damaged << flipped << QByteArray(stream.size(), '\xff') << QByteArray(stream.size(), '\0');
                for (const QByteArray &bad : damaged) {
                    Glyph decoded{g.w, g.h, std::vector<uint8_t>(g.levels.size())};
                    QVERIFY(decodeGlyph(model, reinterpret_cast<const uint8_t *>(bad.constData()), size_t(bad.size()), 0,
                                        g.w, g.h, decoded.levels.data()));
                    cases.append({unit, bad, g.w, g.h, stride, expectedOutput(decoded, bpp, a8)});
                }
            }
        }
    }
    const CRun run = compileAndRun(decoderProgram(units, cases), {},
                                   {QStringLiteral("-Wextra"), QStringLiteral("-Werror"),
                                    QStringLiteral("-fsanitize=address,undefined"),
                                    QStringLiteral("-fno-sanitize-recover=all")});
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors.left(2000)));
    const QMap<QString, QStringList> printed = parseKeyedLines(run.output);
    for (int i = 0; i < cases.size(); ++i) {
        const QStringList got = printed.value(QStringLiteral("case%1").arg(i));
        const QByteArray want = hex(cases[i].expected);
        QVERIFY2((got.isEmpty() ? QByteArray() : got.first().toLatin1()) == want,
                 qPrintable(QStringLiteral("case %1 (unit %2, %3x%4)").arg(i).arg(cases[i].unit).arg(cases[i].w).arg(cases[i].h)));
    }
}

void TestGlyphCodec::generatedDecoderCompilesCleanEverywhere_data()
{
    QTest::addColumn<QString>("standard");
    for (const char *standard : {"c11", "c2x", "c++17"})
        QTest::newRow(standard) << QString::fromLatin1(standard);
}

void TestGlyphCodec::generatedDecoderCompilesCleanEverywhere()
{
    QFETCH(QString, standard);
    QVector<QPair<GlyphCodecModel, bool>> units;
    QVector<Case> cases;
    for (int bpp : {1, 2, 4, 8}) {
        const std::vector<Glyph> glyphs = sampleGlyphs(bpp, 7);
        std::vector<GlyphLevels> views;
        for (const Glyph &g : glyphs)
            views.push_back(g.view());
        const GlyphCodecModel model = GlyphCodecModel::train(bpp, views);
        for (bool a8 : {false, true}) {
            cases.append({units.size(), encodeGlyph(model, glyphs.front().view(), StreamEnd::Known), glyphs.front().w, glyphs.front().h,
                          a8 ? glyphs.front().w : (glyphs.front().w * bpp + 7) / 8, QByteArray()});
            units.append({model, a8});
        }
    }
    const CRun run = compileAndRun(decoderProgram(units, cases), {},
                                   {QStringLiteral("-Wextra"), QStringLiteral("-Werror"), QStringLiteral("-fsyntax-only")},
                                   {}, standard);
    QVERIFY2(run.compiled, qPrintable(run.compileLog));
}

// The file stays readable: every glyph's picture stands in the compressed text as in the
// plain one, character for character and in the same order.
void TestGlyphCodec::compressedTextKeepsEachGlyphsPicture()
{
    // The comment lines, and the comments after a plain font's rows, in order.
    const auto pictures = [](const QString &text) {
        static const QRegularExpression row(QStringLiteral("^(?:0x[0-9a-f]{2},)+  //(.*)$"));
        QStringList lines;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = row.match(line);
            if (m.hasMatch())
                lines << m.captured(1);
            else if (line.startsWith(QLatin1String("//")))
                lines << line.mid(2);
        }
        return lines;
    };
    for (const GeneratorKind kind : {GeneratorKind::SortedInternal, GeneratorKind::UnsortedInternal}) {
        ConversionRequest r = qmtest::makeRequest(QStringLiteral("Hg中 "), 4, qmtest::cjkFont());
        NoProgress progress;
        const ConversionResult plain = runConversion(kind, r, progress);
        r.compress = true;
        const ConversionResult compressed = runConversion(kind, r, progress);
        QVERIFY(plain.ok && compressed.ok);
        const QStringList expected = pictures(plain.text);
        QVERIFY(expected.size() > 40);
        QCOMPARE(pictures(compressed.text), expected);
        // The blocks keep the plain layout: each glyph's header and the empty lines
        // between blocks, the space's empty block included.
        const auto layout = [](const QString &text) {
            const int from = text.indexOf(QLatin1String("glyph_bitmap[] = {"));
            QStringList lines;
            for (const QString &line : text.mid(from, text.indexOf(QLatin1String("};"), from) - from).split(QLatin1Char('\n')))
                if (line.isEmpty() || line.startsWith(QLatin1String("/* ")))
                    lines << line;
            return lines;
        };
        QCOMPARE(layout(compressed.text), layout(plain.text));
        // Four glyphs pay far more for the tables than they save, and are told so.
        QVERIFY(plain.warnings.filter(QStringLiteral("better left uncompressed")).isEmpty());
        QCOMPARE(compressed.warnings.filter(QStringLiteral("better left uncompressed")).size(), 1);
    }
    // Sets that pay for their tables come out smaller without a word: the 95 printable
    // ASCII characters at 4 bpp, on short keys, and a thousand hanzi at 1 bpp.
    QString ascii, hanzi;
    for (ushort u = 0x20; u < 0x7F; ++u)
        ascii += QChar(u);
    for (ushort u = 0x4E00; u < 0x4E00 + 1000; ++u)
        hanzi += QChar(u);
    for (const auto &set : {qMakePair(ascii, 4), qMakePair(hanzi, 1)}) {
        ConversionRequest r = qmtest::makeRequest(set.first, set.second, qmtest::cjkFont());
        r.compress = true;
        NoProgress progress;
        const ConversionResult result = runConversion(GeneratorKind::SortedInternal, r, progress);
        QVERIFY(result.ok);
        QVERIFY2(result.warnings.filter(QStringLiteral("better left uncompressed")).isEmpty(),
                 qPrintable(result.warnings.join(QLatin1Char('\n'))));
        if (set.first == ascii)
            QVERIFY(result.text.contains(QLatin1String("glyph_model_group0[256]")));
    }
}

QTEST_MAIN(TestGlyphCodec)
#include "tst_glyphcodec.moc"

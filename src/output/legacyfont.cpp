#include "output/generators.h"
#include "output/fmttxtfont.h"
#include "output/lvgltext.h"

#include "output/encoders.h"
#include "output/capturepipeline.h"
#include "output/linebuffer.h"

#include <algorithm>
#include <vector>

namespace qm {

namespace {

// LVGL 5.3 packs a glyph descriptor into one 32-bit word (w_px 8 bits, glyph_index
// 24 bits) and keeps h_px in 8 bits. The compiler would cut a larger value without a
// word and the font would draw other glyphs' bytes, so the file refuses to build.
struct LegacyLimits {
    static constexpr qint64 kMaxWidth = 255;
    static constexpr qint64 kMaxGlyphIndex = (1 << 24) - 1;
    static constexpr qint64 kMaxHeight = 255;

    qint64 maxWidth = 0;
    qint64 maxGlyphIndex = 0;
    qint64 maxHeight = 0;

    QStringList findings() const
    {
        QStringList out;
        if (maxWidth > kMaxWidth)
            out << QStringLiteral("w_px reaches %1, more than its 8 bits hold (%2)").arg(maxWidth).arg(kMaxWidth);
        if (maxGlyphIndex > kMaxGlyphIndex)
            out << QStringLiteral("glyph_index reaches %1, more than its 24 bits hold (%2)")
                       .arg(maxGlyphIndex)
                       .arg(kMaxGlyphIndex);
        if (maxHeight > kMaxHeight)
            out << QStringLiteral("h_px reaches %1, more than its 8 bits hold (%2)").arg(maxHeight).arg(kMaxHeight);
        return out;
    }
};

QString errorSafe(const QString &name)
{
    QString s = name;
    s.remove(QLatin1Char('"'));
    s.remove(QLatin1Char('\\'));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

} // namespace

ConversionResult generateLegacyFont(const PreparedConversion &prepared, ConversionProgress &progress)
{
    const ConversionRequest &request = prepared.request;
    ConversionResult result;
    const QString &chars = request.chars;
    const int bpp = request.bpp;
    const int count = chars.size();

    // A glyph's bitmap block stands alone, so it is made by whichever thread captured the
    // glyph.
    CapturePipeline pipeline(prepared, CapturePipeline::Encoding::FullText,
                             [](CapturedGlyph &g, const GlyphCapturer &) {
                                 g.block += QLatin1String("/* ") + g.glyph.ch + QLatin1String(" */\n");
                                 g.block += g.rows;
                                 g.block += QLatin1String("\n\n");
                             });
    const GlyphCapturer &capturer = pipeline.capturer();
    // LVGL 5.3 draws every glyph h_px rows high, so every bitmap has that many rows, the
    // height of the tallest line (the text's, or the icons' where those are taller).
    const int rows = prepared.tallestLine;

    // The bitmaps become the file's buffer. Sized from a glyph as wide as the line is
    // high, and the descriptor and code-list lines (about 75 characters a glyph), so that
    // big sets do not spend their time regrowing and copying it. Those lines are written
    // after the bitmaps, from the numbers kept meanwhile.
    LineBuffer bitmaps;
    const qint64 rowChars = rowBytesFor(rows, bpp) * 5 + rows + 5;
    bitmaps.reserve(int(qMin<qint64>(qint64(count) * (rows * rowChars + 16 + 75), 1 << 25)));
    bitmaps.append(QLatin1String("static const uint8_t glyph_bitmap[] = "));
    bitmaps.append(QLatin1String("{"));
    struct Entry {
        int width;
        qint64 glyphIndex;
        QChar ch;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(count));

    qint64 glyphIndex = 0;
    uint firstCode = 65536;
    uint lastCode = 0;
    LegacyLimits limits;
    int written = 0;

    progress.begin(count);
    for (int i = 0; i < count; ++i) {
        CapturedGlyph &captured = pipeline.next(i);
        const GlyphCapturer::Glyph &glyph = captured.glyph;
        const QChar ch = glyph.ch;
        const int w = glyph.width;
        const int h = glyph.height;
        if (!progress.step(i, ch, *glyph.font, w, h)) {
            result.cancelled = true;
            break;
        }
        pipeline.finish(captured);
        const uint code = ch.unicode();
        firstCode = std::min(firstCode, code);
        lastCode = std::max(lastCode, code);

        entries.push_back({w, glyphIndex, ch});
        bitmaps.append(captured.block);

        limits.maxWidth = std::max<qint64>(limits.maxWidth, w);
        limits.maxGlyphIndex = std::max(limits.maxGlyphIndex, glyphIndex);
        glyphIndex += qint64(rows) * rowBytesFor(w, bpp);
        ++written;
    }
    progress.end();
    const int fontHeight = written > 0 ? rows : 0;
    limits.maxHeight = fontHeight;
    result.written = written;
    result.fontHeight = fontHeight;

    bitmaps.append(QLatin1String("};"));

    LineBuffer opening;
    opening.append(buildFileHeader());
    opening.append(QLatin1String("#include \"./lv_misc/lv_font.h\""));
    const QStringList findings = limits.findings();
    const QString name = errorSafe(request.fontName);
    for (const QString &f : findings) {
        opening.append(QStringLiteral("#error \"%1: %2 in lv_font_glyph_dsc_t/lv_font_t of LVGL 5.3; "
                                      "convert fewer or smaller characters\"")
                           .arg(name, f));
        result.warnings << QStringLiteral("%1: %2; the LVGL 5.3 font format cannot hold it, and the "
                                          "generated file stops the build with #error.")
                               .arg(request.fontName, f);
    }
    opening.appendEmptyLines(2);

    LineBuffer out = std::move(bitmaps);
    out.reserve(out.content().size() + opening.content().size() + int(entries.size()) * 75 + 4096);
    out.prepend(opening.content());
    out.appendEmptyLines(2);
    out.append(QLatin1String("static const lv_font_glyph_dsc_t glyph_dsc[] = "));
    out.append(QLatin1String("{"));
    for (const Entry &e : entries) {
        QString &line = out.newLine();
        line += QLatin1String("    {.w_px = ");
        line += QString::number(e.width);
        line += QLatin1String(",\t.glyph_index = ");
        line += QString::number(e.glyphIndex);
        line += QLatin1String("},/*(");
        line += e.ch;
        line += QLatin1String(")*/");
    }
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
    out.append(QLatin1String("static const uint32_t unicode_list[] = "));
    out.append(QLatin1String("{"));
    for (const Entry &e : entries)
        appendCodeListLine(out, e.ch.unicode(), quotedChar(e.ch));
    out.append(QLatin1String("    0x0000,    /*End indicator*/"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    out.append(fontCommentLine(capturer.metricsFont()));
    out.append(QStringLiteral("//字模高度：") + QString::number(fontHeight));
    appendFontObjectOpening(out, request.fontName);
    out.append(QLatin1String("    .unicode_first = ") + QString::number(firstCode)
               + QLatin1String(",\t/*First Unicode letter in this font*/"));
    out.append(QLatin1String("    .unicode_last = ") + QString::number(lastCode)
               + QLatin1String(",\t/*Last Unicode letter in this font*/"));
    out.append(QLatin1String("    .glyph_bitmap = glyph_bitmap,\t/*Bitmap of glyphs*/"));
    out.append(QLatin1String("    .glyph_dsc = glyph_dsc,\t\t/*Description of glyphs*/"));
    out.append(QLatin1String("    .unicode_list = unicode_list,\t/*List of unicode characters*/"));
    out.append(QLatin1String("    .get_bitmap = lv_font_get_bitmap_sparse,\t/*Function pointer to get glyph's bitmap*/"));
    out.append(QLatin1String("    .get_width = lv_font_get_width_sparse,\t/*Function pointer to get glyph's width*/"));
    out.append(QLatin1String("    .next_page = NULL,\t\t/*Pointer to a font extension*/"));
    out.append(QLatin1String("    .h_px = ") + QString::number(fontHeight)
               + QLatin1String(",\t\t\t\t/*Font height in pixels*/"));
    out.append(QLatin1String("    .bpp = ") + request.bppText + QLatin1String(",\t\t\t\t/*Bit per pixel*/"));
    out.append(QLatin1String("};"));
    out.append(QString());
    out.append(QLatin1String("//end of file"));

    result.text = out.takeContent();
    return result;
}

} // namespace qm

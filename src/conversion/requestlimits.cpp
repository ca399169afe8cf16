#include "conversion/requestlimits.h"

#include "charset/charset.h"
#include "output/encoders.h"
#include "render/fonts.h"
#include "render/glyphcapture.h"
#include "output/xbftable.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>
#include <QtEndian>

#include <cmath>

#include <vector>

namespace qm {

namespace {

QString tooManyGlyphs(int count, const QString &why)
{
    return QStringLiteral("字符太多：%1个，此输出类型一个字体最多%2个。请清除重复字符（自动清除重复，命令行用--dedupe），"
                          "或把字符分成几个字体。\n"
                          "Too many characters for this output kind: %1, at most %2 in one font (%3). "
                          "Remove repeated characters (--dedupe) or split the set into several fonts.")
        .arg(count)
        .arg(kMaxListedGlyphs)
        .arg(why);
}

// The metrics a conversion draws with: the font sized at the conversion's 96 dpi.
QString badMetrics(const QFont &sized)
{
    const QFontMetrics metrics(sized);
    if (metrics.height() > 0 && metrics.ascent() > 0)
        return QString();
    const QString name = QFontInfo(sized).family();
    return QStringLiteral("字体“%1”在此字号下的纵向度量无效（上%2、下%3像素），转换出的字模高度会是%4。"
                          "请换一个字体或字号。\n"
                          "The font \"%1\" has zero or inverted vertical metrics at this size (ascent %2, "
                          "descent %3 px), which would give a line height of %4. Choose another font or size.")
        .arg(name)
        .arg(metrics.ascent())
        .arg(metrics.descent())
        .arg(metrics.height());
}

// Where the last glyph of an LVGL 5.3 font would start: every glyph takes the tallest
// line's rows times its padded row, measured as the generator will draw it. Measuring a
// character loads its glyph, which costs about as much as drawing it, so with `exact`
// false a character of the font's own face counts as twice the widest advance the face
// declares (and two pixels more): far more than any of its glyphs, and still enough to
// settle most sets, which lie far within the limit. Only the others are measured.
qint64 lastLegacyGlyphIndex(const PreparedConversion &prepared, bool exact)
{
    const ConversionRequest &request = prepared.request;
    const GlyphCapturer capturer(prepared.fonts);
    const qint64 rows = qMax(0, prepared.tallestLine);
    const FontFaces faces(prepared.fonts.text);
    const int bound = 2 * QFontMetrics(prepared.fonts.text).maxWidth() + 2;
    std::vector<int> rowBytesOf(0x10000, -1);   // measured once per code unit
    qint64 index = 0;
    qint64 last = 0;
    for (const QChar ch : request.chars) {
        int &rowBytes = rowBytesOf[ch.unicode()];
        if (rowBytes < 0) {
            int width = -1;
            if (!exact && !isControlCharacter(ch) && !prepared.fonts.isIcon(ch)) {
                const FontFaces::Face face = faces.find(ch);
                if (face.raw && face.primary && !face.laidOut && face.glyph != 0)
                    width = bound;
            }
            if (width < 0)
                width = capturer.measure(ch).width;
            rowBytes = rowBytesFor(qMax(0, width), request.bpp);
        }
        last = index;
        index += rows * rowBytes;
    }
    return last;
}

// The widest and tallest glyph box a kind can really hold. The XBF record keeps box_w
// in a byte, and LVGL 5.3 its w_px and h_px: a file past them could never build. The
// lv_font_fmt_txt layouts keep boxes in 16 bits once LV_FONT_FMT_TXT_LARGE is on, but
// the same layout keeps ofs_x and ofs_y in signed 16 bits, which a box past 32767 px
// can overrun without a word from the compiler; and the glyph engine's rasteriser
// gives up on outlines that reach that far, where the toolkit then crashes.
int maxGlyphSide(GeneratorKind kind)
{
    switch (kind) {
    case GeneratorKind::XbfArray:
    case GeneratorKind::XbfBin:
    case GeneratorKind::Legacy:
        return 255;
    case GeneratorKind::SortedInternal:
    case GeneratorKind::UnsortedInternal:
        break;
    }
    return 0x7FFF;
}

// The widest advance of `sized`'s own face, as its metrics table holds them: the
// maximum its header declares is only as true as the font, and a damaged one that says
// 16 units would let glyphs tens of thousands of pixels wide pass unmeasured.
int widestAdvance(const QFont &sized)
{
    int widest = QFontMetrics(sized).maxWidth();
    const QRawFont raw = QRawFont::fromFont(sized);
    const QByteArray head = raw.fontTable("head");
    const QByteArray hhea = raw.fontTable("hhea");
    const QByteArray hmtx = raw.fontTable("hmtx");
    if (head.size() < 54 || hhea.size() < 36)
        return widest;
    const int unitsPerEm = qFromBigEndian<quint16>(head.constData() + 18);
    const int metrics = qMin<int>(qFromBigEndian<quint16>(hhea.constData() + 34), hmtx.size() / 4);
    int units = 0;
    for (int i = 0; i < metrics; ++i)
        units = qMax<int>(units, qFromBigEndian<quint16>(hmtx.constData() + 4 * i));
    if (unitsPerEm > 0)
        widest = qMax(widest, int(std::ceil(units * raw.pixelSize() / unitsPerEm)));
    return widest;
}

// A line this many times the size asked for is no font's design: a font whose units
// per em are damaged draws its glyphs a hundred times too large, and at 12 pt such a
// font once made a file of 451 MB that no build could use.
constexpr int kMaxLinePerSize = 8;

QString disproportionateLine(const PreparedConversion &prepared)
{
    const int line = qMax(prepared.lineHeight, prepared.tallestLine);
    const int asked = qRound(conversionPixelSize(prepared.request.font));
    if (asked <= 0 || line <= 255 || line <= kMaxLinePerSize * asked)
        return QString();
    return QStringLiteral("字体的行高为%1像素，是所选大小（%2像素）的%3倍以上，字体文件可能已损坏（例如每em单位数）。请换一个字体。\n"
                          "The font's line would be %1 px, more than %3 times the %2 px asked for: the font file "
                          "may be damaged (its units per em, for one). Choose another font.")
        .arg(line)
        .arg(asked)
        .arg(kMaxLinePerSize);
}

QString glyphTooLarge(const QString &chinese, const QString &english, int size, int limit)
{
    return QStringLiteral("%1的字模为%2像素，超出此输出类型的上限（%3像素）。请减小字号或换一个字体。\n"
                          "The glyph box of %4 would be %2 px, more than this output kind holds (%3 px). "
                          "Choose a smaller size or another font.")
        .arg(chinese)
        .arg(size)
        .arg(limit)
        .arg(english);
}

// A glyph box past what the kind holds, found from the fonts' metrics before anything
// is drawn: a font whose units per em are tiny draws every glyph hundreds of times too
// large, and the text of such a font runs to hundreds of megabytes. Boxes are as wide
// as the advance padded to whole bytes and as tall as the line. The widest advance
// the faces declare settles nearly every request; only past it is each character
// measured.
QString glyphBoxRefusal(GeneratorKind kind, const PreparedConversion &prepared)
{
    const ConversionRequest &request = prepared.request;
    const int limit = maxGlyphSide(kind);
    const bool xbf = kind == GeneratorKind::XbfArray || kind == GeneratorKind::XbfBin;
    // The XBF kinds check their line against its byte with a message of their own.
    // Icons taller than the text draw in their own line (and LVGL 5.3's h_px is the
    // tallest line).
    const int line = qMax(prepared.lineHeight, prepared.tallestLine);
    if (!xbf && line > limit)
        return glyphTooLarge(QStringLiteral("字体的行"), QStringLiteral("the font's line"), line, limit);
    int widest = widestAdvance(prepared.fonts.text);
    if (!request.iconText.isEmpty())
        widest = qMax(widest, widestAdvance(prepared.fonts.icon));
    // LVGL 5.3's w_px is the drawn width; the other kinds pad their boxes to whole bytes.
    const bool pads = kind != GeneratorKind::Legacy;
    const auto padded = [&request, pads](int width) {
        width = qMax(0, width);
        return pads ? rowBytesFor(width, request.bpp) * 8 / request.bpp : width;
    };
    if (padded(2 * widest + 2) <= limit)
        return QString();

    const GlyphCapturer capturer(prepared.fonts);
    std::vector<bool> measured(0x10000, false);
    for (const QChar ch : request.chars) {
        if (measured[ch.unicode()])
            continue;
        measured[ch.unicode()] = true;
        const int width = padded(capturer.measure(ch).width);
        if (width > limit) {
            // Named as the XBF generators name a glyph they refuse.
            const QString code = QStringLiteral("0x%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
            const QString name =
                ch.isPrint() && !ch.isSpace() ? QStringLiteral("“%1”(%2)").arg(QString(ch), code) : code;
            return glyphTooLarge(QStringLiteral("字符") + name, QStringLiteral("character ") + name, width, limit);
        }
    }
    return QString();
}

} // namespace

QString requestRefusal(GeneratorKind kind, const PreparedConversion &prepared)
{
    const ConversionRequest &request = prepared.request;
    switch (kind) {
    case GeneratorKind::SortedInternal:
    case GeneratorKind::UnsortedInternal:
        if (request.chars.size() > kMaxListedGlyphs)
            return tooManyGlyphs(request.chars.size(), QStringLiteral("LVGL counts the glyph list in 16 bits"));
        break;
    case GeneratorKind::XbfArray:
    case GeneratorKind::XbfBin:
        if (request.chars.size() > kMaxListedGlyphs)
            return tooManyGlyphs(request.chars.size(), QStringLiteral("the XBF table holds one glyph per 16-bit code"));
        break;
    case GeneratorKind::Legacy:
        if (request.compress)
            return QStringLiteral("LVGL 5.3及以下版本的字体不能压缩字形（其位图由LVGL直接读取）/"
                                  "LVGL 5.3 fonts cannot hold compressed glyphs: LVGL reads their bitmaps itself.");
        break;
    }

    QString metrics = badMetrics(prepared.fonts.text);
    if (metrics.isEmpty() && !request.iconText.isEmpty())
        metrics = badMetrics(prepared.fonts.icon);
    if (!metrics.isEmpty())
        return metrics;
    const QString disproportionate = disproportionateLine(prepared);
    if (!disproportionate.isEmpty())
        return disproportionate;
    const QString box = glyphBoxRefusal(kind, prepared);
    if (!box.isEmpty())
        return box;

    if (kind == GeneratorKind::XbfArray || kind == GeneratorKind::XbfBin) {
        const QString tooTall = xbfLineHeightError(prepared.lineHeight);
        if (!tooTall.isEmpty())
            return tooTall;
    }

    if (kind == GeneratorKind::Legacy) {
        qint64 last = lastLegacyGlyphIndex(prepared, false);
        if (last > kMaxLegacyGlyphIndex)
            last = lastLegacyGlyphIndex(prepared, true);
        if (last > kMaxLegacyGlyphIndex) {
            return QStringLiteral("字模数据太大：最后一个字符的位置为%1字节，LVGL 5.3的glyph_index最多%2。"
                                  "请清除重复字符、减少字符或减小字号，或把字符分成几个字体。\n"
                                  "The glyph bitmaps are too large for LVGL 5.3: the last glyph would start "
                                  "at byte %1, past what its 24-bit glyph_index holds (%2). Remove repeated "
                                  "characters, convert fewer characters or a smaller size, or split the set "
                                  "into several fonts.")
                .arg(last)
                .arg(kMaxLegacyGlyphIndex);
        }
    }
    return QString();
}

QString outOfMemoryMessage()
{
    return QStringLiteral("内存不足，生成的代码放不下：请减少字符或减小字号，或把字符分成几个字体。\n"
                          "Not enough memory for the generated code: convert fewer characters or a "
                          "smaller size, or split the set into several fonts.");
}

} // namespace qm

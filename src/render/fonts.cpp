#include "render/fonts.h"

#include "charset/charset.h"

#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainterPath>
#include <QTextLayout>

#include <QtEndian>

#include <bitset>
#include <map>
#include <cmath>
#include <memory>

namespace qm {

QString defaultFontFamily()
{
    return QStringLiteral("微软雅黑");
}

QStringList cjkFallbackFamilies()
{
    return {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Droid Sans Fallback")};
}

void installFontSubstitutions()
{
    const QStringList installed = QFontDatabase().families();
    if (installed.contains(defaultFontFamily(), Qt::CaseInsensitive))
        return;
    QStringList available;
    for (const QString &family : cjkFallbackFamilies()) {
        if (installed.contains(family, Qt::CaseInsensitive))
            available << family;
    }
    if (!available.isEmpty())
        QFont::insertSubstitutions(defaultFontFamily(), available);
}

qreal conversionPixelSize(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    // The toolkit's own rule: two decimals first, then whole pixels.
    const qreal exact = font.pointSizeF() * kConversionDpi / 72.0;
    return qRound(std::floor(exact * 100 + 0.5) / 100);
}

void setConversionResolution(QImage &image)
{
    const int dotsPerMeter = qRound(kConversionDpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
}

namespace {

// A font takes its resolution from the device it is made for; fonts made without one
// take the screen's.
const QImage &conversionDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_Mono);
        setConversionResolution(image);
        return image;
    }();
    return device;
}

} // namespace

QFont conversionFont(const QFont &font, int bpp)
{
    QFont f(font, &conversionDevice());
    if (bpp == 1)
        f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

QFont iconFontSizedLike(const QFont &iconFont, const QFont &font)
{
    QFont f(iconFont);
    if (font.pointSize() > 0)
        f.setPointSize(font.pointSize());
    else if (font.pixelSize() > 0)
        f.setPixelSize(font.pixelSize());
    return f;
}

bool beyondRasteriserReach(const QRectF &glyphRect)
{
    const qreal reach = 32000;
    return glyphRect.left() < -reach || glyphRect.right() > reach || glyphRect.top() < -reach
        || glyphRect.bottom() > reach;
}

ConversionFonts::ConversionFonts(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp)
    : text(conversionFont(font)),
      textRender(conversionFont(font, bpp)),
      icon(conversionFont(iconFontSizedLike(iconFont, font))),
      iconRender(conversionFont(iconFontSizedLike(iconFont, font), bpp)),
      iconText(iconText),
      bpp(bpp)
{
}

namespace {

// The writing system whose raw font is the face the toolkit draws a script with; Any
// where a script has none (those characters are laid out instead).
QFontDatabase::WritingSystem writingSystemFor(int script)
{
    switch (script) {
    case QChar::Script_Common: return QFontDatabase::Any;
    case QChar::Script_Greek: return QFontDatabase::Greek;
    case QChar::Script_Cyrillic: return QFontDatabase::Cyrillic;
    case QChar::Script_Armenian: return QFontDatabase::Armenian;
    case QChar::Script_Hebrew: return QFontDatabase::Hebrew;
    case QChar::Script_Arabic: return QFontDatabase::Arabic;
    case QChar::Script_Syriac: return QFontDatabase::Syriac;
    case QChar::Script_Thaana: return QFontDatabase::Thaana;
    case QChar::Script_Devanagari: return QFontDatabase::Devanagari;
    case QChar::Script_Bengali: return QFontDatabase::Bengali;
    case QChar::Script_Gurmukhi: return QFontDatabase::Gurmukhi;
    case QChar::Script_Gujarati: return QFontDatabase::Gujarati;
    case QChar::Script_Oriya: return QFontDatabase::Oriya;
    case QChar::Script_Tamil: return QFontDatabase::Tamil;
    case QChar::Script_Telugu: return QFontDatabase::Telugu;
    case QChar::Script_Kannada: return QFontDatabase::Kannada;
    case QChar::Script_Malayalam: return QFontDatabase::Malayalam;
    case QChar::Script_Sinhala: return QFontDatabase::Sinhala;
    case QChar::Script_Thai: return QFontDatabase::Thai;
    case QChar::Script_Lao: return QFontDatabase::Lao;
    case QChar::Script_Tibetan: return QFontDatabase::Tibetan;
    case QChar::Script_Myanmar: return QFontDatabase::Myanmar;
    case QChar::Script_Georgian: return QFontDatabase::Georgian;
    case QChar::Script_Khmer: return QFontDatabase::Khmer;
    case QChar::Script_Han: return QFontDatabase::SimplifiedChinese;
    case QChar::Script_Hangul: return QFontDatabase::Korean;
    case QChar::Script_Ogham: return QFontDatabase::Ogham;
    case QChar::Script_Runic: return QFontDatabase::Runic;
    case QChar::Script_Nko: return QFontDatabase::Nko;
    default: return QFontDatabase::Any;
    }
}

// The script a character is drawn with on its own: the toolkit draws the scripts up to
// Latin, and marks that have nothing to attach to, with the common face.
int drawingScript(QChar ch)
{
    const int script = ch.script();
    return script <= QChar::Script_Latin ? int(QChar::Script_Common) : script;
}

quint32 glyphIndexOf(const QRawFont &raw, QChar ch)
{
    quint32 index = 0;
    int count = 1;
    if (!raw.glyphIndexesForChars(&ch, 1, &index, &count) || count != 1)
        return 0;
    return index;
}

} // namespace

FontFaces::FontFaces(const QFont &font)
    : m_font(font),
      m_primary(QRawFont::fromFont(font, QFontDatabase::Any)),
      m_scripts(QChar::ScriptCount)
{
    // A family drawn by a stand-in (the default family where it is missing) does not
    // lack what the stand-ins draw.
    m_ownFamilies << font.family() << m_primary.familyName() << QFont::substitutes(font.family());
}

bool FontFaces::needsShaping(QChar ch)
{
    switch (ch.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    if (ch == QChar::ObjectReplacementCharacter)
        return true;
    switch (ch.script()) {
    case QChar::Script_Unknown:
    case QChar::Script_Inherited:
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Armenian:
    case QChar::Script_Georgian:
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
        return false;
    case QChar::Script_Hangul:
        // Composed syllables stand alone; jamo are joined into syllables.
        return ch.unicode() < 0xAC00 || ch.unicode() > 0xD7A3;
    default:
        return true;
    }
}

bool FontFaces::isOwnFamily(const QString &family) const
{
    return m_ownFamilies.contains(family, Qt::CaseInsensitive);
}

const QRawFont *FontFaces::keep(const QRawFont &raw) const
{
    if (raw == m_primary)
        return &m_primary;
    for (const QRawFont &face : m_faces) {
        if (face == raw)
            return &face;
    }
    m_faces.push_back(raw);
    return &m_faces.back();
}

const FontFaces::ScriptFace &FontFaces::scriptFace(int script) const
{
    ScriptFace &s = m_scripts[size_t(script)];
    if (s.resolved)
        return s;
    s.resolved = true;
    if (script == QChar::Script_Common) {
        s.raw = m_primary.isValid() ? &m_primary : nullptr;
        return s;
    }
    const QFontDatabase::WritingSystem system = writingSystemFor(script);
    if (system == QFontDatabase::Any)
        return s;
    const QRawFont raw = QRawFont::fromFont(m_font, system);
    if (!raw.isValid())
        return s;
    // The same face as the common one draws alike; one raw font serves both.
    if (raw.familyName().compare(m_primary.familyName(), Qt::CaseInsensitive) == 0
        && raw.styleName().compare(m_primary.styleName(), Qt::CaseInsensitive) == 0)
        s.raw = &m_primary;
    else
        s.raw = keep(raw);
    s.own = isOwnFamily(s.raw->familyName());
    return s;
}

FontFaces::Face FontFaces::find(QChar ch) const
{
    Face face;
    // Half a surrogate pair is no character of any font: the missing glyph.
    if (ch.isSurrogate()) {
        face.raw = m_primary.isValid() ? &m_primary : nullptr;
        face.primary = true;
        return face;
    }
    const ScriptFace &script = scriptFace(drawingScript(ch));
    if (script.raw && !needsShaping(ch)) {
        const quint32 glyph = glyphIndexOf(*script.raw, ch);
        if (glyph != 0) {
            face.raw = script.raw;
            face.glyph = glyph;
            face.primary = script.raw == &m_primary;
            face.own = script.own;
            return face;
        }
    }
    return layOut(ch);
}

FontFaces::Face FontFaces::layOut(QChar ch) const
{
    Face face;
    face.laidOut = true;
    QTextLayout layout(QString(ch), m_font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QVector<quint32> glyphs = run.glyphIndexes();
        if (glyphs.isEmpty())
            continue;
        face.raw = keep(run.rawFont());
        face.glyph = glyphs.first();
        face.own = isOwnFamily(face.raw->familyName());
        return face;
    }
    return face;
}

namespace {

// The first few characters, each with its code.
QString listed(const QString &chars)
{
    const int shown = 10;
    QStringList items;
    for (const QChar ch : chars.left(shown)) {
        const QString code = codePointName(ch.unicode());
        items << (ch.isPrint() && !ch.isSpace() ? QString(ch) + QStringLiteral(" (") + code + QLatin1Char(')')
                                                : code);
    }
    if (chars.size() > shown)
        items << QStringLiteral("…");
    return items.join(QStringLiteral(", "));
}

} // namespace

QStringList lackingGlyphWarnings(const QString &chars, const ConversionFonts &fonts, const QString &family)
{
    const FontFaces text(fonts.text);
    std::unique_ptr<FontFaces> icons;
    auto seen = std::make_unique<std::bitset<65536>>();
    QString textLacks, iconLacks;
    for (const QChar ch : chars) {
        const ushort u = ch.unicode();
        if (u == 0 || isControlCharacter(ch) || ch.isSurrogate() || seen->test(u))
            continue;
        seen->set(u);
        const bool icon = fonts.isIcon(ch);
        if (icon && !icons)
            icons = std::make_unique<FontFaces>(fonts.icon);
        const FontFaces::Face face = (icon ? *icons : text).find(ch);
        // Nothing drawn at all (an object placeholder, a line separator) is no lack of a font.
        if (!face.raw || (face.own && face.glyph != 0))
            continue;
        (icon ? iconLacks : textLacks) += ch;
    }
    QStringList warnings;
    if (!textLacks.isEmpty()) {
        warnings << QStringLiteral("字体“%1”缺少%2个字符，已取其他字体的字形（都没有时为缺字符号）：%3"
                                   "/The font \"%1\" lacks %2 characters; their glyphs come from other "
                                   "fonts (the missing-glyph box where none has them): %3")
                        .arg(family, QString::number(textLacks.size()), listed(textLacks));
    }
    if (!iconLacks.isEmpty()) {
        warnings << QStringLiteral("图标字体缺少%1个图标：%2/The icon font lacks %1 of the chosen icons: %2")
                        .arg(QString::number(iconLacks.size()), listed(iconLacks));
    }
    return warnings;
}

namespace {

enum class Outline { Inked, Blank, Unreadable };

// What a glyph's outline gives. A TrueType face says in its location table which glyphs
// are empty (they take no bytes), which costs nothing per glyph; the bytes of the others
// are checked as the font engine reads them, since the engine draws a glyph it cannot
// read as nothing, without a word. Only a glyph those checks doubt is loaded, and it is
// unreadable when the engine then gives no outline. Other faces (CFF) are asked for the
// outline itself, and an empty one is blank.
class OutlineCheck
{
public:
    Outline check(const QRawFont &raw, quint32 glyph)
    {
        auto found = m_tables.find(&raw);
        if (found == m_tables.end())
            found = m_tables.emplace(&raw, Tables(raw)).first;
        const Tables &t = found->second;
        Outline verdict;
        if (!t.valid()) {
            verdict = raw.pathForGlyph(glyph).isEmpty() ? Outline::Blank : Outline::Inked;
        } else {
            int parts = 64;
            verdict = t.check(glyph, parts);
            if (verdict == Outline::Unreadable)
                verdict = raw.pathForGlyph(glyph).isEmpty() ? Outline::Unreadable : Outline::Inked;
        }
        // Drawn as nothing too (see beyondRasteriserReach); only a face whose bounds
        // allow it, at this size, has its glyphs measured.
        if (verdict == Outline::Inked && t.mayOverreach() && beyondRasteriserReach(raw.boundingRect(glyph)))
            return Outline::Unreadable;
        return verdict;
    }

private:
    class Tables
    {
    public:
        explicit Tables(const QRawFont &raw)
        {
            const QByteArray head = raw.fontTable("head");
            if (head.size() < 54)
                return;
            m_long = qFromBigEndian<qint16>(head.constData() + 50) != 0;
            const int unitsPerEm = qFromBigEndian<quint16>(head.constData() + 18);
            int extent = 0;
            for (int at = 36; at < 44; at += 2)
                extent = qMax(extent, qAbs(int(qFromBigEndian<qint16>(head.constData() + at))));
            m_mayOverreach = unitsPerEm <= 0 || beyondRasteriserReach(QRectF(0, 0, 1, extent * raw.pixelSize() / unitsPerEm));
            // maxp 1.0 is a face with TrueType outlines (glyf and loca); 0.5 is CFF.
            const QByteArray maxp = raw.fontTable("maxp");
            if (maxp.size() < 6 || qFromBigEndian<quint32>(maxp.constData()) != 0x00010000)
                return;
            m_glyphs = qFromBigEndian<quint16>(maxp.constData() + 4);
            m_loca = raw.fontTable("loca");
            m_glyf = raw.fontTable("glyf");
        }
        bool valid() const { return !m_loca.isEmpty(); }
        // Whether the bounds the face declares for all its glyphs reach past what the
        // rasteriser draws (or the face declares none).
        bool mayOverreach() const { return m_mayOverreach; }

        // Inked, blank, or in doubt (Unreadable) from the tables alone. A composite glyph
        // is as readable as its parts; at most `parts` glyphs are read in all, so that a
        // font whose parts refer to each other in a circle leaves the doubt to the engine.
        Outline check(quint32 glyph, int &parts) const
        {
            if (count() < 2 || glyph > count() - 2 || --parts < 0)
                return Outline::Unreadable;
            const quint32 begin = at(glyph);
            const quint32 end = at(glyph + 1);
            if (begin == end)
                return Outline::Blank;
            if (end < begin || end > quint32(m_glyf.size()) || end - begin < 10)
                return Outline::Unreadable;
            const auto *p = reinterpret_cast<const uchar *>(m_glyf.constData()) + begin;
            const auto *limit = reinterpret_cast<const uchar *>(m_glyf.constData()) + end;
            const qint16 contours = qFromBigEndian<qint16>(p);
            p += 10;
            if (contours == 0)
                return Outline::Blank;
            if (contours > 0)
                return simpleGlyphFits(p, limit, contours) ? Outline::Inked : Outline::Unreadable;
            return compositeGlyph(p, limit, parts);
        }

    private:
        quint32 count() const { return quint32(m_loca.size() / (m_long ? 4 : 2)); }
        quint32 at(quint32 i) const
        {
            const char *p = m_loca.constData();
            return m_long ? qFromBigEndian<quint32>(p + 4 * i) : 2u * qFromBigEndian<quint16>(p + 2 * i);
        }

        // The contour ends rise, and the instructions, flags and coordinates they call
        // for lie within the glyph's bytes.
        static bool simpleGlyphFits(const uchar *p, const uchar *limit, int contours)
        {
            if (contours >= 0xFFF || limit - p < 2 * contours + 2)
                return false;
            int last = -1;
            for (int i = 0; i < contours; ++i, p += 2) {
                const int endPoint = qFromBigEndian<quint16>(p);
                if (endPoint <= last)
                    return false;
                last = endPoint;
            }
            const int instructions = qFromBigEndian<quint16>(p);
            p += 2;
            if (limit - p < instructions)
                return false;
            p += instructions;
            const int points = last + 1;
            qint64 coordinateBytes = 0;
            for (int point = 0; point < points;) {
                if (p >= limit)
                    return false;
                const uchar flag = *p++;
                int repeat = 1;
                if (flag & 0x08) {
                    if (p >= limit)
                        return false;
                    repeat += *p++;
                }
                if (repeat > points - point)
                    return false;
                const int xBytes = (flag & 0x02) ? 1 : (flag & 0x10) ? 0 : 2;
                const int yBytes = (flag & 0x04) ? 1 : (flag & 0x20) ? 0 : 2;
                coordinateBytes += qint64(repeat) * (xBytes + yBytes);
                point += repeat;
            }
            return coordinateBytes <= limit - p;
        }

        Outline compositeGlyph(const uchar *p, const uchar *limit, int &parts) const
        {
            Outline verdict = Outline::Blank;
            for (;;) {
                if (limit - p < 4)
                    return Outline::Unreadable;
                const quint16 flags = qFromBigEndian<quint16>(p);
                const quint32 part = qFromBigEndian<quint16>(p + 2);
                const int arguments = (flags & 0x0001) ? 4 : 2;
                const int scale = (flags & 0x0008) ? 2 : (flags & 0x0040) ? 4 : (flags & 0x0080) ? 8 : 0;
                if (limit - p < 4 + arguments + scale || part >= m_glyphs)
                    return Outline::Unreadable;
                p += 4 + arguments + scale;
                const Outline partVerdict = check(part, parts);
                if (partVerdict == Outline::Unreadable)
                    return Outline::Unreadable;
                if (partVerdict == Outline::Inked)
                    verdict = Outline::Inked;
                if (!(flags & 0x0020))
                    return verdict;
            }
        }

        QByteArray m_loca;
        QByteArray m_glyf;
        quint32 m_glyphs = 0;
        bool m_long = false;
        bool m_mayOverreach = true;
    };
    std::map<const QRawFont *, Tables> m_tables;
};

} // namespace

QStringList emptyGlyphWarnings(const QString &chars, const ConversionFonts &fonts)
{
    const FontFaces text(fonts.text);
    std::unique_ptr<FontFaces> icons;
    auto seen = std::make_unique<std::bitset<65536>>();
    OutlineCheck outlines;
    QString blank, unreadable;
    for (const QChar ch : chars) {
        const ushort u = ch.unicode();
        if (seen->test(u))
            continue;
        seen->set(u);
        switch (ch.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Space:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            continue;
        default:
            break;
        }
        if (u == 0 || ch.isSpace())
            continue;
        const bool icon = fonts.isIcon(ch);
        if (icon && !icons)
            icons = std::make_unique<FontFaces>(fonts.icon);
        const FontFaces::Face face = (icon ? *icons : text).find(ch);
        // Glyph 0 is the font's missing-glyph box, which has ink of its own.
        if (!face.raw || face.glyph == 0)
            continue;
        switch (outlines.check(*face.raw, face.glyph)) {
        case Outline::Inked: break;
        case Outline::Blank: blank += ch; break;
        case Outline::Unreadable: unreadable += ch; break;
        }
    }
    QStringList warnings;
    if (!blank.isEmpty()) {
        warnings << QStringLiteral("%1个字符的字形是空白的（字体里这个字形没有笔画），转换后什么也不显示：%2"
                                   "/%1 characters have a blank glyph (the font's glyph has no ink) and will "
                                   "draw nothing: %2")
                        .arg(QString::number(blank.size()), listed(blank));
    }
    if (!unreadable.isEmpty()) {
        warnings << QStringLiteral("%1个字符的字形无法读取（字体文件可能已损坏），转换后什么也不显示：%2"
                                   "/%1 characters have a glyph that could not be read (the font file may be "
                                   "damaged) and will draw nothing: %2")
                        .arg(QString::number(unreadable.size()), listed(unreadable));
    }
    return warnings;
}

} // namespace qm

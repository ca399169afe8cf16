#include "render/fonts.h"

#include "charset/charset.h"

#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QTextLayout>

#include <bitset>
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

} // namespace qm

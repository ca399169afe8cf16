#pragma once

#include <QChar>
#include <QFont>
#include <QImage>
#include <QRawFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace qm {

// The family the options name by default; it is a Windows font.
QString defaultFontFamily();
// The CJK families that stand in for the default family where it is missing, best first.
QStringList cjkFallbackFamilies();
// Registers the stand-ins as substitutes of the default family, so that both drawn
// text and raw-font glyphs of a default conversion come from a face with Chinese glyphs.
// Call once after the application object exists.
void installFontSubstitutions();

// Conversions draw at a fixed 96 dpi whatever the screen, the platform or QT_FONT_DPI
// say, so that one set of options gives the same bytes everywhere (12 pt is 16 px, the
// size the stored options were made with).
constexpr int kConversionDpi = 96;
// The pixel size a conversion draws `font` at: its pixel size when it is sized in
// pixels, else its point size at 96 dpi, rounded to whole pixels as the toolkit rounds
// it when it picks the face (12 pt is 16 px, 9.5 pt is 13 px).
qreal conversionPixelSize(const QFont &font);
// `font` as a conversion draws it: sized at 96 dpi (metrics, raw fonts and layouts made
// from the copy all see that size), and without anti-aliasing when `bpp` is 1.
QFont conversionFont(const QFont &font, int bpp = 0);
// Text painted into `image` is sized as conversionFont() measures it.
void setConversionResolution(QImage &image);
// The icon font at the conversion font's whole point size, or its pixel size.
QFont iconFontSizedLike(const QFont &iconFont, const QFont &font);

// FreeType draws no outline that reaches further than 32767 px from the pen position,
// and the toolkit crashes asking it for the alpha map of one that does. A glyph whose
// rectangle (in pixels, from the pen position) passes this bound, with room for
// rounding, is not drawn.
bool beyondRasteriserReach(const QRectF &glyphRect);

// The fonts one conversion draws and measures with, made once from the request's fonts:
// everything that draws a glyph takes them from here.
struct ConversionFonts {
    QFont text;         // conversionFont(font): the metrics and the faces
    QFont textRender;   // conversionFont(font, bpp): what is drawn
    QFont icon;         // the icon font sized like `text`
    QFont iconRender;
    QString iconText;   // the characters drawn with the icon font
    int bpp = 4;

    ConversionFonts() = default;
    ConversionFonts(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp);
    bool isIcon(QChar ch) const { return !iconText.isEmpty() && iconText.contains(ch); }
};

// Which face draws each character of a font, as the toolkit's text drawing (the input
// pane, a label) picks it: the face the font resolves to for the character's script
// when that face has the character, else the first fallback face that has it.
// Characters of the font's own faces are looked up directly; the rest, and those whose
// glyph or width shaping may change, are laid out. Not shared between threads.
class FontFaces
{
public:
    // `font` comes from conversionFont().
    explicit FontFaces(const QFont &font);

    struct Face {
        const QRawFont *raw = nullptr;   // null: nothing draws the character
        quint32 glyph = 0;
        bool primary = false;   // the face whose metrics set the line (the font's common face)
        bool own = true;        // the chosen family's face, or one standing in for it
        bool laidOut = false;   // glyph and width come from laying the character out
    };
    Face find(QChar ch) const;

    const QRawFont &primary() const { return m_primary; }
    const QFont &font() const { return m_font; }

private:
    // Whether laying a character out can give it another glyph or width than its
    // own: marks, format and control characters, separators, and scripts whose
    // shaping depends on context.
    static bool needsShaping(QChar ch);

    struct ScriptFace {
        bool resolved = false;
        const QRawFont *raw = nullptr;
        bool own = true;
    };
    const ScriptFace &scriptFace(int script) const;
    const QRawFont *keep(const QRawFont &raw) const;
    bool isOwnFamily(const QString &family) const;
    Face layOut(QChar ch) const;

    QFont m_font;
    QRawFont m_primary;
    QStringList m_ownFamilies;
    mutable std::vector<ScriptFace> m_scripts;
    mutable std::deque<QRawFont> m_faces;   // fallback faces met so far; addresses stay
};

// The warnings of a conversion about characters its fonts lack: text characters that
// the chosen font's faces do not draw, and icons the icon font does not draw. Control
// characters are not drawn at all and are not counted.
// `family` is the family the user chose, as the warning names it.
QStringList lackingGlyphWarnings(const QString &chars, const ConversionFonts &fonts, const QString &family);

// The warnings about characters that will draw nothing though the font has them: those
// whose glyph has no ink at all (a font's empty stand-in for a sign it does not really
// have), and those whose glyph the font engine cannot read (a damaged font file, which
// it draws as nothing without a word). Each character is listed once, in one of them.
// Spaces, separators, control and format characters are meant to be blank and are not
// listed; nor are characters nothing draws (lackingGlyphWarnings).
QStringList emptyGlyphWarnings(const QString &chars, const ConversionFonts &fonts);

} // namespace qm

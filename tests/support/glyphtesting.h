#pragma once

#include "convert/glyphcapture.h"
#include "convert/request.h"

#include <QByteArray>
#include <QFont>
#include <QString>

namespace qmtest {

// The FontAwesome web font, registered once with the application; an invalid
// family when it is not installed.
QString iconFontFamily();
// A few FontAwesome icons (home, envelope, star) as private-use code units.
QString sampleIcons();

// The default conversion font (the Chinese stand-in family at 12 pt, so 16 px under
// the tests' 96 dpi) and a Latin font.
QFont cjkFont(int pointSize = 12);
QFont latinFont(int pointSize = 12);

// A request for the fmt_txt and legacy generators with everything but the characters filled.
qm::ConversionRequest makeRequest(const QString &chars, int bpp, const QFont &font,
                                  const QString &iconText = QString());

// The bytes a glyph's bitmap should hold, recomputed from the captured image:
// only the inked rows (fmt_txt) or every row of the box (legacy).
QByteArray croppedGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                             int bpp, qm::CropInfo *crop = nullptr);
QByteArray fullGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                          int bpp);

// The lines of a generated text between the line `opening` and the next "};".
QStringList sectionLines(const QString &text, const QString &opening);

} // namespace qmtest

#pragma once

#include "render/glyphcapture.h"
#include "request/progress.h"
#include "request/request.h"

#include <QByteArray>
#include <QFont>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

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
// only the inked rows (fmt_txt) or every row of a box `rows` high (legacy).
QByteArray croppedGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                             int bpp, qm::CropInfo *crop = nullptr);
QByteArray fullGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                          int bpp, int rows);

// The lines of a generated text between the line `opening` and the next "};".
QStringList sectionLines(const QString &text, const QString &opening);

// Records what a generator reports and stops before `cancelAt` (never when negative).
class RecordingProgress : public qm::ConversionProgress
{
public:
    explicit RecordingProgress(int cancelAt = -1) : m_cancelAt(cancelAt) {}
    void begin(int total) override;
    bool step(int index, QChar ch, const QFont &font, int width, int height) override;
    void end() override;

    int total = -1;
    int begins = 0;
    int ends = 0;
    QList<int> indexes;
    QString chars;
    QStringList families;
    QList<QSize> boxes;

private:
    int m_cancelAt;
};

// Where two texts first differ, line by line, for a readable failure message;
// empty when they are equal.
QString firstDifference(const QString &actual, const QString &expected);

} // namespace qmtest

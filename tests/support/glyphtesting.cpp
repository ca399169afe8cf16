#include "glyphtesting.h"

#include "charset/charset.h"
#include "output/encoders.h"

#include <QFontDatabase>
#include <vector>

namespace qmtest {

QString iconFontFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(
            QStringLiteral("/usr/share/fonts-font-awesome/fonts/fontawesome-webfont.ttf"));
        return id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
    }();
    return family;
}

QString sampleIcons()
{
    return QString(QChar(0xf015)) + QChar(0xf0e0) + QChar(0xf005);
}

QFont cjkFont(int pointSize)
{
    return QFont(QStringLiteral("微软雅黑"), pointSize);
}

QFont latinFont(int pointSize)
{
    return QFont(QStringLiteral("DejaVu Sans"), pointSize);
}

qm::ConversionRequest makeRequest(const QString &chars, int bpp, const QFont &font, const QString &iconText)
{
    qm::ConversionRequest r;
    r.chars = chars;
    r.bpp = bpp;
    r.bppMask = qm::bppMask(bpp);
    r.bppText = QString::number(bpp);
    r.font = font;
    r.iconFont = QFont(iconFontFamily());
    r.iconText = iconText;
    r.fontName = QStringLiteral("test_font");
    r.includeText = QStringLiteral("#include \"lvgl.h\"");
    r.typeText = QStringLiteral("内部字体");
    r.sorted = false;
    return r;
}

namespace {

QByteArray packedInk(const QImage &image, int width, int bpp, qm::CropInfo *crop)
{
    const int rowBytes = qm::rowBytesFor(width, bpp);
    std::vector<uint8_t> buffer(size_t(rowBytes) * size_t(qMax(image.height(), 0)) + 1);
    qm::packCroppedGlyphBytes(image, bpp, qm::bppMask(bpp), buffer.data(), &crop->boxH, &crop->rowsBelow);
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), rowBytes * crop->boxH);
}

} // namespace

QByteArray croppedGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                             int bpp, qm::CropInfo *crop)
{
    qm::CropInfo c;
    const QByteArray inked = packedInk(capturer.capture(glyph), glyph.width, bpp, &c);
    if (crop)
        *crop = c;
    return inked;
}

QByteArray fullGlyphBytes(const qm::GlyphCapturer &capturer, const qm::GlyphCapturer::Glyph &glyph,
                          int bpp, int rows)
{
    if (glyph.width <= 0)
        return QByteArray();
    // Rows outside the ink are black, and black packs to zero bytes.
    qm::CropInfo crop;
    const QByteArray inked = packedInk(capturer.capture(glyph, rows), glyph.width, bpp, &crop);
    const int rowBytes = qm::rowBytesFor(glyph.width, bpp);
    const int above = crop.boxH > 0 ? rows - crop.rowsBelow - crop.boxH : rows;
    return QByteArray(above * rowBytes, '\0') + inked + QByteArray(crop.rowsBelow * rowBytes, '\0');
}

QStringList sectionLines(const QString &text, const QString &opening)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const int start = lines.indexOf(opening);
    if (start < 0)
        return {};
    QStringList out;
    for (int i = start + 1; i < lines.size() && lines.at(i) != QLatin1String("};"); ++i)
        out << lines.at(i);
    return out;
}

void RecordingProgress::begin(int totalCount)
{
    total = totalCount;
    ++begins;
}

bool RecordingProgress::step(int index, QChar ch, const QFont &font, int width, int height)
{
    indexes << index;
    chars += ch;
    families << font.family();
    boxes << QSize(width, height);
    return m_cancelAt < 0 || index < m_cancelAt;
}

void RecordingProgress::end()
{
    ++ends;
}

QString firstDifference(const QString &actual, const QString &expected)
{
    if (actual == expected)
        return QString();
    const QStringList a = actual.split(QLatin1Char('\n'));
    const QStringList e = expected.split(QLatin1Char('\n'));
    for (int i = 0; i < qMax(a.size(), e.size()); ++i) {
        const QString al = a.value(i, QStringLiteral("<none>"));
        const QString el = e.value(i, QStringLiteral("<none>"));
        if (al != el || i >= a.size() || i >= e.size())
            return QStringLiteral("line %1: got [%2] expected [%3]").arg(i + 1).arg(al, el);
    }
    return QStringLiteral("texts differ in line ends");
}

} // namespace qmtest

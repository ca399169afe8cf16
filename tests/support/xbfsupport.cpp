#include "xbfsupport.h"

#include "charset/charset.h"
#include "output/encoders.h"
#include "render/glyphcapture.h"

#include <QFontDatabase>
#include <QRegularExpression>
#include <vector>

namespace qmtest {

QString fontAwesomeFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(
            QStringLiteral("/usr/share/fonts-font-awesome/fonts/fontawesome-webfont.ttf"));
        return id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
    }();
    return family;
}

qm::ConversionRequest xbfRequest(const QString &chars, int bpp, const QFont &font,
                                 const QFont &iconFont, const QString &iconText)
{
    qm::ConversionRequest r;
    r.chars = chars;
    r.bpp = bpp;
    r.bppMask = qm::bppMask(bpp);
    r.lvVer = 1;
    r.font = font;
    r.iconFont = iconFont;
    r.iconText = iconText;
    r.fontName = QStringLiteral("myFont");
    r.includeText = QStringLiteral("#include \"lvgl.h\"");
    r.bppText = QString::number(bpp);
    return r;
}

namespace {

uint32_t le(const QByteArray &b, int at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | uint8_t(b.at(at + i));
    return v;
}

} // namespace

XbfTableView readXbfTable(const QByteArray &bytes)
{
    XbfTableView t;
    if (bytes.size() < 8) {
        t.error = QStringLiteral("shorter than a header");
        return t;
    }
    t.min = uint16_t(le(bytes, 0, 2));
    t.max = uint16_t(le(bytes, 2, 2));
    t.bpp = uint8_t(bytes.at(4));
    if (bytes.at(5) || bytes.at(6) || bytes.at(7))
        t.error = QStringLiteral("reserved bytes not zero");
    const int n = t.min <= t.max ? t.max - t.min + 1 : 0;
    int at = 8;
    if (bytes.size() < at + 4 * n) {
        t.error = QStringLiteral("position table cut short");
        return t;
    }
    for (int i = 0; i < n; ++i, at += 4)
        t.positions << le(bytes, at, 4);
    // Records follow back to back; every one must be whole.
    while (at < bytes.size()) {
        if (bytes.size() - at < 6) {
            t.error = QStringLiteral("record descriptor cut short at %1").arg(at);
            return t;
        }
        XbfGlyph g;
        g.adv = uint8_t(bytes.at(at));
        g.boxW = uint8_t(bytes.at(at + 1));
        g.boxH = uint8_t(bytes.at(at + 2));
        g.ofsX = int8_t(bytes.at(at + 3));
        g.ofsY = int8_t(bytes.at(at + 4));
        g.r = uint8_t(bytes.at(at + 5));
        const int size = g.boxW * g.boxH * t.bpp / 8;
        if (bytes.size() - at - 6 < size) {
            t.error = QStringLiteral("bitmap cut short at %1").arg(at);
            return t;
        }
        g.bitmap = bytes.mid(at + 6, size);
        t.records.insert(uint32_t(at), g);
        t.recordOrder << uint32_t(at);
        at += 6 + size;
    }
    for (uint32_t pos : t.positions) {
        if (pos != 0 && !t.records.contains(pos))
            t.error = QStringLiteral("position %1 is not the start of a record").arg(pos);
    }
    return t;
}

QByteArray xbfArrayBytes(const QString &text)
{
    const QString open = QStringLiteral("static const uint8_t glyph_dsc_xbf[] = {");
    const int start = text.indexOf(open);
    if (start < 0)
        return QByteArray();
    const int end = text.indexOf(QStringLiteral("\n};"), start);
    QString body = text.mid(start + open.size(), end - start - open.size());
    // Block comments first: a glyph comment may hold a slash or an asterisk, while the
    // line comments (header, codes, descriptors, previews) never hold "/*".
    static const QRegularExpression block(QStringLiteral("/\\*.*?\\*/"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression line(QStringLiteral("//[^\n]*"));
    body.remove(block);
    body.remove(line);
    QByteArray out;
    for (QString item : body.split(QLatin1Char(','))) {
        item = item.trimmed();
        if (item.isEmpty())
            continue;
        bool ok = false;
        const int v = item.startsWith(QLatin1String("0x")) ? item.mid(2).toInt(&ok, 16) : item.toInt(&ok, 10);
        if (!ok || v < -128 || v > 255)
            return QByteArray("bad literal: ") + item.toUtf8();
        out.append(char(uint8_t(v)));
    }
    return out;
}

namespace {

QString byteList(const QByteArray &bytes)
{
    QString out;
    for (int i = 0; i < bytes.size(); ++i)
        out += QStringLiteral("%1,%2").arg(uint8_t(bytes.at(i))).arg(i % 32 == 31 ? QStringLiteral("\n") : QString());
    return out;
}

} // namespace

QByteArray completeBinReader(QString text, const QByteArray &bin)
{
    static const QRegularExpression buffer(QStringLiteral("^//static uint8_t __g_font_buf\\[(\\d+)\\];.*$"),
                                           QRegularExpression::MultilineOption);
    const QString body = QStringLiteral("    return __g_font_buf;\n}");
    const QRegularExpressionMatch m = buffer.match(text);
    if (!m.hasMatch() || text.count(body) != 1)
        return QByteArray();
    const QString size = m.captured(1);
    text.replace(body, QStringLiteral(
        "    if( offset < 0 || size < 0 || size > %1 || (size_t)offset + (size_t)size > sizeof qm_bin ) {\n"
        "        printf(\"overflow %d %d %d\\n\", offset, size, %1);\n"
        "        exit(3);\n"
        "    }\n"
        "    memset(__g_font_buf, 0xA5, %1);\n"
        "    memcpy(__g_font_buf, qm_bin + offset, (size_t)size);\n"
        "    return __g_font_buf;\n"
        "}").arg(size));
    text.replace(m.capturedStart(), m.capturedLength(), QStringLiteral(
        "#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n"
        "static const uint8_t qm_bin[] = {\n%1};\n"
        "static uint8_t qm_buffer_storage[%2 + 1];\n"
        "static uint8_t *const __g_font_buf = qm_buffer_storage + 1;").arg(byteList(bin), size));
    return text.toUtf8();
}

QByteArray misalignXbfArray(QString text)
{
    const QString open = QStringLiteral("static const uint8_t glyph_dsc_xbf[] = {");
    const int start = text.indexOf(open);
    const int end = text.indexOf(QStringLiteral("\n};"), start);
    if (start < 0 || end < 0)
        return QByteArray();
    const int size = xbfArrayBytes(text).size();
    text.replace(end, 3, QStringLiteral("\n}};"));
    text.replace(start, open.size(), QStringLiteral(
        "static const struct __attribute__((packed, aligned(4))) { uint8_t pad; uint8_t bytes[%1]; } "
        "qm_misaligned = { 0, {\n#define glyph_dsc_xbf (qm_misaligned.bytes)").arg(size));
    return text.toUtf8();
}

XbfGlyph expectedXbfGlyph(const qm::ConversionRequest &request, QChar ch)
{
    const qm::GlyphCapturer capturer(request.font, request.iconFont, request.iconText, request.bpp);
    const qm::GlyphCapturer::Glyph glyph = capturer.measure(ch);
    const int rowBytes = (glyph.width * request.bpp + 7) / 8;
    std::vector<uint8_t> buffer(size_t(qMax(1, rowBytes * glyph.height)));
    int boxH = 0, below = 0;
    qm::packCroppedGlyphBytes(capturer.capture(glyph), request.bpp, request.bppMask, buffer.data(),
                              &boxH, &below);
    XbfGlyph g;
    g.adv = glyph.width;
    g.boxW = rowBytes * 8 / request.bpp;
    g.boxH = boxH;
    g.ofsY = glyph.icon ? (capturer.lineHeight() - boxH) / 2 : below;
    g.bitmap = QByteArray(reinterpret_cast<const char *>(buffer.data()), rowBytes * boxH);
    return g;
}

} // namespace qmtest

// The C side of the glyph codec: the model tables and a decoder that mirrors
// decodeGlyph() in glyphcodec.cpp statement for statement. Both are written for the one
// depth of the font, so the compiler sees constant shifts and masks.

#include "glyphcodec.h"

#include <QString>

#include <cstdio>

namespace qm {

namespace {

void appendNumbers(QString &out, const uint8_t *values, size_t count, int perLine)
{
    char buf[8];
    for (size_t i = 0; i < count; ++i) {
        if (i % size_t(perLine) == 0)
            out += QLatin1String(i ? "\n    " : "    ");
        const int n = std::snprintf(buf, sizeof buf, "%u,", unsigned(values[i]));
        out += QLatin1String(buf, n);
    }
    out += QLatin1Char('\n');
}

// A neighbour's level: dx columns right, dy rows up, zero outside the box.
QString neighbour(int dx, int dy)
{
    // The three pixels above slide along the row in registers.
    if (dy == 1 && dx >= -1 && dx <= 1)
        return dx < 0 ? QStringLiteral("above_left") : dx > 0 ? QStringLiteral("above_right") : QStringLiteral("above");
    const QString row = dy == 0 ? QStringLiteral("row") : dy == 1 ? QStringLiteral("up") : QStringLiteral("up2");
    QString column = QStringLiteral("px");
    if (dx > 0)
        column += QStringLiteral(" + %1u").arg(dx);
    else if (dx < 0)
        column += QStringLiteral(" - %1u").arg(-dx);
    return QStringLiteral("__user_font_level(%1, %2, box_w)").arg(row, column);
}

QString keyExpression(int bpp, int plane)
{
    auto n = [](int dx, int dy) { return neighbour(dx, dy); };
    switch (bpp) {
    case 1:
        return QStringLiteral("left | %1 << 1 | %2 << 2 | %3 << 3 | %4 << 4 | %5 << 5 | %6 << 6 | %7 << 7 | %8 << 8 | %9 << 9 | %10 << 10 | %11 << 11")
            .arg(n(-2, 0), n(-3, 0), n(0, 1), n(-1, 1), n(1, 1), n(-2, 1), n(2, 1), n(0, 2), n(-1, 2))
            .arg(n(1, 2), n(-3, 1));
    case 2:
        return QStringLiteral("left | %1 << 2 | %2 << 4 | %3 << 6 | %4 << 8 | %5 << 10")
            .arg(n(0, 1), n(-1, 1), n(1, 1), n(-2, 0), n(0, 2));
    case 4:
        return QStringLiteral("left | %1 << 4 | %2 << 8 | __user_font_quarter(%3) << 12")
            .arg(n(0, 1), n(-1, 1), n(1, 1));
    default:
        if (plane == 0)
            return QStringLiteral("left >> 4 | (%1 >> 4) << 4 | (%2 >> 4) << 8 | __user_font_quarter(%3 >> 4) << 12")
                .arg(n(0, 1), n(-1, 1), n(1, 1));
        return QStringLiteral("high | (left & 15u) << 4 | (%1 & 15u) << 8").arg(n(0, 1));
    }
}

} // namespace

QString glyphDecoderTables(const GlyphCodecModel &model)
{
    QString out;
    for (int p = 0; p < model.planeCount(); ++p) {
        const GlyphCodecModel::Plane &plane = model.plane(p);
        out += QStringLiteral("static const uint8_t glyph_model_group%1[%2] = {\n").arg(p).arg(plane.groupOfKey.size());
        appendNumbers(out, plane.groupOfKey.data(), plane.groupOfKey.size(), 32);
        out += QLatin1String("};\n\n");
        out += QStringLiteral("static const uint8_t glyph_model_cum%1[%2][%3] = {\n")
                   .arg(p)
                   .arg(plane.cum.size())
                   .arg(plane.symbols + 1);
        for (const auto &cum : plane.cum) {
            out += QLatin1String("    {");
            for (int s = 0; s <= plane.symbols; ++s) {
                out += QString::number(cum[size_t(s)]);
                out += QLatin1Char(s < plane.symbols ? ',' : '}');
            }
            out += QLatin1String(",\n");
        }
        out += QLatin1String("};\n\n");
    }
    return out;
}

QString glyphDecoderFunction(const GlyphCodecModel &model, const GlyphDecoderTarget &target)
{
    const int bpp = model.bpp();
    const QString max = QString::number((1 << bpp) - 1);
    QString out;
    out += QLatin1String("/* A level of the glyph being unpacked; outside the box it is 0. */\n"
                         "static uint32_t __user_font_level(const uint8_t * row, uint32_t x, uint32_t box_w) {\n"
                         "    if( row == NULL || x >= box_w ) return 0;\n");
    if (target.a8)
        out += QStringLiteral("    return (uint32_t)row[x] >> %1;\n").arg(8 - bpp);
    else if (bpp == 8)
        out += QLatin1String("    return row[x];\n");
    else
        out += QStringLiteral("    return ((uint32_t)row[x * %1u / 8] >> (%2u - x * %1u % 8)) & %3u;\n")
                   .arg(bpp)
                   .arg(8 - bpp)
                   .arg(max);
    out += QLatin1String("}\n\n");
    if (bpp >= 4)
        out += QLatin1String("static uint32_t __user_font_quarter(uint32_t v) {\n"
                             "    return (uint32_t)(v > 0) + (uint32_t)(v >= 8) + (uint32_t)(v >= 15);\n"
                             "}\n\n");

    const int symbols = bpp == 8 ? 16 : 1 << bpp;
    auto appendDecode = [&](int plane, const QString &into, const QString &indent) {
        QString key = keyExpression(bpp, plane);
        if (model.plane(plane).keyBits == GlyphCodecModel::kShortKeyBits)
            key = QStringLiteral("(%1) & %2u").arg(key).arg((1 << GlyphCodecModel::kShortKeyBits) - 1);
        out += indent + QStringLiteral("{\n");
        out += indent + QStringLiteral("    const uint8_t * cum = glyph_model_cum%1[glyph_model_group%1[%2]];\n").arg(plane).arg(key);
        out += indent + QLatin1String("    uint32_t slot = state & 255u, s = 0;\n");
        // A count of the starts at or below the slot: independent compares, no chain.
        QString count = indent + QLatin1String("    s =");
        for (int t = 1; t < symbols; ++t)
            count += QStringLiteral(" %1(uint32_t)(cum[%2] <= slot)").arg(t > 1 ? QStringLiteral("+ ") : QString()).arg(t);
        out += count + QLatin1String(";\n");
        out += indent + QLatin1String("    state = ((uint32_t)(uint8_t)(cum[s + 1] - cum[s] - 1u) + 1u) * (state >> 8) + slot - cum[s];\n");
        // The refill comes about every fourth pixel, too irregular for a branch.
        out += indent + QLatin1String("    need = (uint32_t)(state < 256u) & (uint32_t)(p < end);\n");
        out += indent + QLatin1String("    byte = p < end ? *p : 0u;\n");
        out += indent + QLatin1String("    state = state << (need << 3) | (byte & (0u - need));\n");
        out += indent + QLatin1String("    p += need;\n");
        out += indent + QStringLiteral("    %1 = s;\n").arg(into);
        out += indent + QStringLiteral("}\n");
    };

    out += QLatin1String(
        "/* Unpacks one glyph: rANS over static per-context frequencies, each level predicted\n"
        " * from the pixels above and to its left. The stream ends at data[size]; reads\n"
        " * never leave data[0..size). */\n"
        "static void __user_font_unpack(const uint8_t * data, uint32_t size, uint32_t offset, uint32_t box_w, uint32_t box_h, uint8_t * out, uint32_t stride) {\n"
        "    const uint8_t * end = data + size;\n"
        "    const uint8_t * p = data + (offset < size ? offset : size);\n"
        "    uint32_t state, px, py, need, byte;\n"
        "    if( box_w == 0 || box_h == 0 ) return;\n"
        "    state = p < end ? *p++ : 0u;\n"
        "    if( state < 256u && p < end ) state = state << 8 | *p++;\n"
        "    for( py = 0; py < box_h; py++ ) {\n"
        "        uint8_t * row = out + py * stride;\n"
        "        const uint8_t * up = py > 0 ? row - stride : NULL;\n");
    if (bpp <= 2)
        out += QLatin1String("        const uint8_t * up2 = py > 1 ? row - 2 * stride : NULL;\n");
    out += QLatin1String("        uint32_t left = 0, above_left = 0;\n"
                         "        uint32_t above = __user_font_level(up, 0, box_w), above_right = __user_font_level(up, 1, box_w);\n"
                         "        for( px = 0; px < box_w; px++ ) {\n"
                         "            uint32_t level;\n");
    if (bpp == 8) {
        out += QLatin1String("            uint32_t high, low;\n");
        appendDecode(0, QStringLiteral("high"), QStringLiteral("            "));
        appendDecode(1, QStringLiteral("low"), QStringLiteral("            "));
        out += QLatin1String("            level = high << 4 | low;\n");
    } else {
        appendDecode(0, QStringLiteral("level"), QStringLiteral("            "));
    }
    if (target.a8)
        out += QStringLiteral("            row[px] = (uint8_t)(level * 255u / %1u);\n").arg(max);
    else if (bpp == 8)
        out += QLatin1String("            row[px] = (uint8_t)level;\n");
    else
        out += QStringLiteral("            if( px * %1u % 8 == 0 ) row[px * %1u / 8] = (uint8_t)(level << %2u);\n"
                              "            else row[px * %1u / 8] |= (uint8_t)(level << (%2u - px * %1u % 8));\n")
                   .arg(bpp)
                   .arg(8 - bpp);
    out += QLatin1String("            above_left = above;\n"
                         "            above = above_right;\n"
                         "            above_right = __user_font_level(up, px + 2u, box_w);\n");
    out += QLatin1String("            left = level;\n"
                         "        }\n"
                         "    }\n"
                         "}\n\n");
    return out;
}

} // namespace qm

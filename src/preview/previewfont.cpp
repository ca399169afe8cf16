#include "preview/preview.h"

#include "preview/previewcreader.h"

#include "charset/charset.h"
#include "output/glyphcodec.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace qm {

namespace {

// Field orders of LVGL's declarations, for initialisers written without designators.
const QStringList kFmtTxtGlyphFields{QStringLiteral("bitmap_index"), QStringLiteral("adv_w"),
                                     QStringLiteral("box_w"),        QStringLiteral("box_h"),
                                     QStringLiteral("ofs_x"),        QStringLiteral("ofs_y")};
const QStringList kLegacyGlyphFields{QStringLiteral("w_px"), QStringLiteral("glyph_index")};

// Limits of what the reader takes. A font of this program lists at most 65535 glyphs;
// the lists may be longer in an LVGL 5.3 font of repeated characters, but a list of
// millions is a broken file, and holding it would cost gigabytes.
constexpr qint64 kMaxCodes = 1 << 20;
constexpr qint64 kMaxU16 = 0xFFFF;
constexpr qint64 kMaxU32 = 0xFFFFFFFFll;

// The arrays a struct's fields name, as in ".glyph_bitmap = glyph_bitmap": integers kept
// whole, or as a uint8_t array stores them.
bool namedIntegers(const CSourceReader &reader, const CFields &owner, const QString &field,
                   std::vector<qint64> *out, QString *error)
{
    const QString name = owner.identifier(field);
    QString why;
    if (reader.integers(name, out, kMaxCodes, &why))
        return true;
    *error = QStringLiteral("the array \"%1\" (%2) cannot be read: %3").arg(name, field, why);
    return false;
}

bool namedIntegers(const CSourceReader &reader, const CFields &owner, const QString &field, QByteArray *out,
                   QString *error)
{
    const QString name = owner.identifier(field);
    QString why;
    if (reader.integers(name, out, &why))
        return true;
    *error = QStringLiteral("the array \"%1\" (%2) cannot be read: %3").arg(name, field, why);
    return false;
}

bool namedList(const CSourceReader &reader, const CFields &owner, const QString &field, CElement *out,
               QString *error)
{
    const QString name = owner.identifier(field);
    QString why;
    if (reader.elements(name, out, &why))
        return true;
    *error = why == QLatin1String("it is missing") ? QStringLiteral("\"%1\" (%2) is missing").arg(name, field)
                                                   : QStringLiteral("\"%1\" (%2) cannot be read: %3").arg(name, field, why);
    return false;
}

// A field of `fields` as a number from `low` to `high`: the range of the C type LVGL
// declares it with (the widest of its generations and layouts), so that what is drawn
// is what the compiler stores. An absent field reads as 0, as in C; a field that is
// not such a number is an error naming where it stands.
template <typename T>
bool rangedField(const CFields &fields, const QString &name, qint64 low, qint64 high, T *out,
                 const QString &where, QString *error)
{
    const CElement *e = fields.field(name);
    qint64 value = 0;
    if (e && (e->braced || !e->toInteger(&value) || value < low || value > high)) {
        *error = QStringLiteral("%1: .%2 = %3 is not a number from %4 to %5")
                     .arg(where, name, e->braced ? QStringLiteral("{...}") : e->expression.left(40).toString())
                     .arg(low)
                     .arg(high);
        return false;
    }
    *out = T(value);
    return true;
}

// Reads font-wide values of the lv_font_t object: lv_coord_t, 16 bits unless LVGL is
// built with large coordinates, far beyond any line of text.
bool readLineMetrics(const CFields &font, int *lineHeight, int *baseLine, QString *error)
{
    if (!font.field(QStringLiteral("line_height"))) {
        *error = QStringLiteral("the lv_font_t object has no line_height");
        return false;
    }
    const QString where = QStringLiteral("the lv_font_t object");
    return rangedField(font, QStringLiteral("line_height"), 0, 32767, lineHeight, where, error)
        && rangedField(font, QStringLiteral("base_line"), -32768, 32767, baseLine, where, error);
}

// The characters of a code list in its order, up to the 0 that ends it, within the
// font's range test: those a sample can show.
QString listedLetters(const std::vector<qint64> &codes, size_t listed, qint64 first, qint64 last, int count)
{
    QString out;
    for (size_t i = 0; i < listed && i < codes.size() && out.size() < count; ++i) {
        const qint64 c = codes[i] & 0xFFFF;
        if (c == 0)
            break;
        const QChar ch = QChar(ushort(c));
        if (c >= first && c <= last && !ch.isSurrogate() && ch.isPrint())
            out += ch;
    }
    return out;
}

// The lv_font_fmt_txt font with the lookup functions this program writes: a range test
// against range_start and the largest code (kept in range_length), a one-entry cache of
// the last letter, then a binary search over list_length codes or a linear one up to
// the 0 that ends the list. The glyph id is the index into the list and the descriptors,
// and adv_w is in whole pixels, since those functions copy it to LVGL unchanged. A font
// that leaves the lookups to LVGL's own lv_font_fmt_txt functions (1/16 pixel advances,
// LVGL's cmap forms) needs a class of its own.
class FmtTxtFont : public PreviewFont
{
public:
    bool read(const CSourceReader &reader, const CFields &font, QString *error);
    bool lookup(uint letter, PreviewGlyph *glyph) override;
    QString letters(int count) const override;
    void restart() override
    {
        m_cacheLetter = m_startLetter;
        m_cacheId = m_startId;
    }

private:
    struct Descriptor {
        qint64 bitmapIndex = 0;
        int advW = 0, boxW = 0, boxH = 0, ofsX = 0, ofsY = 0;
    };
    bool unpackCompressed(const CSourceReader &reader, QString *error);
    int binarySearch(uint letter) const;
    int linearSearch(uint letter) const;
    qint64 code(qint64 index) const
    {
        return index >= 0 && index < qint64(m_codes.size()) ? m_codes[size_t(index)] : 0;
    }

    std::vector<Descriptor> m_glyphs;
    std::vector<qint64> m_codes;
    qint64 m_listLength = 0;
    qint64 m_rangeStart = 0;
    qint64 m_rangeLast = 0;
    bool m_binary = false;
    bool m_cached = false;
    uint m_startLetter = 0;
    qint64 m_startId = 0;
    uint m_cacheLetter = 0;
    qint64 m_cacheId = 0;
};

bool FmtTxtFont::read(const CSourceReader &reader, const CFields &font, QString *error)
{
    if (!readLineMetrics(font, &m_lineHeight, &m_baseLine, error))
        return false;
    CElement dscInit, glyphs, cmaps;
    if (!namedList(reader, font, QStringLiteral("dsc"), &dscInit, error))
        return false;
    const CFields dsc(dscInit);
    const QString dscName = font.identifier(QStringLiteral("dsc"));
    if (!rangedField(dsc, QStringLiteral("bpp"), 0, 255, &m_bpp, dscName, error))
        return false;
    if (!namedIntegers(reader, dsc, QStringLiteral("glyph_bitmap"), &m_bitmap, error)
        || !namedList(reader, dsc, QStringLiteral("glyph_dsc"), &glyphs, error)
        || !namedList(reader, dsc, QStringLiteral("cmaps"), &cmaps, error))
        return false;
    // The ranges of LVGL's large descriptor layout; adv_w is what the lookups hand on in
    // lv_font_glyph_dsc_t, 16 bits.
    const QString glyphsName = dsc.identifier(QStringLiteral("glyph_dsc"));
    m_glyphs.reserve(glyphs.members.size());
    for (const CElement &element : glyphs.members) {
        const CFields f(element, kFmtTxtGlyphFields);
        const QString where = QStringLiteral("%1[%2]").arg(glyphsName).arg(m_glyphs.size());
        Descriptor d;
        if (!rangedField(f, kFmtTxtGlyphFields.at(0), 0, kMaxU32, &d.bitmapIndex, where, error)
            || !rangedField(f, kFmtTxtGlyphFields.at(1), 0, kMaxU16, &d.advW, where, error)
            || !rangedField(f, kFmtTxtGlyphFields.at(2), 0, kMaxU16, &d.boxW, where, error)
            || !rangedField(f, kFmtTxtGlyphFields.at(3), 0, kMaxU16, &d.boxH, where, error)
            || !rangedField(f, kFmtTxtGlyphFields.at(4), -32768, 32767, &d.ofsX, where, error)
            || !rangedField(f, kFmtTxtGlyphFields.at(5), -32768, 32767, &d.ofsY, where, error))
            return false;
        m_glyphs.push_back(d);
    }
    if (!unpackCompressed(reader, error))
        return false;

    if (cmaps.members.empty()) {
        *error = QStringLiteral("the font has no character map");
        return false;
    }
    const CFields cmap(cmaps.members.front());
    const QString cmapName = dsc.identifier(QStringLiteral("cmaps")) + QStringLiteral("[0]");
    if (!rangedField(cmap, QStringLiteral("range_start"), 0, kMaxU32, &m_rangeStart, cmapName, error)
        || !rangedField(cmap, QStringLiteral("range_length"), 0, kMaxU16, &m_rangeLast, cmapName, error)
        || !rangedField(cmap, QStringLiteral("list_length"), 0, kMaxU16, &m_listLength, cmapName, error))
        return false;
    if (!namedIntegers(reader, cmap, QStringLiteral("unicode_list"), &m_codes, error))
        return false;

    const QString lookupName = font.identifier(QStringLiteral("get_glyph_dsc"));
    const QStringView lookup = reader.functionBody(lookupName);
    if (lookup.contains(QLatin1String("binsearch"))) {
        m_binary = true;
    } else if (!lookup.contains(QLatin1String("unicode_list"))) {
        *error = QStringLiteral("the glyph lookup \"%1\" is not one this program writes").arg(lookupName);
        return false;
    }
    m_description = m_binary ? QStringLiteral("internal font, sorted (binary search)")
                             : QStringLiteral("internal font, in input order (linear search)");

    // The cache starts from the descriptor's last_letter/last_glyph_id, or from the
    // glyph cache object LVGL 8 keeps them in; both are zero when not initialised.
    m_cached = lookup.contains(QLatin1String("last_glyph_id"));
    CElement cache;
    const QString cacheName = dsc.identifier(QStringLiteral("cache"));
    const bool ownCache = reader.elements(cacheName, &cache);
    const CFields cacheFields = ownCache ? CFields(cache) : dsc;
    const QString cacheWhere = ownCache ? cacheName : dscName;
    if (!rangedField(cacheFields, QStringLiteral("last_letter"), 0, kMaxU32, &m_startLetter, cacheWhere, error)
        || !rangedField(cacheFields, QStringLiteral("last_glyph_id"), 0, kMaxU32, &m_startId, cacheWhere, error))
        return false;
    restart();
    return true;
}

QString FmtTxtFont::letters(int count) const
{
    const size_t listed = m_binary ? size_t(qMin(m_listLength, qint64(m_codes.size()))) : m_codes.size();
    return listedLetters(m_codes, listed, m_rangeStart, m_rangeLast, count);
}

// The glyph codec's tables of a compressed font. False with an error when they are
// there but unusable; `present` says whether there were any.
bool readGlyphModel(const CSourceReader &reader, int bpp, GlyphCodecModel *model, bool *present, QString *error)
{
    std::vector<QByteArray> groups, cums;
    for (int plane = 0; plane < 2; ++plane) {
        QByteArray group, cum;
        CElement rows;
        if (!reader.integers(QStringLiteral("glyph_model_group%1").arg(plane), &group)
            || !reader.elements(QStringLiteral("glyph_model_cum%1").arg(plane), &rows))
            break;
        // One braced row of the cumulative frequencies per group.
        for (const CElement &row : rows.members)
            for (const CElement &value : row.members) {
                qint64 v = 0;
                value.toInteger(&v);
                cum += char(v);
            }
        groups.push_back(group);
        cums.push_back(cum);
    }
    *present = !groups.empty();
    if (*present && !GlyphCodecModel::fromTables(bpp, groups, cums, model)) {
        *error = QStringLiteral("the compressed glyphs' tables do not fit a %1 bpp font").arg(bpp);
        return false;
    }
    return true;
}

// Unpacks a w x h glyph whose stream starts at `offset` and ends at `end` (clamped to
// the data) and appends its rows, packed as a plain font holds them, to `packed`.
bool unpackGlyph(const GlyphCodecModel &model, const QByteArray &streams, qint64 offset, qint64 end, int w, int h,
                 int bpp, QByteArray *packed, QString *error)
{
    w = qMax(0, w);
    h = qMax(0, h);
    if (qint64(w) * h > (qint64(1) << 24)) {
        *error = QStringLiteral("a glyph box of %1 x %2 is too large to unpack").arg(w).arg(h);
        return false;
    }
    std::vector<uint8_t> levels(size_t(w) * size_t(h));
    end = end < 0 || end > streams.size() ? streams.size() : end;
    if (offset < 0
        || !decodeGlyph(model, reinterpret_cast<const uint8_t *>(streams.constData()), size_t(end), size_t(offset), w,
                        h, levels.data())) {
        *error = offset >= 0 && offset <= streams.size()
                     ? QStringLiteral("a glyph's stream starts at %1, past the next glyph's at %2").arg(offset).arg(end)
                     : QStringLiteral("a glyph's stream starts at %1, past the %2 bytes of its data")
                           .arg(offset)
                           .arg(streams.size());
        return false;
    }
    const int rowBytes = (w * bpp + 7) / 8;
    for (int y = 0; y < h; ++y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            const int bit = x * bpp;
            row[bit / 8] = char(uchar(row[bit / 8]) | levels[size_t(y * w + x)] << (8 - bpp - bit % 8));
        }
        *packed += row;
    }
    return true;
}

bool FmtTxtFont::unpackCompressed(const CSourceReader &reader, QString *error)
{
    GlyphCodecModel model;
    bool present = false;
    if (!readGlyphModel(reader, m_bpp, &model, &present, error))
        return false;
    if (!present)
        return true;
    // Each glyph is unpacked once into rows packed as a plain font holds them, so the
    // drawing reads both kinds alike.
    // A glyph's stream ends where the next glyph's begins, as the generated code reads it.
    const QByteArray streams = m_bitmap;
    QByteArray packed;
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        Descriptor &d = m_glyphs[i];
        const qint64 at = d.bitmapIndex;
        const qint64 end = i + 1 < m_glyphs.size() ? m_glyphs[i + 1].bitmapIndex : -1;
        d.bitmapIndex = packed.size();
        if (!unpackGlyph(model, streams, at, end, d.boxW, d.boxH, m_bpp, &packed, error))
            return false;
    }
    m_bitmap = packed;
    return true;
}

int FmtTxtFont::binarySearch(uint letter) const
{
    // The emitted search takes the letter as a uint16_t.
    const qint64 key = letter & 0xFFFF;
    qint64 low = 0, high = m_listLength - 1;
    while (low <= high) {
        const qint64 mid = (low + high) >> 1;
        const qint64 value = code(mid) & 0xFFFF;
        if (key < value)
            high = mid - 1;
        else if (key > value)
            low = mid + 1;
        else
            return int(mid);
    }
    return -1;
}

int FmtTxtFont::linearSearch(uint letter) const
{
    for (size_t i = 0; i < m_codes.size() && (m_codes[i] & 0xFFFF) != 0; ++i) {
        if ((m_codes[i] & 0xFFFF) == letter)
            return int(i);
    }
    return -1;
}

bool FmtTxtFont::lookup(uint letter, PreviewGlyph *glyph)
{
    if (qint64(letter) < m_rangeStart || qint64(letter) > m_rangeLast)
        return false;
    qint64 id;
    if (m_cached && letter == m_cacheLetter) {
        id = m_cacheId;
    } else {
        id = m_binary ? binarySearch(letter) : linearSearch(letter);
        if (id < 0)
            return false;
        if (m_cached) {
            m_cacheLetter = letter;
            m_cacheId = id;
        }
    }
    if (id < 0 || quint64(id) >= m_glyphs.size())
        return false;
    const Descriptor &d = m_glyphs[size_t(id)];
    glyph->advW = d.advW;
    glyph->boxW = d.boxW;
    glyph->boxH = d.boxH;
    glyph->ofsX = d.ofsX;
    glyph->ofsY = d.ofsY;
    glyph->bpp = m_bpp;
    glyph->bitmap = d.bitmapIndex;
    glyph->rowBits = qint64(d.boxW) * m_bpp;
    glyph->fromLineTop = false;
    return true;
}

// The LVGL 5.3 font: LVGL's own sparse lookups (a range test against unicode_first and
// unicode_last, a linear search up to the 0 that ends unicode_list). A glyph is w_px
// wide and h_px high, drawn from the top of the line, each row padded to whole bytes.
class LegacyFont : public PreviewFont
{
public:
    bool read(const CSourceReader &reader, const CFields &font, QString *error);
    bool lookup(uint letter, PreviewGlyph *glyph) override;
    QString letters(int count) const override;

private:
    struct Descriptor {
        int width = 0;
        qint64 index = 0;
    };
    std::vector<Descriptor> m_glyphs;
    std::vector<qint64> m_codes;
    qint64 m_first = 0;
    qint64 m_last = 0;
};

bool LegacyFont::read(const CSourceReader &reader, const CFields &font, QString *error)
{
    if (!font.field(QStringLiteral("h_px"))) {
        *error = QStringLiteral("the lv_font_t object has no h_px");
        return false;
    }
    const QString where = QStringLiteral("the lv_font_t object");
    if (!rangedField(font, QStringLiteral("h_px"), 0, 255, &m_lineHeight, where, error)
        || !rangedField(font, QStringLiteral("bpp"), 0, 255, &m_bpp, where, error)
        || !rangedField(font, QStringLiteral("unicode_first"), 0, kMaxU32, &m_first, where, error)
        || !rangedField(font, QStringLiteral("unicode_last"), 0, kMaxU32, &m_last, where, error))
        return false;

    CElement glyphs;
    if (!namedIntegers(reader, font, QStringLiteral("glyph_bitmap"), &m_bitmap, error)
        || !namedIntegers(reader, font, QStringLiteral("unicode_list"), &m_codes, error)
        || !namedList(reader, font, QStringLiteral("glyph_dsc"), &glyphs, error))
        return false;
    // w_px and glyph_index share a 32-bit word: 8 and 24 bits.
    const QString glyphsName = font.identifier(QStringLiteral("glyph_dsc"));
    m_glyphs.reserve(glyphs.members.size());
    for (const CElement &element : glyphs.members) {
        const CFields f(element, kLegacyGlyphFields);
        const QString at = QStringLiteral("%1[%2]").arg(glyphsName).arg(m_glyphs.size());
        Descriptor d;
        if (!rangedField(f, QStringLiteral("w_px"), 0, 255, &d.width, at, error)
            || !rangedField(f, QStringLiteral("glyph_index"), 0, 0xFFFFFF, &d.index, at, error))
            return false;
        m_glyphs.push_back(d);
    }
    if (font.identifier(QStringLiteral("get_width")) != QLatin1String("lv_font_get_width_sparse")) {
        *error = QStringLiteral("the LVGL 5.3 font does not use the sparse lookups");
        return false;
    }
    m_description = QStringLiteral("LVGL 5.3 internal font");
    return true;
}

QString LegacyFont::letters(int count) const
{
    return listedLetters(m_codes, m_codes.size(), m_first, m_last, count);
}

bool LegacyFont::lookup(uint letter, PreviewGlyph *glyph)
{
    if (qint64(letter) < m_first || qint64(letter) > m_last)
        return false;
    for (size_t i = 0; i < m_codes.size() && m_codes[i] != 0; ++i) {
        if (m_codes[i] != qint64(letter))
            continue;
        if (i >= m_glyphs.size())
            return false;
        const Descriptor &d = m_glyphs[i];
        glyph->advW = d.width;
        glyph->boxW = d.width;
        glyph->boxH = m_lineHeight;
        glyph->ofsX = glyph->ofsY = 0;
        glyph->bpp = m_bpp;
        glyph->bitmap = d.index;
        glyph->rowBits = (qint64(d.width) * m_bpp + 7) / 8 * 8;
        glyph->fromLineTop = true;
        return true;
    }
    return false;
}

// The XBF table: the header's range, one 32-bit position per code from min to max,
// records of a 6-byte descriptor and the bitmap. The array kind reads min, max and bpp
// from the table's own header; the bin kind's reader takes them from the C text.
class XbfFont : public PreviewFont
{
public:
    XbfFont(const QByteArray &table, uint min, uint max, int bpp, int lineHeight, int baseLine,
            const QString &description)
        : m_table(table), m_min(min), m_max(max)
    {
        m_bitmap = table;
        m_bpp = bpp;
        m_lineHeight = lineHeight;
        m_baseLine = baseLine;
        m_description = description;
    }
    bool lookup(uint letter, PreviewGlyph *glyph) override;
    QString letters(int count) const override;
    // Empty when the table holds its whole position table and every record it points
    // to; otherwise where it ends early. `what` names the table for the message.
    // `plainRecords` false (compressed records, whose streams the unpacking checks) looks
    // at the header and position table alone.
    QString truncation(const QString &what, bool plainRecords) const;
    // Compressed records: every glyph is unpacked once into rows packed as a plain
    // record holds them; the descriptors stay in the table.
    bool unpack(const GlyphCodecModel &model, QString *error);

private:
    // Bytes past the end read as 0 (where the target would read whatever follows).
    uint byteAt(qint64 offset) const
    {
        return offset >= 0 && offset < m_table.size() ? uchar(m_table.at(int(offset))) : 0u;
    }
    qint64 positionOf(uint letter) const
    {
        const qint64 entry = 8 + 4 * qint64(letter - m_min);
        return qint64(byteAt(entry) | byteAt(entry + 1) << 8 | byteAt(entry + 2) << 16
                      | quint32(byteAt(entry + 3)) << 24);
    }
    QByteArray m_table;
    QHash<qint64, qint64> m_unpackedAt;   // record position -> its rows in m_bitmap
    bool m_unpacked = false;
    uint m_min;
    uint m_max;
};

bool XbfFont::unpack(const GlyphCodecModel &model, QString *error)
{
    QByteArray packed;
    for (uint letter = m_min; letter <= m_max && m_max < 0x10000; ++letter) {
        const qint64 pos = positionOf(letter);
        if (pos == 0 || m_unpackedAt.contains(pos))
            continue;
        m_unpackedAt.insert(pos, packed.size());
        if (!unpackGlyph(model, m_table, pos + 6, -1, int(byteAt(pos + 1)), int(byteAt(pos + 2)), m_bpp, &packed, error))
            return false;
    }
    m_bitmap = packed;
    m_unpacked = true;
    return true;
}

bool XbfFont::lookup(uint letter, PreviewGlyph *glyph)
{
    if (letter > m_max || letter < m_min)
        return false;
    const qint64 pos = positionOf(letter);
    if (pos == 0)
        return false;
    glyph->advW = int(byteAt(pos));
    glyph->boxW = int(byteAt(pos + 1));
    glyph->boxH = int(byteAt(pos + 2));
    glyph->ofsX = int(qint8(byteAt(pos + 3)));
    glyph->ofsY = int(qint8(byteAt(pos + 4)));
    glyph->bpp = m_bpp;
    glyph->bitmap = m_unpacked ? m_unpackedAt.value(pos) : pos + 6;
    glyph->rowBits = qint64(glyph->boxW) * m_bpp;
    glyph->fromLineTop = false;
    return true;
}

QString XbfFont::letters(int count) const
{
    QString out;
    for (uint c = qMax(m_min, 1u); c <= m_max && out.size() < count; ++c) {
        const QChar ch = QChar(ushort(c));
        if (positionOf(c) != 0 && !ch.isSurrogate() && ch.isPrint())
            out += ch;
    }
    return out;
}

QString XbfFont::truncation(const QString &what, bool plainRecords) const
{
    const qint64 size = m_table.size();
    const qint64 table = m_max >= m_min ? 8 + 4 * (qint64(m_max) - m_min + 1) : 8;
    if (size < table) {
        return QStringLiteral("the %1 ends early: it holds %2 bytes, its header and position table alone need %3")
            .arg(what)
            .arg(size)
            .arg(table);
    }
    const bool drawable = m_bpp == 1 || m_bpp == 2 || m_bpp == 4 || m_bpp == 8;
    for (uint c = m_min; plainRecords && c <= m_max; ++c) {
        const qint64 pos = positionOf(c);
        if (pos == 0)
            continue;
        qint64 end = pos + 6;
        if (drawable && end <= size)
            end += (qint64(byteAt(pos + 1)) * byteAt(pos + 2) * m_bpp + 7) / 8;
        if (end > size) {
            return QStringLiteral("the %1 ends early: it holds %2 bytes, but the glyph of %3 ends at byte %4")
                .arg(what)
                .arg(size)
                .arg(codePointName(c))
                .arg(end);
        }
    }
    return QString();
}

// A compressed table is unpacked (its streams checked as they are decoded); a plain one
// must hold every record it points to.
std::unique_ptr<PreviewFont> finishXbf(const CSourceReader &reader, std::unique_ptr<XbfFont> font, const QString &what,
                                       QString *error)
{
    GlyphCodecModel model;
    bool compressed = false;
    if (!readGlyphModel(reader, font->bpp(), &model, &compressed, error))
        return nullptr;
    *error = font->truncation(what, !compressed);
    if (!error->isEmpty())
        return nullptr;
    if (compressed && !font->unpack(model, error))
        return nullptr;
    return font;
}

std::unique_ptr<PreviewFont> decodeXbf(const CSourceReader &reader, const CFields &font,
                                       const QByteArray &bin, QString *error)
{
    int lineHeight = 0, baseLine = 0;
    if (!readLineMetrics(font, &lineHeight, &baseLine, error))
        return nullptr;
    QByteArray table;
    QString why;
    if (reader.integers(QStringLiteral("glyph_dsc_xbf"), &table, &why)) {
        if (table.size() < 8) {
            *error = QStringLiteral("the XBF table is shorter than its header");
            return nullptr;
        }
        const auto u16 = [&table](int at) { return uint(uchar(table[at])) | uint(uchar(table[at + 1])) << 8; };
        return finishXbf(reader,
                         std::make_unique<XbfFont>(table, u16(0), u16(2), uchar(table[4]), lineHeight, baseLine,
                                                   QStringLiteral("XBF table in a C array")),
                         QStringLiteral("XBF table"), error);
    }
    if (why != QLatin1String("it is missing")) {
        *error = QStringLiteral("the array \"glyph_dsc_xbf\" cannot be read: %1").arg(why);
        return nullptr;
    }
    CElement header;
    if (reader.elements(QStringLiteral("__g_xbf_hd"), &header)) {
        if (bin.isEmpty()) {
            *error = QStringLiteral("the XBF reader needs its .bin file");
            return nullptr;
        }
        const CFields h(header);
        const QString where = QStringLiteral("__g_xbf_hd");
        uint min = 0, max = 0;
        int bpp = 0;
        if (!rangedField(h, QStringLiteral("min"), 0, kMaxU16, &min, where, error)
            || !rangedField(h, QStringLiteral("max"), 0, kMaxU16, &max, where, error)
            || !rangedField(h, QStringLiteral("bpp"), 0, 255, &bpp, where, error))
            return nullptr;
        // The .bin starts with the same header: another font's .bin beside this C file
        // would be drawn as garbage.
        if (bin.size() >= 8) {
            const auto u16 = [&bin](int at) { return uint(uchar(bin[at])) | uint(uchar(bin[at + 1])) << 8; };
            if (u16(0) != min || u16(2) != max || uchar(bin[4]) != bpp) {
                *error = QStringLiteral("the .bin file does not belong to this C file: its header says "
                                        "%1 to %2 at %3 bpp, the C file %4 to %5 at %6 bpp")
                             .arg(codePointName(u16(0)), codePointName(u16(2)))
                             .arg(uchar(bin[4]))
                             .arg(codePointName(min), codePointName(max))
                             .arg(bpp);
                return nullptr;
            }
        }
        return finishXbf(reader,
                         std::make_unique<XbfFont>(bin, min, max, bpp, lineHeight, baseLine,
                                                   QStringLiteral("XBF table in a .bin file")),
                         QStringLiteral(".bin file"), error);
    }
    *error = QStringLiteral("the font's glyph data were not found");
    return nullptr;
}

} // namespace

namespace {

std::unique_ptr<PreviewFont> decodeFont(const QString &cText, const QByteArray &bin, QString *error)
{
    CSourceReader reader;
    if (!reader.parse(cText, error))
        return nullptr;
    CElement fontInit;
    QString why;
    const QString fontName = reader.objectOfType(QStringLiteral("lv_font_t"));
    if (fontName.isEmpty()) {
        *error = QStringLiteral("the text defines no lv_font_t object");
        return nullptr;
    }
    if (!reader.elements(fontName, &fontInit, &why)) {
        *error = QStringLiteral("the lv_font_t object \"%1\" cannot be read: %2").arg(fontName, why);
        return nullptr;
    }
    const CFields font(fontInit);
    if (font.field(QStringLiteral("h_px"))) {
        auto legacy = std::make_unique<LegacyFont>();
        if (!legacy->read(reader, font, error))
            return nullptr;
        return legacy;
    }
    if (font.field(QStringLiteral("dsc"))) {
        auto fmtTxt = std::make_unique<FmtTxtFont>();
        if (!fmtTxt->read(reader, font, error))
            return nullptr;
        return fmtTxt;
    }
    return decodeXbf(reader, font, bin, error);
}

// A regular file of at most `limit` bytes, handed to `take` as one block; a device, a
// pipe or a larger file is refused instead of being read for ever or into all the
// memory there is.
template <typename Take>
bool readLimited(const QString &path, qint64 limit, Take take, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("%1: not a regular file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const qint64 size = file.size();
    if (size > limit) {
        *error = QStringLiteral("%1 is %2 bytes; the preview reads files of up to %3 MiB")
                     .arg(path)
                     .arg(size)
                     .arg(limit >> 20);
        return false;
    }
    // Mapped, the bytes are not copied once more before they become text.
    if (const uchar *mapped = size > 0 ? file.map(0, size) : nullptr) {
        take(reinterpret_cast<const char *>(mapped), int(size));
        file.unmap(const_cast<uchar *>(mapped));
        return true;
    }
    const QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit) {
        *error = QStringLiteral("%1 is larger than the %2 MiB the preview reads").arg(path).arg(limit >> 20);
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    take(bytes.constData(), bytes.size());
    return true;
}

QString outOfMemory()
{
    return QStringLiteral("not enough memory to read the font");
}

} // namespace

std::unique_ptr<PreviewFont> decodePreviewFont(const QString &cText, const QByteArray &bin, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    try {
        return decodeFont(cText, bin, error);
    } catch (const std::bad_alloc &) {
        *error = outOfMemory();
        return nullptr;
    }
}

PreviewSource previewSourceOf(const ConversionResult &result, const QString &cFile)
{
    PreviewSource source;
    for (const QString &file : result.filesWritten) {
        if (file.endsWith(QLatin1String(".bin")))
            source.binPath = file;
        else if (file.endsWith(QLatin1String(".c")))
            source.cPath = file;
    }
    if (source.cPath.isEmpty())
        source.cPath = cFile;
    if (source.cPath.isEmpty())
        source.text = result.text;
    return source;
}

std::unique_ptr<PreviewFont> loadPreviewFont(const PreviewSource &source, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    try {
        QString text = source.text;
        if (text.isEmpty()) {
            // Everything the reader looks at (names, numbers, punctuation) is ASCII; other
            // characters stand only in comments and strings, which it skips. So the bytes
            // are widened as they are instead of being decoded, which for a large font is
            // most of the reading time.
            const auto widen = [&text](const char *data, int size) { text = QString::fromLatin1(data, size); };
            if (!readLimited(source.cPath, kMaxPreviewFileBytes, widen, error))
                return nullptr;
        }
        QByteArray bin;
        const auto keep = [&bin](const char *data, int size) { bin = QByteArray(data, size); };
        if (!source.binPath.isEmpty() && !readLimited(source.binPath, kMaxPreviewFileBytes, keep, error))
            return nullptr;
        return decodeFont(text, bin, error);
    } catch (const std::bad_alloc &) {
        *error = outOfMemory();
        return nullptr;
    }
}

} // namespace qm

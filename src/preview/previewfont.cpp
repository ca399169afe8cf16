#include "preview/preview.h"

#include "preview/previewcreader.h"

#include "output/glyphcodec.h"

#include <QFile>

namespace qm {

namespace {

// Field orders of LVGL's declarations, for initialisers written without designators.
const QStringList kFmtTxtGlyphFields{QStringLiteral("bitmap_index"), QStringLiteral("adv_w"),
                                     QStringLiteral("box_w"),        QStringLiteral("box_h"),
                                     QStringLiteral("ofs_x"),        QStringLiteral("ofs_y")};
const QStringList kLegacyGlyphFields{QStringLiteral("w_px"), QStringLiteral("glyph_index")};

// The arrays a struct's fields name, as in ".glyph_bitmap = glyph_bitmap": integers kept
// whole, or as a uint8_t array stores them.
template <typename Numbers>
bool namedIntegers(const CSourceReader &reader, const CFields &owner, const QString &field, Numbers *out,
                   QString *error)
{
    const QString name = owner.identifier(field);
    if (reader.integers(name, out))
        return true;
    *error = QStringLiteral("the array \"%1\" (%2) is missing or holds values that are not numbers").arg(name, field);
    return false;
}

bool namedList(const CSourceReader &reader, const CFields &owner, const QString &field, CElement *out,
               QString *error)
{
    const QString name = owner.identifier(field);
    if (reader.elements(name, out))
        return true;
    *error = QStringLiteral("\"%1\" (%2) is missing").arg(name, field);
    return false;
}

// Reads font-wide values of the lv_font_t object.
bool readLineMetrics(const CFields &font, int *lineHeight, int *baseLine, QString *error)
{
    qint64 height = 0, base = 0;
    if (!font.integer(QStringLiteral("line_height"), &height)) {
        *error = QStringLiteral("the lv_font_t object has no line_height");
        return false;
    }
    font.integer(QStringLiteral("base_line"), &base);
    *lineHeight = int(height);
    *baseLine = int(base);
    return true;
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
    int m_startId = 0;
    uint m_cacheLetter = 0;
    int m_cacheId = 0;
};

bool FmtTxtFont::read(const CSourceReader &reader, const CFields &font, QString *error)
{
    if (!readLineMetrics(font, &m_lineHeight, &m_baseLine, error))
        return false;
    CElement dscInit, glyphs, cmaps;
    if (!namedList(reader, font, QStringLiteral("dsc"), &dscInit, error))
        return false;
    const CFields dsc(dscInit);
    qint64 bpp = 0;
    dsc.integer(QStringLiteral("bpp"), &bpp);
    m_bpp = int(bpp);
    if (!namedIntegers(reader, dsc, QStringLiteral("glyph_bitmap"), &m_bitmap, error)
        || !namedList(reader, dsc, QStringLiteral("glyph_dsc"), &glyphs, error)
        || !namedList(reader, dsc, QStringLiteral("cmaps"), &cmaps, error))
        return false;
    m_glyphs.reserve(glyphs.members.size());
    for (const CElement &element : glyphs.members) {
        const CFields f(element, kFmtTxtGlyphFields);
        qint64 v[6] = {};
        for (int i = 0; i < 6; ++i)
            f.integer(kFmtTxtGlyphFields.at(i), &v[i]);
        m_glyphs.push_back({v[0], int(v[1]), int(v[2]), int(v[3]), int(v[4]), int(v[5])});
    }
    if (!unpackCompressed(reader, error))
        return false;

    if (cmaps.members.empty()) {
        *error = QStringLiteral("the font has no character map");
        return false;
    }
    const CFields cmap(cmaps.members.front());
    cmap.integer(QStringLiteral("range_start"), &m_rangeStart);
    cmap.integer(QStringLiteral("range_length"), &m_rangeLast);
    cmap.integer(QStringLiteral("list_length"), &m_listLength);
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
    const CFields cacheFields = reader.elements(dsc.identifier(QStringLiteral("cache")), &cache) ? CFields(cache)
                                                                                                : dsc;
    qint64 letter = 0, id = 0;
    cacheFields.integer(QStringLiteral("last_letter"), &letter);
    cacheFields.integer(QStringLiteral("last_glyph_id"), &id);
    m_startLetter = uint(letter);
    m_startId = int(id);
    restart();
    return true;
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

// Unpacks a w x h glyph whose stream starts at `offset` and appends its rows, packed as
// a plain font holds them, to `packed`.
bool unpackGlyph(const GlyphCodecModel &model, const QByteArray &streams, qint64 offset, int w, int h, int bpp,
                 QByteArray *packed, QString *error)
{
    w = qMax(0, w);
    h = qMax(0, h);
    if (qint64(w) * h > (qint64(1) << 24)) {
        *error = QStringLiteral("a glyph box of %1 x %2 is too large to unpack").arg(w).arg(h);
        return false;
    }
    std::vector<uint8_t> levels(size_t(w) * size_t(h));
    if (offset < 0
        || !decodeGlyph(model, reinterpret_cast<const uint8_t *>(streams.constData()), size_t(streams.size()),
                        size_t(offset), w, h, levels.data())) {
        *error = QStringLiteral("a glyph's stream starts at %1, past the %2 bytes of its data").arg(offset).arg(streams.size());
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
    const QByteArray streams = m_bitmap;
    QByteArray packed;
    for (Descriptor &d : m_glyphs) {
        const qint64 at = d.bitmapIndex;
        d.bitmapIndex = packed.size();
        if (!unpackGlyph(model, streams, at, d.boxW, d.boxH, m_bpp, &packed, error))
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
    int id;
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
    if (id < 0 || size_t(id) >= m_glyphs.size())
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
    qint64 height = 0, bpp = 0;
    if (!font.integer(QStringLiteral("h_px"), &height)) {
        *error = QStringLiteral("the lv_font_t object has no h_px");
        return false;
    }
    m_lineHeight = int(height);
    font.integer(QStringLiteral("bpp"), &bpp);
    m_bpp = int(bpp);
    font.integer(QStringLiteral("unicode_first"), &m_first);
    font.integer(QStringLiteral("unicode_last"), &m_last);

    CElement glyphs;
    if (!namedIntegers(reader, font, QStringLiteral("glyph_bitmap"), &m_bitmap, error)
        || !namedIntegers(reader, font, QStringLiteral("unicode_list"), &m_codes, error)
        || !namedList(reader, font, QStringLiteral("glyph_dsc"), &glyphs, error))
        return false;
    m_glyphs.reserve(glyphs.members.size());
    for (const CElement &element : glyphs.members) {
        const CFields f(element, kLegacyGlyphFields);
        qint64 width = 0, index = 0;
        f.integer(QStringLiteral("w_px"), &width);
        f.integer(QStringLiteral("glyph_index"), &index);
        m_glyphs.push_back({int(width), index});
    }
    if (font.identifier(QStringLiteral("get_width")) != QLatin1String("lv_font_get_width_sparse")) {
        *error = QStringLiteral("the LVGL 5.3 font does not use the sparse lookups");
        return false;
    }
    m_description = QStringLiteral("LVGL 5.3 internal font");
    return true;
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
        if (!unpackGlyph(model, m_table, pos + 6, int(byteAt(pos + 1)), int(byteAt(pos + 2)), m_bpp, &packed, error))
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

bool unpackXbf(const CSourceReader &reader, XbfFont &font, QString *error)
{
    GlyphCodecModel model;
    bool present = false;
    if (!readGlyphModel(reader, font.bpp(), &model, &present, error))
        return false;
    return !present || font.unpack(model, error);
}

std::unique_ptr<PreviewFont> decodeXbf(const CSourceReader &reader, const CFields &font,
                                       const QByteArray &bin, QString *error)
{
    int lineHeight = 0, baseLine = 0;
    if (!readLineMetrics(font, &lineHeight, &baseLine, error))
        return nullptr;
    QByteArray table;
    if (reader.integers(QStringLiteral("glyph_dsc_xbf"), &table)) {
        if (table.size() < 8) {
            *error = QStringLiteral("the XBF table is shorter than its header");
            return nullptr;
        }
        const auto u16 = [&table](int at) { return uint(uchar(table[at])) | uint(uchar(table[at + 1])) << 8; };
        auto xbf = std::make_unique<XbfFont>(table, u16(0), u16(2), uchar(table[4]), lineHeight, baseLine,
                                             QStringLiteral("XBF table in a C array"));
        if (!unpackXbf(reader, *xbf, error))
            return nullptr;
        return xbf;
    }
    CElement header;
    if (reader.elements(QStringLiteral("__g_xbf_hd"), &header)) {
        if (bin.isEmpty()) {
            *error = QStringLiteral("the XBF reader needs its .bin file");
            return nullptr;
        }
        const CFields h(header);
        qint64 min = 0, max = 0, bpp = 0;
        h.integer(QStringLiteral("min"), &min);
        h.integer(QStringLiteral("max"), &max);
        h.integer(QStringLiteral("bpp"), &bpp);
        auto xbf = std::make_unique<XbfFont>(bin, uint(min & 0xFFFF), uint(max & 0xFFFF), int(bpp & 0xFF),
                                             lineHeight, baseLine, QStringLiteral("XBF table in a .bin file"));
        if (!unpackXbf(reader, *xbf, error))
            return nullptr;
        return xbf;
    }
    *error = QStringLiteral("the font's glyph data were not found");
    return nullptr;
}

} // namespace

std::unique_ptr<PreviewFont> decodePreviewFont(const QString &cText, const QByteArray &bin, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    CSourceReader reader;
    if (!reader.parse(cText, error))
        return nullptr;
    CElement fontInit;
    if (!reader.elements(reader.objectOfType(QStringLiteral("lv_font_t")), &fontInit)) {
        *error = QStringLiteral("the text defines no lv_font_t object");
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
    QString text = source.text;
    if (text.isEmpty()) {
        QFile file(source.cPath);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(source.cPath, file.errorString());
            return nullptr;
        }
        // Everything the reader looks at (names, numbers, punctuation) is ASCII; other
        // characters stand only in comments and strings, which it skips. So the bytes are
        // widened as they are instead of being decoded, which for a large font is most of
        // the reading time.
        const qint64 size = file.size();
        if (const uchar *mapped = size > 0 ? file.map(0, size) : nullptr)
            text = QString::fromLatin1(reinterpret_cast<const char *>(mapped), int(size));
        else
            text = QString::fromLatin1(file.readAll());
    }
    QByteArray bin;
    if (!source.binPath.isEmpty()) {
        QFile file(source.binPath);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(source.binPath, file.errorString());
            return nullptr;
        }
        bin = file.readAll();
    }
    return decodePreviewFont(text, bin, error);
}

} // namespace qm

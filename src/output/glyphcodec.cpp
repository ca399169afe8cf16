#include "glyphcodec.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace qm {

namespace {

// Levels 1..7, 8..14 and the full level say more apart than their exact value does
// once three exact neighbours are in the key.
inline uint32_t quarter(uint32_t v, int bpp)
{
    const uint32_t max = (1u << bpp) - 1;
    const uint32_t half = 1u << (bpp - 1);
    return uint32_t(v > 0) + uint32_t(v >= half) + uint32_t(v >= max);
}

int keyBitsFor(int bpp, int plane)
{
    if (bpp == 8 && plane == 1)
        return 12;
    return bpp == 4 || bpp == 8 ? 14 : 12;
}

// Runs work(begin, end) over [0, n) in two halves, the first on a thread of its own: a
// conversion has the second core to itself once its glyphs are drawn.
template <typename Work>
void inTwoHalves(int n, Work work)
{
    if (n < 256) {
        work(0, n);
        return;
    }
    std::thread first([&work, n] { work(0, n / 2); });
    work(n / 2, n);
    first.join();
}

// A key seen in the set and its symbols' counts, read where they were counted: a copy
// of the nonzero ones cost more in fresh memory than the counting did.
struct Sparse {
    uint32_t key;
    double total;
    const uint32_t *counts;   // one a symbol
};

// Folds the observed keys into at most kGroups groups of like distributions (a few
// rounds of k-means under code length), so one small table serves many keys.
template <int kGroups>
std::vector<int> groupKeys(const std::vector<Sparse> &keys, int symbols)
{
    static_assert(kGroups % 4 == 0 && kGroups <= GlyphCodecModel::kMaxGroups, "groups come in fours");
    const int n = int(keys.size());
    std::vector<int> group(static_cast<size_t>(n), 0);
    if (n <= kGroups) {
        for (int i = 0; i < n; ++i)
            group[size_t(i)] = i;
        return group;
    }
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[size_t(i)] = i;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return keys[size_t(a)].total > keys[size_t(b)].total || (keys[size_t(a)].total == keys[size_t(b)].total && a < b);
    });
    const int k = kGroups;
    std::vector<double> centre(size_t(k * symbols), 0.0);
    for (int c = 0; c < k; ++c)
        for (int s = 0; s < symbols; ++s)
            centre[size_t(c * symbols + s)] = keys[size_t(order[size_t(c)])].counts[s];
    // Code lengths symbol-major, so that a key's cost against every group is a few
    // passes over contiguous rows the compiler can vectorise.
    std::vector<float> cost(size_t(symbols * k));
    // The sums go to a local array of a constant whole number of vector widths: the
    // compiler then knows they alias nothing and vectorises them at -O2 (into a vector
    // it would not, and the sums took most of the training time).
    auto assign = [&](const Sparse &key) {
        float sum[kGroups] = {};
        for (int s = 0; s < symbols; ++s) {
            if (key.counts[s] == 0)
                continue;
            const float weight = float(key.counts[s]);
            const float *row = &cost[size_t(s * kGroups)];
            for (int c = 0; c < kGroups; ++c)
                sum[c] += weight * row[c];
        }
        // The smallest first, in four independent lanes (a plain argmin is a chain of
        // dependent compares), then where it is.
        float lane[4] = {sum[0], sum[0], sum[0], sum[0]};
        for (int c = 0; c < kGroups; c += 4)
            for (int l = 0; l < 4; ++l)
                lane[l] = sum[c + l] < lane[l] ? sum[c + l] : lane[l];
        const float least = std::min(std::min(lane[0], lane[1]), std::min(lane[2], lane[3]));
        return int(std::find(sum, sum + kGroups, least) - sum);
    };
    // Rare keys hardly move the groups: the rounds refine on the frequent ones and the
    // rare ones only take their nearest group at the end. What counts as rare grows
    // with the set, so a large set costs the rounds no more than a small one.
    double mass = 0;
    for (const Sparse &key : keys)
        mass += key.total;
    const double frequent = std::max(8.0, mass / 100000);
    for (int round = 0; round <= 4; ++round) {
        for (int c = 0; c < k; ++c) {
            double total = 0;
            for (int s = 0; s < symbols; ++s)
                total += centre[size_t(c * symbols + s)];
            for (int s = 0; s < symbols; ++s)
                cost[size_t(s * k + c)] =
                    float(-std::log2((centre[size_t(c * symbols + s)] + 0.02) / (total + 0.02 * symbols)));
        }
        const bool last = round == 4;
        bool movedHalf[2] = {false, false};
        inTwoHalves(n, [&](int begin, int end) {
            bool &moved = movedHalf[begin == 0 ? 0 : 1];
            for (int i = begin; i < end; ++i) {
                const Sparse &key = keys[size_t(i)];
                if (!last && key.total < frequent)
                    continue;
                const int best = assign(key);
                moved = moved || round == 0 || group[size_t(i)] != best;
                group[size_t(i)] = best;
            }
        });
        const bool moved = movedHalf[0] || movedHalf[1];
        if (last)
            break;
        std::fill(centre.begin(), centre.end(), 0.0);
        for (int i = 0; i < n; ++i)
            if (keys[size_t(i)].total >= frequent)
                for (int s = 0; s < symbols; ++s)
                    centre[size_t(group[size_t(i)] * symbols + s)] += keys[size_t(i)].counts[s];
        if (!moved)
            round = 3;   // settled: straight to the final pass over every key
    }
    // Groups that lost every key are dropped, so the tables hold only used rows.
    std::vector<int> renumber(size_t(k), -1);
    int used = 0;
    for (int i = 0; i < n; ++i) {
        int &to = renumber[size_t(group[size_t(i)])];
        if (to < 0)
            to = used++;
        group[size_t(i)] = to;
    }
    return group;
}

// Frequencies summing to the scale; every symbol that occurs keeps at least 1, so the
// glyphs the model was trained on can always be coded.
std::array<uint8_t, 17> cumulativeFrequencies(const std::vector<double> &counts, int symbols)
{
    const uint32_t scale = GlyphCodecModel::kProbScale;
    double total = 0;
    for (double c : counts)
        total += c;
    std::vector<int> freq(size_t(symbols), 0);
    int sum = 0;
    for (int s = 0; s < symbols; ++s) {
        if (counts[size_t(s)] > 0)
            freq[size_t(s)] = std::max(1, int(std::lround(counts[size_t(s)] * scale / total)));
        sum += freq[size_t(s)];
    }
    if (freq[size_t(symbols) - 1] == 0) {
        freq[size_t(symbols) - 1] = 1;
        ++sum;
    }
    while (sum != int(scale)) {
        // The largest frequency absorbs the rounding: it costs the least there.
        int largest = 0;
        for (int s = 1; s < symbols; ++s)
            if (freq[size_t(s)] > freq[size_t(largest)])
                largest = s;
        if (sum > int(scale)) {
            const int cut = std::min(sum - int(scale), freq[size_t(largest)] - 1);
            if (cut <= 0) {
                // Only ones left above the scale cannot happen: symbols <= 16 < scale.
                break;
            }
            freq[size_t(largest)] -= cut;
            sum -= cut;
        } else {
            freq[size_t(largest)] += int(scale) - sum;
            sum = int(scale);
        }
    }
    std::array<uint8_t, 17> cum{};
    uint32_t at = 0;
    for (int s = 0; s < symbols; ++s) {
        cum[size_t(s)] = uint8_t(at);
        at += uint32_t(freq[size_t(s)]);
    }
    cum[size_t(symbols)] = uint8_t(at);
    return cum;
}

// A plane's tables from its counts (one row of `symbols` a key of `keyBits`), the keys
// folded into at most kGroups groups.
template <int kGroups>
GlyphCodecModel::Plane planeFromCounts(const std::vector<uint32_t> &counts, int keyBits, int symbols)
{
    GlyphCodecModel::Plane plane;
    plane.keyBits = keyBits;
    plane.symbols = symbols;
    plane.groupOfKey.assign(size_t(1) << keyBits, 0);
    std::vector<Sparse> keys;
    keys.reserve(size_t(1) << keyBits);
    for (uint32_t key = 0; key < (1u << keyBits); ++key) {
        const uint32_t *row = &counts[key * uint32_t(symbols)];
        double total = 0;
        for (int s = 0; s < symbols; ++s)
            total += row[s];
        if (total > 0)
            keys.push_back({key, total, row});
    }
    const std::vector<int> group = groupKeys<kGroups>(keys, symbols);
    int groups = 1;
    for (int g : group)
        groups = std::max(groups, g + 1);
    std::vector<std::vector<double>> groupCounts(size_t(groups), std::vector<double>(size_t(symbols), 0.0));
    for (size_t i = 0; i < keys.size(); ++i) {
        plane.groupOfKey[keys[i].key] = uint8_t(group[i]);
        for (int s = 0; s < symbols; ++s)
            groupCounts[size_t(group[i])][size_t(s)] += keys[i].counts[s];
    }
    for (const auto &gc : groupCounts)
        plane.cum.push_back(cumulativeFrequencies(gc, symbols));
    return plane;
}

// What a plane costs a font: its tables and the code lengths of the counted symbols
// (the streams come to within a byte or two a glyph of that).
double planeBytes(const GlyphCodecModel::Plane &plane, const std::vector<uint32_t> &counts)
{
    double bits = 0;
    for (uint32_t key = 0; key < plane.groupOfKey.size(); ++key) {
        const auto &cum = plane.cum[plane.groupOfKey[key]];
        for (int s = 0; s < plane.symbols; ++s)
            if (const uint32_t n = counts[key * uint32_t(plane.symbols) + uint32_t(s)]) {
                const double freq = double(uint8_t(cum[size_t(s) + 1] - cum[size_t(s)] - 1)) + 1;
                bits += n * (GlyphCodecModel::kProbBits - std::log2(freq));
            }
    }
    return bits / 8 + plane.tableBytes();
}

// Walks a glyph in raster order and hands each coded symbol (plane, key, symbol) to
// `sink`; the encoder, the trainer and the reference decoder agree through it.
// The context key of a pixel from its neighbours: at(dx, dy) is the level dx columns
// right and dy rows up, 0 outside the box. The decoders compute the same expression.
template <int Bpp, typename At>
inline uint32_t keyFrom(int plane, At at, int high)
{
    switch (Bpp) {
    case 1:
        return at(-1, 0) | at(-2, 0) << 1 | at(-3, 0) << 2 | at(0, 1) << 3 | at(-1, 1) << 4 | at(1, 1) << 5
               | at(-2, 1) << 6 | at(2, 1) << 7 | at(0, 2) << 8 | at(-1, 2) << 9 | at(1, 2) << 10 | at(-3, 1) << 11;
    case 2:
        return at(-1, 0) | at(0, 1) << 2 | at(-1, 1) << 4 | at(1, 1) << 6 | at(-2, 0) << 8 | at(0, 2) << 10;
    case 4:
        return at(-1, 0) | at(0, 1) << 4 | at(-1, 1) << 8 | quarter(at(1, 1), 4) << 12;
    default:
        if (plane == 0)
            return at(-1, 0) >> 4 | (at(0, 1) >> 4) << 4 | (at(-1, 1) >> 4) << 8 | quarter(at(1, 1) >> 4, 4) << 12;
        return uint32_t(high) | (at(-1, 0) & 15) << 4 | (at(0, 1) & 15) << 8;
    }
}

// Walks a glyph in raster order and hands each coded symbol (plane, key, symbol) to
// `sink`; the trainer and the encoder see the same keys through it. The glyph is read
// from a copy with a margin of zeros, so that no neighbour needs a bounds test.
template <int Bpp, typename Sink>
void forEachSymbolAt(const GlyphLevels &glyph, std::vector<uint8_t> &padded, Sink sink)
{
    const int stride = glyph.w + 6;
    padded.assign(size_t(stride) * size_t(glyph.h + 2), 0);
    for (int y = 0; y < glyph.h; ++y)
        if (glyph.levelOfAlpha)
            std::transform(glyph.levels + y * glyph.w, glyph.levels + (y + 1) * glyph.w,
                           padded.begin() + (y + 2) * stride + 3, [table = glyph.levelOfAlpha](uint8_t a) { return table[a]; });
        else
            std::copy(glyph.levels + y * glyph.w, glyph.levels + (y + 1) * glyph.w, padded.begin() + (y + 2) * stride + 3);
    for (int y = 0; y < glyph.h; ++y) {
        const uint8_t *row = padded.data() + (y + 2) * stride + 3;
        for (int x = 0; x < glyph.w; ++x) {
            const uint8_t *here = row + x;
            auto at = [here, stride](int dx, int dy) -> uint32_t { return here[dx - dy * stride]; };
            const uint32_t level = *here;
            if (Bpp == 8) {
                sink(0, keyFrom<Bpp>(0, at, 0), int(level >> 4));
                sink(1, keyFrom<Bpp>(1, at, int(level >> 4)), int(level & 15));
            } else {
                sink(0, keyFrom<Bpp>(0, at, 0), int(level));
            }
        }
    }
}

template <typename Sink>
void forEachSymbol(const GlyphCodecModel &model, const GlyphLevels &glyph, Sink sink)
{
    thread_local std::vector<uint8_t> padded;
    switch (model.bpp()) {
    case 1: forEachSymbolAt<1>(glyph, padded, sink); break;
    case 2: forEachSymbolAt<2>(glyph, padded, sink); break;
    case 4: forEachSymbolAt<4>(glyph, padded, sink); break;
    default: forEachSymbolAt<8>(glyph, padded, sink); break;
    }
}

} // namespace

uint32_t GlyphCodecModel::key(int plane, const uint8_t *levels, int w, int x, int y, int high) const
{
    auto at = [&](int dx, int dy) -> uint32_t {
        const int px = x + dx, py = y - dy;
        if (px < 0 || px >= w || py < 0)
            return 0;
        return levels[py * w + px];
    };
    const uint32_t mask = (1u << m_planes[plane].keyBits) - 1;
    switch (m_bpp) {
    case 1: return keyFrom<1>(plane, at, high) & mask;
    case 2: return keyFrom<2>(plane, at, high) & mask;
    case 4: return keyFrom<4>(plane, at, high) & mask;
    default: return keyFrom<8>(plane, at, high) & mask;
    }
}

GlyphCodecModel GlyphCodecModel::train(int bpp, const std::vector<GlyphLevels> &glyphs, KeyLayout layout)
{
    GlyphCodecModel model;
    model.m_bpp = bpp;
    model.m_planeCount = bpp == 8 ? 2 : 1;
    const int symbols = bpp == 8 ? 16 : 1 << bpp;
    std::vector<std::vector<uint32_t>> counts(size_t(model.m_planeCount));
    for (int p = 0; p < model.m_planeCount; ++p) {
        Plane &plane = model.m_planes[p];
        plane.keyBits = keyBitsFor(bpp, p);
        plane.symbols = symbols;
        counts[size_t(p)].assign((size_t(1) << plane.keyBits) * size_t(symbols), 0);
    }
    // Each half of the set is counted on its own thread into counts of its own, by the
    // full keys (forEachSymbol hands those over).
    std::vector<std::vector<uint32_t>> firstHalf = counts;
    inTwoHalves(int(glyphs.size()), [&](int begin, int end) {
        std::vector<std::vector<uint32_t>> &into = begin == 0 ? firstHalf : counts;
        for (int i = begin; i < end; ++i)
            forEachSymbol(model, glyphs[size_t(i)], [&](int plane, uint32_t key, int symbol) {
                ++into[size_t(plane)][key * uint32_t(symbols) + uint32_t(symbol)];
            });
    });
    for (size_t p = 0; p < counts.size(); ++p)
        for (size_t i = 0; i < counts[p].size(); ++i)
            counts[p][i] += firstHalf[p][i];

    for (int p = 0; p < model.m_planeCount; ++p) {
        const std::vector<uint32_t> &full = counts[size_t(p)];
        const int fullBits = model.m_planes[p].keyBits;
        Plane chosen;
        if (layout != KeyLayout::Short)
            chosen = planeFromCounts<kMaxGroups>(full, fullBits, symbols);
        if (layout != KeyLayout::Full) {
            // The short key is the full one's low bits, the nearest neighbours: the same
            // counts folded onto them.
            const uint32_t shortMask = (1u << kShortKeyBits) - 1;
            std::vector<uint32_t> folded((size_t(1) << kShortKeyBits) * size_t(symbols), 0);
            for (uint32_t key = 0; key < (1u << fullBits); ++key)
                for (int s = 0; s < symbols; ++s)
                    folded[(key & shortMask) * uint32_t(symbols) + uint32_t(s)] += full[key * uint32_t(symbols) + uint32_t(s)];
            Plane shortPlane = planeFromCounts<kShortGroups>(folded, kShortKeyBits, symbols);
            if (layout == KeyLayout::Short || planeBytes(shortPlane, folded) < planeBytes(chosen, full))
                chosen = std::move(shortPlane);
        }
        model.m_planes[p] = std::move(chosen);
    }
    return model;
}

bool GlyphCodecModel::fromTables(int bpp, const std::vector<QByteArray> &groups, const std::vector<QByteArray> &cums,
                                 GlyphCodecModel *model)
{
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8)
        return false;
    GlyphCodecModel m;
    m.m_bpp = bpp;
    m.m_planeCount = bpp == 8 ? 2 : 1;
    if (int(groups.size()) < m.m_planeCount || int(cums.size()) < m.m_planeCount)
        return false;
    for (int p = 0; p < m.m_planeCount; ++p) {
        Plane &plane = m.m_planes[p];
        plane.symbols = bpp == 8 ? 16 : 1 << bpp;
        const QByteArray &group = groups[size_t(p)];
        const QByteArray &cum = cums[size_t(p)];
        const int row = plane.symbols + 1;
        // The key's length shows in the group table's.
        plane.keyBits = group.size() == 1 << kShortKeyBits ? kShortKeyBits : keyBitsFor(bpp, p);
        if (group.size() != (1 << plane.keyBits) || cum.isEmpty() || cum.size() % row != 0)
            return false;
        const int rows = cum.size() / row;
        plane.groupOfKey.assign(group.constData(), group.constData() + group.size());
        for (uint8_t g : plane.groupOfKey)
            if (g >= rows)
                return false;
        for (int r = 0; r < rows; ++r) {
            std::array<uint8_t, 17> c{};
            for (int s = 0; s < row; ++s)
                c[size_t(s)] = uint8_t(cum[r * row + s]);
            plane.cum.push_back(c);
        }
    }
    *model = std::move(m);
    return true;
}

void encodeGlyphs(const GlyphCodecModel &model, const std::vector<GlyphLevels> &glyphs, StreamEnd end,
                  std::vector<QByteArray> &streams)
{
    streams.assign(glyphs.size(), QByteArray());
    inTwoHalves(int(glyphs.size()), [&](int begin, int stop) {
        for (int i = begin; i < stop; ++i)
            streams[size_t(i)] = encodeGlyph(model, glyphs[size_t(i)], end);
    });
}

QByteArray encodeGlyph(const GlyphCodecModel &model, const GlyphLevels &glyph, StreamEnd end)
{
    if (glyph.w <= 0 || glyph.h <= 0)
        return QByteArray();
    struct Coded {
        uint16_t start, freq;
    };
    // Many glyphs a second: the buffers stay with the thread.
    thread_local std::vector<Coded> coded;
    thread_local std::vector<uint8_t> out;
    coded.clear();
    out.clear();
    forEachSymbol(model, glyph, [&](int plane, uint32_t key, int symbol) {
        const GlyphCodecModel::Plane &p = model.plane(plane);
        const auto &cum = p.cum[p.groupOfKey[key & ((1u << p.keyBits) - 1)]];
        coded.push_back({cum[size_t(symbol)], uint16_t(uint8_t(cum[size_t(symbol) + 1] - cum[size_t(symbol)] - 1) + 1)});
    });

    // rANS codes last symbol first; the bytes come out backwards and are turned round.
    // Started below 256, the state grows through the first symbols coded (the last
    // decoded) without a byte written; the decoder, at the end of the stream by then,
    // reads none either. With an open end it would read on, so there the state starts
    // at 256 and every refill the decoder makes is one the encoder wrote.
    static const std::array<uint64_t, GlyphCodecModel::kProbScale + 1> reciprocals = [] {
        std::array<uint64_t, GlyphCodecModel::kProbScale + 1> r{};
        for (uint64_t f = 1; f < r.size(); ++f)
            r[f] = ((uint64_t(1) << 32) + f - 1) / f;
        return r;
    }();
    uint32_t state = end == StreamEnd::Known ? 1 : GlyphCodecModel::kStateLow;
    for (size_t i = coded.size(); i-- > 0;) {
        const Coded &c = coded[i];
        const uint32_t limit = ((GlyphCodecModel::kStateLow >> GlyphCodecModel::kProbBits) << 8) * c.freq;
        while (state >= limit) {
            out.push_back(uint8_t(state));
            state >>= 8;
        }
        // state / freq by a reciprocal: exact for states below 2^24, and a division
        // was most of the encoder's time.
        const uint32_t quotient = uint32_t((uint64_t(state) * reciprocals[c.freq]) >> 32);
        state = (quotient << GlyphCodecModel::kProbBits) + (state - quotient * c.freq) + c.start;
    }
    // The state's bytes, without a leading zero: the decoder takes a second byte only
    // when the first leaves the state below 256.
    do {
        out.push_back(uint8_t(state));
        state >>= 8;
    } while (state != 0);
    QByteArray stream(int(out.size()), Qt::Uninitialized);
    std::reverse_copy(out.begin(), out.end(), stream.begin());
    return stream;
}

bool decodeGlyph(const GlyphCodecModel &model, const uint8_t *data, size_t size, size_t offset, int w,
                 int h, uint8_t *levels)
{
    if (w <= 0 || h <= 0)
        return true;
    if (offset > size)
        return false;
    const uint8_t *p = data + offset;
    const uint8_t *end = data + size;
    auto next = [&]() -> uint32_t { return p < end ? *p++ : 0u; };
    uint32_t state = next();
    if (state < GlyphCodecModel::kStateLow && p < end)
        state = state << 8 | next();
    auto decode = [&](int plane, uint32_t key) -> int {
        const GlyphCodecModel::Plane &pl = model.plane(plane);
        const auto &cum = pl.cum[pl.groupOfKey[key]];
        const uint32_t slot = state & (GlyphCodecModel::kProbScale - 1);
        // Rows rise, so the symbol is the count of starts at or below the slot: in range
        // whatever state damaged bytes left.
        int s = 0;
        for (int t = 1; t < pl.symbols; ++t)
            s += cum[size_t(t)] <= slot;
        const uint32_t freq = uint32_t(uint8_t(cum[size_t(s) + 1] - cum[size_t(s)] - 1)) + 1;
        state = freq * (state >> GlyphCodecModel::kProbBits) + slot - cum[size_t(s)];
        // One byte refills a valid state; a damaged one may stay small, which is harmless.
        // At the end of the stream the state carries the last symbols by itself.
        if (state < GlyphCodecModel::kStateLow && p < end)
            state = state << 8 | next();
        return s;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t &level = levels[y * w + x];
            if (model.bpp() == 8) {
                const int high = decode(0, model.key(0, levels, w, x, y));
                level = uint8_t(high << 4 | decode(1, model.key(1, levels, w, x, y, high)));
            } else {
                level = uint8_t(decode(0, model.key(0, levels, w, x, y)));
            }
        }
    return true;
}

} // namespace qm

#include "rawpipeline.h"

#include "encoders.h"

#include <QThread>

namespace qm {

namespace {

// How far the second thread may run ahead: bounds the glyphs held in memory.
const int kLookahead = 256;

} // namespace

struct RawGlyphPipeline::Slot {
    bool ready = false;
    Glyph glyph;
};

RawGlyphPipeline::RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                                   const QString &iconText, int bpp, int mask, bool threaded)
    : m_chars(chars), m_bpp(bpp), m_mask(mask), m_renderer(chars, font, iconFont, iconText, bpp)
{
    if (!threaded || chars.size() < threadThreshold())
        return;
    m_slots.reset(new Slot[size_t(chars.size())]);
    m_worker = QThread::create([this, font, iconFont, iconText] { workerLoop(font, iconFont, iconText); });
    m_worker->start();
}

RawGlyphPipeline::~RawGlyphPipeline()
{
    stop();
}

void RawGlyphPipeline::stop()
{
    if (!m_worker)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
}

RawGlyphPipeline::Glyph RawGlyphPipeline::drawHere(RawGlyph measured) const
{
    Glyph g{std::move(measured), QString()};
    m_renderer.draw(g.glyph);
    g.rows = encodeAlphaRows(g.glyph.alpha, m_bpp, m_mask);
    return g;
}

void RawGlyphPipeline::workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText)
{
    const RawGlyphRenderer renderer(m_chars, font, iconFont, iconText, m_bpp, false);
    for (int index = 1; index < m_chars.size(); index += 2) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || index <= m_due + kLookahead; });
            if (m_stopping)
                return;
        }
        Glyph g;
        g.glyph = renderer.measure(index);
        renderer.draw(g.glyph);
        g.rows = encodeAlphaRows(g.glyph.alpha, m_bpp, m_mask);
        // The caller reports the glyph with its own fonts; the worker's fonts die with it.
        g.glyph.font = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_slots[index].glyph = std::move(g);
            m_slots[index].ready = true;
        }
        m_changed.notify_all();
    }
}

RawGlyphPipeline::Glyph RawGlyphPipeline::take(int index, RawGlyph measured)
{
    if (!m_worker)
        return drawHere(std::move(measured));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_due = index;
    }
    m_changed.notify_all();
    if (!handledByWorker(index))
        return drawHere(std::move(measured));

    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_slots[index].ready; });
    Glyph g = std::move(m_slots[index].glyph);
    m_slots[index].ready = false;
    g.glyph.font = measured.font;
    return g;
}

} // namespace qm

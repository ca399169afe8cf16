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

void RawGlyphPipeline::finish(Glyph &g) const
{
    if (g.drawn)
        return;
    m_renderer.draw(g.glyph);
    g.rows = encodeAlphaRows(g.glyph.alpha, m_bpp, m_mask);
    g.drawn = true;
}

void RawGlyphPipeline::workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText)
{
    const RawGlyphRenderer renderer(m_chars, font, iconFont, iconText, m_bpp, false);
    for (int index = 0; index < m_chars.size(); ++index) {
        if (!forWorker(index))
            continue;
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
        g.drawn = true;
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

RawGlyphPipeline::Glyph RawGlyphPipeline::next(int index)
{
    if (!m_worker || !forWorker(index)) {
        if (m_worker) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_due = index;
        }
        m_changed.notify_all();
        return Glyph{m_renderer.measure(index), QString(), false};
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_due = index;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_slots[index].ready; });
    Glyph g = std::move(m_slots[index].glyph);
    m_slots[index].ready = false;
    lock.unlock();
    g.glyph.font = g.glyph.icon ? &m_renderer.iconFont() : &m_renderer.textFont();
    return g;
}

} // namespace qm

#include "rawpipeline.h"

#include "encoders.h"

#include <QThread>

namespace qm {

namespace {

// How far the second thread may run ahead: bounds the glyphs held in memory.
const int kLookahead = 256;
// Slots in the ring: the slot of the glyph the caller holds is not reused before the
// caller asks for the next one.
const int kSlots = kLookahead + 2;
// Drawing a glyph takes tens of microseconds and waking a sleeping thread can cost as
// much, so a short wait is spent polling first.
const int kPolls = 2000;

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

struct RawGlyphPipeline::Slot {
    std::atomic<bool> ready{false};
    Glyph glyph;
};

RawGlyphPipeline::RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                                   const QString &iconText, int bpp, int mask, bool threaded,
                                   Decorator decorate)
    : m_chars(chars),
      m_bpp(bpp),
      m_mask(mask),
      m_decorate(std::move(decorate)),
      m_renderer(chars, font, iconFont, iconText, bpp)
{
    if (!threaded || chars.size() < threadThreshold())
        return;
    m_slots.reset(new Slot[kSlots]);
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
    g.rows.resize(0);   // empties, keeping the storage
    appendAlphaRows(g.rows, g.glyph.alpha, m_bpp, m_mask);
    g.glyph.alpha = QImage();
    g.block.resize(0);
    g.line.resize(0);
    if (m_decorate)
        m_decorate(g);
    g.drawn = true;
}

RawGlyphPipeline::Slot &RawGlyphPipeline::slotFor(int index) const
{
    return m_slots[index % kSlots];
}

void RawGlyphPipeline::draw(const RawGlyphRenderer &renderer, int index, Glyph &into) const
{
    into.glyph = renderer.render(index);
    into.drawn = false;
}

int RawGlyphPipeline::claim()
{
    int index = m_unclaimed.load();
    while (index < m_chars.size() && index <= m_due.load() + kLookahead) {
        if (m_unclaimed.compare_exchange_weak(index, index + 1))
            return index;
    }
    return -1;
}

void RawGlyphPipeline::produce(const RawGlyphRenderer &renderer, int index)
{
    Slot &slot = slotFor(index);
    draw(renderer, index, slot.glyph);
    finish(slot.glyph);
    // The caller reports each glyph with its own fonts; the faces stay this thread's.
    slot.glyph.glyph.font = nullptr;
    slot.glyph.glyph.raw = nullptr;
    slot.ready.store(true);
}

void RawGlyphPipeline::wakeIf(const bool &sleeps)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wake = sleeps;
    }
    if (wake)
        m_changed.notify_all();
}

void RawGlyphPipeline::workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText)
{
    const RawGlyphRenderer renderer(m_chars, font, iconFont, iconText, m_bpp, false);
    while (!m_stopping.load()) {
        const int index = claim();
        if (index >= 0) {
            produce(renderer, index);
            wakeIf(m_callerSleeps);
            continue;
        }
        if (m_unclaimed.load() >= m_chars.size())
            return;
        // Too far ahead of the caller.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_workerSleeps = true;
        m_changed.wait(lock, [&] {
            return m_stopping.load() || m_unclaimed.load() <= m_due.load() + kLookahead;
        });
        m_workerSleeps = false;
    }
}

RawGlyphPipeline::Glyph &RawGlyphPipeline::next(int index)
{
    if (!m_worker) {
        draw(m_renderer, index, m_own);
        return m_own;
    }

    // The glyph before this one is done with: its slot may be filled again.
    if (index > 0)
        slotFor(index - 1).ready.store(false);
    m_due.store(index);
    wakeIf(m_workerSleeps);

    Slot &slot = slotFor(index);
    while (!slot.ready.load()) {
        const int ahead = claim();
        if (ahead == index) {   // not taken yet: draw it here, to be finished once reported
            draw(m_renderer, index, m_own);
            return m_own;
        }
        if (ahead > index) {
            produce(m_renderer, ahead);
            continue;
        }
        // Nothing left to take: the second thread is drawing this very character.
        for (int poll = 0; poll < kPolls && !slot.ready.load(); ++poll)
            relax();
        if (!slot.ready.load()) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_callerSleeps = true;
            m_changed.wait(lock, [&] { return slot.ready.load(); });
            m_callerSleeps = false;
        }
    }
    Glyph &g = slot.glyph;
    g.glyph.font = g.glyph.icon ? &m_renderer.iconFont() : &m_renderer.textFont();
    return g;
}

} // namespace qm

#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace qm {

// Makes the glyphs of a set in order on two threads. Drawing is most of a conversion's
// work and every glyph stands alone, so a second thread makes glyphs ahead of the
// caller. Both take unmade characters from one counter: whenever the character due is
// not finished yet, the caller makes the next unmade one itself instead of waiting, so
// the work splits by how fast each side is. The caller keeps the order, the progress
// steps and the cancel: it asks for each character when it is due and reports it.
// Glyphs travel in items taken from a pool and given back once the caller is done with
// them; an item keeps its storage from one glyph to the next, so neither thread frees
// what the other allocated, and there are only as many items as the lead of the second
// thread needs (a handful in a command-line run, more while the window repaints).
//
// This part knows nothing of what is made: it hands out indexes and says when a slot is
// filled.
class PipelineCore
{
public:
    using Make = std::function<void(int index)>;

    // How far the second thread may run ahead: bounds the glyphs held in memory.
    static constexpr int kLookahead = 256;
    // Slots in the ring: the slot of the glyph the caller holds is not reused before the
    // caller asks for the next one.
    static constexpr int kSlots = kLookahead + 2;
    // Sets of fewer characters than this are not worth a thread.
    static constexpr int kThreadThreshold = 256;

    explicit PipelineCore(int count);
    ~PipelineCore();
    PipelineCore(const PipelineCore &) = delete;
    PipelineCore &operator=(const PipelineCore &) = delete;

    static int slotOf(int index) { return index % kSlots; }
    bool threaded() const { return m_worker != nullptr; }

    // Runs `body` on a second thread; it sets itself up and calls work().
    void start(std::function<void()> body);
    // The second thread's loop: makes characters into their slots until all are taken
    // or stop() is called.
    void work(const Make &make);
    // The caller's turn for character `index` (ascending): true once its slot is filled,
    // by either side; false when nobody has taken it, and the caller is to make it now
    // for itself (outside the ring). While it waits the caller makes characters ahead
    // into their slots with `makeAhead`.
    bool await(int index, const Make &makeAhead);
    // Stops and joins the second thread; what it was making is finished first.
    void stop();

private:
    int claim();
    void wakeIf(const bool &sleeps);

    int m_count;
    std::unique_ptr<std::atomic<bool>[]> m_ready;
    std::atomic<int> m_unclaimed{0};    // the first character neither side has taken
    std::atomic<int> m_due{0};          // the character the caller waits for or works on
    std::atomic<bool> m_stopping{false};
    // Sleeping and waking; a side only sleeps after saying so under the mutex, so the
    // other side signals only when somebody sleeps.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_callerSleeps = false;
    bool m_workerSleeps = false;
    QThread *m_worker = nullptr;
};

// The pipeline over a kind of glyph. A Maker belongs to the thread that built it (fonts
// belong to the thread that made them) and provides:
//   using Item = ...;                  // a slot's content, with a `bool finished`
//   void start(int index, Item &);     // what the caller reports before the rest
//   void finish(Item &);               // the rest (encoding, text)
//   void release(Item &);              // drops what points into the maker's thread
//   void adopt(Item &);                // points the item at the caller's own fonts
// The maker of the second thread is built on that thread by the same factory, told
// whether the maker is the caller's.
template <typename Maker>
class GlyphPipeline
{
public:
    using Item = typename Maker::Item;
    using Factory = std::function<std::unique_ptr<Maker>(bool caller)>;

    // `threaded` false (or a small set) keeps all work on the calling thread.
    GlyphPipeline(int count, const Factory &factory, bool threaded)
        : m_core(count), m_maker(factory(true))
    {
        if (!threaded || count < PipelineCore::kThreadThreshold)
            return;
        m_core.start([this, factory] {
            const std::unique_ptr<Maker> own = factory(false);
            m_core.work([this, &own](int index) { make(*own, index, slot(index)); });
        });
    }
    ~GlyphPipeline() { m_core.stop(); }
    GlyphPipeline(const GlyphPipeline &) = delete;
    GlyphPipeline &operator=(const GlyphPipeline &) = delete;

    Maker &maker() { return *m_maker; }
    const Maker &maker() const { return *m_maker; }

    // Character `index`, started (its fonts are the caller's); indexes must come in
    // ascending order. The item stays valid until the next call.
    Item &next(int index)
    {
        if (m_held) {   // the caller is done with it
            giveBack(m_held);
            m_held = nullptr;
        }
        if (m_core.threaded()
            && m_core.await(index, [this](int ahead) { make(*m_maker, ahead, slot(ahead)); })) {
            m_held = slot(index);
            m_maker->adopt(*m_held);
            return *m_held;
        }
        m_maker->start(index, m_own);
        m_own.finished = false;
        return m_own;
    }
    // Finishes an item from next() unless that is done already.
    void finish(Item &item)
    {
        if (item.finished)
            return;
        m_maker->finish(item);
        item.finished = true;
    }

private:
    // The item made for character `index`; only valid once the core says it is there.
    Item *&slot(int index) { return m_ring[PipelineCore::slotOf(index)]; }
    void make(Maker &maker, int index, Item *&into)
    {
        Item *item = take();
        maker.start(index, *item);
        maker.finish(*item);
        item->finished = true;
        maker.release(*item);
        into = item;   // published by the core's ready flag, set after this
    }
    Item *take()
    {
        std::lock_guard<std::mutex> lock(m_poolMutex);
        if (m_free.empty()) {
            m_items.push_back(std::make_unique<Item>());
            return m_items.back().get();
        }
        Item *item = m_free.back();
        m_free.pop_back();
        return item;
    }
    void giveBack(Item *item)
    {
        std::lock_guard<std::mutex> lock(m_poolMutex);
        m_free.push_back(item);
    }

    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<Item>> m_items;   // every item made, for the end
    std::vector<Item *> m_free;
    Item *m_ring[PipelineCore::kSlots] = {};
    Item *m_held = nullptr;   // the item the caller has from next()
    Item m_own;               // an item the caller makes for itself
    PipelineCore m_core;
    std::unique_ptr<Maker> m_maker;
};

} // namespace qm

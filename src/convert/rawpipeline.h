#pragma once

#include "rawrender.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace qm {

// Renders the characters of a set in order for the sorted font. Rasterising is most
// of a conversion's work and every glyph stands alone, so a second thread draws and
// encodes glyphs ahead of the caller, with a renderer of its own (fonts belong to the
// thread that made them). Both take undrawn characters from one counter: whenever the
// character due is not finished yet, the caller draws the next undrawn one itself
// instead of waiting, so the work splits by how fast each side is. The caller keeps the
// order, the progress steps and the cancel: it asks for each character when it is due
// and reports it; a glyph the caller draws for itself is encoded only after that.
// Glyphs travel through a ring of slots whose texts keep their storage from one glyph
// to the next, so neither thread frees what the other allocated.
class RawGlyphPipeline
{
public:
    struct Glyph {
        RawGlyph glyph;       // its pixels are dropped once encoded
        QString rows;         // its alpha map as bitmap text
        QString block;        // what the decorator made of it
        QString line;
        bool drawn = false;   // encoded and decorated
    };
    // Turns an encoded glyph into the caller's text: it adds to `block` and `line`,
    // which come empty. It runs on whichever thread drew the glyph and must touch
    // nothing else.
    using Decorator = std::function<void(Glyph &)>;

    // `threaded` false keeps all work on the calling thread.
    RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                     const QString &iconText, int bpp, int mask, bool threaded,
                     Decorator decorate = Decorator());
    ~RawGlyphPipeline();

    const RawGlyphRenderer &renderer() const { return m_renderer; }
    // Character `index`, drawn (its font is one of the caller's renderer); indexes must
    // come in ascending order. The glyph stays valid until the next call.
    Glyph &next(int index);
    // Encodes and decorates a glyph from next() unless that is done already.
    void finish(Glyph &glyph) const;
    // Sets of fewer characters than this are not worth a thread.
    static int threadThreshold() { return 256; }

private:
    struct Slot;
    void workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText);
    void stop();
    // Takes the first undrawn character if it lies within reach; -1 when there is none.
    int claim();
    // Draws and finishes character `index` into its slot.
    void produce(const RawGlyphRenderer &renderer, int index);
    Slot &slotFor(int index) const;
    void draw(const RawGlyphRenderer &renderer, int index, Glyph &into) const;
    void wakeIf(const bool &sleeps);

    QString m_chars;
    int m_bpp;
    int m_mask;
    Decorator m_decorate;
    RawGlyphRenderer m_renderer;

    Glyph m_own;                        // a glyph the caller draws for itself
    std::unique_ptr<Slot[]> m_slots;
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

} // namespace qm

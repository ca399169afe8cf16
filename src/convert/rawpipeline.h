#pragma once

#include "rawrender.h"

#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>

class QThread;

namespace qm {

// Renders the characters of a set in order for the sorted font. Rasterising is most
// of a conversion's work and every glyph stands alone, so a second thread draws every
// other glyph ahead of the caller, with a renderer of its own (fonts belong to the
// thread that made them). The caller keeps the order, the progress steps and the
// cancel: it measures each character itself and asks for its drawing only when the
// character is due.
class RawGlyphPipeline
{
public:
    struct Glyph {
        RawGlyph glyph;   // measured and drawn
        QString rows;     // its alpha map as bitmap text
    };

    // `threaded` false keeps all work on the calling thread.
    RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                     const QString &iconText, int bpp, int mask, bool threaded);
    ~RawGlyphPipeline();

    // The calling thread's renderer: measures characters for the progress steps.
    const RawGlyphRenderer &renderer() const { return m_renderer; }
    // Character `index`, drawn and encoded; `measured` is the caller's measure() of it.
    // Indexes must come in ascending order.
    Glyph take(int index, RawGlyph measured);
    // Sets of fewer characters than this are not worth a thread.
    static int threadThreshold() { return 256; }

private:
    struct Slot;
    void workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText);
    void stop();
    Glyph drawHere(RawGlyph measured) const;
    bool handledByWorker(int index) const { return m_worker && (index & 1); }

    QString m_chars;
    int m_bpp;
    int m_mask;
    RawGlyphRenderer m_renderer;

    std::unique_ptr<Slot[]> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_due = 0;          // the index the caller waits for or works on
    bool m_stopping = false;
    QThread *m_worker = nullptr;
};

} // namespace qm

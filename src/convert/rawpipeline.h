#pragma once

#include "rawrender.h"

#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>

class QThread;

namespace qm {

// Renders the characters of a set in order for the sorted font. Rasterising is most
// of a conversion's work and every glyph stands alone, so a second thread measures and
// draws three of every four glyphs ahead of the caller, with a renderer of its own
// (fonts belong to the thread that made them). The caller keeps the order, the
// progress steps and the cancel: it asks for each character when it is due, reports
// it, and only then has it drawn (a glyph the second thread drew is simply used).
class RawGlyphPipeline
{
public:
    struct Glyph {
        RawGlyph glyph;       // measured; drawn once `drawn` is set
        QString rows;         // its alpha map as bitmap text
        bool drawn = false;
    };

    // `threaded` false keeps all work on the calling thread.
    RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                     const QString &iconText, int bpp, int mask, bool threaded);
    ~RawGlyphPipeline();

    const RawGlyphRenderer &renderer() const { return m_renderer; }
    // Character `index`, measured (its font is one of the caller's renderer); indexes
    // must come in ascending order.
    Glyph next(int index);
    // Draws and encodes a glyph from next() unless that is done already.
    void finish(Glyph &glyph) const;
    // Sets of fewer characters than this are not worth a thread.
    static int threadThreshold() { return 256; }

private:
    struct Slot;
    void workerLoop(const QFont &font, const QFont &iconFont, const QString &iconText);
    void stop();
    static bool forWorker(int index) { return index % 4 != 0; }

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

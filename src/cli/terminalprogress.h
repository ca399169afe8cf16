#pragma once

#include "request/progress.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace qm {
namespace cli {

// A one-line bar on a terminal, redrawn in place at most every `intervalMs`.
class TerminalProgress : public ConversionProgress
{
public:
    explicit TerminalProgress(std::FILE *out = stderr, int intervalMs = 100);

    void begin(int total) override;
    bool step(int index, QChar ch, const QFont &font, int width, int height) override;
    void end() override;

    // "[#####...............]  25%   5/20", fixed width for a given total.
    static QString barLine(int done, int total, int barWidth = 30);

private:
    void draw(int done);

    std::FILE *m_out;
    int m_intervalMs;
    int m_total = 0;
    int m_done = 0;
    bool m_drawn = false;
    QElapsedTimer m_sinceDraw;
};

// Whether a progress bar belongs on standard error: it is a terminal.
bool stderrIsTerminal();

} // namespace cli
} // namespace qm

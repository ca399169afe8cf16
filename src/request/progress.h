#pragma once

#include <QFont>
#include <QString>

namespace qm {

// What a generator tells its caller while it works, and how a caller stops it.
class ConversionProgress
{
public:
    virtual ~ConversionProgress() = default;
    // Called once before the glyph loop with the number of characters.
    virtual void begin(int total) { Q_UNUSED(total); }
    // Character `index` is next, drawn with `font` in a box of width x height.
    // Return false to stop: that character and the rest are not written.
    virtual bool step(int index, QChar ch, const QFont &font, int width, int height) = 0;
    // Called once after the loop, whether it ran to the end or not.
    virtual void end() {}
};

// Runs to the end.
class NoProgress : public ConversionProgress
{
public:
    bool step(int, QChar, const QFont &, int, int) override { return true; }
};

// Stops before a given character index; for tests and scripted cancels.
class CancelAtProgress : public ConversionProgress
{
public:
    explicit CancelAtProgress(int cancelIndex) : m_cancelIndex(cancelIndex) {}
    bool step(int index, QChar, const QFont &, int, int) override { return index < m_cancelIndex; }

private:
    int m_cancelIndex;
};

} // namespace qm

#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

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
    // A cancelled run that writes its own files is about to replace `existing` (files
    // that are there now) with output holding only the first `written` characters.
    // Return false to keep them; the partial output then stays in the result's text.
    virtual bool replaceAfterCancel(int written, const QStringList &existing)
    {
        Q_UNUSED(written);
        Q_UNUSED(existing);
        return true;
    }
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

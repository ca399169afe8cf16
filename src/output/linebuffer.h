#pragma once

#include <QFont>
#include <QString>

#include <initializer_list>

namespace qm {

// An ordered list of text lines kept as one string. Appending a text adds it as a
// new last line; a text with k line breaks adds k + 1 lines. The content is the
// lines joined by single line breaks, with none after the last.
class LineBuffer
{
public:
    void append(const QString &text)
    {
        if (m_hasLines)
            m_text += QLatin1Char('\n');
        m_text += text;
        m_hasLines = true;
    }
    void append(QLatin1String text)
    {
        if (m_hasLines)
            m_text += QLatin1Char('\n');
        m_text += text;
        m_hasLines = true;
    }
    // Starts a new last line and returns the text to add it to, piece by piece: a line
    // made of several parts then needs no temporary string. It must not take a line break.
    QString &newLine()
    {
        if (m_hasLines)
            m_text += QLatin1Char('\n');
        m_hasLines = true;
        return m_text;
    }
    // Each entry of a list of UTF-8 literals as a line of its own.
    template <typename Lines>
    void appendEach(const Lines &lines)
    {
        for (const char *line : lines)
            append(QString::fromUtf8(line));
    }
    void appendEach(std::initializer_list<const char *> lines)
    {
        for (const char *line : lines)
            append(QString::fromUtf8(line));
    }
    void appendEmptyLines(int count)
    {
        for (int i = 0; i < count; ++i)
            append(QString());
    }
    // Puts `text` before the first line, as lines of their own.
    void prepend(const QString &text)
    {
        if (m_hasLines)
            m_text.prepend(text + QLatin1Char('\n'));
        else
            m_text = text;
        m_hasLines = true;
    }
    void reserve(int size);
    int capacity() const { return m_text.capacity(); }
    bool isEmpty() const { return !m_hasLines; }
    const QString &content() const { return m_text; }
    QString takeContent()
    {
        m_hasLines = false;
        return std::move(m_text);
    }

private:
    QString m_text;
    bool m_hasLines = false;
};

// The comment block every generated file starts with; ends with two line breaks.
QString buildFileHeader();

// "//family,style,size": names the conversion font near the end of the file. No name
// can end the comment: control characters in them become spaces.
QString fontCommentLine(const QFont &font);

} // namespace qm

#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QVector>

// A read-only view of generated code. The text can run to tens of megabytes, so the
// view keeps it as one string with the offset of every line and draws only the lines
// in sight: setting, scrolling, selecting and clearing never lay out the whole text.
// Characters sit in the cells of a fixed-pitch font, a wide (CJK or icon) character
// in two, and lines are never wrapped, so every bitmap row and its preview share a line.
class OutputView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit OutputView(QWidget *parent = nullptr);

    void setPlainText(const QString &text);
    const QString &toPlainText() const { return m_text; }
    void clear();
    // Lines found so far; a large text's lines are found over the next few events.
    int lineCount() const { return m_lineStart.size(); }

    void selectAll();
    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    // Puts the selection on the clipboard; nothing when nothing is selected.
    void copy() const;

    // Cells a code unit takes: 2 for wide characters, 0 for the second half of a
    // surrogate pair, 1 otherwise (tabs are handled by the caller).
    static int cellsOf(QChar c);

signals:
    void textChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void indexMore(int units);
    int lineOf(int offset) const;
    int lineEnd(int line) const;  // offset of the line's break, or the text's end
    int columnOf(int line, int offset) const;
    int offsetAt(const QPoint &viewportPos) const;
    void updateMetrics();
    void updateScrollBars();
    void moveSelectionEnd(int offset, bool keepAnchor);
    void dragScroll();

    QString m_text;
    QVector<int> m_lineStart;
    int m_maxColumns = 0;
    int m_indexed = 0;   // code units whose line starts are known
    int m_columns = 0;   // cells of the line being indexed, so far
    QTimer m_indexTimer;
    int m_anchor = 0;
    int m_cursor = 0;
    bool m_dragging = false;
    QPoint m_dragPos;
    QTimer m_dragTimer;

    QFont m_textFont;
    qreal m_cellWidth = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;
};

#include "outputview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QtMath>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

const int kMargin = 4;
const int kTabCells = 4;
// Code units indexed at a time: a few milliseconds of work, so that a large text shows
// at once and the rest of its lines are found between events.
const int kIndexSlice = 1 << 20;

bool isWide(ushort u)
{
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0x303E) || (u >= 0x3041 && u <= 0x33FF)
        || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xA000 && u <= 0xA4CF)
        || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xD800 && u <= 0xDBFF)  // a pair draws one wide glyph
        || (u >= 0xE000 && u <= 0xFAFF)                                   // icons and CJK compatibility
        || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6);
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

} // namespace

OutputView::OutputView(QWidget *parent) : QAbstractScrollArea(parent)
{
    m_lineStart.append(0);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_dragTimer.setInterval(40);
    connect(&m_dragTimer, &QTimer::timeout, this, &OutputView::dragScroll);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), QOverload<>::of(&QWidget::update));
    m_indexTimer.setInterval(0);
    connect(&m_indexTimer, &QTimer::timeout, this, [this] { indexMore(kIndexSlice); });
    updateMetrics();
}

int OutputView::cellsOf(QChar c)
{
    const ushort u = c.unicode();
    if (u == '\t')
        return kTabCells;
    if (u >= 0xDC00 && u <= 0xDFFF)
        return 0;
    return isWide(u) ? 2 : 1;
}

void OutputView::setPlainText(const QString &text)
{
    m_text = text;
    m_lineStart.clear();
    m_lineStart.append(0);
    m_maxColumns = 0;
    m_columns = 0;
    m_indexed = 0;
    m_anchor = m_cursor = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    indexMore(kIndexSlice);
    if (m_indexed < m_text.size())
        m_indexTimer.start();
    emit textChanged();
}

void OutputView::indexMore(int units)
{
    const QChar *data = m_text.constData();
    const int stop = int(qMin<qint64>(m_text.size(), qint64(m_indexed) + units));
    int columns = m_columns;
    for (int i = m_indexed; i < stop; ++i) {
        const ushort u = data[i].unicode();
        if (u == '\n') {
            m_maxColumns = qMax(m_maxColumns, columns);
            columns = 0;
            m_lineStart.append(i + 1);
        } else {
            columns += u < 0x1100 ? (u == '\t' ? kTabCells : 1) : cellsOf(data[i]);
        }
    }
    m_columns = columns;
    m_indexed = stop;
    if (m_indexed == m_text.size()) {
        m_maxColumns = qMax(m_maxColumns, columns);
        m_indexTimer.stop();
    }
    updateScrollBars();
    viewport()->update();
}

void OutputView::clear()
{
    setPlainText(QString());
}

void OutputView::selectAll()
{
    m_anchor = 0;
    m_cursor = m_text.size();
    viewport()->update();
}

QString OutputView::selectedText() const
{
    const int from = qMin(m_anchor, m_cursor);
    return m_text.mid(from, qMax(m_anchor, m_cursor) - from);
}

void OutputView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Clipboard);
}

int OutputView::lineOf(int offset) const
{
    const auto it = std::upper_bound(m_lineStart.cbegin(), m_lineStart.cend(), offset);
    return int(it - m_lineStart.cbegin()) - 1;
}

int OutputView::lineEnd(int line) const
{
    if (line + 1 < m_lineStart.size())
        return m_lineStart.at(line + 1) - 1;
    if (m_indexed == m_text.size())
        return m_text.size();
    const int lineBreak = m_text.indexOf(QLatin1Char('\n'), m_lineStart.at(line));
    return lineBreak < 0 ? m_text.size() : lineBreak;
}

int OutputView::columnOf(int line, int offset) const
{
    int column = 0;
    const int end = qMin(offset, lineEnd(line));
    for (int i = m_lineStart.at(line); i < end; ++i)
        column += cellsOf(m_text.at(i));
    return column;
}

int OutputView::offsetAt(const QPoint &pos) const
{
    const int line = qBound(0, verticalScrollBar()->value() + pos.y() / m_lineHeight, lineCount() - 1);
    const qreal x = pos.x() - kMargin + horizontalScrollBar()->value();
    const int end = lineEnd(line);
    int column = 0;
    for (int i = m_lineStart.at(line); i < end; ++i) {
        const int cells = cellsOf(m_text.at(i));
        if (x < (column + cells / 2.0) * m_cellWidth)
            return i;
        column += cells;
    }
    return end;
}

void OutputView::updateMetrics()
{
    m_textFont = font();
    if (!QFontInfo(m_textFont).fixedPitch()) {
        const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        m_textFont.setFamily(fixed.family());
        m_textFont.setStyleHint(QFont::TypeWriter);
    }
    viewport()->setFont(m_textFont);
    const QFontMetricsF fm(m_textFont);
    m_cellWidth = fm.horizontalAdvance(QLatin1Char('0'));
    // Chinese characters come from a fallback font whose glyphs may be taller.
    const int wideHeight = qCeil(fm.boundingRect(QChar(0x4E2D)).height());
    m_lineHeight = qMax(qCeil(fm.lineSpacing()), wideHeight + 2);
    m_ascent = qCeil(fm.ascent()) + (m_lineHeight - qCeil(fm.lineSpacing())) / 2;
    updateScrollBars();
}

void OutputView::updateScrollBars()
{
    const int visibleLines = qMax(1, viewport()->height() / m_lineHeight);
    verticalScrollBar()->setRange(0, qMax(0, lineCount() - visibleLines));
    verticalScrollBar()->setPageStep(visibleLines);
    verticalScrollBar()->setSingleStep(1);
    const int width = qCeil(m_maxColumns * m_cellWidth) + 2 * kMargin;
    horizontalScrollBar()->setRange(0, qMax(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(qMax(1, qRound(m_cellWidth)));
}

void OutputView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void OutputView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void OutputView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.setFont(m_textFont);
    const QPalette &pal = palette();
    const int hscroll = horizontalScrollBar()->value();
    const int first = verticalScrollBar()->value();
    const int last = qMin(lineCount() - 1, first + event->rect().bottom() / m_lineHeight);
    const int firstColumn = qMax(0, int((hscroll - kMargin) / m_cellWidth) - 1);
    const int lastColumn = int((hscroll + viewport()->width()) / m_cellWidth) + 1;
    const int selFrom = qMin(m_anchor, m_cursor);
    const int selTo = qMax(m_anchor, m_cursor);
    auto cellX = [&](int column) { return kMargin + column * m_cellWidth - hscroll; };

    for (int line = qMax(first, first + event->rect().top() / m_lineHeight); line <= last; ++line) {
        const int y = (line - first) * m_lineHeight;
        const int start = m_lineStart.at(line);
        const int end = lineEnd(line);

        // Collect the runs in sight: ASCII runs drawn as one string, everything else
        // one character per cell, centred, so that the grid holds whatever font draws it.
        struct Piece { int column; int cells; QString text; bool run; };
        QVector<Piece> pieces;
        int column = 0;
        int i = start;
        while (i < end && column + cellsOf(m_text.at(i)) <= firstColumn)
            column += cellsOf(m_text.at(i++));
        while (i < end && column <= lastColumn) {
            const QChar c = m_text.at(i);
            const ushort u = c.unicode();
            if (u >= 0x20 && u < 0x7F) {
                int j = i;
                while (j < end && m_text.at(j).unicode() >= 0x20 && m_text.at(j).unicode() < 0x7F
                       && column + (j - i) <= lastColumn)
                    ++j;
                pieces.append({column, j - i, m_text.mid(i, j - i), true});
                column += j - i;
                i = j;
            } else {
                const int cells = cellsOf(c);
                int length = 1;
                if (c.isHighSurrogate() && i + 1 < end && m_text.at(i + 1).isLowSurrogate())
                    length = 2;
                if (u >= 0x20 && u != 0x7F && cells > 0 && u != '\t')
                    pieces.append({column, cells, m_text.mid(i, length), false});
                column += cells;
                i += length;
            }
        }

        auto drawPieces = [&] {
            for (const Piece &p : qAsConst(pieces)) {
                if (p.run) {
                    painter.drawText(QPointF(cellX(p.column), y + m_ascent), p.text);
                } else {
                    const QRectF cell(cellX(p.column), y, p.cells * m_cellWidth, m_lineHeight);
                    painter.drawText(cell, Qt::AlignCenter, p.text);
                }
            }
        };

        QRectF selected;
        if (selFrom < selTo && selFrom <= end && selTo > start) {
            const int a = columnOf(line, qMax(selFrom, start));
            int b = columnOf(line, qMin(selTo, end));
            if (selTo > end && line + 1 < lineCount())
                ++b;  // the line break is selected too
            selected = QRectF(cellX(a), y, (b - a) * m_cellWidth, m_lineHeight);
            painter.fillRect(selected, pal.brush(QPalette::Highlight));
        }
        painter.setPen(pal.color(QPalette::Text));
        drawPieces();
        if (!selected.isEmpty()) {
            painter.save();
            painter.setClipRect(selected);
            painter.setPen(pal.color(QPalette::HighlightedText));
            drawPieces();
            painter.restore();
        }
    }
}

void OutputView::moveSelectionEnd(int offset, bool keepAnchor)
{
    m_cursor = qBound(0, offset, m_text.size());
    if (!keepAnchor)
        m_anchor = m_cursor;
    viewport()->update();
}

void OutputView::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Home: (control ? v : h)->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_End: (control ? v : h)->triggerAction(QAbstractSlider::SliderToMaximum); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void OutputView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    moveSelectionEnd(offsetAt(event->pos()), event->modifiers() & Qt::ShiftModifier);
    m_dragging = true;
    m_dragPos = event->pos();
}

void OutputView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    m_dragPos = event->pos();
    moveSelectionEnd(offsetAt(m_dragPos), true);
    // Outside the view the selection goes on growing while the pointer stays there.
    if (viewport()->rect().contains(m_dragPos))
        m_dragTimer.stop();
    else if (!m_dragTimer.isActive())
        m_dragTimer.start();
}

void OutputView::dragScroll()
{
    const QRect r = viewport()->rect();
    if (m_dragPos.y() < r.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_dragPos.y() > r.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (m_dragPos.x() < r.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_dragPos.x() > r.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const QPoint inside(qBound(r.left(), m_dragPos.x(), r.right()), qBound(r.top(), m_dragPos.y(), r.bottom()));
    moveSelectionEnd(offsetAt(inside), true);
}

void OutputView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    m_dragging = false;
    m_dragTimer.stop();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void OutputView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int at = offsetAt(event->pos());
    const int line = lineOf(at);
    int from = at;
    int to = at;
    while (from > m_lineStart.at(line) && isWordChar(m_text.at(from - 1)))
        --from;
    while (to < lineEnd(line) && isWordChar(m_text.at(to)))
        ++to;
    m_anchor = from;
    moveSelectionEnd(to, true);
}

void OutputView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(QStringLiteral("复制"), this, &OutputView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction *allAction = menu.addAction(QStringLiteral("全选"), this, &OutputView::selectAll);
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setEnabled(!m_text.isEmpty());
    menu.exec(event->globalPos());
}

// The output pane: it keeps exactly the text it was given, finds the lines of a large
// text without blocking, and selects and copies what the user marks.
#include "outputview.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

class TestOutputView : public QObject
{
    Q_OBJECT

private slots:
    void largeTextIsKeptAndIndexedBetweenEvents()
    {
        // Several slices of lines, and a last line without a break.
        QString text;
        const QString line = QStringLiteral("0x00,0x1f,0xf3,  //..+@@* /* 中 */\n");
        for (int i = 0; i < 80000; ++i)
            text += line;
        text += QStringLiteral("tail");
        OutputView view;
        view.resize(400, 300);
        QSignalSpy changed(&view, &OutputView::textChanged);
        view.setPlainText(text);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(view.toPlainText(), text);
        QVERIFY(view.lineCount() < 80001);
        QTRY_COMPARE(view.lineCount(), 80001);
        QCOMPARE(view.verticalScrollBar()->maximum(), 80001 - view.verticalScrollBar()->pageStep());

        view.selectAll();
        view.copy();
        QCOMPARE(QApplication::clipboard()->text(), text);
        view.clear();
        QVERIFY(view.toPlainText().isEmpty());
        QVERIFY(!view.hasSelection());
        QCOMPARE(view.lineCount(), 1);
    }

    void dragSelectsByCell()
    {
        // Wide characters take two cells and a surrogate pair one glyph, so a point on
        // the screen maps to the character drawn there.
        OutputView view;
        view.resize(600, 200);
        view.setPlainText(QStringLiteral("ab中文cd\nx\U0001F600yz\nlast"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QFontMetricsF fm(view.viewport()->font());
        const qreal cell = fm.horizontalAdvance(QLatin1Char('0'));
        const int lineHeight = view.viewport()->height() / view.verticalScrollBar()->pageStep();
        auto at = [&](int column, int line) {
            return QPoint(4 + qRound(column * cell + cell / 4), line * lineHeight + lineHeight / 2);
        };
        QWidget *vp = view.viewport();
        // From the cell of "文" (columns 4-5) to just before "y" (columns 3-4 of line 2).
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(4, 0));
        QMouseEvent move(QEvent::MouseMove, at(3, 1), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(3, 1));
        QCOMPARE(view.selectedText(), QStringLiteral("文cd\nx\U0001F600"));
        // Past the end of a line is just before its break.
        QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, at(40, 0));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, at(40, 1));
        QCOMPARE(view.selectedText(), QStringLiteral("\nx\U0001F600yz"));
        // The grab paints every kind of cell, the selection included.
        QVERIFY(!view.grab().isNull());
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedText(), view.toPlainText());
    }

    // Every line is drawn up to its last character and nothing below the last line; the
    // last line, the longest here, can be scrolled to its end.
    void drawsEveryLineToItsEnd()
    {
        OutputView view;
        // The offscreen platform's fixed-pitch font is not; the window's is.
        view.setFont(QFont(QStringLiteral("DejaVu Sans Mono")));
        view.resize(600, 200);
        view.setPlainText(QStringLiteral("ab中文cd\nx\U0001F600yz\nlast"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QImage shot = view.viewport()->grab().toImage();
        const qreal cell = QFontMetricsF(view.viewport()->font()).horizontalAdvance(QLatin1Char('0'));
        const int lineHeight = view.viewport()->height() / view.verticalScrollBar()->pageStep();
        auto inked = [&](qreal left, qreal right, int top) {
            for (int y = top; y < top + lineHeight && y < shot.height(); ++y)
                for (int x = int(left); x < int(right) && x < shot.width(); ++x)
                    if (qGray(shot.pixel(x, y)) < 128)
                        return true;
            return false;
        };
        // The cells of "d", "z" and the final "t".
        const int lastColumn[] = {7, 4, 3};
        for (int line = 0; line < 3; ++line)
            QVERIFY2(inked(4 + lastColumn[line] * cell, 4 + (lastColumn[line] + 1) * cell, line * lineHeight),
                     qPrintable(QStringLiteral("line %1").arg(line)));
        QVERIFY(!inked(0, shot.width(), 3 * lineHeight));

        view.setPlainText(QStringLiteral("a\n") + QString(200, QLatin1Char('x')));
        QVERIFY(view.horizontalScrollBar()->maximum() + view.viewport()->width() >= 200 * cell);
    }
};

QTEST_MAIN(TestOutputView)
#include "tst_outputview.moc"

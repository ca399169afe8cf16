#include "awedlg.h"

#include <QColorDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

namespace {

const QString kCatalogue = QStringLiteral(u"\uF000\uF001\uF002\uF2DC");

// Waits, inside the modal loop that is about to start, for a dialog of type T and
// hands it to `answer`.
template<typename T, typename Answer>
void answerModal(Answer answer)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

} // namespace

class TestAweDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formAndNote();
    void catalogueFillsTable();
    void addAllReplacesPane();
    void addSelectedAppendsInSelectionOrder();
    void doubleClickAppendsRow();
    void clearEmptiesPane();
    void okAcceptsWithPaneText();
    void closingRejects();
    void colourDialogChangesOnlyWhenAccepted();
    void textsFitAtThisDpi();

private:
    template<typename T>
    T *child(const char *name)
    {
        T *w = m_dlg->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("missing child %s", name);
        return w;
    }
    QPlainTextEdit *pane() { return child<QPlainTextEdit>("pte_awe"); }
    QTableWidget *table() { return child<QTableWidget>("tableWidget_awe"); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

    AweDlg *m_dlg = nullptr;
};

void TestAweDlg::init()
{
    m_dlg = new AweDlg;
    m_dlg->setIconFont(QFont());
    m_dlg->setIconCatalogue(kCatalogue);
}

void TestAweDlg::cleanup()
{
    delete m_dlg;
    m_dlg = nullptr;
}

void TestAweDlg::formAndNote()
{
    QCOMPARE(m_dlg->objectName(), QStringLiteral("AweDlg"));
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("设置图标字体"));
    const qreal f = qMax(1.0, m_dlg->logicalDpiY() / 96.0);   // the form's size is for 96 dpi
    QCOMPARE(m_dlg->size(), QSize(qRound(560 * f), qRound(472 * f)));
    const QStringList buttons = {"btn_add_add", "btn_add_sel", "btn_clean_all", "btn_color", "btn_ok"};
    const QStringList texts = {"添加所有图标", "添加选中图标", "清空图标", "换颜色看效果", "确认"};
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(child<QPushButton>(qPrintable(buttons[i]))->text(), texts[i]);

    const QStringList lines = child<QTextBrowser>("tb_note")->toPlainText().split(QLatin1Char('\n'));
    const QStringList expected = {
        "使用说明：",
        "1、鼠标选中图标，双击添加到右测，或选中后使用下方添加选中图标按钮。",
        "2、删除图标可以直接在右测编辑删除。",
        "3、最终转换的是右测添加的图标。",
        "4、Awesome版本更新时可以更换awesome目录下的2个文件即可更新。",
        "5、调用方法是直接用图标对应的编码，如",
        "   \"\\uF000\",\"ABC\\uF001\",\"中\\uF003国\"。",
    };
    QCOMPARE(lines, expected);

    QCOMPARE(pane()->font().pointSize(), 16);
    QCOMPARE(table()->font().pointSize(), 16);
}

void TestAweDlg::catalogueFillsTable()
{
    QTableWidget *t = table();
    QCOMPARE(t->columnCount(), 1);
    QCOMPARE(t->horizontalHeaderItem(0)->text(), QStringLiteral("图标"));
    QCOMPARE(t->rowCount(), kCatalogue.size());
    QCOMPARE(t->item(0, 0)->text(), QStringLiteral(u"\uF000 F000"));
    QCOMPARE(t->item(3, 0)->text(), QStringLiteral(u"\uF2DC F2DC"));
    QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestAweDlg::addAllReplacesPane()
{
    m_dlg->appendIcons(QStringLiteral(u"x\uF001"));
    m_dlg->appendIcons(QStringLiteral(u"\uF000"));
    QCOMPARE(pane()->toPlainText(), QStringLiteral(u"x\uF001\uF000")); // joined, no line break
    click("btn_add_add");
    QCOMPARE(pane()->toPlainText(), kCatalogue);
}

void TestAweDlg::addSelectedAppendsInSelectionOrder()
{
    m_dlg->appendIcons(QStringLiteral("a"));
    click("btn_add_sel"); // nothing selected: nothing changes
    QCOMPARE(pane()->toPlainText(), QStringLiteral("a"));

    QItemSelectionModel *selection = table()->selectionModel();
    selection->select(table()->model()->index(3, 0), QItemSelectionModel::Select);
    selection->select(table()->model()->index(1, 0), QItemSelectionModel::Select);
    click("btn_add_sel");
    QCOMPARE(pane()->toPlainText(), QStringLiteral(u"a\uF2DC\uF001"));
}

void TestAweDlg::doubleClickAppendsRow()
{
    // The view's own signal, as a double-click raises it; synthetic mouse double
    // clicks are paired by timestamps across tests and are unreliable here.
    m_dlg->appendIcons(QStringLiteral("a"));
    const QModelIndex row2 = table()->model()->index(2, 0);
    emit table()->doubleClicked(row2);
    emit table()->doubleClicked(row2);
    QCOMPARE(pane()->toPlainText(), QStringLiteral(u"a\uF002\uF002"));
}

void TestAweDlg::clearEmptiesPane()
{
    m_dlg->appendIcons(kCatalogue);
    click("btn_clean_all");
    QVERIFY(pane()->toPlainText().isEmpty());
}

void TestAweDlg::okAcceptsWithPaneText()
{
    m_dlg->appendIcons(QStringLiteral(u"\uF001\uF000"));
    answerModal<AweDlg>([this](AweDlg *) {
        pane()->moveCursor(QTextCursor::End);
        QTest::keyClicks(pane(), QStringLiteral("z"));
        click("btn_ok");
    });
    QCOMPARE(m_dlg->exec(), int(QDialog::Accepted));
    // Whatever the pane holds is the result, typed letters included.
    QCOMPARE(m_dlg->selectedIconText(), QStringLiteral(u"\uF001\uF000z"));
}

void TestAweDlg::closingRejects()
{
    answerModal<AweDlg>([](AweDlg *dlg) { dlg->close(); });
    QCOMPARE(m_dlg->exec(), int(QDialog::Rejected));
}

void TestAweDlg::colourDialogChangesOnlyWhenAccepted()
{
    const QColor before = pane()->palette().color(QPalette::Text);
    const QColor red(255, 0, 0);
    QVERIFY(before != red);

    answerModal<QColorDialog>([](QColorDialog *dlg) { dlg->reject(); });
    click("btn_color");
    QCOMPARE(pane()->palette().color(QPalette::Text), before);

    answerModal<QColorDialog>([red](QColorDialog *dlg) {
        dlg->setCurrentColor(red);
        dlg->accept();
    });
    click("btn_color");
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(pane()->palette().color(group, QPalette::Text), red);
}

QTEST_MAIN(TestAweDlg)
// Also run at 144 dpi, where texts grow but pixel sizes from the form do not.
void TestAweDlg::textsFitAtThisDpi()
{
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    for (const QPushButton *b : m_dlg->findChildren<QPushButton *>())
        QVERIFY2(b->width() >= b->sizeHint().width(), qPrintable(b->text()));
    const QTableWidget *t = table();
    const int code = QFontMetrics(t->font()).horizontalAdvance(t->item(0, 0)->text());
    QVERIFY2(t->columnWidth(0) >= code, qPrintable(QString::number(t->columnWidth(0))));
}

#include "tst_awedlg.moc"

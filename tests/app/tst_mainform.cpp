// The main window's form: the names the slots bind to, texts, items and layout.
#include "mainwindow.h"
#include "outputview.h"
#include "uiresources.h"
#include "windowharness.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

class TestMainForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowAndMenus();
    void leftPaneButtons();
    void optionControls();
    void closeActionClosesWindow();

private:
    template<typename T>
    T *child(const QString &name)
    {
        T *w = m_window->findChild<T *>(name);
        if (!w)
            qFatal("missing %s", qPrintable(name));
        return w;
    }

    QTemporaryDir m_dir; // the window reads ./config.ini; keep it away from the source tree
    MainWindow *m_window = nullptr;
};

void TestMainForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    qm::initUiResources();
}

void TestMainForm::init()
{
    m_window = new MainWindow;
}

void TestMainForm::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestMainForm::windowAndMenus()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Quillmark V0.5测试版"));
    QCOMPARE(m_window->size(), QSize(1101, 720));
    QVERIFY(!m_window->windowIcon().isNull());

    const QList<QAction *> menus = child<QMenuBar>("menuBar")->actions();
    QCOMPARE(menus.size(), 3);
    const struct { const char *menu; const char *title; QStringList actions; QStringList texts; } expected[] = {
        {"menu", "文件(&F)", {"action_save", "action_close"}, {"保存(&S)", "关闭(&X)"}},
        {"menu_2", "帮助(&H)", {"action_note", "action_about"}, {"使用说明(&U)", "关于(&A)"}},
        {"menu_3", "赞赏作者(&Z)", {"action_appreciation"}, {"支持作者(&S)"}},
    };
    for (int m = 0; m < 3; ++m) {
        const auto &e = expected[m];
        auto *menu = child<QMenu>(QLatin1String(e.menu));
        QCOMPARE(menus.at(m), menu->menuAction());
        QCOMPARE(menu->title(), QString::fromUtf8(e.title));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), e.actions.size());
        for (int a = 0; a < actions.size(); ++a) {
            QCOMPARE(actions.at(a)->objectName(), e.actions.at(a));
            QCOMPARE(actions.at(a)->text(), e.texts.at(a));
            QVERIFY2(!actions.at(a)->icon().isNull(), qPrintable(e.actions.at(a)));
        }
    }
}

void TestMainForm::leftPaneButtons()
{
    const QStringList left = {"btn_font", "btn_clrText", "btn_delRepeat", "btn_delAscii",
                              "btn_comHz", "btn_allHz", "btn_awesome", "btn_input_txt"};
    const QStringList leftTexts = {"选择字体", "清空文字", "清除重复", "清除英文与数字",
                                   "加入常用汉字", "加入所有汉字", "插入awesome图标", "导入TXT文本"};
    const QStringList right = {"btn_save", "btn_copy", "btn_convert"};
    const QStringList rightTexts = {"保存", "复制", "开始转换"};
    auto check = [this](const QStringList &names, const QStringList &texts, int minWidth) {
        for (int i = 0; i < names.size(); ++i) {
            auto *button = child<QPushButton>(names[i]);
            QCOMPARE(button->text(), texts[i]);
            QCOMPARE(button->minimumWidth(), minWidth);
            // The style names its own button in both the normal and the pressed rule.
            const QString style = button->styleSheet();
            QVERIFY(style.contains(QStringLiteral("#%1{").arg(names[i])));
            QVERIFY(style.contains(QStringLiteral("#%1:pressed{").arg(names[i])));
            QVERIFY(style.contains(QStringLiteral("background-color: rgb(179, 179, 179);")));
        }
    };
    check(left, leftTexts, 220);
    // Narrower than the left pane's, so that the row keeps 预览效果 too at 1101 pixels.
    check(right, rightTexts, 150);
    QCOMPARE(child<QLabel>("label")->text(), QStringLiteral("请输入文字:"));
    QCOMPARE(child<QLabel>("label_2")->text(), QStringLiteral("转换结果"));
    QVERIFY(child<QLabel>("label_link")->openExternalLinks());
    child<QPlainTextEdit>("pte_input");
    QCOMPARE(child<OutputView>("tb_output")->font().pointSize(), 12);
    QCOMPARE(child<QSplitter>("splitter")->count(), 2);
}

void TestMainForm::optionControls()
{
    QWidget *img = child<QWidget>("widget_img");
    // The options' right edge: the window narrows by its panes, never through them.
    QCOMPARE(img->minimumSize(), QSize(612, 201));
    const struct { const char *name; QRect geometry; } placed[] = {
        {"label_img", {10, 10, 101, 71}},         {"check_ascii", {140, 40, 131, 21}},
        {"label_bpp", {140, 10, 61, 21}},         {"combo_bpp", {200, 10, 69, 21}},
        {"check_qsort", {140, 70, 351, 21}},      {"check_del_repeat", {490, 70, 121, 21}},
        {"check_auto_save_file", {140, 100, 221, 21}},
        {"label_fontName", {140, 130, 131, 31}},  {"lineEdit_fontName", {270, 130, 341, 31}},
        {"label_fontName_2", {140, 170, 131, 31}}, {"pte_include", {270, 170, 341, 31}},
    };
    for (const auto &p : placed) {
        QWidget *w = child<QWidget>(QLatin1String(p.name));
        QCOMPARE(w->parentWidget(), img);
        QCOMPARE(w->geometry(), p.geometry);
    }
    // The two combo boxes end where the column ends and are as wide as their longest
    // item needs; their labels share one left edge and stay clear of them.
    const struct { const char *combo; const char *label; int y; int labelWidth; } columns[] = {
        {"combo_lv_ver", "label_lv_ver", 10, 71}, {"combo_type", "label_type", 40, 41}};
    for (const auto &c : columns) {
        auto *combo = child<QComboBox>(QLatin1String(c.combo));
        auto *label = child<QLabel>(QLatin1String(c.label));
        QCOMPARE(combo->geometry().right(), 610);
        QCOMPARE(combo->y(), c.y);
        QVERIFY(combo->width() >= qMax(141, combo->sizeHint().width()));
        QCOMPARE(label->x(), child<QLabel>("label_type")->x());
        QVERIFY(label->x() <= 390 && label->x() > child<QWidget>("check_ascii")->geometry().right());
        QCOMPARE(label->geometry(), QRect(label->x(), c.y, c.labelWidth, 21));
        QVERIFY(label->geometry().right() < combo->x());
    }

    auto items = [this](const char *name) {
        QStringList list;
        auto *combo = child<QComboBox>(QLatin1String(name));
        for (int i = 0; i < combo->count(); ++i)
            list << combo->itemText(i);
        return list;
    };
    QCOMPARE(items("combo_bpp"), QStringList({"1", "2", "4", "8"}));
    QCOMPARE(items("combo_lv_ver"), QStringList({"用于5.3版本以下", "用于6.0版本以上", "用于8.0版本以上", "用于9.0版本以上"}));
    QCOMPARE(items("combo_type"), QStringList({"内部字体", "XBF字体,内部大数组", "XBF字体,外部bin文件"}));

    auto *render = child<QLabel>("label_img");
    QVERIFY(render->text().isEmpty());
    // Its black box comes with the first conversion (tst_windowdesk).
    QVERIFY(render->styleSheet().isEmpty());
    QCOMPARE(render->font().pointSize(), 12);
    QVERIFY(render->font().styleStrategy() & QFont::PreferAntialias);

    QCOMPARE(child<QCheckBox>("check_qsort")->text(),
             QStringLiteral("文字排序,查表使用二分法,速度快建议使用,(仅限内部字体)"));
    QCOMPARE(child<QCheckBox>("check_auto_save_file")->text(), QStringLiteral("直接存文件(解决死机或反应慢)"));
    // With no ./config.ini the defaults stand.
    QVERIFY(child<QCheckBox>("check_ascii")->isChecked());
    QCOMPARE(child<QLineEdit>("lineEdit_fontName")->text(), QStringLiteral("myFont"));
    QCOMPARE(child<QPlainTextEdit>("pte_include")->toPlainText(), QStringLiteral("#include \"lvgl.h\""));
}

void TestMainForm::closeActionClosesWindow()
{
    m_window->show();
    QVERIFY(m_window->isVisible());
    child<QAction>("action_close")->trigger();
    QVERIFY(!m_window->isVisible());
    // Closing keeps the options, as a conversion does.
    QCOMPARE(qmtest::readConfig().value(QStringLiteral("FontName")).toString(), QStringLiteral("myFont"));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"

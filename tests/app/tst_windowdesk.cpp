// The window as a user on a desk meets it: a cancel that must not destroy the file the
// user had, options kept when the window closes, the options LVGL 5.3 ignores, the
// keyboard, and a window that fits a laptop's screen at 100%, 125% and 150%.
#include "testfiles.h"
#include "windowharness.h"

#include "charset/chartables.h"
#include "render/fonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using qmtest::child;
using qmtest::readConfig;
using qmtest::readFile;

namespace {

// The window, answering the question a cancelled run asks before it replaces files.
class DeskWindow : public qmtest::ScriptedWindow
{
public:
    bool replaceAnswer = false;
    QStringList replaceAsked;   // "file,file|written"

protected:
    bool askReplaceWithPartial(const QStringList &files, int written) override
    {
        QStringList names;
        for (const QString &f : files)
            names << QFileInfo(f).fileName();
        replaceAsked << names.join(QLatin1Char(',')) + QLatin1Char('|') + QString::number(written);
        return replaceAnswer;
    }
};

void click(QWidget *w, const char *button)
{
    QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
}

// Converts with 取消 pressed in the progress dialog once it shows some progress.
void convertAndCancel(QWidget *w)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QProgressDialog *>(top);
            if (dialog && dialog->isVisible() && dialog->value() > 0) {
                dialog->cancel();
                poll.stop();
            }
        }
    });
    poll.start(0);
    click(w, "btn_convert");
}

// The number in "只含前 N 个字符".
int partialCount(const QString &text)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("只含前 (\\d+) 个字符")).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void startWith(QWidget *w, const QString &chars)
{
    child<QPlainTextEdit>(w, "pte_input")->setPlainText(chars);
    child<QCheckBox>(w, "check_ascii")->setChecked(false);
}

} // namespace

class TestWindowDesk : public QObject
{
    Q_OBJECT

private:
    qmtest::WorkingFolder m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        qm::installFontSubstitutions();
        QVERIFY(m_dir.enter());
    }
    void cleanupTestCase() { m_dir.leave(); }
    void init() { qmtest::WorkingFolder::forgetSettings(); }

    void cancelAsksBeforeReplacingTheFile()
    {
        DeskWindow w;
        startWith(&w, qm::commonChineseCharacters());
        const QString target = path(QStringLiteral("font.c"));
        QVERIFY(qmtest::writeFile(target, "the good font"));
        w.saveAnswer = target;
        auto *out = child<OutputView>(&w, "tb_output");
        auto *status = child<QLabel>(&w, "label_status");

        // Kept (the default): the file stays, the partial text is in the pane, and the
        // status line says both.
        convertAndCancel(&w);
        QCOMPARE(w.replaceAsked.size(), 1);
        const int kept = w.replaceAsked.first().section(QLatin1Char('|'), 1).toInt();
        QVERIFY(kept > 0 && kept < 6763);
        QCOMPARE(w.replaceAsked.first(), QStringLiteral("font.c|%1").arg(kept));
        QCOMPARE(readFile(target), QByteArray("the good font"));
        QVERIFY(out->toPlainText().startsWith(QStringLiteral("/*\n")));
        QCOMPARE(status->toolTip(), QStringLiteral("转换已取消，只含前 %1 个字符；font.c 未改动，不完整的结果在下方转换结果中")
                                        .arg(kept));
        QCOMPARE(qmtest::filesIn(m_dir.path()), (QStringList{"config.ini", "font.c"}));

        // Replaced when the user says so: the file is the partial text.
        w.replaceAnswer = true;
        convertAndCancel(&w);
        QCOMPARE(w.replaceAsked.size(), 2);
        const int replaced = partialCount(status->toolTip());
        QVERIFY(replaced > 0);
        QVERIFY2(status->toolTip().contains(QStringLiteral("；已写入 font.c（")), qPrintable(status->toolTip()));
        QVERIFY(readFile(target).startsWith("/*\n"));
        QVERIFY(out->toPlainText().isEmpty());

        // A new file replaces nothing: no question.
        w.saveAnswer = path(QStringLiteral("new.c"));
        convertAndCancel(&w);
        QCOMPARE(w.replaceAsked.size(), 2);
        QVERIFY(QFile::exists(w.saveAnswer));
        QFile::remove(w.saveAnswer);
        QFile::remove(target);
    }

    void cancelKeepsTheBinPair()
    {
        DeskWindow w;
        startWith(&w, qm::commonChineseCharacters());
        child<QComboBox>(&w, "combo_type")->setCurrentIndex(2);
        const QString folder = path(QStringLiteral("pair"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(qmtest::writeFile(folder + QStringLiteral("/myFont.bin"), "old table"));
        QVERIFY(qmtest::writeFile(folder + QStringLiteral("/myFont.c"), "old reader"));
        w.folderAnswer = folder;
        convertAndCancel(&w);
        QCOMPARE(w.replaceAsked.size(), 1);
        QVERIFY(w.replaceAsked.first().startsWith(QStringLiteral("myFont.bin,myFont.c|")));
        QCOMPARE(readFile(folder + QStringLiteral("/myFont.bin")), QByteArray("old table"));
        QCOMPARE(readFile(folder + QStringLiteral("/myFont.c")), QByteArray("old reader"));
        QCOMPARE(qmtest::filesIn(folder), (QStringList{"myFont.bin", "myFont.c"}));
        const QString status = child<QLabel>(&w, "label_status")->toolTip();
        QVERIFY2(status.contains(QStringLiteral("；myFont.bin 和 myFont.c 未改动，不完整的 .c（其 .bin 未保存）在下方转换结果中")),
                 qPrintable(status));
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().contains(QStringLiteral("x_header_t")));
    }

    // A cancelled run into the pane says the result is incomplete.
    void cancelledPaneResultSaysSo()
    {
        DeskWindow w;
        startWith(&w, qm::commonChineseCharacters());
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
        convertAndCancel(&w);
        QVERIFY(w.replaceAsked.isEmpty());
        const QString status = child<QLabel>(&w, "label_status")->toolTip();
        QVERIFY2(partialCount(status) > 0 && status.endsWith(QStringLiteral("，结果不完整")), qPrintable(status));
    }

    void optionsAreKeptWhenTheWindowCloses()
    {
        {
            DeskWindow w;
            w.show();
            child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(0);
            child<QComboBox>(&w, "combo_lv_ver")->setCurrentIndex(2);
            child<QLineEdit>(&w, "lineEdit_fontName")->setText(QStringLiteral("ui_font"));
            child<QPlainTextEdit>(&w, "pte_include")->setPlainText(QStringLiteral("#include \"my.h\""));
            child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
            QVERIFY(!QFile::exists(QStringLiteral("config.ini")));
            QVERIFY(w.close());
        }
        const QJsonObject config = readConfig();
        QCOMPARE(config.size(), 20);   // the nineteen keys and Compress
        QCOMPARE(config.value(QStringLiteral("Bpp")).toInt(), 0);
        QCOMPARE(config.value(QStringLiteral("LvVerIdx")).toInt(), 2);
        QCOMPARE(config.value(QStringLiteral("FontName")).toString(), QStringLiteral("ui_font"));
        QCOMPARE(config.value(QStringLiteral("IncText")).toString(), QStringLiteral("#include \"my.h\""));
        QCOMPARE(config.value(QStringLiteral("SaveFile")).toBool(), false);
        // The next window starts from them.
        DeskWindow next;
        QCOMPARE(child<QComboBox>(&next, "combo_lv_ver")->currentIndex(), 2);
        QCOMPARE(child<QLineEdit>(&next, "lineEdit_fontName")->text(), QStringLiteral("ui_font"));
    }

    // LVGL 5.3 writes an internal font into the pane with its own include, in input
    // order: the options it ignores say so and cannot be changed.
    void legacyDisablesWhatItIgnores()
    {
        DeskWindow w;
        const char *ignored[] = {"combo_type", "check_auto_save_file", "pte_include", "check_qsort"};
        auto *version = child<QComboBox>(&w, "combo_lv_ver");
        version->setCurrentIndex(0);
        for (const char *name : ignored) {
            QWidget *c = child<QWidget>(&w, name);
            QVERIFY2(!c->isEnabled(), name);
            QVERIFY2(c->toolTip().startsWith(QStringLiteral("LVGL 5.3 及以下")), name);
        }
        QVERIFY(child<QWidget>(&w, "pte_include")->toolTip().contains(QStringLiteral("./lv_misc/lv_font.h")));
        // Its include is its own: an empty include field refuses nothing.
        startWith(&w, QStringLiteral("中"));
        child<QPlainTextEdit>(&w, "pte_include")->clear();
        click(&w, "btn_convert");
        QVERIFY(w.messages.isEmpty());
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().contains(QStringLiteral("lv_font.h")));

        version->setCurrentIndex(1);
        for (const char *name : ignored) {
            QVERIFY2(child<QWidget>(&w, name)->isEnabled(), name);
            QVERIFY2(child<QWidget>(&w, name)->toolTip().isEmpty(), name);
        }
    }

    void keyboardReachesTheCommands()
    {
        DeskWindow w;
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        startWith(&w, QStringLiteral("中"));
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);

        // Tab leaves both text fields instead of typing a tab.
        for (const char *name : {"pte_include", "pte_input"}) {
            auto *edit = child<QPlainTextEdit>(&w, name);
            const QString before = edit->toPlainText();
            edit->setFocus();
            QVERIFY(edit->hasFocus());
            QTest::keyClick(edit, Qt::Key_Tab);
            QCOMPARE(edit->toPlainText(), before);
            QVERIFY2(!edit->hasFocus(), name);
        }

        // The commands' shortcuts, named in their tooltips.
        const struct { const char *button; const char *keys; } named[] = {
            {"btn_convert", "Ctrl+Return"}, {"btn_copy", "Ctrl+Shift+C"}, {"btn_save", "Ctrl+S"}, {"btn_preview", "F5"}};
        for (const auto &n : named)
            QVERIFY2(child<QPushButton>(&w, n.button)->toolTip().contains(QLatin1String(n.keys)), n.button);

        auto *out = child<OutputView>(&w, "tb_output");
        QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(out->toPlainText().startsWith(QStringLiteral("/*\n")));
        // The progress dialog took the focus; the window has it back, as on a desktop.
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QApplication::clipboard()->clear();
        QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::clipboard()->text(), out->toPlainText());
        w.saveAnswer = path(QStringLiteral("keys.c"));
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readFile(w.saveAnswer), out->toPlainText().toUtf8());
        QFile::remove(w.saveAnswer);

        QCOMPARE(child<QMenu>(&w, "menu")->title(), QStringLiteral("文件(&F)"));
    }

    void smallThings()
    {
        DeskWindow w;
        auto *render = child<QLabel>(&w, "label_img");
        // No black box before there is anything to show in it.
        QVERIFY(render->styleSheet().isEmpty());
        QVERIFY(!child<QPushButton>(&w, "btn_clrAwe")->isEnabled());
        QVERIFY(child<QPushButton>(&w, "btn_clrAwe")->styleSheet().contains(QStringLiteral("#btn_clrAwe:disabled{")));

        // Copying an empty pane keeps what the clipboard had and says why.
        QApplication::clipboard()->setText(QStringLiteral("keep me"));
        click(&w, "btn_copy");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("keep me"));
        QCOMPARE(child<QLabel>(&w, "label_status")->toolTip(), QStringLiteral("转换结果是空的，没有复制"));

        // The preview starts from the typed lines, breaks and all.
        startWith(&w, QStringLiteral("你好 LVGL\n温度 23 OK\n"));
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
        click(&w, "btn_convert");
        QCOMPARE(render->styleSheet(), QStringLiteral("color: rgb(255, 255, 255);\nbackground-color: rgb(0, 0, 0);"));
        click(&w, "btn_preview");
        QCOMPARE(child<QPlainTextEdit>(w.findChild<QDialog *>(), "pte_sample")->toPlainText(),
                 QStringLiteral("你好 LVGL\n温度 23 OK"));
    }

    // A narrow status line shortens the folder, never the names and sizes.
    void statusKeepsNamesAndSizes()
    {
        DeskWindow w;
        w.show();
        startWith(&w, QStringLiteral("AB"));
        child<QComboBox>(&w, "combo_type")->setCurrentIndex(2);
        const QString folder = path(QStringLiteral("a-rather-long-folder-name/that-goes/on-and-on/and-on"));
        QVERIFY(QDir().mkpath(folder));
        w.folderAnswer = folder;
        click(&w, "btn_convert");
        auto *status = child<QLabel>(&w, "label_status");
        const QString full = status->toolTip();
        QVERIFY(full.startsWith(QStringLiteral("已写入 myFont.bin（")));
        // Room for the names, the sizes and a few characters of the folder.
        status->setFixedWidth(status->fontMetrics().horizontalAdvance(
            full.section(QStringLiteral("，位于 "), 0, 0) + QStringLiteral("，位于 /tmp/ab…cd")));
        QApplication::processEvents();
        const QString shown = status->text();
        QVERIFY2(shown.startsWith(full.section(QStringLiteral("，位于 "), 0, 0) + QStringLiteral("，位于 ")), qPrintable(shown));
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    }

    // At its smallest the window fits a laptop's screen at this DPI (1366 x 768 at 100%
    // and 125%, 1920 x 1080 at 150%) with a task bar and a frame around it, and no
    // control is cut: the panes gave way.
    void fitsALaptopScreen()
    {
        DeskWindow w;
        w.show();
        const int dpi = w.logicalDpiY();
        // The screen less a task bar of 40 pixels.
        const QSize screen = dpi > 120 ? QSize(1920, 1040) : QSize(1366, 728);
        const QSize frame(16, 40 * dpi / 96);
        const QSize smallest = w.minimumSizeHint().expandedTo(w.minimumSize());
        QVERIFY2(smallest.width() + frame.width() <= screen.width()
                     && smallest.height() + frame.height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2 at %3 dpi").arg(smallest.width()).arg(smallest.height()).arg(dpi)));
        if (dpi == 96)
            QCOMPARE(w.size(), QSize(1101, 720));

        w.resize(smallest);
        QApplication::processEvents();
        QWidget *options = child<QWidget>(&w, "widget_img");
        for (QWidget *c : options->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(options->rect().contains(c->geometry()), qPrintable(c->objectName()));
        for (QPushButton *b : w.findChildren<QPushButton *>()) {
            if (b->isVisible())
                QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()), qPrintable(b->objectName()));
        }
        for (QComboBox *c : w.findChildren<QComboBox *>())
            QVERIFY2(c->width() >= c->sizeHint().width(),
                     qPrintable(QStringLiteral("%1: %2 < %3").arg(c->objectName()).arg(c->width()).arg(c->sizeHint().width())));
    }
};

QTEST_MAIN(TestWindowDesk)
#include "tst_windowdesk.moc"

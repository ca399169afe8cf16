// The window's commands around a conversion: editing the character set, the font
// choice, saving, copying and where a conversion's text ends up.
#include "filelimit.h"
#include "testfiles.h"
#include "windowharness.h"

#include "charset/chartables.h"
#include "render/fonts.h"
#include "files/textfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QFontInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using qmtest::ScriptedWindow;
using qmtest::child;
using qmtest::readConfig;
using qmtest::readFile;

namespace {


void click(QWidget *w, const char *button)
{
    QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
}

QString paneText(QWidget *w)
{
    return child<QPlainTextEdit>(w, "pte_input")->toPlainText();
}

} // namespace

class TestWindowCommands : public QObject
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

    void editingCommands()
    {
        ScriptedWindow w;
        auto *pane = child<QPlainTextEdit>(&w, "pte_input");
        pane->setPlainText(QStringLiteral("abca\nab\n"));
        click(&w, "btn_delRepeat");
        QCOMPARE(paneText(&w), QStringLiteral("abc\n"));

        pane->setPlainText(QStringLiteral("A中\n文1"));
        click(&w, "btn_delAscii");
        QCOMPARE(paneText(&w), QStringLiteral("中文"));

        click(&w, "btn_clrText");
        QCOMPARE(paneText(&w), QString());
        click(&w, "btn_comHz");
        QCOMPARE(paneText(&w), qm::commonChineseCharacters());
        QCOMPARE(paneText(&w).size(), 6763);

        pane->setPlainText(QStringLiteral("x"));
        click(&w, "btn_comHz");
        QCOMPARE(paneText(&w), QStringLiteral("x\n") + qm::commonChineseCharacters());

        pane->setPlainText(QStringLiteral("y"));
        click(&w, "btn_allHz");
        QCOMPARE(paneText(&w).size(), 2 + 20902);
        QCOMPARE(paneText(&w).at(2), QChar(0x4E00));
        QCOMPARE(paneText(&w).back(), QChar(0x9FA5));
    }

    void importDecodesAndRemembersTheFolder()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("texts"));
        const QString gbk = path(QStringLiteral("texts/gbk.txt"));
        QVERIFY(qmtest::writeFile(gbk,
                                  QTextCodec::codecForName("GB18030")->fromUnicode(QStringLiteral("温度湿度"))));

        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        // A cancelled dialog changes nothing.
        w.importAnswer.clear();
        click(&w, "btn_input_txt");
        QCOMPARE(paneText(&w), QStringLiteral("A"));
        QCOMPARE(w.settings().DirTxt, QString());

        w.importAnswer = gbk;
        click(&w, "btn_input_txt");
        QCOMPARE(paneText(&w), QStringLiteral("A\n温度湿度"));
        QCOMPARE(w.settings().DirTxt, path(QStringLiteral("texts")));
        QVERIFY(!QFile::exists(QStringLiteral("config.ini")));

        // A file that cannot be read, or is no text, is reported and leaves the pane alone.
        QVERIFY(qmtest::writeFile(path(QStringLiteral("texts/picture.png")),
                                  QByteArray::fromHex("89504e470d0a1a0a0000000d49484452")));
        for (const QString &name : {QStringLiteral("missing.txt"), QStringLiteral("picture.png")}) {
            w.messages.clear();
            w.importAnswer = path(QStringLiteral("texts/") + name);
            click(&w, "btn_input_txt");
            QCOMPARE(paneText(&w), QStringLiteral("A\n温度湿度"));
            QCOMPARE(w.messages.size(), 1);
            QVERIFY(w.messages.first().startsWith(QStringLiteral("错误提示|")));
            QVERIFY(w.messages.first().contains(name));
            QCOMPARE(w.icons.last(), QMessageBox::Critical);
        }
        // The reason in Chinese, the engine's own words after it.
        QVERIFY2(w.messages.first().endsWith(QStringLiteral("：不是文本文件（只读 UTF-8、UTF-16、UTF-32 或 GB 18030）（%1）")
                                                 .arg(qm::notTextReason())),
                 qPrintable(w.messages.first()));
    }

    void fontChoiceUpdatesRecordNotFile()
    {
        ScriptedWindow w;
        QFont chosen(QStringLiteral("DejaVu Sans"));
        chosen.setStyleName(QStringLiteral("Bold"));
        chosen.setPointSize(18);
        w.fontAnswer = chosen;
        w.fontAccepted = true;
        child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(0);
        click(&w, "btn_font");
        const QFont font = child<QPlainTextEdit>(&w, "pte_input")->font();
        QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(w.settings().FontFamily, QStringLiteral("DejaVu Sans"));
        QCOMPARE(w.settings().FontStyle, QStringLiteral("Bold"));
        QCOMPARE(w.settings().FontPoint, 18);
        QCOMPARE(child<QLabel>(&w, "label_img")->font().styleStrategy(), QFont::NoAntialias);
        QVERIFY(!QFile::exists(QStringLiteral("config.ini")));

        // Cancelling returns the current font: nothing changes.
        w.fontAccepted = false;
        child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(2);
        click(&w, "btn_font");
        QCOMPARE(child<QPlainTextEdit>(&w, "pte_input")->font().pointSize(), 18);
        QCOMPARE(w.settings().FontFamily, QStringLiteral("DejaVu Sans"));
        QVERIFY(child<QLabel>(&w, "label_img")->font().styleStrategy() != QFont::NoAntialias);

        // The next conversion stores the font, and the generated file names it.
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("Ab"));
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
        click(&w, "btn_convert");
        QCOMPARE(readConfig().value(QStringLiteral("FontFamily")).toString(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(readConfig().value(QStringLiteral("FontPoint")).toInt(), 18);
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().contains(
            QStringLiteral("\n//DejaVu Sans,Bold,18\n")));
    }

    void fontDialogKeepsTheStoredFont()
    {
        ScriptedWindow w;
        auto *pane = child<QPlainTextEdit>(&w, "pte_input");
        const QFontInfo drawn(pane->font());
        // The dialog answers OK without a change the way the toolkit's does: the face it
        // was offered, no style name.
        w.fontAccepted = true;
        w.fontAnswer = QFont(drawn.family(), 12);
        click(&w, "btn_font");
        QCOMPARE(w.fontOffered.family(), drawn.family());
        QVERIFY(!w.fontOffered.styleName().isEmpty());
        QCOMPARE(pane->font().family(), QStringLiteral("微软雅黑"));
        QCOMPARE(pane->font().styleName(), QStringLiteral("Regular"));
        QCOMPARE(pane->font().pointSize(), 12);
        QCOMPARE(w.settings().FontFamily, QStringLiteral("微软雅黑"));
        QCOMPARE(w.settings().FontStyle, QStringLiteral("Regular"));
        QVERIFY(child<QLabel>(&w, "label_font")->text().endsWith(QStringLiteral("12 pt, 转换为 16 px")));

        // Another family and size: taken, with the style it is drawn in.
        w.fontAnswer = QFont(QStringLiteral("DejaVu Sans"), 18);
        click(&w, "btn_font");
        QCOMPARE(w.settings().FontFamily, QStringLiteral("DejaVu Sans"));
        QVERIFY(!w.settings().FontStyle.isEmpty());
        QCOMPARE(w.settings().FontPoint, 18);
        QVERIFY(child<QLabel>(&w, "label_font")->text().endsWith(QStringLiteral("18 pt, 转换为 24 px")));
    }

    void chosenIconsAreShownAndCleared()
    {
        QVERIFY(qmtest::writeFile(QStringLiteral("config.ini"),
                                  "{\"AweText\": \"\\uf011\\uf013\", \"SaveFile\": false}"));
        ScriptedWindow w;
        QCOMPARE(child<QLabel>(&w, "label_awe")->text(), QStringLiteral("已选图标(2):"));
        auto *icons = child<QLabel>(&w, "label_awe_icons");
        QCOMPARE(icons->font().family(), w.aweFont().family());
        QCOMPARE(icons->toolTip(), QStringLiteral("F011 F013"));
        click(&w, "btn_clrAwe");
        QCOMPARE(w.aweText(), QString());
        QCOMPARE(child<QLabel>(&w, "label_awe")->text(), QStringLiteral("已选图标(0):"));
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        click(&w, "btn_convert");
        QCOMPARE(readConfig().value(QStringLiteral("AweText")).toString(), QString());
    }

    void saveAndCopy()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("one"));
        QDir(m_dir.path()).mkpath(QStringLiteral("two"));
        ScriptedWindow w;
        auto *out = child<OutputView>(&w, "tb_output");

        // An empty pane saves nothing and asks nothing.
        click(&w, "btn_save");
        QVERIFY(w.suggestedSavePaths.isEmpty());

        out->setPlainText(QStringLiteral("/* 中 */\nint x;"));
        w.saveAnswer = path(QStringLiteral("one/a.c"));
        click(&w, "btn_save");
        QCOMPARE(w.suggestedSavePaths.last(), QDir::homePath() + QStringLiteral("/myFont.c"));
        QCOMPARE(readFile(path(QStringLiteral("one/a.c"))), QByteArray("/* \xe4\xb8\xad */\nint x;"));
        QCOMPARE(readConfig().value(QStringLiteral("DirText")).toString(), path(QStringLiteral("one")));

        w.saveAnswer = path(QStringLiteral("two/b.c"));
        click(&w, "btn_save");
        QCOMPARE(w.suggestedSavePaths.last(), path(QStringLiteral("one")) + QStringLiteral("/myFont.c"));
        QCOMPARE(w.settings().DirText, path(QStringLiteral("two")));

        // A file that cannot be written is reported; the folder stays.
        w.saveAnswer = path(QStringLiteral("one/a.c/inside.c"));
        click(&w, "btn_save");
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages.first().startsWith(QStringLiteral("错误提示|")));
        QVERIFY(w.messages.first().contains(QStringLiteral("inside.c")));
        QCOMPARE(w.icons.first(), QMessageBox::Critical);
        QCOMPARE(w.settings().DirText, path(QStringLiteral("two")));

        // A full disk (a file size limit) leaves the file of the last save whole.
        w.saveAnswer = path(QStringLiteral("one/a.c"));
        out->setPlainText(QString(10000, QLatin1Char('x')));
        qmtest::withFileSizeLimit(4096, [&] { click(&w, "btn_save"); });
        QCOMPARE(w.messages.size(), 2);
        QVERIFY2(w.messages.last().contains(QStringLiteral("文件超过系统允许的大小（File too large）")),
                 qPrintable(w.messages.last()));
        QCOMPARE(readFile(path(QStringLiteral("one/a.c"))), QByteArray("/* \xe4\xb8\xad */\nint x;"));
        out->setPlainText(QStringLiteral("/* 中 */\nint x;"));

        // Dismissed dialog: nothing written, nothing said.
        w.saveAnswer.clear();
        click(&w, "btn_save");
        QCOMPARE(w.messages.size(), 2);

        click(&w, "btn_copy");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("/* 中 */\nint x;"));
        // An empty pane leaves the clipboard as it was (tst_windowdesk says more).
        out->clear();
        click(&w, "btn_copy");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("/* 中 */\nint x;"));
    }

    void directToFileWritesTheFileAndNotThePane()
    {
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("你好"));
        child<QCheckBox>(&w, "check_ascii")->setChecked(false);
        w.saveAnswer = path(QStringLiteral("direct.c"));
        click(&w, "btn_convert");
        QVERIFY(w.messages.isEmpty());
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().isEmpty());
        const QByteArray written = readFile(path(QStringLiteral("direct.c")));
        QVERIFY(written.startsWith("/*\n"));
        // The status line says where the file went and how big it is.
        const QString status = child<QLabel>(&w, "label_status")->toolTip();
        QCOMPARE(status, QStringLiteral("已写入 direct.c（%1），位于 %2")
                             .arg(QLocale::c().formattedDataSize(written.size(), 1,
                                                                 QLocale::DataSizeTraditionalFormat),
                                  QDir::toNativeSeparators(m_dir.path())));
        QVERIFY(written.endsWith("};\n\n"));
        QCOMPARE(readConfig().value(QStringLiteral("DirText")).toString(), m_dir.path());

        // The same conversion into the pane gives the same text.
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
        click(&w, "btn_convert");
        QCOMPARE(child<OutputView>(&w, "tb_output")->toPlainText().toUtf8(), written);
    }

    void unwritableTargetKeepsTheTextInThePane()
    {
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        child<QCheckBox>(&w, "check_ascii")->setChecked(false);
        w.saveAnswer = path(QStringLiteral("no-such-folder/out.c"));
        click(&w, "btn_convert");
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages.first().startsWith(QStringLiteral("错误提示|")));
        QVERIFY(w.messages.first().contains(QStringLiteral("out.c：文件或文件夹不存在（No such file or directory）")));
        QCOMPARE(w.icons.first(), QMessageBox::Critical);
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().startsWith(QStringLiteral("/*\n")));
        QVERIFY(QFile::exists(QStringLiteral("config.ini")));
    }

    void binKindAsksForAFolder()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        child<QComboBox>(&w, "combo_type")->setCurrentIndex(2);
        // No folder: refused, nothing written but the options; the last result stays.
        child<OutputView>(&w, "tb_output")->setPlainText(QStringLiteral("last result"));
        click(&w, "btn_convert");
        QCOMPARE(w.messages, QStringList{QStringLiteral("提示|未选择保存文件夹")});
        QCOMPARE(w.suggestedFolders, QStringList{QDir::homePath()});
        QCOMPARE(child<OutputView>(&w, "tb_output")->toPlainText(), QStringLiteral("last result"));
        QVERIFY(w.suggestedSavePaths.isEmpty());

        w.messages.clear();
        w.folderAnswer = path(QStringLiteral("bin"));
        click(&w, "btn_convert");
        QVERIFY(w.messages.isEmpty());
        const QByteArray bin = readFile(path(QStringLiteral("bin/myFont.bin")));
        QVERIFY(!bin.isEmpty());
        QCOMPARE(readConfig().value(QStringLiteral("DirText")).toString(), path(QStringLiteral("bin")));
        QVERIFY(!child<OutputView>(&w, "tb_output")->toPlainText().isEmpty());

        // Without its reader the new table is not written either; the user reads why.
        QVERIFY(QFile::remove(path(QStringLiteral("bin/myFont.c"))));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin/myFont.c")));
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("B"));
        click(&w, "btn_convert");
        QCOMPARE(w.messages, QStringList{QStringLiteral("提示|打开文件失败\n%1：这是一个文件夹（Is a directory）\n"
                                                        "原有的 .bin 和 .c 文件未改动。/The earlier .bin and .c are kept.")
                                             .arg(path(QStringLiteral("bin/myFont.c")))});
        QCOMPARE(w.icons.last(), QMessageBox::Warning);
        QCOMPARE(readFile(path(QStringLiteral("bin/myFont.bin"))), bin);
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().isEmpty());
    }

    // An emoji would become two glyphs of its surrogate halves: refused before any
    // question is asked, with the characters named.
    void charactersBeyondBmpAreRefused()
    {
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("温度😀"));
        w.saveAnswer = path(QStringLiteral("emoji.c"));
        click(&w, "btn_convert");
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages.first().startsWith(QStringLiteral("提示|暂不支持U+FFFF以上的字符（1个）")),
                 qPrintable(w.messages.first()));
        QVERIFY(w.messages.first().endsWith(QStringLiteral("😀 (U+1F600)")));
        QVERIFY(w.suggestedSavePaths.isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("emoji.c"))));
    }

    void largeFontWarnsAfterTheRun()
    {
        ScriptedWindow w;
        QFont big = child<QPlainTextEdit>(&w, "pte_input")->font();
        big.setPointSize(300);
        child<QPlainTextEdit>(&w, "pte_input")->setFont(big);
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("中"));
        child<QCheckBox>(&w, "check_ascii")->setChecked(false);
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(false);
        click(&w, "btn_convert");
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages.first().startsWith(QStringLiteral("提示|")));
        QVERIFY(child<OutputView>(&w, "tb_output")->toPlainText().contains(QStringLiteral("#error")));
    }
};

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"

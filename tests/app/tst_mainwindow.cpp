#include "filelimit.h"
#include "testfiles.h"
#include "windowharness.h"

#include "request/fontname.h"
#include "render/fonts.h"
#include "settings/settingsrecord.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

using qmtest::ScriptedWindow;
using qmtest::child;
using qmtest::readConfig;


class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    qmtest::WorkingFolder m_dir;

    static void writeConfig(const QByteArray &json)
    {
        QVERIFY(qmtest::writeFile(QStringLiteral("config.ini"), json));
    }


private slots:
    void initTestCase()
    {
        qm::installFontSubstitutions();
        QVERIFY(m_dir.enter());
    }
    void cleanupTestCase() { m_dir.leave(); }
    void init() { qmtest::WorkingFolder::forgetSettings(); }

    void defaultsWithoutConfigFile()
    {
        ScriptedWindow w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillmark V0.5测试版"));
        QCOMPARE(w.size(), QSize(1101, 720));
        QCOMPARE(child<QComboBox>(&w, "combo_bpp")->currentText(), QStringLiteral("4"));
        QCOMPARE(child<QComboBox>(&w, "combo_type")->currentText(), QStringLiteral("内部字体"));
        QCOMPARE(child<QComboBox>(&w, "combo_lv_ver")->currentText(), QStringLiteral("用于6.0版本以上"));
        QVERIFY(child<QCheckBox>(&w, "check_ascii")->isChecked());
        QVERIFY(child<QCheckBox>(&w, "check_qsort")->isChecked());
        QVERIFY(child<QCheckBox>(&w, "check_auto_save_file")->isChecked());
        QVERIFY(!child<QCheckBox>(&w, "check_del_repeat")->isChecked());
        QCOMPARE(child<QLineEdit>(&w, "lineEdit_fontName")->text(), QStringLiteral("myFont"));
        QCOMPARE(child<QPlainTextEdit>(&w, "pte_include")->toPlainText(), QStringLiteral("#include \"lvgl.h\""));
        const QFont font = child<QPlainTextEdit>(&w, "pte_input")->font();
        QCOMPARE(font.family(), QStringLiteral("微软雅黑"));
        QCOMPARE(font.styleName(), QStringLiteral("Regular"));
        QCOMPARE(font.pointSize(), 12);
        QCOMPARE(child<QComboBox>(&w, "combo_bpp")->count(), 4);
        QCOMPARE(child<QComboBox>(&w, "combo_type")->itemText(2), QStringLiteral("XBF字体,外部bin文件"));
        QVERIFY(child<QLabel>(&w, "label_link")->text().contains(QStringLiteral("论坛新地址/下载地址/更新地址")));
        QVERIFY(!QFile::exists(QStringLiteral("config.ini")));
    }

    void defaultFamilyResolvesToACjkFace()
    {
        ScriptedWindow w;
        const QFont font = child<QPlainTextEdit>(&w, "pte_input")->font();
        const QRawFont raw = QRawFont::fromFont(font);
        QVERIFY2(raw.supportsCharacter(QChar(0x4E2D)), qPrintable(QFontInfo(font).family()));
        QVERIFY(QRawFont::fromFont(child<QLabel>(&w, "label_img")->font()).supportsCharacter(QChar(0x4E2D)));
    }

    void settingsApplyToControls()
    {
        QJsonObject o;
        o.insert(QStringLiteral("Bpp"), 0);
        o.insert(QStringLiteral("Type"), 1);
        o.insert(QStringLiteral("Ansi"), false);
        o.insert(QStringLiteral("FontName"), QStringLiteral("cn16"));
        o.insert(QStringLiteral("LvVerIdx"), 2);
        o.insert(QStringLiteral("TextSort"), false);
        o.insert(QStringLiteral("SaveFile"), false);
        o.insert(QStringLiteral("IncText"), QStringLiteral("#include \"a.h\"\n#include \"b.h\""));
        o.insert(QStringLiteral("FontFamily"), QStringLiteral("DejaVu Sans"));
        o.insert(QStringLiteral("FontStyle"), QStringLiteral("Bold"));
        o.insert(QStringLiteral("FontPoint"), 20);
        o.insert(QStringLiteral("AweText"), QString(QChar(0xF000)) + QChar(0xF001));
        writeConfig(QJsonDocument(o).toJson());
        ScriptedWindow w;
        QCOMPARE(child<QComboBox>(&w, "combo_bpp")->currentText(), QStringLiteral("1"));
        QCOMPARE(child<QComboBox>(&w, "combo_type")->currentIndex(), 1);
        QCOMPARE(child<QComboBox>(&w, "combo_lv_ver")->currentIndex(), 2);
        QVERIFY(!child<QCheckBox>(&w, "check_ascii")->isChecked());
        QVERIFY(!child<QCheckBox>(&w, "check_qsort")->isChecked());
        QVERIFY(!child<QCheckBox>(&w, "check_auto_save_file")->isChecked());
        QCOMPARE(child<QLineEdit>(&w, "lineEdit_fontName")->text(), QStringLiteral("cn16"));
        QCOMPARE(child<QPlainTextEdit>(&w, "pte_include")->toPlainText(),
                 QStringLiteral("#include \"a.h\"\n#include \"b.h\""));
        const QFont font = child<QPlainTextEdit>(&w, "pte_input")->font();
        QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(font.styleName(), QStringLiteral("Bold"));
        QCOMPARE(font.pointSize(), 20);
        QCOMPARE(w.aweText(), QString(QChar(0xF000)) + QChar(0xF001));
    }

    void outOfRangeIndicesNeverGiveABadDepth()
    {
        writeConfig(R"({"Bpp": 9, "Type": 5, "LvVerIdx": -3, "TextSort": false, "SaveFile": false,
                        "FontPoint": 100000})");
        ScriptedWindow w;
        // A size the font dialog does not offer gives the default, not blank glyphs.
        QCOMPARE(child<QPlainTextEdit>(&w, "pte_input")->font().pointSize(), 12);
        QCOMPARE(child<QComboBox>(&w, "combo_bpp")->currentText(), QStringLiteral("4"));
        QCOMPARE(child<QComboBox>(&w, "combo_type")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(&w, "combo_lv_ver")->currentIndex(), 1);
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        QVERIFY(w.prepareConversion());
        QCOMPARE(w.bpp(), 4);
        QCOMPARE(w.bppMask(), 15);
    }

    void refusalsShowABoxAndWriteNoSettings_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("ascii");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("include");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("compressForLvgl5");
        QTest::newRow("empty set") << QString() << false << "myFont" << "#include \"lvgl.h\""
                                   << "提示|请输入内容以转换" << false;
        QTest::newRow("empty name") << "A" << false << "" << "#include \"lvgl.h\"" << "提示|请输入字体名" << false;
        QTest::newRow("empty include") << "A" << true << "f" << "" << "提示|include不能为空" << false;
        QTest::newRow("set checked first") << "" << false << "" << "" << "提示|请输入内容以转换" << false;
        // LVGL 5.3 draws the bitmaps itself: compressed glyphs have no place there.
        QTest::newRow("compressed for LVGL 5.3")
            << "A" << false << "myFont" << "#include \"lvgl.h\""
            << QStringLiteral("提示|LVGL 5.3及以下版本的字体不能压缩字形（其位图由LVGL直接读取），请选择6.0以上版本或取消“压缩字形”")
            << true;
        for (const char *bad : {"my font-1", "a\"b", "中文", "9a", "../escaped", "class", "glyph_bitmap"}) {
            const QString name = QString::fromUtf8(bad);
            QVERIFY(!qm::fontNameProblem(name).isEmpty());
            QTest::addRow("name %s", bad) << "A" << true << name << "" << "提示|" + qm::fontNameProblem(name) << false;
        }
    }
    void refusalsShowABoxAndWriteNoSettings()
    {
        QFETCH(bool, compressForLvgl5);
        QFETCH(QString, input);
        QFETCH(bool, ascii);
        QFETCH(QString, name);
        QFETCH(QString, include);
        QFETCH(QString, message);
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(input);
        child<QCheckBox>(&w, "check_ascii")->setChecked(ascii);
        child<QLineEdit>(&w, "lineEdit_fontName")->setText(name);
        child<QPlainTextEdit>(&w, "pte_include")->setPlainText(include);
        if (compressForLvgl5) {
            child<QComboBox>(&w, "combo_lv_ver")->setCurrentIndex(0);
            child<QCheckBox>(&w, "check_compress")->setChecked(true);
        }
        child<OutputView>(&w, "tb_output")->setPlainText(QStringLiteral("previous"));
        QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);
        QCOMPARE(w.messages, QStringList{message});
        QVERIFY(!QFile::exists(QStringLiteral("config.ini")));
        QCOMPARE(child<OutputView>(&w, "tb_output")->toPlainText(), QStringLiteral("previous"));
    }

    void includeMadeOfSpacesPasses()
    {
        ScriptedWindow w;
        child<QLineEdit>(&w, "lineEdit_fontName")->setText(QStringLiteral("_"));
        child<QPlainTextEdit>(&w, "pte_include")->setPlainText(QStringLiteral(" "));
        QVERIFY(w.prepareConversion());
        QVERIFY(w.messages.isEmpty());
    }

    void preparedSetFollowsTheOptions()
    {
        ScriptedWindow w;
        auto *input = child<QPlainTextEdit>(&w, "pte_input");
        input->setPlainText(QStringLiteral("ab\nba"));
        child<QCheckBox>(&w, "check_ascii")->setChecked(false);
        child<QCheckBox>(&w, "check_qsort")->setChecked(false);
        QVERIFY(w.prepareConversion());
        QCOMPARE(w.convText(), QStringLiteral("ab\nba"));
        child<QCheckBox>(&w, "check_del_repeat")->setChecked(true);
        QVERIFY(w.prepareConversion());
        QCOMPARE(w.convText(), QStringLiteral("ab\n"));
        child<QCheckBox>(&w, "check_qsort")->setChecked(true);
        QVERIFY(w.prepareConversion());
        QCOMPARE(w.convText(), QStringLiteral("\nab"));
        child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(3);
        QVERIFY(w.prepareConversion());
        QCOMPARE(w.bpp(), 8);
        QCOMPARE(w.bppMask(), 255);
        QCOMPARE(w.fontHeight(), 0);
        // The 5.3 font takes the same set unsorted.
        child<QCheckBox>(&w, "check_del_repeat")->setChecked(false);
        QCOMPARE(w.buildRequest(qm::GeneratorKind::Legacy).chars, QStringLiteral("ab\nba"));
    }

    void conversionSavesAllKeysEvenWhenTheGeneratorStops()
    {
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("你好"));
        child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(1);
        // Direct-to-file mode with the save dialog dismissed: the generator stops at once,
        // and the last result stays in the pane.
        child<OutputView>(&w, "tb_output")->setPlainText(QStringLiteral("last result"));
        w.saveAnswer.clear();
        QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);
        QCOMPARE(w.messages, QStringList{QStringLiteral("提示|未选择保存文件名")});
        QCOMPARE(child<OutputView>(&w, "tb_output")->toPlainText(), QStringLiteral("last result"));
        QCOMPARE(w.suggestedSavePaths, QStringList{QDir::homePath() + QStringLiteral("/myFont.c")});
        const QJsonObject o = readConfig();
        QCOMPARE(o.size(), 20);
        QCOMPARE(o.value(QStringLiteral("Bpp")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("Compress")), QJsonValue(false));
        QCOMPARE(o.value(QStringLiteral("DirText")).toString(), QString());
        QFile f(QStringLiteral("config.ini"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("{\n    \"Ansi\": true,\n    \"AweText\": \"\",\n    \"Bpp\": 1,"));
    }

    // A settings file the window cannot read is kept, and one it cannot write is left
    // whole; the user hears of each once, not at every conversion.
    void settingsFileProblemsAreSaidOnce()
    {
        const QByteArray broken("{\n    \"Bpp\": 0,\n    \"FontName\": \"cn16\",\n}\n");
        writeConfig(broken);
        QFile::remove(QStringLiteral("config.ini.bad"));
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(QStringLiteral("A"));
        // Direct-to-file mode with the save dialog dismissed: no glyph is drawn.
        for (int run = 0; run < 2; ++run)
            QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);
        QCOMPARE(w.messages.size(), 3);
        QCOMPARE(w.messages.count(QStringLiteral("提示|未选择保存文件名")), 2);
        const int told = w.messages.indexOf(QRegularExpression(QStringLiteral("(?s)提示\\|配置文件.*config\\.ini\\.bad.*")));
        QVERIFY2(told >= 0, qPrintable(w.messages.join('\n')));
        QCOMPARE(w.icons.at(told), QMessageBox::Warning);
        QCOMPARE(readConfig().size(), 20);

        const QByteArray saved = QJsonDocument(readConfig()).toJson();
        w.messages.clear();
        w.icons.clear();
        child<QLineEdit>(&w, "lineEdit_fontName")->setText(QStringLiteral("changed"));
        qmtest::withFileSizeLimit(0, [&] {
            for (int run = 0; run < 2; ++run)
                QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);
        });
        QCOMPARE(w.messages.size(), 3);
        const int failed = w.messages.indexOf(QRegularExpression(QStringLiteral("(?s)错误提示\\|.*config\\.ini.*File too large.*")));
        QVERIFY2(failed >= 0, qPrintable(w.messages.join('\n')));
        QCOMPARE(w.icons.at(failed), QMessageBox::Critical);
        QCOMPARE(QJsonDocument(readConfig()).toJson(), saved);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

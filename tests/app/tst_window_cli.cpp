// The window and quillmark-cli must write the same bytes for the same options, whatever
// resolution either one's screen has.
#include "testfiles.h"
#include "windowharness.h"

#include "render/fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using qmtest::ScriptedWindow;
using qmtest::child;
using qmtest::readConfig;
using qmtest::readFile;

namespace {

// A few characters far apart make an XBF table mostly of empty entries, which the
// window notes after the run; the text is still the tool's.
QStringList withoutTableNote(const QStringList &messages)
{
    QStringList out;
    for (const QString &m : messages) {
        if (!m.startsWith(QStringLiteral("提示|XBF位置表")))
            out << m;
    }
    return out;
}

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The resolution the window in this process draws the screen at: 96, or 144 where the
// suite runs this test once more with QT_FONT_DPI=144.
int windowDpi()
{
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
}

// The tool runs at the other resolution, so that equal bytes show that neither the
// window's screen nor the tool's says how large a point is.
CliRun runCli(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_FONT_DPI"), windowDpi() == 96 ? QStringLiteral("144") : QStringLiteral("96"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QM_CLI_PATH), args);
    p.waitForFinished(300000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace

class TestWindowCli : public QObject
{
    Q_OBJECT

private:
    qmtest::WorkingFolder m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(windowDpi() == 96 || windowDpi() == 144);
        qm::installFontSubstitutions();
        QVERIFY(m_dir.enter());
    }
    void cleanupTestCase() { m_dir.leave(); }
    // Each window starts from the defaults, not from what the last conversion stored.
    void init() { qmtest::WorkingFolder::forgetSettings(); }

    void sameText_data()
    {
        QTest::addColumn<int>("lvVer");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("sort");
        QTest::addColumn<int>("bppIndex");
        QTest::addColumn<bool>("ascii");
        QTest::addColumn<bool>("toFile");
        QTest::newRow("sorted 6.0 4bpp ascii") << 1 << 0 << true << 2 << true << false;
        QTest::newRow("sorted 8.0 1bpp to file") << 2 << 0 << true << 0 << false << true;
        QTest::newRow("unsorted 6.0 2bpp") << 1 << 0 << false << 1 << false << false;
        QTest::newRow("legacy 8bpp") << 0 << 0 << true << 3 << false << false;
        QTest::newRow("xbf array 4bpp to file") << 1 << 1 << false << 2 << false << true;
        QTest::newRow("unsorted 9.0 8bpp") << 3 << 0 << false << 3 << false << false;
    }
    void sameText()
    {
        QFETCH(int, lvVer);
        QFETCH(int, type);
        QFETCH(bool, sort);
        QFETCH(int, bppIndex);
        QFETCH(bool, ascii);
        QFETCH(bool, toFile);

        const QString text = QStringLiteral("你好LVGL\n中文 ba");
        const QString target = m_dir.filePath(QStringLiteral("window.c"));
        QFile::remove(target);

        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(text);
        child<QComboBox>(&w, "combo_lv_ver")->setCurrentIndex(lvVer);
        child<QComboBox>(&w, "combo_type")->setCurrentIndex(type);
        child<QComboBox>(&w, "combo_bpp")->setCurrentIndex(bppIndex);
        child<QCheckBox>(&w, "check_qsort")->setChecked(sort);
        child<QCheckBox>(&w, "check_ascii")->setChecked(ascii);
        child<QCheckBox>(&w, "check_auto_save_file")->setChecked(toFile);
        child<QLineEdit>(&w, "lineEdit_fontName")->setText(QStringLiteral("font_cn"));
        w.saveAnswer = target;
        QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);

        const QString bpp = child<QComboBox>(&w, "combo_bpp")->currentText();
        QStringList args{QStringLiteral("--text"), text, QStringLiteral("--bpp"), bpp,
                         QStringLiteral("--name"), QStringLiteral("font_cn"), QStringLiteral("--lvgl"),
                         QStringList{"5.3", "6", "8", "9"}.at(lvVer), QStringLiteral("--quiet")};
        if (lvVer != 0)
            args << QStringLiteral("--type") << QStringList{"internal", "xbf-array", "xbf-bin"}.at(type);
        args << (sort ? QStringLiteral("--sort") : QStringLiteral("--no-sort"));
        args << (ascii ? QStringLiteral("--ascii") : QStringLiteral("--no-ascii"));
        const CliRun cli = runCli(args);
        if (cli.exitCode != 0 && cli.err.contains("not available yet"))
            QSKIP("this output kind is not built yet");
        QCOMPARE(cli.exitCode, 0);
        QVERIFY(!cli.out.isEmpty());

        const QByteArray windowBytes = toFile ? readFile(target)
                                              : child<OutputView>(&w, "tb_output")->toPlainText().toUtf8();
        const QStringList said = withoutTableNote(w.messages);
        QVERIFY2(said.isEmpty(), qPrintable(said.join(QLatin1Char('\n'))));
        QCOMPARE(windowBytes.size(), cli.out.size());
        QVERIFY(windowBytes == cli.out);
    }

    void sameXbfBinFiles()
    {
        const QString text = QStringLiteral("你好AC");
        QDir(m_dir.path()).mkpath(QStringLiteral("win"));
        QDir(m_dir.path()).mkpath(QStringLiteral("cli"));
        ScriptedWindow w;
        child<QPlainTextEdit>(&w, "pte_input")->setPlainText(text);
        child<QComboBox>(&w, "combo_type")->setCurrentIndex(2);
        child<QCheckBox>(&w, "check_ascii")->setChecked(false);
        w.folderAnswer = m_dir.filePath(QStringLiteral("win"));
        const CliRun cli = runCli({QStringLiteral("--text"), text, QStringLiteral("--no-ascii"),
                                   QStringLiteral("--type"), QStringLiteral("xbf-bin"),
                                   QStringLiteral("--output-dir"), m_dir.filePath(QStringLiteral("cli")),
                                   QStringLiteral("--quiet")});
        if (cli.exitCode != 0 && cli.err.contains("not available yet"))
            QSKIP("this output kind is not built yet");
        QCOMPARE(cli.exitCode, 0);
        QTest::mouseClick(child<QPushButton>(&w, "btn_convert"), Qt::LeftButton);
        const QStringList said = withoutTableNote(w.messages);
        QVERIFY2(said.isEmpty(), qPrintable(said.join(QLatin1Char('\n'))));
        for (const char *ext : {".bin", ".c"}) {
            const QByteArray a = readFile(m_dir.filePath(QStringLiteral("win/myFont") + QLatin1String(ext)));
            const QByteArray b = readFile(m_dir.filePath(QStringLiteral("cli/myFont") + QLatin1String(ext)));
            QVERIFY(!a.isEmpty());
            QVERIFY(a == b);
        }
        QCOMPARE(child<OutputView>(&w, "tb_output")->toPlainText().toUtf8(),
                 readFile(m_dir.filePath(QStringLiteral("win/myFont.c"))));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("win/myFont.temp"))));
    }
};

QTEST_MAIN(TestWindowCli)
#include "tst_window_cli.moc"

#include "cli/buildrequest.h"
#include "cli/options.h"
#include "cli/terminalprogress.h"
#include "charset/chartables.h"
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "preview/preview.h"
#include "files/textfile.h"
#include "filelimit.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using qm::GeneratorKind;
using qm::cli::Options;
using qm::cli::OutputType;

using qmtest::readFile;
using qmtest::writeFile;

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

// Through the shell, for arguments that are bytes rather than text: `script` runs
// with "$Q" naming the program.
CliRun runCliShell(const QString &script)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("Q"), QStringLiteral(QM_CLI_PATH));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    process.closeWriteChannel();
    CliRun run;
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

CliRun runCliProcess(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(QM_CLI_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    CliRun run;
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

Options parsed(const QStringList &arguments)
{
    Options options;
    QString error;
    if (!qm::cli::parseArguments(arguments, &options, &error))
        qWarning("unexpected parse error: %s", qPrintable(error));
    return options;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parsing();
    void badArguments_data();
    void badArguments();
    void typeAndVersionPickTheWindowsGenerator_data();
    void typeAndVersionPickTheWindowsGenerator();

    void inputTextAsThePaneHoldsIt();
    void characterSet();
    void requestFields();
    void refusals();
    void fontFiles();
    void progressBarLine();

    void helpAndUsageErrors();
    void outputMatchesTheEngineForEveryKind();
    void previewOfTheOutputWritten();
    void textFromPipes();
    void failedWritesKeepTheOldFiles();
    void outputTargetsAreCheckedBeforeTheRun();
    void inputsBeyondWhatAFontHoldsAreRefused();
    void fontFileConvertsWithItsOwnFace();

private:
    bool build(const QStringList &arguments, qm::cli::PreparedConversion *out, QString *error = nullptr);

    qm::cli::IconSupport m_icons;
    QTemporaryDir m_dir;
};

bool TestCli::build(const QStringList &arguments, qm::cli::PreparedConversion *out, QString *error)
{
    QString dummy;
    return qm::cli::buildRequest(parsed(arguments), m_icons, out, error ? error : &dummy);
}

void TestCli::initTestCase()
{
    qm::installFontSubstitutions();
    QVERIFY(m_dir.isValid());
    m_icons = qm::cli::loadIconSupport();
}

void TestCli::parsing()
{
    const Options d = parsed({});
    QVERIFY(d.texts.isEmpty() && d.textFiles.isEmpty() && d.icons.isEmpty());
    QVERIFY(d.ascii && !d.dedupe && d.sort && !d.quiet && !d.help);
    QCOMPARE(d.font, QStringLiteral("微软雅黑"));
    QCOMPARE(d.style, QStringLiteral("Regular"));
    QCOMPARE(d.pointSize, 12);
    QCOMPARE(d.pixelSize, 0);
    QCOMPARE(d.bpp, 4);
    QCOMPARE(d.lvVer, 1);
    QCOMPARE(d.type, OutputType::Internal);
    QCOMPARE(d.name, QStringLiteral("myFont"));
    QCOMPARE(d.include, QStringLiteral("#include \"lvgl.h\""));
    QVERIFY(d.outputFile.isEmpty() && d.outputDir.isEmpty());

    const Options o = parsed({"--text", "ab", "--text-file", "one.txt", "--no-ascii", "--dedupe",
                              "--no-sort", "--icons", QString(QChar(0xF000)), "--icon-codes",
                              "f2dc,U+F001 0xf002", "--font", "DejaVu Sans", "--style", "Bold",
                              "--pixel-size", "20", "--bpp", "2", "--lvgl", "8", "--type", "xbf-array",
                              "--name", "ui_font", "--include", "#include \"my.h\"", "-o", "out.c",
                              "--quiet", "--text=-x", "--text-file=two.txt"});
    QCOMPARE(o.texts, QStringList({"ab", "-x"}));
    QCOMPARE(o.textFiles, QStringList({"one.txt", "two.txt"}));
    QVERIFY(!o.ascii && o.dedupe && !o.sort && o.quiet);
    const ushort icons[] = {0xF000, 0xF2DC, 0xF001, 0xF002};
    QCOMPARE(o.icons, QString::fromUtf16(icons, 4));
    QCOMPARE(o.font, QStringLiteral("DejaVu Sans"));
    QCOMPARE(o.style, QStringLiteral("Bold"));
    QCOMPARE(o.pixelSize, 20);
    QCOMPARE(o.bpp, 2);
    QCOMPARE(o.lvVer, 2);
    QCOMPARE(o.type, OutputType::XbfArray);
    QCOMPARE(o.name, QStringLiteral("ui_font"));
    QCOMPARE(o.include, QStringLiteral("#include \"my.h\""));
    QCOMPARE(o.outputFile, QStringLiteral("out.c"));

    // Later spellings win; a value may look like an option; --help ends the parse.
    const Options p = parsed({"--no-ascii", "--ascii", "--no-sort", "--sort", "--size", "9", "--lvgl",
                              "5.3", "--output=x.c", "--type", "xbf-array", "--type", "internal"});
    QVERIFY(p.ascii && p.sort);
    QCOMPARE(p.pointSize, 9);
    QCOMPARE(p.lvVer, 0);
    QCOMPARE(p.outputFile, QStringLiteral("x.c"));
    // Sets and ranges keep the order they are given in.
    const Options sets = parsed({"--range", "0x43,65-0x42", "--common-hanzi", "--range", " 0x2103 ", "--all-hanzi"});
    QCOMPARE(sets.addedChars.size(), 3 + 6763 + 1 + 20902);
    QCOMPARE(sets.addedChars.left(4), QStringLiteral("CAB啊"));
    QCOMPARE(sets.addedChars.mid(3 + 6762, 3), QStringLiteral("齄℃一"));
    QCOMPARE(sets.addedChars.right(1), QStringLiteral("龥"));
    QString all;
    QString error;
    QVERIFY2(qm::cli::parseRanges(QStringLiteral("0x1-0xD7FF,0xE000-0xFFFF"), &all, &error), qPrintable(error));
    QCOMPARE(all.size(), 0xFFFF - 0x800);

    const Options q = parsed({"--text", "--no-ascii"});
    QCOMPARE(q.texts, QStringList({"--no-ascii"}));
    QVERIFY(q.ascii);
    QVERIFY(parsed({"--bpp", "4", "--help", "--bogus"}).help);
}

void TestCli::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("unknown option") << QStringList{"--bogus"} << "--bogus";
    QTest::newRow("positional") << QStringList{"abc"} << "abc";
    QTest::newRow("missing value") << QStringList{"--ascii", "--text"} << "--text";
    QTest::newRow("bpp 3") << QStringList{"--bpp", "3"} << "--bpp";
    QTest::newRow("bpp 04") << QStringList{"--bpp", "04"} << "--bpp";
    QTest::newRow("lvgl 7") << QStringList{"--lvgl", "7"} << "--lvgl";
    QTest::newRow("type") << QStringList{"--type", "bin"} << "--type";
    QTest::newRow("size 0") << QStringList{"--size", "0"} << "--size";
    QTest::newRow("pixel size text") << QStringList{"--pixel-size", "big"} << "--pixel-size";
    QTest::newRow("both sizes") << QStringList{"--size", "12", "--pixel-size", "16"} << "--pixel-size";
    QTest::newRow("value on a flag") << QStringList{"--ascii=no"} << "--ascii";
    QTest::newRow("icon code") << QStringList{"--icon-codes", "f000,xyz"} << "xyz";
    QTest::newRow("bin without folder") << QStringList{"--type", "xbf-bin"} << "--output-dir";
    QTest::newRow("bin with -o") << QStringList{"--type", "xbf-bin", "--output-dir", ".", "-o", "x.c"} << "-o";
    QTest::newRow("folder without bin") << QStringList{"--output-dir", "."} << "xbf-bin";
    QTest::newRow("xbf for LVGL 5.3") << QStringList{"--lvgl", "5.3", "--type", "xbf-array"} << "5.3";
    QTest::newRow("range reversed") << QStringList{"--range", "0x7F-0x20"} << "0x7F-0x20";
    QTest::newRow("range past 0xFFFF") << QStringList{"--range", "0x20-0x10000"} << "0x20-0x10000";
    QTest::newRow("range of 0") << QStringList{"--range", "0-10"} << "0-10";
    QTest::newRow("range of surrogates") << QStringList{"--range", "0xD000-0xE000"} << "0xD000-0xE000";
    QTest::newRow("range to the first surrogate") << QStringList{"--range", "0xD7FF-0xD800"} << "0xD7FF-0xD800";
    QTest::newRow("range from the last surrogate") << QStringList{"--range", "0xDFFF-0xE000"} << "0xDFFF-0xE000";
    QTest::newRow("range to 0x10000") << QStringList{"--range", "0xE000-0x10000"} << "0xE000-0x10000";
    QTest::newRow("range junk") << QStringList{"--range", "0x20-0x7F,abc"} << "abc";
    QTest::newRow("range open end") << QStringList{"--range", "32-"} << "32-";
    QTest::newRow("range empty item") << QStringList{"--range", "32,,40"} << "--range";
    QTest::newRow("range three ends") << QStringList{"--range", "1-2-3"} << "1-2-3";
    QTest::newRow("range huge number") << QStringList{"--range", "99999999999999999999"} << "9999";
    QTest::newRow("set with a value") << QStringList{"--common-hanzi=yes"} << "--common-hanzi";
    QTest::newRow("preview text alone") << QStringList{"--preview-text", "abc"} << "--preview";
    QTest::newRow("preview scale") << QStringList{"--preview", "p.png", "--preview-scale", "3"} << "--preview-scale";
    QTest::newRow("preview file without picture") << QStringList{"--preview-file", "f.c"} << "--preview FILE.png";
    QTest::newRow("bin alone") << QStringList{"--bin", "f.bin", "--preview", "p.png"} << "--preview-file";
    QTest::newRow("preview file and text") << QStringList{"--preview-file", "f.c", "--preview", "p.png", "--text", "a"}
                                           << "--text does not apply";
    QTest::newRow("preview file and -o") << QStringList{"--preview-file", "f.c", "--preview", "p.png", "-o", "g.c"}
                                         << "-o does not apply";
    QTest::newRow("picture over the font") << QStringList{"--preview-file", "f.c", "--preview", "./f.c"}
                                           << "would replace the font it draws";
    QTest::newRow("picture over the bin") << QStringList{"--preview-file", "f.c", "--bin", "f.bin", "--preview", "f.bin"}
                                          << "would replace the font it draws";
}

void TestCli::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentions);
    Options o;
    QString error;
    QVERIFY(!qm::cli::parseArguments(arguments, &o, &error));
    QVERIFY2(error.contains(mentions), qPrintable(error));
}

void TestCli::typeAndVersionPickTheWindowsGenerator_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("lvVer");
    QTest::addColumn<int>("typeIndex");
    QTest::addColumn<QString>("typeText");

    QTest::newRow("default") << QStringList{} << 1 << 0 << "内部字体";
    QTest::newRow("unsorted 8") << QStringList{"--no-sort", "--lvgl", "8"} << 2 << 0 << "内部字体";
    QTest::newRow("legacy") << QStringList{"--lvgl", "5.3"} << 0 << 0 << "内部字体";
    QTest::newRow("xbf array") << QStringList{"--type", "xbf-array", "--no-sort"} << 1 << 1
                               << "XBF字体,内部大数组";
    QTest::newRow("xbf bin") << QStringList{"--type", "xbf-bin", "--output-dir", ".", "--lvgl", "8"} << 2
                             << 2 << "XBF字体,外部bin文件";
    QTest::newRow("unsorted 9") << QStringList{"--no-sort", "--lvgl", "9"} << 3 << 0 << "内部字体";
    QTest::newRow("xbf array 9.0") << QStringList{"--type", "xbf-array", "--lvgl", "9.0"} << 3 << 1
                                   << "XBF字体,内部大数组";
}

void TestCli::typeAndVersionPickTheWindowsGenerator()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, lvVer);
    QFETCH(int, typeIndex);
    QFETCH(QString, typeText);
    const Options o = parsed(arguments);
    QCOMPARE(qm::cli::typeIndex(o.type), typeIndex);
    const GeneratorKind expected = qm::pickGenerator(lvVer, typeIndex, o.sort);
    QCOMPARE(qm::cli::generatorFor(o), expected);

    qm::cli::PreparedConversion prepared;
    QString error;
    QVERIFY2(build(arguments + QStringList{"--text", "a"}, &prepared, &error), qPrintable(error));
    QCOMPARE(prepared.kind, expected);
    QCOMPARE(prepared.request.lvVer, lvVer);
    QCOMPARE(prepared.request.typeText, typeText);
}

void TestCli::inputTextAsThePaneHoldsIt()
{
    // Every --text first, then every file; a byte-order mark is not a character and CR LF
    // is one line break, as after the window's import.
    const QString first = m_dir.filePath(QStringLiteral("first.txt"));
    writeFile(first, QByteArray("\xEF\xBB\xBF") + QStringLiteral("中\r\n文").toUtf8());
    const Options o = parsed({"--text-file", first, "--text", QStringLiteral("a") + QChar(0xA0) + "b",
                              "--text", "c\r\nd"});
    QString text, error;
    QVERIFY2(qm::cli::gatherInputText(o, &text, &error), qPrintable(error));
    QCOMPARE(text, QStringLiteral("a bc\nd中\n文"));

    const QStringList samples{
        QStringLiteral("a\r\nb\rc\r\r\nd\n\n"),
        QStringLiteral("x") + QChar(0x2028) + "y" + QChar(0x2029) + "z" + QChar(0xFDD0) + QChar(0xFDD1),
        QStringLiteral("\t") + QChar(0xA0) + QChar(0xFEFF) + QChar(0x200B) + QChar(0xF000),
    };
    for (const QString &sample : samples) {
        QPlainTextEdit pane;
        pane.setPlainText(sample);
        QCOMPARE(qm::cli::asPaneText(sample), pane.toPlainText());
    }

    // Text that is not UTF-8 would become replacement glyphs; a missing file is named.
    const QString latin1 = m_dir.filePath(QStringLiteral("latin1.txt"));
    writeFile(latin1, QByteArray("caf\xE9"));
    QVERIFY(!qm::cli::gatherInputText(parsed({"--text-file", latin1}), &text, &error));
    QVERIFY2(error.contains(QLatin1String("UTF-8")), qPrintable(error));
    QVERIFY(!qm::cli::gatherInputText(parsed({"--text-file", m_dir.filePath("none.txt")}), &text, &error));
    QVERIFY2(error.contains(QLatin1String("none.txt")), qPrintable(error));
}

void TestCli::characterSet()
{
    qm::cli::PreparedConversion prepared;
    // ASCII first, then the text, then the icons; the legacy generator never sorts.
    QVERIFY(build({"--text", "cbac", "--icon-codes", "f000", "--no-sort"}, &prepared));
    QCOMPARE(prepared.request.chars.size(), 96 + 5);
    QCOMPARE(prepared.request.chars.mid(96), QStringLiteral("cbac") + QChar(0xF000));
    QCOMPARE(prepared.request.iconText, QString(QChar(0xF000)));

    QVERIFY(build({"--lvgl", "5.3", "--no-ascii", "--dedupe", "--text", "cbac"}, &prepared));
    QCOMPARE(prepared.kind, GeneratorKind::Legacy);
    QCOMPARE(prepared.request.chars, QStringLiteral("cba"));
    QVERIFY(build({"--lvgl", "6", "--no-ascii", "--dedupe", "--text", "cbac"}, &prepared));
    QCOMPARE(prepared.request.chars, QStringLiteral("abc"));
    QVERIFY(build({"--no-ascii", "--text", "baab"}, &prepared));
    QCOMPARE(prepared.request.chars, QStringLiteral("aabb"));

    // Every --text, every --text-file, then the sets and ranges in their order, then
    // the icons; the preview's sample starts with them, without the ASCII block.
    const QString file = m_dir.filePath(QStringLiteral("set.txt"));
    writeFile(file, "f");
    QVERIFY(build({"--range", "0x43,0x41-0x42", "--text-file", file, "--text", "t", "--range", "0x2103",
                   "--icon-codes", "f000", "--no-sort"},
                  &prepared));
    QCOMPARE(prepared.request.chars.mid(96), QStringLiteral("tfCAB℃") + QChar(0xF000));
    QCOMPARE(prepared.previewSample, QStringLiteral("tfCAB℃") + QChar(0xF000));
    QVERIFY(build({"--no-ascii", "--range", "0x0A-0x0D", "--range", "0x7F"}, &prepared));
    QCOMPARE(prepared.request.chars, QStringLiteral("\n\x0b\x0c\r\x7f"));
    QVERIFY(build({"--text", "\n", "--preview", "p.png"}, &prepared));
    QCOMPARE(prepared.previewSample, QStringLiteral(" !\"#$%&'()*+,-./"));
}

void TestCli::requestFields()
{
    qm::cli::PreparedConversion prepared;
    QString error;
    QVERIFY2(build({"--text", "a", "--bpp", "8", "--lvgl", "8", "--name", "big", "--include",
                    "#include \"a.h\"\r\n#include \"b.h\"", "--icon-codes", "f000", "--size", "20",
                    "--type", "xbf-bin", "--output-dir", m_dir.path() + "/./"},
                   &prepared, &error),
             qPrintable(error));
    const qm::ConversionRequest &r = prepared.request;
    QCOMPARE(prepared.kind, GeneratorKind::XbfBin);
    QCOMPARE(r.bpp, 8);
    QCOMPARE(r.bppMask, 255);
    QCOMPARE(r.bppText, QStringLiteral("8"));
    QCOMPARE(r.fontName, QStringLiteral("big"));
    QCOMPARE(r.includeText, QStringLiteral("#include \"a.h\"\n#include \"b.h\""));
    QCOMPARE(r.iconFont, m_icons.font);
    QCOMPARE(r.font.family(), QStringLiteral("微软雅黑"));
    QCOMPARE(r.font.styleName(), QStringLiteral("Regular"));
    QCOMPARE(r.font.pointSize(), 20);
    QVERIFY(r.sorted);
    QCOMPARE(r.outputDir, QDir(m_dir.path()).canonicalPath());

    QVERIFY(build({"--text", "a", "--bpp", "2", "--pixel-size", "16", "--no-sort"}, &prepared));
    QCOMPARE(prepared.request.bppMask, 3);
    QCOMPARE(prepared.request.bppText, QStringLiteral("2"));
    QCOMPARE(prepared.request.font.pixelSize(), 16);
    QVERIFY(!prepared.request.sorted);
    QVERIFY(prepared.request.outputDir.isEmpty());
}

void TestCli::refusals()
{
    qm::cli::PreparedConversion prepared;
    QString error;
    // The window's three, in its order.
    QVERIFY(!build({"--no-ascii", "--name", "", "--include", ""}, &prepared, &error));
    QVERIFY2(error.startsWith(QStringLiteral("请输入内容以转换")), qPrintable(error));
    QVERIFY(!build({"--name", "", "--include", ""}, &prepared, &error));
    QVERIFY2(error.startsWith(QStringLiteral("请输入字体名")), qPrintable(error));
    QVERIFY(!build({"--include", ""}, &prepared, &error));
    QVERIFY2(error.startsWith(QStringLiteral("include不能为空")), qPrintable(error));

    // Icons alone are a set; a blank include passes as in the window.
    QVERIFY(build({"--no-ascii", "--icon-codes", "f000", "--include", " "}, &prepared));
    QCOMPARE(prepared.request.chars, QString(QChar(0xF000)));

    // A missing bin folder.
    QVERIFY(!build({"--text", "a", "--type", "xbf-bin", "--output-dir", m_dir.filePath("nope")}, &prepared,
                   &error));
    QVERIFY2(error.contains(QLatin1String("nope")), qPrintable(error));
}

void TestCli::fontFiles()
{
    QString error;
    QStringList warnings;
    QFont font;
    Options o;

    const QString mono = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
    if (QFileInfo(mono).isFile()) {
        o.font = mono;
        o.style = QStringLiteral("Book");
        QVERIFY2(qm::cli::buildConversionFont(o, &font, &warnings, &error), qPrintable(error));
        QCOMPARE(font.family(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(font.styleName(), QStringLiteral("Book"));
        QCOMPARE(font.pointSize(), 12);
    }

    const QString fake = m_dir.filePath(QStringLiteral("fake.ttf"));
    writeFile(fake, QByteArray("not a font"));
    for (const QString &bad : {m_dir.filePath(QStringLiteral("missing.ttf")), QStringLiteral("Gone.otf"), fake}) {
        o.font = bad;
        QVERIFY(!qm::cli::buildConversionFont(o, &font, &warnings, &error));
        QVERIFY2(error.contains(QFileInfo(bad).fileName()), qPrintable(error));
    }

    // An unknown family converts as in the window, with a note; the default family
    // stands in through the substitutions without one.
    o = Options();
    o.font = QStringLiteral("No Such Family Xyz");
    warnings.clear();
    QVERIFY(qm::cli::buildConversionFont(o, &font, &warnings, &error));
    QCOMPARE(warnings.size(), 1);
    o = Options();
    warnings.clear();
    QVERIFY(qm::cli::buildConversionFont(o, &font, &warnings, &error));
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    // A family from two foundries (C059 as OpenType and as Type 1), which Qt lists only
    // with the foundry's name after it, is installed.
    QVERIFY2(QFontDatabase().families().contains(QStringLiteral("C059 [urw]")),
             "C059 is missing: scripts/setup.sh installs fonts-urw-base35");
    o.font = QStringLiteral("C059");
    o.style = QStringLiteral("Roman");
    QVERIFY(qm::cli::buildConversionFont(o, &font, &warnings, &error));
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void TestCli::progressBarLine()
{
    using qm::cli::TerminalProgress;
    QCOMPARE(TerminalProgress::barLine(5, 20, 10), QStringLiteral("[##........]  25%  5/20"));
    QCOMPARE(TerminalProgress::barLine(25, 20, 10), QStringLiteral("[##########] 100% 20/20"));
    QCOMPARE(TerminalProgress::barLine(0, 0, 4), QStringLiteral("[####] 100% 0/0"));
    // One width for a whole run, so redrawing in place leaves nothing behind.
    QCOMPARE(TerminalProgress::barLine(7, 12345).size(), TerminalProgress::barLine(12345, 12345).size());
}

void TestCli::helpAndUsageErrors()
{
    const CliRun help = runCliProcess({"--help"});
    QCOMPARE(help.exitCode, 0);
    const QString text = QString::fromUtf8(help.out);
    const QStringList mentioned{"--text", "--text-file", "--ascii", "--no-ascii", "--dedupe", "--sort",
                                "--no-sort", "--icons", "--font", "--style", "--size", "--pixel-size",
                                "--bpp", "--lvgl", "--type", "internal", "xbf-array", "xbf-bin", "--name",
                                "--include", "-o", "--output", "--output-dir", "--quiet", "--help",
                                "--version", "微软雅黑", "Regular", "myFont", "#include \"lvgl.h\"",
                                "Examples", "--common-hanzi", "--all-hanzi", "--range 0x20-0x7F",
                                "--preview p.png", "--preview-text", "--preview-scale", "--preview-dark",
                                "--preview-guides"};
    for (const QString &word : mentioned)
        QVERIFY2(text.contains(word), qPrintable(word));
    const CliRun version = runCliProcess({"--version"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.out.startsWith("quillmark-cli "));

    const QList<QPair<QStringList, QString>> cases{
        {{"--bogus"}, "--bogus"},
        {{"--no-ascii"}, "请输入内容以转换"},
        {{"--text-file", m_dir.filePath("absent.txt")}, "absent.txt could not be opened: No such file or directory"},
        {{"--text-file", m_dir.path()}, m_dir.path() + " could not be opened: it is a folder"},
        {{"--text", "a", "--font", m_dir.filePath("absent.ttf")}, "absent.ttf"},
        {{"--range", "0x7F-0x20"}, "0x7F-0x20"},
        {{"--text", "a", "--preview", m_dir.filePath("none/p.png")}, "p.png"},
        // Names that do not compile, and one that would write outside the folder.
        {{"--text", "a", "--name", "int"}, "keyword"},
        {{"--text", "a", "--name", "font_dsc"}, "font_dsc"},
        {{"--text", "a", "--name", "glyph_unpacked"}, "glyph_unpacked"},
        // LVGL 5.3 draws the bitmaps itself; there is no place for a decoder.
        {{"--text", "a", "--lvgl", "5.3", "--compress"}, "--compress"},
        {{"--text", "a", "--type", "xbf-bin", "--output-dir", m_dir.path(), "--name", "../x"}, "../x"},
    };
    for (const auto &c : cases) {
        const CliRun run = runCliProcess(c.first);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(c.second), qPrintable(c.first.join(' ') + ": " + run.err));
        QVERIFY(run.out.isEmpty());
    }
}

void TestCli::outputMatchesTheEngineForEveryKind()
{
    const QStringList common{"--text", "温度A", "--no-ascii", "--icon-codes", "f000", "--bpp", "2",
                             "--name", "tiny", "--quiet"};
    const QString target = m_dir.filePath(QStringLiteral("out.c"));
    int compared = 0;
    for (const QStringList &kind : QList<QStringList>{{}, {"--no-sort"}, {"--lvgl", "8"}, {"--lvgl", "5.3"},
                                                      {"--type", "xbf-array"}}) {
        qm::cli::PreparedConversion prepared;
        QVERIFY(build(common + kind, &prepared));
        qm::NoProgress progress;
        const qm::ConversionResult expected = qm::runConversion(prepared.kind, prepared.request, progress);
        const QString what = qm::generatorName(prepared.kind);

        QFile::remove(target);
        const CliRun run = runCliProcess(common + kind);
        const CliRun toFile = runCliProcess(common + kind + QStringList{"-o", target});
        QVERIFY(toFile.out.isEmpty());
        if (!expected.ok) {
            // Refused by the tool too, with the engine's reason; nothing is faked.
            QVERIFY2(run.exitCode == 1 && toFile.exitCode == 1, qPrintable(what));
            QVERIFY2(run.out.isEmpty(), qPrintable(what));
            QVERIFY2(run.err.contains(expected.error), qPrintable(what + ": " + run.err));
            QVERIFY(!QFileInfo::exists(target));
            continue;
        }
        QVERIFY2(run.exitCode == 0 && toFile.exitCode == 0, qPrintable(what + ": " + run.err));
        QVERIFY2(run.out == expected.text.toUtf8(), qPrintable(what));
        QFile written(target);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(written.readAll() == run.out, qPrintable(what));
        ++compared;
    }

    // The bin kind writes its own files: compare them with the engine's, written elsewhere.
    QTemporaryDir engineDir, cliDir;
    qm::cli::PreparedConversion prepared;
    QVERIFY(build(common + QStringList{"--type", "xbf-bin", "--output-dir", engineDir.path()}, &prepared));
    qm::NoProgress progress;
    const qm::ConversionResult expected = qm::runConversion(prepared.kind, prepared.request, progress);
    const CliRun run = runCliProcess(common + QStringList{"--type", "xbf-bin", "--output-dir", cliDir.path()});
    QVERIFY(run.out.isEmpty());
    if (!expected.ok) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(expected.error), qPrintable(run.err));
        QVERIFY(QDir(cliDir.path()).entryList(QDir::Files).isEmpty());
    } else {
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        for (const QString &suffix : {QStringLiteral(".bin"), QStringLiteral(".c")}) {
            QFile a(engineDir.filePath("tiny" + suffix)), b(cliDir.filePath("tiny" + suffix));
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), qPrintable(suffix));
            QVERIFY2(run.err.contains(b.fileName()), qPrintable(run.err));
        }
        ++compared;
    }
    if (compared == 0)
        QSKIP("No output kind is available yet; only the refusals were checked");
}

void TestCli::previewOfTheOutputWritten()
{
    // A build script's command: the picture is the one drawn from the file written,
    // with the first characters asked for (not the ASCII block) as the sample.
    const QString png = m_dir.filePath(QStringLiteral("p.png"));
    const QString c = m_dir.filePath(QStringLiteral("f.c"));
    const CliRun run = runCliProcess({"--no-ascii", "--common-hanzi", "--range", "0x20-0x7F", "--preview", png,
                                      "-o", c, "--quiet"});
    QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(run.err));
    QString error;
    const std::unique_ptr<qm::PreviewFont> font = qm::loadPreviewFont({QString(), c, QString()}, &error);
    QVERIFY2(font, qPrintable(error));
    const qm::PreviewDrawing drawing =
        qm::drawPreview(*font, qm::commonChineseCharacters().left(16), false);
    QVERIFY(drawing.missingLetters.isEmpty());
    QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), qm::stylePreview(drawing, {}));

    // From the .bin of the bin kind; a missing character is named, and is no failure.
    const CliRun bin = runCliProcess({"--text", "你好", "--type", "xbf-bin", "--output-dir", m_dir.path(),
                                      "--preview", png, "--preview-text", "你好☃", "--preview-scale", "2",
                                      "--lvgl", "8", "--preview-dark", "--quiet"});
    QVERIFY2(bin.exitCode == 0, qPrintable(bin.err));
    QVERIFY2(bin.err.contains(QLatin1String("preview")) && bin.err.contains(QLatin1String("U+2603")),
             qPrintable(bin.err));
    QCOMPARE(QImage(png).pixel(0, 0), qRgb(0x20, 0x20, 0x20));

    // The files already there draw the same picture without converting; the sample
    // defaults to the first characters the font lists.
    const QString again = m_dir.filePath(QStringLiteral("again.png"));
    const QStringList drawn{"--preview-file", m_dir.filePath(QStringLiteral("myFont.c")), "--preview", again,
                            "--preview-text", "你好☃", "--preview-scale", "2", "--lvgl", "8", "--preview-dark"};
    const CliRun reread = runCliProcess(drawn + QStringList{"--bin", m_dir.filePath(QStringLiteral("myFont.bin"))});
    QVERIFY2(reread.exitCode == 0 && reread.err.contains(QLatin1String("U+2603")), qPrintable(reread.err));
    QCOMPARE(QImage(again), QImage(png));
    const CliRun noBin = runCliProcess(drawn);
    QCOMPARE(noBin.exitCode, 1);
    QVERIFY2(noBin.err.contains(QLatin1String("needs its .bin file (name it with --bin FONT.bin)")), qPrintable(noBin.err));
    const CliRun listed = runCliProcess({"--preview-file", c, "--preview", again});
    QVERIFY2(listed.exitCode == 0 && listed.err.isEmpty(), qPrintable(listed.err));
    QCOMPARE(QImage(again).convertToFormat(QImage::Format_RGB32),
             qm::stylePreview(qm::drawPreview(*font, QStringLiteral(" !\"#$%&'()*+,-./"), false), {}));
    // A picture named through a link to the font would replace the font.
    const QString link = m_dir.filePath(QStringLiteral("link.png"));
    QVERIFY(QFile::link(c, link));
    const QByteArray fontBytes = readFile(c);
    const CliRun overFont = runCliProcess({"--preview-file", c, "--preview", link});
    QCOMPARE(overFont.exitCode, 2);
    QVERIFY2(overFont.err.contains(QLatin1String("would replace the font it draws")), qPrintable(overFont.err));
    QCOMPARE(readFile(c), fontBytes);
    const CliRun missing = runCliProcess({"--preview-file", m_dir.filePath(QStringLiteral("none.c")), "--preview", again});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.err.contains(QLatin1String("none.c does not exist")), qPrintable(missing.err));
}

// Standard input and pipes are read as text files, decoded as the window's import.
void TestCli::textFromPipes()
{
    const QStringList common{"--no-ascii", "--quiet", "--name", "piped"};
    const CliRun direct = runCliProcess(common + QStringList{"--text", "Ab\n中"});
    QCOMPARE(direct.exitCode, 0);
    QTextCodec *utf16 = QTextCodec::codecForName("UTF-16LE");
    QTextCodec::ConverterState noMark(QTextCodec::IgnoreHeader);
    const QString text = QStringLiteral("Ab\r\n中");
    const QByteArray plainUtf16 = utf16->fromUnicode(text.constData(), text.size(), &noMark);
    for (const QString &file : {QStringLiteral("-"), QStringLiteral("/dev/stdin")}) {
        const CliRun piped = runCliProcess(common + QStringList{"--text-file", file}, plainUtf16);
        QVERIFY2(piped.exitCode == 0, qPrintable(file + ": " + piped.err));
        QVERIFY2(piped.out == direct.out, qPrintable(file));
    }
    const CliRun binary = runCliProcess(common + QStringList{"--text-file", "-"},
                                        QByteArray::fromHex("89504e470d0a1a0a0000000d49484452"));
    QCOMPARE(binary.exitCode, 2);
    QVERIFY2(binary.err.contains(qm::notTextReason()), qPrintable(binary.err));
}

// Nothing asked for is half written: a full disk (a file size limit) or a folder in the
// way fails the run, says why once, and leaves the files of the last run as they were.
void TestCli::failedWritesKeepTheOldFiles()
{
    QTemporaryDir dir;
    const QString keep = dir.filePath(QStringLiteral("keep.c"));
    writeFile(keep, "previous run");
    const CliRun full = qmtest::withFileSizeLimit(4096, [&] {
        return runCliProcess({"--text", "温度湿度", "--quiet", "-o", keep});
    });
    QCOMPARE(full.exitCode, 1);
    QCOMPARE(full.err, QStringLiteral("quillmark-cli: The file %1 could not be written: File too large\n").arg(keep));
    QCOMPARE(readFile(keep), QByteArray("previous run"));

    // The .bin and its .c are one pair.
    writeFile(dir.filePath(QStringLiteral("g.bin")), "previous run");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("g.c")));
    const CliRun pair = runCliProcess({"--text", "AB", "--type", "xbf-bin", "--output-dir", dir.path(),
                                       "--name", "g", "--quiet"});
    QCOMPARE(pair.exitCode, 1);
    QCOMPARE(pair.err.count(QStringLiteral("g.c")), 1);
    QVERIFY2(!pair.err.contains(QStringLiteral("wrote")), qPrintable(pair.err));
    QCOMPARE(readFile(dir.filePath(QStringLiteral("g.bin"))), QByteArray("previous run"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"g.bin", "g.c", "keep.c"}));
}

// Standard output under any of its names; a picture on the font's own path, or a file
// given as the bin kind's folder, are usage errors found before anything is drawn.
void TestCli::outputTargetsAreCheckedBeforeTheRun()
{
    QTemporaryDir dir;
    const QStringList common{"--text", "AB", "--no-ascii", "--quiet", "--name", "t"};
    const CliRun plain = runCliProcess(common);
    QCOMPARE(plain.exitCode, 0);
    for (const QString &name : {QStringLiteral("-"), QStringLiteral("/dev/stdout")}) {
        const CliRun run = runCliProcess(common + QStringList{"-o", name});
        QVERIFY2(run.exitCode == 0, qPrintable(name + ": " + run.err));
        QVERIFY2(run.out == plain.out, qPrintable(name));
    }
    QVERIFY(QFileInfo(QStringLiteral("/dev/stdout")).isSymLink());
    // The picture too, while the font goes to a file.
    const QString written = dir.filePath(QStringLiteral("w.c"));
    const CliRun picture = runCliProcess(common + QStringList{"-o", written, "--preview", "-"});
    QCOMPARE(picture.exitCode, 0);
    QVERIFY(picture.out.startsWith("\x89PNG\r\n"));
    QVERIFY(QFile::remove(written));

    const QString font = dir.filePath(QStringLiteral("f.c"));
    writeFile(font, "previous run");
    QVERIFY(QFile::link(font, dir.filePath(QStringLiteral("alias.png"))));
    const QString folderAsFile = dir.filePath(QStringLiteral("notdir"));
    writeFile(folderAsFile, "x");
    const QList<QPair<QStringList, QString>> cases{
        {{"-o", font, "--preview", font}, "is the file the font is written to"},
        {{"-o", font, "--preview", dir.filePath(QStringLiteral("alias.png"))}, "is the file the font is written to"},
        {{"--preview", "/dev/stdout"}, "is the file the font is written to"},
        {{"--preview", "-"}, "is the file the font is written to"},
        {{"--type", "xbf-bin", "--output-dir", dir.path(), "--preview", dir.filePath(QStringLiteral("t.bin"))},
         "t.bin"},
        {{"--type", "xbf-bin", "--output-dir", folderAsFile}, "output folder " + folderAsFile + " is not a folder"},
    };
    for (const auto &c : cases) {
        const CliRun run = runCliProcess(common + c.first);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(c.second), qPrintable(c.first.join(' ') + ": " + run.err));
    }
    QCOMPARE(readFile(font), QByteArray("previous run"));
    QCOMPARE(qmtest::filesIn(dir.path()), (QStringList{"alias.png", "f.c", "notdir"}));
}

// Text without end, arguments that are not text and characters beyond U+FFFF stop the
// run with a message instead of a crash or glyphs of garbage.
void TestCli::inputsBeyondWhatAFontHoldsAreRefused()
{
    const CliRun endless = runCliProcess({"--text-file", "/dev/zero", "--quiet"});
    QCOMPARE(endless.exitCode, 2);
    QVERIFY2(endless.err.contains(QLatin1String("/dev/zero could not be imported: it is larger than 16 MiB")),
             qPrintable(endless.err));

    // Not UTF-8: GB 18030 as a text file would be read, else refused.
    const CliRun gb = runCliShell(QStringLiteral("exec \"$Q\" --quiet --no-ascii --text \"$(printf '\\304\\343')\""));
    const CliRun utf8 = runCliProcess({"--quiet", "--no-ascii", "--text", "你"});
    QCOMPARE(gb.exitCode, 0);
    QCOMPARE(gb.out, utf8.out);
    const CliRun latin1 = runCliShell(QStringLiteral("exec \"$Q\" --quiet --text \"caf$(printf '\\351')\""));
    QCOMPARE(latin1.exitCode, 2);
    QCOMPARE(latin1.err, QStringLiteral("quillmark-cli: argument 3 (\"caf\\xe9\") is not text: neither UTF-8 nor GB 18030\n"));
    QVERIFY(latin1.out.isEmpty());

    const QList<QPair<QStringList, QString>> beyond{
        {{"--text", "温😀度😀𠀀"}, "remove these 2: 😀 (U+1F600), 𠀀 (U+20000)"},
        {{"--icon-codes", "f000,1F600"}, "remove these 1: 😀 (U+1F600)"},
    };
    for (const auto &c : beyond) {
        const CliRun run = runCliProcess(c.first + QStringList{"--quiet"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(c.second), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("暂不支持U+FFFF以上的字符")), qPrintable(run.err));
    }
}

// A font file whose family is installed as well converts with the file's own face.
void TestCli::fontFileConvertsWithItsOwnFace()
{
    const QString dejavu = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
    if (!QFileInfo::exists(dejavu + QStringLiteral("DejaVuSans-Bold.ttf")))
        QSKIP("needs fonts-dejavu-core");
    const QStringList common{"--text", "Hag", "--no-ascii", "--quiet"};
    const CliRun boldFile = runCliProcess(common + QStringList{"--font", dejavu + "DejaVuSans-Bold.ttf"});
    const CliRun bookFile = runCliProcess(common + QStringList{"--font", dejavu + "DejaVuSans.ttf"});
    const CliRun boldFamily = runCliProcess(common + QStringList{"--font", "DejaVu Sans", "--style", "Bold"});
    QVERIFY(boldFile.exitCode == 0 && bookFile.exitCode == 0 && boldFamily.exitCode == 0);
    QVERIFY(boldFile.out != bookFile.out);
    QCOMPARE(boldFile.out, boldFamily.out);
    QVERIFY(boldFile.out.contains("//DejaVu Sans,Bold,12"));
    // The regular face keeps the style name it was always written with.
    QVERIFY(bookFile.out.contains("//DejaVu Sans,Regular,12"));
    // Qt's note about a face without shaping tables is no message for the user.
    const CliRun devanagari = runCliProcess({"--text", "अ", "--no-ascii", "--quiet", "--font",
                                             "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"});
    QCOMPARE(devanagari.exitCode, 0);
    QVERIFY2(!devanagari.err.contains(QLatin1String("OpenType")), qPrintable(devanagari.err));
    // --style still chooses.
    const CliRun bookAsked = runCliProcess(common + QStringList{"--font", dejavu + "DejaVuSans-Bold.ttf", "--style", "Book"});
    QCOMPARE(bookAsked.out, QByteArray(bookFile.out).replace("Regular,12", "Book,12"));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"

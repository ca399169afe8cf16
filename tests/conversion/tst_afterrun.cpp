// What a conversion says after the run about a result that would surprise on the
// device: characters whose glyph is blank, and an XBF table mostly made of empty
// entries. A cancelled run that writes its own files asks before replacing them.
#include "conversion/conversion.h"
#include "render/fonts.h"
#include "testfiles.h"
#include "testfonts.h"

#include <QDir>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kWenQuanYi[] = "WenQuanYi Micro Hei";

qm::ConversionRequest request(const QString &chars, qm::GeneratorKind kind)
{
    qm::ConversionRequest r;
    r.chars = chars;
    r.font = qmtest::pixelFont(QString::fromLatin1(kWenQuanYi), 16);
    r.fontName = QStringLiteral("f");
    r.includeText = QStringLiteral("#include \"lvgl.h\"");
    r.bppText = QStringLiteral("4");
    r.sorted = kind == qm::GeneratorKind::SortedInternal;
    return r;
}

QStringList matching(const QStringList &warnings, const QString &start)
{
    QStringList out;
    for (const QString &w : warnings) {
        if (w.startsWith(start) || w.contains(start))
            out << w;
    }
    return out;
}

// Stops at a character index and answers the question about the files it would replace.
class CancelAndAnswer : public qm::ConversionProgress
{
public:
    CancelAndAnswer(int at, bool replace) : m_at(at), m_replace(replace) {}
    QStringList asked;
    int askedWritten = -1;
    bool step(int index, QChar, const QFont &, int, int) override { return index < m_at; }
    bool replaceAfterCancel(int written, const QStringList &existing) override
    {
        asked = existing;
        askedWritten = written;
        return m_replace;
    }

private:
    int m_at;
    bool m_replace;
};

} // namespace

class TestAfterRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qm::installFontSubstitutions();
        const QString missing = qmtest::missingTestFonts();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    // WenQuanYi Micro Hei draws ℃ with an empty glyph: the set converts it to nothing,
    // which the user learns after the run; spaces and line breaks are blank on purpose.
    void blankGlyphsAreNamed()
    {
        for (qm::GeneratorKind kind : {qm::GeneratorKind::SortedInternal, qm::GeneratorKind::XbfArray}) {
            qm::NoProgress progress;
            const qm::ConversionResult result =
                qm::runConversion(kind, request(QStringLiteral("温度 ℃\n\u3000℃"), kind), progress);
            QVERIFY(result.ok);
            const QStringList blank = matching(result.warnings, QStringLiteral("字形是空白的"));
            QCOMPARE(blank.size(), 1);
            QVERIFY2(blank.first().startsWith(QStringLiteral("1个字符的字形是空白的")), qPrintable(blank.first()));
            QVERIFY2(blank.first().endsWith(QStringLiteral("draw nothing: ℃ (U+2103)")), qPrintable(blank.first()));
        }
        // The generated glyph agrees: no rows at all.
        qm::NoProgress progress;
        const qm::ConversionResult result = qm::runConversion(
            qm::GeneratorKind::SortedInternal, request(QStringLiteral("℃"), qm::GeneratorKind::SortedInternal), progress);
        QVERIFY(result.text.contains(QRegularExpression(QStringLiteral("\\.box_w = 0, \\.box_h = 0"))));

        qm::NoProgress quiet;
        const qm::ConversionResult inked = qm::runConversion(
            qm::GeneratorKind::SortedInternal, request(QStringLiteral("温度 AB\n"), qm::GeneratorKind::SortedInternal), quiet);
        QVERIFY(matching(inked.warnings, QStringLiteral("字形是空白的")).isEmpty());
    }

    // "A" and "中" make a table of one entry for every code between them; a dense set
    // does not.
    void sparseXbfTableIsExplained()
    {
        QTemporaryDir dir;
        for (qm::GeneratorKind kind : {qm::GeneratorKind::XbfArray, qm::GeneratorKind::XbfBin}) {
            qm::ConversionRequest r = request(QStringLiteral("中A"), kind);
            r.outputDir = dir.path();
            qm::NoProgress progress;
            const qm::ConversionResult result = qm::runConversion(kind, r, progress);
            QVERIFY(result.ok);
            const QStringList span = matching(result.warnings, QStringLiteral("XBF位置表"));
            QCOMPARE(span.size(), 1);
            // 0x4E2D - 0x41 + 1 entries of 4 bytes; the 0x4E2D - 0x41 - 1 codes between hold nothing.
            QVERIFY2(span.first().startsWith(QStringLiteral("XBF位置表有19949项（U+0041到U+4E2D，每个编码一项），占77.9 kB，")),
                     qPrintable(span.first()));
            QVERIFY2(span.first().contains(QStringLiteral("其中U+0042到U+4E2C的19947个编码没有字符")),
                     qPrintable(span.first()));

            r.chars = QStringLiteral("ABCabc");
            const qm::ConversionResult dense = qm::runConversion(kind, r, progress);
            QVERIFY(dense.ok);
            QVERIFY(matching(dense.warnings, QStringLiteral("XBF位置表")).isEmpty());
        }
    }

    // The .bin and its .c are replaced by a cancelled run only when the caller agrees;
    // a first run (nothing to replace) is not asked about.
    void cancelledBinKeepsThePairWhenAsked()
    {
        QTemporaryDir dir;
        qm::ConversionRequest r = request(QStringLiteral("ABCDEFGH"), qm::GeneratorKind::XbfBin);
        r.outputDir = dir.path();
        const QString bin = dir.filePath(QStringLiteral("f.bin"));
        const QString c = dir.filePath(QStringLiteral("f.c"));

        CancelAndAnswer first(3, false);
        const qm::ConversionResult fresh = qm::runConversion(qm::GeneratorKind::XbfBin, r, first);
        QVERIFY(fresh.cancelled);
        QVERIFY(first.asked.isEmpty());
        QCOMPARE(fresh.filesWritten, (QStringList{bin, c}));
        const QByteArray oldBin = qmtest::readFile(bin);
        const QByteArray oldC = qmtest::readFile(c);

        CancelAndAnswer keep(5, false);
        const qm::ConversionResult kept = qm::runConversion(qm::GeneratorKind::XbfBin, r, keep);
        QCOMPARE(keep.asked, (QStringList{bin, c}));
        QCOMPARE(keep.askedWritten, 5);
        QVERIFY(kept.ok && kept.cancelled && kept.keptExisting);
        QVERIFY(kept.filesWritten.isEmpty());
        QVERIFY(kept.text.contains(QStringLiteral("x_header_t")));
        QCOMPARE(qmtest::readFile(bin), oldBin);
        QCOMPARE(qmtest::readFile(c), oldC);
        QCOMPARE(qmtest::filesIn(dir.path()), (QStringList{"f.bin", "f.c"}));

        CancelAndAnswer replace(5, true);
        const qm::ConversionResult replaced = qm::runConversion(qm::GeneratorKind::XbfBin, r, replace);
        QVERIFY(!replaced.keptExisting);
        QCOMPARE(replaced.filesWritten, (QStringList{bin, c}));
        QVERIFY(qmtest::readFile(bin).size() > oldBin.size());
    }
};

QTEST_MAIN(TestAfterRun)
#include "tst_afterrun.moc"

// Every output kind at every depth, built against each LVGL generation it is meant for
// as C99, C11 and C2x with -Wall -Wextra -Werror and as C++17, linked with a second file that
// declares the fonts through LV_FONT_DECLARE and asks them for every glyph through a
// descriptor that starts out full of garbage, as LVGL's drawing code hands it over.
// C11 and C2x are checked by gcc's front end alone (-fsyntax-only): neither the texts
// nor the stand-in headers ask which C standard they are read under, so what a full
// build adds (the warnings gcc gives after parsing, such as an unused static or a value
// used before it is set, and the program's output) is the C99 build's already.

#include "ccompile.h"
#include "charset/charset.h"
#include "conversion/conversion.h"
#include "request/fontname.h"
#include "render/fonts.h"
#include "testfonts.h"
#include "xbfsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

namespace {

struct Kind {
    const char *id;
    GeneratorKind generator;
    int lvVer;
    bool compress = false;
};

const Kind kKinds[] = {
    {"sorted6", GeneratorKind::SortedInternal, 1},   {"unsorted6", GeneratorKind::UnsortedInternal, 1},
    {"sorted8", GeneratorKind::SortedInternal, 2},   {"unsorted8", GeneratorKind::UnsortedInternal, 2},
    {"xbfarray", GeneratorKind::XbfArray, 1},        {"xbfbin", GeneratorKind::XbfBin, 1},
    {"legacy", GeneratorKind::Legacy, 0},
    // Compressed glyphs: ids end in "z"; each must read back exactly as its plain kind.
    {"sorted6z", GeneratorKind::SortedInternal, 1, true}, {"unsorted6z", GeneratorKind::UnsortedInternal, 1, true},
    {"sorted8z", GeneratorKind::SortedInternal, 2, true}, {"unsorted8z", GeneratorKind::UnsortedInternal, 2, true},
    {"xbfarrayz", GeneratorKind::XbfArray, 1, true},      {"xbfbinz", GeneratorKind::XbfBin, 1, true},
    // Built and drawn by tst_lvgl9; here for the names they use.
    {"sorted9", GeneratorKind::SortedInternal, 3}, {"unsorted9", GeneratorKind::UnsortedInternal, 3},
    {"xbfarray9", GeneratorKind::XbfArray, 3},     {"xbfbin9", GeneratorKind::XbfBin, 3},
};

const int kDepths[] = {1, 2, 4, 8};

QString fontName(const QString &kind, int bpp)
{
    return QStringLiteral("qm_%1_%2").arg(kind).arg(bpp);
}

// Prints "<font>_<letter> found adv_w box_w box_h ofs_x ofs_y bpp placeholder checksum"
// for every font and letter; "<font>_<letter> 0 null" for a letter the font lacks.
const char kMain[] = R"C(
#include <stdio.h>
#include <string.h>
#ifdef QM_LVGL5
#include "lv_misc/lv_font.h"
#else
#include "lvgl.h"
#endif

#define X(name) LV_FONT_DECLARE(name)
QM_FONTS
#undef X

static const uint32_t letters[] = { QM_LETTERS };

static unsigned long checksum(const uint8_t *p, size_t n)
{
    unsigned long h = 2166136261UL;
    while (n--)
        h = ((h ^ *p++) * 16777619UL) & 0xFFFFFFFFUL;
    return h;
}

#ifdef QM_LVGL5
/* LVGL 5.3's sparse lookups, which the font object names. */
static int find(const lv_font_t *font, uint32_t letter)
{
    uint32_t i;
    if (letter < font->unicode_first || letter > font->unicode_last)
        return -1;
    for (i = 0; font->unicode_list[i] != 0; ++i)
        if (font->unicode_list[i] == letter)
            return (int)i;
    return -1;
}
const uint8_t *lv_font_get_bitmap_sparse(const lv_font_t *font, uint32_t letter)
{
    int i = find(font, letter);
    return i < 0 ? NULL : &font->glyph_bitmap[font->glyph_dsc[i].glyph_index];
}
int16_t lv_font_get_width_sparse(const lv_font_t *font, uint32_t letter)
{
    int i = find(font, letter);
    return i < 0 ? -1 : (int16_t)font->glyph_dsc[i].w_px;
}
#endif

static void ask(const char *name, const lv_font_t *font)
{
    size_t i;
    for (i = 0; i < sizeof letters / sizeof letters[0]; ++i) {
        printf("%s_%lx ", name, (unsigned long)letters[i]);
#ifdef QM_LVGL5
        {
            const uint8_t *bitmap = font->get_bitmap(font, letters[i]);
            int w = font->get_width(font, letters[i]);
            unsigned bpp = font->bpp;
            if (bitmap)
                printf("1 %d %d %u 0 0 %u - %08lx\n", w, w, (unsigned)font->h_px, bpp,
                       checksum(bitmap, font->h_px * ((w * bpp + 7) / 8)));
            else
                printf("0 null\n");
        }
#else
        {
            lv_font_glyph_dsc_t d;
            bool found;
            const uint8_t *bitmap;
            memset(&d, 0xFF, sizeof d);
            found = font->get_glyph_dsc(font, &d, letters[i], 0);
            bitmap = font->get_glyph_bitmap(font, letters[i]);
            if (found) {
                printf("1 %u %u %u %d %d %u ", (unsigned)d.adv_w, (unsigned)d.box_w, (unsigned)d.box_h,
                       (int)d.ofs_x, (int)d.ofs_y, (unsigned)d.bpp);
#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)
                printf("%u ", (unsigned)d.is_placeholder);
#else
                printf("- ");
#endif
                if (bitmap)
                    printf("%08lx\n", checksum(bitmap, (size_t)d.box_w * d.box_h * d.bpp / 8));
                else
                    printf("null\n");
            } else {
                printf("0 %s\n", bitmap ? "bitmap" : "null");
            }
        }
#endif
    }
}

int main(void)
{
#define X(name) ask(#name, &name);
    QM_FONTS
#undef X
    return 0;
}
)C";

} // namespace

class TestCompileMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyKindBuildsAndReadsBack_data();
    void everyKindBuildsAndReadsBack();
    void namesTheFilesUseAreNoFontNames();

private:
    QString m_chars;                    // the set, unsorted
    QList<uint> m_absent;               // letters no font holds
    QMap<QString, QString> m_texts;     // by font name, as generated
    QMap<QString, QString> m_files;     // by font name, as compiled
};

void TestCompileMatrix::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    installFontSubstitutions();

    // A letter with a descender, a blank and punctuation, close together: an XBF table
    // spans the whole range, and a wide one would cost its compiles seconds.
    m_chars = QStringLiteral("gA ,|");
    m_absent = {0x42, 0x10000};
    QTemporaryDir binDir;
    for (const Kind &kind : kKinds) {
        for (int bpp : kDepths) {
            ConversionRequest r = qmtest::xbfRequest(m_chars, bpp, QFont(defaultFontFamily(), 12));
            if (kind.generator == GeneratorKind::SortedInternal)
                sortChars(r.chars);
            r.lvVer = kind.lvVer;
            r.compress = kind.compress;
            r.fontName = fontName(QLatin1String(kind.id), bpp);
            r.outputDir = binDir.path();
            NoProgress progress;
            const ConversionResult result = runConversion(kind.generator, r, progress);
            QVERIFY2(result.ok, qPrintable(result.error));
            // A set this small is larger compressed, and says so; nothing else is expected.
            const QStringList warnings = result.warnings.filter(QStringLiteral("better left uncompressed"));
            QCOMPARE(warnings.size(), kind.compress ? 1 : 0);
            QVERIFY2(result.warnings.size() == warnings.size(), qPrintable(result.warnings.join('\n')));
            // The C11 and C2x builds below stop after parsing on the strength of this.
            QVERIFY2(!result.text.contains(QLatin1String("__STDC_VERSION__")), qPrintable(r.fontName));
            m_texts.insert(r.fontName, result.text);
            QString file = result.text;
            if (kind.generator == GeneratorKind::XbfBin) {
                QFile bin(binDir.filePath(r.fontName + QStringLiteral(".bin")));
                QVERIFY(bin.open(QIODevice::ReadOnly));
                file = QString::fromUtf8(qmtest::completeBinReader(result.text, bin.readAll()));
                QVERIFY(!file.isEmpty());
            }
            m_files.insert(r.fontName, file);
        }
    }
}

void TestCompileMatrix::everyKindBuildsAndReadsBack_data()
{
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<bool>("placeholder");
    const QStringList six{"sorted6", "unsorted6", "xbfarray", "xbfbin", "sorted6z", "unsorted6z", "xbfarrayz", "xbfbinz"};
    const QStringList eight{"sorted8", "unsorted8", "xbfarray", "xbfbin", "sorted8z", "unsorted8z", "xbfarrayz", "xbfbinz"};
    QTest::newRow("LVGL 5.3") << "v5" << QStringList{"legacy"} << false;
    // 3-bit bpp field, 8-bit line height and box
    QTest::newRow("LVGL 6.1") << "v6" << six << false;
    QTest::newRow("LVGL 7.11") << "v7" << six << false;
    QTest::newRow("LVGL 8.0") << "v8.0" << eight << false;
    QTest::newRow("LVGL 8.3") << "v8.3" << eight << true;
}

void TestCompileMatrix::everyKindBuildsAndReadsBack()
{
    QFETCH(QString, headers);
    QFETCH(QStringList, kinds);
    QFETCH(bool, placeholder);

    QMap<QString, QString> fontTexts;
    QStringList fonts, letters;
    for (const QString &kind : kinds) {
        for (int bpp : kDepths) {
            const QString name = fontName(kind, bpp);
            fontTexts.insert(name, m_files.value(name));
            fonts << QStringLiteral("X(%1)").arg(name);
        }
    }
    const QMap<QString, QByteArray> files{{QStringLiteral("main.c"), QByteArray(kMain)},
                                          {QStringLiteral("fonts.c"), qmtest::oneTranslationUnit(fontTexts)}};
    QList<uint> asked;
    for (const QChar ch : m_chars)
        asked << ch.unicode();
    asked << m_absent;
    for (uint letter : asked)
        letters << QStringLiteral("0x%1").arg(letter, 0, 16);
    QStringList flags{QStringLiteral("-Werror"), QStringLiteral("-Wextra"), QStringLiteral("-O0"),
                      QStringLiteral("-DQM_FONTS=") + fonts.join(QLatin1Char(' ')),
                      QStringLiteral("-DQM_LETTERS=") + letters.join(QLatin1Char(','))};
    if (headers == QLatin1String("v5"))
        flags << QStringLiteral("-DQM_LVGL5");

    // C++ wants every member of a designated initialiser, and the fields of lv_font_t
    // differ between the releases one text serves; C does not ask for them. C++ is
    // built in full: it is another language, and its link proves the fonts keep their
    // external linkage there.
    const QStringList standards{"c99", "c++17", "c11", "c2x"};
    const QStringList parsedOnly{"c11", "c2x"};
    QList<qmtest::CBuild> builds;
    for (const QString &standard : standards) {
        QStringList standardFlags = flags;
        if (standard.startsWith(QLatin1String("c++")))
            standardFlags << QStringLiteral("-Wno-missing-field-initializers");
        if (parsedOnly.contains(standard))
            standardFlags << QStringLiteral("-fsyntax-only");
        builds.append({files, {qmtest::lvglIncludeDir(headers)}, standardFlags, {}, standard});
    }
    const QList<qmtest::CRun> runs = qmtest::compileAndRunAll(builds);

    // Every build is clean, and every run prints what the C99 one printed.
    const QByteArray reference = runs.first().output;
    for (int i = 0; i < runs.size(); ++i) {
        const QString &standard = standards.at(i);
        const qmtest::CRun &run = runs.at(i);
        QVERIFY2(run.compiled, qPrintable(QStringLiteral("%1: %2").arg(standard, run.compileLog)));
        if (parsedOnly.contains(standard))
            continue;
        QVERIFY2(run.exitCode == 0, qPrintable(standard + QLatin1String(": ") + run.errors));
        QVERIFY2(run.output == reference, qPrintable(standard));
    }

    const QMap<QString, QStringList> out = qmtest::parseKeyedLines(reference);
    for (const QString &kind : kinds) {
        for (int bpp : kDepths) {
            const QString font = fontName(kind, bpp);
            for (uint letter : asked) {
                const QString key = QStringLiteral("%1_%2").arg(font).arg(letter, 0, 16);
                const QStringList got = out.value(key);
                const QString seen = key + QLatin1String(": ") + got.join(QLatin1Char(' '));
                if (m_absent.contains(letter)) {
                    QVERIFY2(got == (QStringList{QStringLiteral("0"), QStringLiteral("null")}), qPrintable(seen));
                    continue;
                }
                // Found, at the depth it was drawn, no placeholder, with a bitmap.
                QVERIFY2(got.size() == 9 && got.at(0) == QLatin1String("1"), qPrintable(seen));
                QVERIFY2(got.at(6) == QString::number(bpp), qPrintable(seen));
                QVERIFY2(got.at(7) == (placeholder ? QLatin1String("0") : QLatin1String("-")), qPrintable(seen));
                QVERIFY2(got.at(8) != QLatin1String("null"), qPrintable(seen));
                // Compressed glyphs unpack to exactly the plain kind's bytes.
                if (kind.endsWith(QLatin1Char('z'))) {
                    const QString plain = fontName(kind.chopped(1), bpp) + key.mid(font.size());
                    QVERIFY2(got == out.value(plain), qPrintable(seen + QLatin1String(" vs ") + plain));
                }
                // The captured kinds hold the same glyphs whichever table they use.
                if (kind.startsWith(QLatin1String("xbf"))) {
                    const QString unsorted = fontName(kinds.at(1), bpp) + key.mid(font.size());
                    QVERIFY2(got == out.value(unsorted), qPrintable(seen + QLatin1String(" vs ") + unsorted));
                }
            }
        }
    }
}

// A font named like something the generated file defines or uses would not compile;
// every such name, gathered from the texts themselves, is refused as a font name.
void TestCompileMatrix::namesTheFilesUseAreNoFontNames()
{
    static const QRegularExpression lvglName(QStringLiteral("\\b(?:lv_\\w+|LV_\\w+|LVGL_\\w+|NULL)\\b"));
    QSet<QString> names;
    for (auto it = m_texts.constBegin(); it != m_texts.constEnd(); ++it) {
        // The bin kind's buffer is commented out only until the user completes the file.
        QString code = it.value();
        code.replace(QStringLiteral("//static uint8_t __g_font_buf"), QStringLiteral("static uint8_t __g_font_buf"));
        const QMap<QString, QString> defined = qmtest::fileScopeNames(code);
        for (auto d = defined.constBegin(); d != defined.constEnd(); ++d) {
            names << d.value();
            if (d.key() != it.key())
                names << d.key();
        }
        for (auto m = lvglName.globalMatch(qmtest::codeOf(code)); m.hasNext();)
            names << m.next().captured(0);
    }
    names.remove(QString());
    QVERIFY(names.contains(QStringLiteral("glyph_dsc_xbf")));
    QVERIFY(names.contains(QStringLiteral("__user_font_pos")));
    for (const QString &name : qAsConst(names))
        QVERIFY2(!fontNameProblem(name).isEmpty(), qPrintable(name));
    for (const QString &name : m_texts.keys())
        QVERIFY2(fontNameProblem(name).isEmpty(), qPrintable(name));
}

QTEST_MAIN(TestCompileMatrix)
#include "tst_compilematrix.moc"

#include "output/encoders.h"
#include "testfonts.h"
#include "glyphtesting.h"
#include "render/engineglyph.h"
#include "render/fonts.h"
#include "render/rawrender.h"
#include "sortedglyphs.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QRawFont>
#include <QTextLayout>
#include <QtTest>

using namespace qm;

class TestRawRender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void byteFilling_data();
    void byteFilling();
    void iconCentring();
    void textPlacement_data();
    void textPlacement();
    void conversionsDrawAt96Dpi();
    void facesAreTheOnesTextLayoutDraws_data();
    void facesAreTheOnesTextLayoutDraws();
    void lackingCharactersAreNamed();
    void setUpFollowsDepth();
    void boxAndPixelsMatchTheFont_data();
    void boxAndPixelsMatchTheFont();
    void engineGlyphMatchesThePublicCalls_data();
    void engineGlyphMatchesThePublicCalls();
    void iconCharactersUseTheIconFont();
    void blankGlyphsHaveAnEmptyBox();
    void advanceIsTheWidthOfTheString();

private:
    QString m_awesome;
};

void TestRawRender::initTestCase()
{
    QVERIFY2(qmtest::missingTestFonts().isEmpty(), qPrintable(qmtest::missingTestFonts()));
    installFontSubstitutions();
    m_awesome = qmtest::registerFontAwesome();
    QVERIFY2(!m_awesome.isEmpty(), "FontAwesome could not be registered");
}

void TestRawRender::byteFilling_data()
{
    QTest::addColumn<int>("bpp");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rowBytes");
    QTest::addColumn<int>("boxW");
    QTest::newRow("1 bit, 5") << 1 << 5 << 1 << 8;
    QTest::newRow("1 bit, 8") << 1 << 8 << 1 << 8;
    QTest::newRow("1 bit, 9") << 1 << 9 << 2 << 16;
    QTest::newRow("2 bits, 5") << 2 << 5 << 2 << 8;
    QTest::newRow("4 bits, 5") << 4 << 5 << 3 << 6;
    QTest::newRow("8 bits, 5") << 8 << 5 << 5 << 5;
    QTest::newRow("empty") << 4 << 0 << 0 << 0;
}

void TestRawRender::byteFilling()
{
    QFETCH(int, bpp);
    QFETCH(int, width);
    QFETCH(int, rowBytes);
    QFETCH(int, boxW);
    QCOMPARE(rowBytesFor(width, bpp), rowBytes);
    QCOMPARE(byteFilledWidth(width, bpp), boxW);
}

void TestRawRender::iconCentring()
{
    QCOMPARE(iconOffsetY(17, 14), 1);
    QCOMPARE(iconOffsetY(17, 20), -1);   // -3 / 2 truncates toward zero
    QCOMPARE(iconOffsetY(17, 17), 0);
    QCOMPARE(iconOffsetY(16, 0), 8);
}

void TestRawRender::textPlacement_data()
{
    QTest::addColumn<qreal>("top");
    QTest::addColumn<qreal>("height");
    QTest::addColumn<int>("ofsY");
    QTest::newRow("on the baseline") << -12.0 << 12.0 << 4;
    QTest::newRow("descender") << -9.0 << 12.0 << 1;
    QTest::newRow("fractional bottom") << -9.5 << 12.0 << 2;
    QTest::newRow("below the descent") << -2.0 << 7.5 << -1;
}

void TestRawRender::textPlacement()
{
    QFETCH(qreal, top);
    QFETCH(qreal, height);
    QFETCH(int, ofsY);
    QCOMPARE(textOffsetY(4, top, height), ofsY);
}

void TestRawRender::conversionsDrawAt96Dpi()
{
    for (const qreal points : {7.5, 9.0, 9.5, 10.5, 12.0}) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(points);
        const QFont drawn = conversionFont(font);
        QCOMPARE(qreal(QFontInfo(drawn).pixelSize()), conversionPixelSize(font));
        QCOMPARE(QRawFont::fromFont(drawn, QFontDatabase::Any).pixelSize(), conversionPixelSize(font));
        // The icon font takes the whole point size, so it draws as the text of that size.
        const QFont icon = iconFontSizedLike(QFont(m_awesome), font);
        QCOMPARE(icon.pointSizeF(), qreal(qRound(points)));
    }
    QFont twelve(QStringLiteral("DejaVu Sans"), 12);
    QCOMPARE(conversionPixelSize(twelve), 16.0);
    twelve.setPixelSize(13);
    QCOMPARE(conversionPixelSize(twelve), 13.0);
    QCOMPARE(iconFontSizedLike(QFont(m_awesome), twelve).pixelSize(), 13);
}

void TestRawRender::facesAreTheOnesTextLayoutDraws_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("lacked");
    QTest::newRow("stand-in for the default") << defaultFontFamily() << QString();
    QTest::newRow("Droid Sans Fallback") << QStringLiteral("Droid Sans Fallback") << QStringLiteral("A℃");
    QTest::newRow("DejaVu Sans") << QStringLiteral("DejaVu Sans") << QStringLiteral("中");
}

// The face and glyph found for a character are those the toolkit's text layout (the
// input pane's) draws it with; a character counts as lacking when another family draws it.
void TestRawRender::facesAreTheOnesTextLayoutDraws()
{
    QFETCH(QString, family);
    QFETCH(QString, lacked);
    QFont font = qmtest::pixelFont(family, 16);
    const FontFaces faces(conversionFont(font));
    // Latin, Greek, Cyrillic, Hebrew, Arabic, Thai, Devanagari, Han, Hangul, kana, symbols,
    // marks, a soft hyphen, a zero-width space, private use, the object placeholder.
    const QString sample = QString::fromUtf8("Aé℃ωЖשبกक中龍한あア，€\u0301\u0e31\u00ad\u200b\uf015\ufffc");
    for (const QChar ch : sample) {
        const QByteArray where = QStringLiteral("U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0')).toUtf8();
        QTextLayout layout(QString(ch), faces.font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QGlyphRun run;
        for (const QGlyphRun &r : layout.glyphRuns()) {
            if (!r.glyphIndexes().isEmpty()) {
                run = r;
                break;
            }
        }
        const FontFaces::Face face = faces.find(ch);
        if (run.glyphIndexes().isEmpty()) {
            QVERIFY2(!face.raw, where);
            continue;
        }
        QVERIFY2(face.raw, where);
        // Faces found by other ways may spell their family in other cases.
        QVERIFY2(face.raw->familyName().compare(run.rawFont().familyName(), Qt::CaseInsensitive) == 0,
                 qPrintable(where + ": " + face.raw->familyName() + " / " + run.rawFont().familyName()));
        QVERIFY2(face.raw->styleName().compare(run.rawFont().styleName(), Qt::CaseInsensitive) == 0, where);
        QVERIFY2(face.glyph == run.glyphIndexes().first(), where);
        if (lacked.contains(ch))
            QVERIFY2(!face.own, where);
        else if (QStringLiteral("A℃中").contains(ch))
            QVERIFY2(face.own, where);
    }
}

// Where the default family is missing, its stand-ins lack nothing they draw; an icon
// counts against the icon font; a long list is cut short.
void TestRawRender::lackingCharactersAreNamed()
{
    const auto lackingGlyphWarnings = [](const QString &chars, const QFont &font, const QFont &iconFont,
                                         const QString &icons) {
        return qm::lackingGlyphWarnings(chars, ConversionFonts(font, iconFont, icons, 4), font.family());
    };
    const QString icon(QChar(0xF015));
    const QFont cjk(defaultFontFamily(), 12);
    QVERIFY(lackingGlyphWarnings(QStringLiteral("A中℃") + icon, cjk, QFont(m_awesome), icon).isEmpty());
    QCOMPARE(lackingGlyphWarnings(QStringLiteral("中") + icon, cjk, QFont(QStringLiteral("DejaVu Sans")), icon),
             QStringList{QStringLiteral("图标字体缺少1个图标：U+F015/The icon font lacks 1 of the chosen icons: U+F015")});

    QString letters;
    for (ushort c = 'a'; c <= 'z'; ++c)
        letters += QChar(c);
    const QStringList warnings =
        lackingGlyphWarnings(letters, QFont(QStringLiteral("Droid Sans Fallback"), 12), QFont(m_awesome), QString());
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QStringLiteral("lacks 26 characters")), qPrintable(warnings.first()));
    QVERIFY2(warnings.first().endsWith(QStringLiteral(": a (U+0061), b (U+0062), c (U+0063), d (U+0064), e (U+0065), "
                                                      "f (U+0066), g (U+0067), h (U+0068), i (U+0069), j (U+006A), …")),
             qPrintable(warnings.first()));
}

void TestRawRender::setUpFollowsDepth()
{
    QFont font = qmtest::pixelFont(QStringLiteral("DejaVu Sans"), 16);
    font.setStyleStrategy(QFont::PreferAntialias);
    const QFont icon(m_awesome);

    RawGlyphRenderer mono(QStringLiteral("A"), font, icon, QString(), 1);
    QCOMPARE(mono.textFont().styleStrategy(), QFont::NoAntialias);
    QCOMPARE(mono.iconFont().styleStrategy(), QFont::NoAntialias);
    QCOMPARE(mono.iconFont().pixelSize(), 16);

    RawGlyphRenderer gray(QStringLiteral("A"), font, icon, QString(), 4);
    QCOMPARE(gray.textFont().styleStrategy(), QFont::PreferAntialias);
    QCOMPARE(gray.iconFont().styleStrategy(), icon.styleStrategy());
    QCOMPARE(gray.lineHeight(), QFontMetrics(font).height());
    QCOMPARE(gray.baseLine(), int(QRawFont::fromFont(font, QFontDatabase::Any).descent()));
    QCOMPARE(gray.iconLineHeight(), QFontMetrics(gray.iconFont()).height());
}

void TestRawRender::boxAndPixelsMatchTheFont_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("chars");
    QTest::addColumn<int>("bpp");
    QString latin;
    for (ushort c = 0x21; c < 0x7F; ++c)
        latin += QChar(c);
    latin += QString::fromUtf8("ÅÉßøĳ");
    QString cjk = QStringLiteral("Agj|");
    for (ushort c = 0x4E00; c < 0x4E00 + 120; ++c)
        cjk += QChar(c);
    cjk += QString::fromUtf8("龍體，。");
    for (int bpp : {1, 2, 4, 8}) {
        QTest::addRow("DejaVu Sans %d bpp", bpp) << QStringLiteral("DejaVu Sans") << latin << bpp;
        QTest::addRow("CJK default %d bpp", bpp) << defaultFontFamily() << cjk << bpp;
    }
}

// Every glyph's box, offsets and pixels are what the font itself gives, and the
// pixels fill exactly box_h rows of row_bytes.
void TestRawRender::boxAndPixelsMatchTheFont()
{
    QFETCH(QString, family);
    QFETCH(QString, chars);
    QFETCH(int, bpp);
    QFont font = qmtest::pixelFont(family, 16);
    const QFont textFont = qmtest::fontForBpp(font, bpp);
    const int lineHeight = QFontMetrics(textFont).height();
    const int baseLine = int(QRawFont::fromFont(textFont, QFontDatabase::Any).descent());

    RawGlyphRenderer renderer(chars, font, QFont(m_awesome), QString(), bpp);
    QCOMPARE(renderer.lineHeight(), lineHeight);
    QCOMPARE(renderer.baseLine(), baseLine);
    // Both ways to a glyph: measured then drawn, and rendered whole as a conversion does.
    for (int n = 0; n < 2 * chars.size(); ++n) {
        const int i = n / 2;
        RawGlyph g;
        if (n % 2) {
            g = renderer.render(i);
        } else {
            g = renderer.measure(i);
            renderer.draw(g);
        }
        const qmtest::ExpectedGlyph e =
            qmtest::expectedRawGlyph(chars.at(i), textFont, false, bpp, lineHeight, baseLine);
        const QByteArray where = (QString(chars.at(i)) + (n % 2 ? QLatin1String(" rendered") : QLatin1String(""))).toUtf8();
        QVERIFY2(e.ok, qPrintable(QString::fromUtf8(where) + QLatin1String(": ") + e.why));
        QVERIFY2(!g.icon && g.font == &renderer.textFont(), where);
        QVERIFY2(g.advW == e.advW, where);
        QVERIFY2(g.boxW == e.boxW && g.boxH == e.boxH, where);
        QVERIFY2(g.ofsX == e.ofsX && g.ofsY == e.ofsY,
                 qPrintable(QStringLiteral("%1: offsets %2,%3 expected %4,%5")
                                .arg(QString::fromUtf8(where)).arg(g.ofsX).arg(g.ofsY).arg(e.ofsX).arg(e.ofsY)));
        QVERIFY2(g.rowBytes == rowBytesFor(g.width, bpp) && g.boxW == byteFilledWidth(g.width, bpp), where);
        QVERIFY2(g.alpha.width() == g.width && g.alpha.height() == g.boxH, where);
        QVERIFY2(qmtest::packAlphaRows(g.alpha, bpp) == e.bytes, where);

        // The encoder's rows carry exactly row_bytes literals each, box_h rows in all.
        const QString text = encodeAlphaRows(g.alpha, bpp, (1 << bpp) - 1);
        const QStringList rows = g.boxH ? text.split(QLatin1Char('\n')) : QStringList();
        QVERIFY2(rows.size() == g.boxH, where);
        for (const QString &row : rows)
            QVERIFY2(row.count(QLatin1String("0x")) == g.rowBytes, where);
    }
}

void TestRawRender::engineGlyphMatchesThePublicCalls_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("hinting");
    QTest::addColumn<bool>("served");   // the engine hands the glyph out
    const int byDefault = QFont::PreferDefaultHinting;
    QTest::newRow("CJK 16 px") << defaultFontFamily() << 16 << byDefault << true;
    QTest::newRow("CJK 11 px") << defaultFontFamily() << 11 << byDefault << true;
    QTest::newRow("Droid Sans Fallback 16 px") << QStringLiteral("Droid Sans Fallback") << 16 << byDefault << true;
    QTest::newRow("DejaVu Sans 16 px") << QStringLiteral("DejaVu Sans") << 16 << byDefault << true;
    QTest::newRow("DejaVu Serif 23 px") << QStringLiteral("DejaVu Serif") << 23 << byDefault << true;
    QTest::newRow("DejaVu Sans full hinting") << QStringLiteral("DejaVu Sans") << 16 << int(QFont::PreferFullHinting) << true;
    QTest::newRow("DejaVu Sans no hinting") << QStringLiteral("DejaVu Sans") << 16 << int(QFont::PreferNoHinting) << true;
    QTest::newRow("CJK full hinting") << defaultFontFamily() << 16 << int(QFont::PreferFullHinting) << true;
    QTest::newRow("DejaVu Sans 64 px") << QStringLiteral("DejaVu Sans") << 64 << byDefault << true;
    // Above 64 px the engine draws glyphs as paths and caches no pixels.
    QTest::newRow("DejaVu Sans 65 px") << QStringLiteral("DejaVu Sans") << 65 << byDefault << false;
    QTest::newRow("CJK 120 px") << defaultFontFamily() << 120 << byDefault << false;
}

// The glyph read out of the engine's cache has the pixels of the alpha map, the
// rectangle of the font metrics and the advance QFontMetrics gives, whatever the
// hinting; where the engine cannot hand a glyph out, it says so.
void TestRawRender::engineGlyphMatchesThePublicCalls()
{
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(int, hinting);
    QFETCH(bool, served);
    if (!engineGlyphsBuiltIn())
        QSKIP("built without Qt's private headers");
    QFont font = qmtest::pixelFont(family, pixelSize);
    font.setHintingPreference(QFont::HintingPreference(hinting));
    QVERIFY2(QFontInfo(font).family() == family || family == defaultFontFamily(), "font not installed");
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Any);
    const QFontMetrics metrics(font);
    const QFontMetricsF metricsF(font);

    QString chars;
    for (ushort c = 0x21; c < 0x7F; ++c)
        chars += QChar(c);
    chars += QString::fromUtf8("ÅßĳЖω");
    for (ushort c = 0x4E00; c < 0x4E00 + 40; ++c)
        chars += QChar(c);
    chars += QString::fromUtf8("龍體，。");
    int servedCount = 0;
    for (QChar ch : chars) {
        const quint32 index = raw.glyphIndexesForString(QString(ch)).value(0);
        if (index == 0)
            continue;   // not in this font
        EngineGlyph e;
        if (!loadEngineGlyph(raw, index, &e))
            continue;
        ++servedCount;
        const QByteArray where = QString(ch).toUtf8();
        const QImage map = raw.alphaMapForGlyph(index, QRawFont::PixelAntialiasing, QTransform())
                               .convertToFormat(QImage::Format_Alpha8);
        const QRectF rect = metricsF.boundingRect(ch);
        QVERIFY2(e.advance == metrics.horizontalAdvance(ch), where);
        QVERIFY2(e.x == int(rect.x()) && e.top == int(rect.y()), where);
        QVERIFY2(e.width == int(rect.width()) && e.height == int(rect.height()), where);
        QVERIFY2(e.alpha == map, where);
    }
    QCOMPARE(servedCount > 0, served);
}

void TestRawRender::iconCharactersUseTheIconFont()
{
    QFont font = qmtest::pixelFont(defaultFontFamily(), 16);
    const QString icons = QString(QChar(0xF000)) + QChar(0xF015) + QChar(0xF26E);
    const QString chars = QStringLiteral("A") + icons + QChar(0xF001);   // U+F001 typed, not chosen
    for (int bpp : {1, 4}) {
        RawGlyphRenderer renderer(chars, font, QFont(m_awesome), icons, bpp);
        const QFont iconFont = qmtest::iconFontFor(QFont(m_awesome), font, bpp);
        QCOMPARE(renderer.iconFont().family(), m_awesome);
        for (int i = 1; i <= 3; ++i) {
            RawGlyph g = renderer.measure(i);
            QVERIFY(g.icon);
            QCOMPARE(g.font, &renderer.iconFont());
            QCOMPARE(g.previewHeight, renderer.iconLineHeight());
            renderer.draw(g);
            QVERIFY(g.boxH > 0);
            QCOMPARE(g.ofsY, iconOffsetY(renderer.lineHeight(), g.boxH));
            QCOMPARE(g.advW, QFontMetrics(iconFont).horizontalAdvance(QString(chars.at(i))));
        }
        // A code from the icon range that was only typed is drawn with the text font.
        RawGlyph typed = renderer.measure(4);
        QVERIFY(!typed.icon);
        QCOMPARE(typed.font, &renderer.textFont());
    }
}

// A space has an advance but no ink; control characters (a line break in the set)
// have neither.
void TestRawRender::blankGlyphsHaveAnEmptyBox()
{
    QFont font = qmtest::pixelFont(QStringLiteral("DejaVu Sans"), 16);
    const QString chars = QStringLiteral(" \n\t\x7f");
    for (int bpp : {1, 2, 4, 8}) {
        RawGlyphRenderer renderer(chars, font, QFont(m_awesome), QString(), bpp);
        for (int n = 0; n < 2 * chars.size(); ++n) {
            RawGlyph g;
            if (n % 2) {
                g = renderer.render(n / 2);
            } else {
                g = renderer.measure(n / 2);
                renderer.draw(g);
            }
            QCOMPARE(g.advW > 0, n < 2);
            QCOMPARE(g.boxH, 0);
            QCOMPARE(g.width, 0);
            QCOMPARE(g.boxW, 0);
            QCOMPARE(g.rowBytes, 0);
            QCOMPARE(encodeAlphaRows(g.alpha, bpp, (1 << bpp) - 1), QString());
            if (n >= 2)
                QVERIFY(g.ofsX == 0 && g.ofsY == 0);
        }
    }
}

// The width of the one-character string, as the drawing kinds measure it, also where
// it is not the glyph's own advance: a soft hyphen, a mark, the object placeholder,
// shaped scripts, a glyph from a fallback face.
void TestRawRender::advanceIsTheWidthOfTheString()
{
    QFont font = qmtest::pixelFont(QStringLiteral("DejaVu Sans"), 16);
    const QString chars = QString::fromUtf8("A\u00ad\u0301\ufffc\u0628\u0915\u4e2d");
    for (int bpp : {1, 4}) {
        RawGlyphRenderer renderer(chars, font, QFont(m_awesome), QString(), bpp);
        const QFontMetrics metrics(conversionFont(font, bpp));
        for (int i = 0; i < chars.size(); ++i) {
            const int width = qMax(0, metrics.horizontalAdvance(QString(chars.at(i))));
            QCOMPARE(renderer.measure(i).advW, width);
            QCOMPARE(renderer.render(i).advW, width);
        }
    }
}

QTEST_MAIN(TestRawRender)
#include "tst_rawrender.moc"

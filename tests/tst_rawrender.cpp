#include "convert/encoders.h"
#include "testfonts.h"
#include "glyphtesting.h"
#include "convert/engineglyph.h"
#include "convert/fonts.h"
#include "convert/rawrender.h"
#include "sortedglyphs.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QRawFont>
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
    void glyphIndexesStayAlignedWithCodeUnits();
    void setUpFollowsDepth();
    void boxAndPixelsMatchTheFont_data();
    void boxAndPixelsMatchTheFont();
    void engineGlyphMatchesThePublicCalls_data();
    void engineGlyphMatchesThePublicCalls();
    void iconCharactersUseTheIconFont();
    void blankGlyphHasAnEmptyBox();

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

void TestRawRender::glyphIndexesStayAlignedWithCodeUnits()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Any);
    const QString set = QStringLiteral("a") + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("b\n");
    QCOMPARE(set.size(), 5);
    QVERIFY(raw.glyphIndexesForString(set).size() < set.size());   // what goes wrong otherwise

    const QVector<quint32> indexes = RawGlyphRenderer::glyphIndexesPerCodeUnit(raw, set);
    QCOMPARE(indexes.size(), 5);
    QCOMPARE(indexes.at(0), raw.glyphIndexesForString(QStringLiteral("a")).value(0));
    QCOMPARE(indexes.at(1), 0u);
    QCOMPARE(indexes.at(2), 0u);
    QCOMPARE(indexes.at(3), raw.glyphIndexesForString(QStringLiteral("b")).value(0));
    QCOMPARE(indexes.at(4), raw.glyphIndexesForString(QStringLiteral("\n")).value(0));
}

void TestRawRender::setUpFollowsDepth()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
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
    QFont font(family);
    font.setPixelSize(16);
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
    QFont font(family);
    font.setPixelSize(pixelSize);
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
        const quint32 index = RawGlyphRenderer::glyphIndexesPerCodeUnit(raw, QString(ch)).at(0);
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
    QFont font(defaultFontFamily());
    font.setPixelSize(16);
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
        QCOMPARE(typed.glyphIndex, renderer.glyphIndexes().at(4));
    }
}

void TestRawRender::blankGlyphHasAnEmptyBox()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    for (int bpp : {1, 2, 4, 8}) {
        RawGlyphRenderer renderer(QStringLiteral(" "), font, QFont(m_awesome), QString(), bpp);
        RawGlyph g = renderer.measure(0);
        renderer.draw(g);
        QVERIFY(g.advW > 0);
        QCOMPARE(g.boxH, 0);
        QCOMPARE(g.width, 0);
        QCOMPARE(g.boxW, 0);
        QCOMPARE(g.rowBytes, 0);
        QCOMPARE(encodeAlphaRows(g.alpha, bpp, (1 << bpp) - 1), QString());
    }
}

QTEST_MAIN(TestRawRender)
#include "tst_rawrender.moc"

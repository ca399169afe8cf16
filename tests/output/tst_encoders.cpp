#include "output/encoders.h"
#include "output/linebuffer.h"

#include <QtTest>

using namespace qm;

namespace {

QImage grayRow(std::initializer_list<int> values)
{
    QImage img(int(values.size()), 1, QImage::Format_RGB32);
    int x = 0;
    for (int v : values)
        img.setPixel(x++, 0, qRgb(v, v, v));
    return img;
}

QImage grayImage(const QVector<QVector<int>> &rows)
{
    QImage img(rows.first().size(), rows.size(), QImage::Format_RGB32);
    for (int y = 0; y < rows.size(); ++y)
        for (int x = 0; x < rows[y].size(); ++x)
            img.setPixel(x, y, qRgb(rows[y][x], rows[y][x], rows[y][x]));
    return img;
}

QImage alphaRow(std::initializer_list<int> values)
{
    QImage img(int(values.size()), 1, QImage::Format_Alpha8);
    int x = 0;
    for (int v : values)
        img.scanLine(0)[x++] = uchar(v);
    return img;
}

} // namespace

class TestEncoders : public QObject
{
    Q_OBJECT

private slots:
    void rowPackingAndPreview_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<int>("bpp");
        QTest::addColumn<QString>("text");
        QTest::newRow("1 bit white black white") << grayRow({255, 0, 255}) << 1 << "0xa0,  //@.@";
        QTest::newRow("2 bit 255 85 170") << grayRow({255, 85, 170}) << 2 << "0xd8,  //@.+";
        QTest::newRow("8 bit gray 128") << grayRow({128}) << 8 << "0x80,  //+";
        QTest::newRow("4 bit gray 254") << grayRow({254}) << 4 << "0xe0,  //@";
        QTest::newRow("4 bit 171 is %") << grayRow({171, 239}) << 4 << "0xae,  //%@";
        QTest::newRow("1 bit nine pixels")
            << grayRow({255, 0, 0, 0, 0, 0, 0, 0, 255}) << 1 << "0x80,0x80,  //@.......@";
        QTest::newRow("1 bit only full white counts") << grayRow({254, 255}) << 1 << "0x40,  //@@";
        QTest::newRow("4 bit three pixels pad") << grayRow({255, 255, 255}) << 4 << "0xff,0xf0,  //@@@";
    }
    void rowPackingAndPreview()
    {
        QFETCH(QImage, image);
        QFETCH(int, bpp);
        QFETCH(QString, text);
        QCOMPARE(encodeGlyphRows(image, bpp, bppMaskFor(bpp)), text);
    }

    void redWithoutBlueCountsAsHighValue()
    {
        QImage img(1, 1, QImage::Format_RGB32);
        img.setPixel(0, 0, qRgb(255, 0, 0));
        // V = 0xFF00: level floor(65280 * 15 / 65535) = 14, preview '@'.
        QCOMPARE(encodeGlyphRows(img, 4, 15), QStringLiteral("0xe0,  //@"));
        QCOMPARE(encodeGlyphRows(img, 1, 1), QStringLiteral("0x00,  //@"));
    }

    void alphaEncoder()
    {
        QCOMPARE(encodeAlphaRows(alphaRow({0, 63, 64, 127, 128, 191, 192, 254, 255}), 8, 255),
                 QStringLiteral("0x00,0x3f,0x40,0x7f,0x80,0xbf,0xc0,0xfe,0xff,  //.+**%%##@"));
        QCOMPARE(encodeAlphaRows(alphaRow({255, 17, 16}), 4, 15), QStringLiteral("0xf1,0x00,  //@++"));
        QCOMPARE(encodeAlphaRows(alphaRow({255, 254}), 1, 1), QStringLiteral("0x80,  //@#"));
        QCOMPARE(encodeAlphaRows(QImage(), 4, 15), QString());
    }

    // Every value at every depth, the gray ink of a capture and an alpha map alike, in a
    // row whose last byte is padded: the levels and previews as the encoding defines them.
    void everyValueAtEveryDepth()
    {
        for (int bpp : {1, 2, 4, 8}) {
            const uint mask = (1u << bpp) - 1;
            const int width = 255;   // values 0..254, and a partial last byte below 8 bpp
            QImage gray(width, 1, QImage::Format_RGB32), alpha(width, 1, QImage::Format_Alpha8);
            QString bytes, grayPreview, alphaPreview;
            uint acc = 0;
            for (int v = 0; v < width; ++v) {
                gray.setPixel(v, 0, qRgb(v, v, v));
                alpha.scanLine(0)[v] = uchar(v);
                acc = (acc << bpp) | (uint(v) * 257u * mask / 65535u);
                if ((v + 1) % (8 / bpp) == 0 || v == width - 1) {
                    acc <<= bpp * ((8 / bpp - 1) - v % (8 / bpp));
                    bytes += QStringLiteral("0x%1,").arg(acc & 0xFF, 2, 16, QLatin1Char('0'));
                    acc = 0;
                }
                const uint big = uint(v) * 257u;
                grayPreview += QLatin1Char(big > 0xEEEE ? '@' : big > 0xAAAA ? '%' : big > 0x5555 ? '+' : '.');
                alphaPreview += QLatin1Char(v == 0 ? '.' : v < 64 ? '+' : v < 128 ? '*' : v < 192 ? '%' : v < 255 ? '#' : '@');
            }
            QCOMPARE(encodeGlyphRows(gray, bpp, int(mask)), bytes + QLatin1String("  //") + grayPreview);
            QCOMPARE(encodeAlphaRows(alpha, bpp, int(mask)), bytes + QLatin1String("  //") + alphaPreview);
        }
    }

    void uncroppedKeepsBlankRows()
    {
        const QImage img = grayImage({{0, 0}, {255, 0}, {0, 0}});
        QCOMPARE(encodeGlyphRows(img, 1, 1), QStringLiteral("0x00,  //..\n0x80,  //@.\n0x00,  //.."));
    }

    void cropToInkedRows()
    {
        const QImage img = grayImage({{0, 0, 0}, {0, 255, 0}, {0, 0, 0}, {128, 0, 0}, {0, 0, 0}, {0, 0, 0}});
        int boxH = -1, below = -1;
        QCOMPARE(encodeCroppedGlyphRows(img, 2, 3, &boxH, &below),
                 QStringLiteral("0x30,  //.@.\n0x00,  //...\n0x40,  //+.."));
        QCOMPARE(boxH, 3);
        QCOMPARE(below, 2);

        uint8_t buf[16];
        memset(buf, 0xEE, sizeof buf);
        packCroppedGlyphBytes(img, 2, 3, buf, &boxH, &below);
        QCOMPARE(boxH, 3);
        QCOMPARE(below, 2);
        QCOMPARE(buf[0], uint8_t(0x30));
        QCOMPARE(buf[1], uint8_t(0x00));
        QCOMPARE(buf[2], uint8_t(0x40));
        QCOMPARE(buf[3], uint8_t(0xEE));   // nothing past box_h rows
    }

    void inkTouchingBottomAndGreenOnlyInk()
    {
        QImage img = grayImage({{0}, {0}, {255}});
        int boxH, below;
        encodeCroppedGlyphRows(img, 8, 255, &boxH, &below);
        QCOMPARE(boxH, 1);
        QCOMPARE(below, 0);
        // Green alone counts as ink for the crop, though the level ignores it.
        QImage green(1, 2, QImage::Format_RGB32);
        green.fill(Qt::black);
        green.setPixel(0, 0, qRgb(0, 200, 0));
        QCOMPARE(encodeCroppedGlyphRows(green, 8, 255, &boxH, &below), QStringLiteral("0x00,  //."));
        QCOMPARE(boxH, 1);
        QCOMPARE(below, 1);
    }

    void noInk()
    {
        QImage black(5, 4, QImage::Format_RGB32);
        black.fill(Qt::black);
        int boxH = -1, below = -1;
        QCOMPARE(encodeCroppedGlyphRows(black, 4, 15, &boxH, &below), QString());
        QCOMPARE(boxH, 0);
        QCOMPARE(below, 0);
        uint8_t buf[4] = {1, 2, 3, 4};
        packCroppedGlyphBytes(black, 4, 15, buf, &boxH, &below);
        QCOMPARE(boxH, 0);
        QCOMPARE(buf[0], uint8_t(1));
        QCOMPARE(encodeCroppedGlyphRows(QImage(), 4, 15, &boxH, &below), QString());
        QCOMPARE(boxH, 0);
    }

    void textAndBytesAgree()
    {
        // Every depth: the cropped text's literals are the packed bytes.
        QImage img(11, 7, QImage::Format_RGB32);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) {
                const int v = (y == 0 || y == 6) ? 0 : (x * 37 + y * 91) % 256;
                img.setPixel(x, y, qRgb(v, (v * 3) % 256, 255 - v));
            }
        for (int bpp : {1, 2, 4, 8}) {
            int boxH, below, boxH2, below2;
            const QString text = encodeCroppedGlyphRows(img, bpp, bppMaskFor(bpp), &boxH, &below);
            QVector<uint8_t> buf(rowBytesFor(11, bpp) * 7);
            packCroppedGlyphBytes(img, bpp, bppMaskFor(bpp), buf.data(), &boxH2, &below2);
            QCOMPARE(boxH2, boxH);
            QCOMPARE(below2, below);
            QByteArray fromText;
            for (const QString &line : text.split(QLatin1Char('\n')))
                for (const QString &lit : line.section(QStringLiteral("  //"), 0, 0).split(QLatin1Char(','), Qt::SkipEmptyParts))
                    fromText.append(char(lit.toUInt(nullptr, 16)));
            QCOMPARE(fromText.size(), rowBytesFor(11, bpp) * boxH);
            QCOMPARE(fromText, QByteArray(reinterpret_cast<const char *>(buf.constData()), fromText.size()));
        }
    }

    void lineBufferSemantics()
    {
        LineBuffer b;
        QVERIFY(b.isEmpty());
        b.append(QStringLiteral("a"));
        b.append(QStringLiteral("b\nc"));
        b.append(QString());
        b.append(QStringLiteral("d\n"));
        QCOMPARE(b.content(), QStringLiteral("a\nb\nc\n\nd\n"));
        LineBuffer e;
        e.append(QString());
        e.append(QStringLiteral("x"));
        QCOMPARE(e.content(), QStringLiteral("\nx"));
    }

    void fileHeader()
    {
        const QString header = buildFileHeader();
        const QStringList lines = header.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines[0], QStringLiteral("/*"));
        QCOMPARE(lines[1], QStringLiteral("*") + QString(63, QLatin1Char('-')));
        QCOMPARE(lines[1].size(), 64);
        QCOMPARE(lines[2], QStringLiteral("*") + QString(24, QLatin1Char(' ')) + QStringLiteral("Quillmark")
                               + QString(25, QLatin1Char(' ')));
        QCOMPARE(lines[3], QStringLiteral("*") + QString(63, QLatin1Char(' ')));
        QCOMPARE(lines[4], QStringLiteral("* 注:使用unicode编码") + QString(46, QLatin1Char(' ')));
        QCOMPARE(lines[5], QStringLiteral("* 注:本字体文件由Quillmark V0.5测试版 生成") + QString(21, QLatin1Char(' ')));
        QVERIFY(lines[6].startsWith(QLatin1Char('*')));
        QVERIFY(lines[6].endsWith(QLatin1Char(' ')));
        QCOMPARE(lines[7], lines[1]);
        QCOMPARE(lines[8], QStringLiteral("*/"));
        QVERIFY(header.endsWith(QLatin1String("*/\n\n")));
    }

private:
    static int bppMaskFor(int bpp) { return (1 << bpp) - 1; }
};

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"

#include "settings/settingsrecord.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeFile(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("config.ini"));
        qmtest::writeFile(path, content);
        return path;
    }

    static void expectDefaults(const SettingsRecord &s)
    {
        QCOMPARE(s.IncText, QStringLiteral("#include \"lvgl.h\""));
        QCOMPARE(s.FunText, QString());
        QCOMPARE(s.DirText, QString());
        QCOMPARE(s.DirTxt, QString());
        QCOMPARE(s.FunSel, 0);
        QCOMPARE(s.Bpp, 2);
        QCOMPARE(s.FontVS, 0);
        QCOMPARE(s.FontHeight, 24);
        QCOMPARE(s.Code, 0);
        QCOMPARE(s.Type, 0);
        QCOMPARE(s.Ansi, true);
        QCOMPARE(s.FontName, QStringLiteral("myFont"));
        QCOMPARE(s.AweText, QString());
        QCOMPARE(s.FontFamily, QStringLiteral("微软雅黑"));
        QCOMPARE(s.FontStyle, QStringLiteral("Regular"));
        QCOMPARE(s.FontPoint, 12);
        QCOMPARE(s.LvVerIdx, 1);
        QCOMPARE(s.TextSort, true);
        QCOMPARE(s.SaveFile, true);
        QCOMPARE(s.Compress, false);
    }

private slots:
    void defaultsAndMissingOrBrokenFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("malformed") << QByteArray("{\"Bpp\": 3,") << true;
    }
    void defaultsAndMissingOrBrokenFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        SettingsRecord s;
        expectDefaults(s);
        s.Bpp = 0;
        s.FontName = QStringLiteral("changed");
        const QString path = create ? writeFile(content) : m_dir.filePath(QStringLiteral("none.ini"));
        s.loadFromFile(path);
        expectDefaults(s);
    }

    // Every field its own value, unlike its default and unlike the others, so that a
    // field saved under another's key, or not at all, cannot pass.
    void roundTripKeepsEveryField()
    {
        SettingsRecord a;
        a.IncText = QStringLiteral("#include \"lvgl/lvgl.h\"\n#include <stdint.h>");
        a.FunText = QStringLiteral("carried");
        a.DirText = QStringLiteral("/tmp/out");
        a.DirTxt = QStringLiteral("/tmp/in");
        a.FunSel = 7;
        a.Bpp = 3;
        a.FontVS = -2;
        a.FontHeight = 30;
        a.Code = 5;
        a.Type = 1;
        a.Ansi = false;
        a.FontName = QStringLiteral("font_cn_16");
        a.AweText = QString(QChar(0xF000)) + QChar(0xF2DC);
        a.FontFamily = QStringLiteral("DejaVu Sans");
        a.FontStyle = QStringLiteral("Bold");
        a.FontPoint = 20;
        a.LvVerIdx = 0;
        const QString path = m_dir.filePath(QStringLiteral("rt.ini"));
        // Two values cannot keep four booleans apart: each takes its turn as the one
        // false, and the record read into starts from the opposite values.
        for (int falseOne = 0; falseOne < 4; ++falseOne) {
            a.Ansi = falseOne != 0;
            a.TextSort = falseOne != 1;
            a.SaveFile = falseOne != 2;
            a.Compress = falseOne != 3;
            QVERIFY(a.saveToFile(path));
            SettingsRecord b;
            b.Ansi = !a.Ansi;
            b.TextSort = !a.TextSort;
            b.SaveFile = !a.SaveFile;
            b.Compress = !a.Compress;
            b.loadFromFile(path);
            QCOMPARE(b.Ansi, a.Ansi);
            QCOMPARE(b.TextSort, a.TextSort);
            QCOMPARE(b.SaveFile, a.SaveFile);
            QCOMPARE(b.Compress, a.Compress);
        }
        SettingsRecord b;
        b.loadFromFile(path);
        QCOMPARE(b.IncText, a.IncText);
        QCOMPARE(b.FunText, a.FunText);
        QCOMPARE(b.DirText, a.DirText);
        QCOMPARE(b.DirTxt, a.DirTxt);
        QCOMPARE(b.FunSel, 7);
        QCOMPARE(b.Bpp, 3);
        QCOMPARE(b.FontVS, -2);
        QCOMPARE(b.FontHeight, 30);
        QCOMPARE(b.Code, 5);
        QCOMPARE(b.Type, 1);
        QCOMPARE(b.FontName, a.FontName);
        QCOMPARE(b.AweText, a.AweText);
        QCOMPARE(b.FontFamily, a.FontFamily);
        QCOMPARE(b.FontStyle, a.FontStyle);
        QCOMPARE(b.FontPoint, 20);
        QCOMPARE(b.LvVerIdx, 0);
    }

    void writtenFileIsIndentedWithKeysInAscendingOrder()
    {
        SettingsRecord s;
        const QString path = m_dir.filePath(QStringLiteral("order.ini"));
        QVERIFY(s.saveToFile(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        const QStringList expected{"Ansi", "AweText", "Bpp", "Code", "Compress", "DirText", "DirTxt", "FontFamily",
                                   "FontHeight", "FontName", "FontPoint", "FontStyle", "FontVS",
                                   "FunSel", "FunText", "IncText", "LvVerIdx", "SaveFile", "TextSort",
                                   "Type"};
        QStringList keys;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("    \"")))
                keys << line.mid(5, line.indexOf(QLatin1Char('"'), 5) - 5);
        }
        QCOMPARE(keys, expected);
        QVERIFY(text.startsWith(QLatin1String("{\n    \"Ansi\": true,\n")));
        QVERIFY(text.contains(QStringLiteral("\"FontFamily\": \"微软雅黑\"")));
    }

    void wrongTypesLeaveFieldsAlone()
    {
        SettingsRecord s;
        s.loadFromFile(writeFile(R"({"Bpp": "3", "Ansi": 0, "FontName": 12, "Type": true,
                                    "TextSort": "false", "FontPoint": "20", "Code": 4})"));
        QCOMPARE(s.Bpp, 2);
        QCOMPARE(s.Ansi, true);
        QCOMPARE(s.FontName, QStringLiteral("myFont"));
        QCOMPARE(s.Type, 0);
        QCOMPARE(s.TextSort, true);
        QCOMPARE(s.FontPoint, 12);
        QCOMPARE(s.Code, 4);
    }

    // Only whole numbers that fit are indexes and sizes: a fraction or 1e10 would
    // select LVGL 5.3 as index 0; they leave the field at its default.
    void fractionsAndEmptyInclude()
    {
        SettingsRecord s;
        s.loadFromFile(writeFile(R"({"LvVerIdx": 2.5, "FontPoint": 10.25, "Bpp": 1.9, "Type": 1e10,
                                    "Code": -2147483649, "IncText": ""})"));
        QCOMPARE(s.LvVerIdx, 1);
        QCOMPARE(s.lvVerIndex(), 1);
        QCOMPARE(s.FontPoint, 12);
        QCOMPARE(s.Bpp, 2);
        QCOMPARE(s.Type, 0);
        QCOMPARE(s.Code, 0);
        QCOMPARE(s.IncText, QStringLiteral("#include \"lvgl.h\""));

        s.loadFromFile(writeFile(R"({"LvVerIdx": 2.0, "FontPoint": 16, "Code": -2147483648})"));
        QCOMPARE(s.LvVerIdx, 2);
        QCOMPARE(s.FontPoint, 16);
        QCOMPARE(s.Code, -2147483648);
    }

    // A text field longer than 4096 characters keeps its default, and the file is kept
    // aside rather than overwritten; a file over 1 MiB, or no regular file, is not read.
    void oversizedFieldsAndFilesAreNotTaken()
    {
        const QString path = m_dir.filePath(QStringLiteral("config.ini"));
        for (const char *key : {"FontFamily", "IncText"}) {
            const QByteArray content = "{\"FontName\": \"kept\", \"" + QByteArray(key) + "\": \""
                + QByteArray(4097, 'x') + "\"}";
            writeFile(content);
            QFile::remove(path + QStringLiteral(".bad"));
            SettingsRecord s;
            s.loadFromFile(path);
            QCOMPARE(s.FontName, QStringLiteral("kept"));
            QCOMPARE(s.FontFamily, QStringLiteral("微软雅黑"));
            QCOMPARE(s.IncText, QStringLiteral("#include \"lvgl.h\""));
            QVERIFY(s.saveToFile(path));
            QCOMPARE(qmtest::readFile(path + QStringLiteral(".bad")), content);
        }
        SettingsRecord s;
        s.loadFromFile(writeFile("{\"FontFamily\": \"" + QByteArray(4096, 'x') + "\"}"));
        QCOMPARE(s.FontFamily.size(), 4096);

        writeFile("{\"FontName\": \"big\"}" + QByteArray(1 << 20, ' '));
        s.loadFromFile(path);
        expectDefaults(s);

        // A FIFO with no writer would keep the window from starting for ever.
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.ini"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
        s.FontName = QStringLiteral("changed");
        s.loadFromFile(fifo);
        expectDefaults(s);
        QString error;
        QVERIFY(!s.saveToFile(fifo, &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be written: it is not a regular file").arg(fifo));
    }

    // Each unreadable file is kept, numbered after the first.
    void everyUnreadableFileIsKept()
    {
        const QString path = m_dir.filePath(QStringLiteral("config.ini"));
        for (const QString &suffix : {QStringLiteral(".bad"), QStringLiteral(".bad.2"), QStringLiteral(".bad.3")})
            QFile::remove(path + suffix);
        for (const QByteArray content : {QByteArray("first,"), QByteArray("second,"), QByteArray("third,")}) {
            writeFile(content);
            SettingsRecord s;
            s.loadFromFile(path);
            QVERIFY(s.saveToFile(path));
        }
        QCOMPARE(qmtest::readFile(path + QStringLiteral(".bad")), QByteArray("first,"));
        QCOMPARE(qmtest::readFile(path + QStringLiteral(".bad.2")), QByteArray("second,"));
        QCOMPARE(qmtest::readFile(path + QStringLiteral(".bad.3")), QByteArray("third,"));
    }

    void nonObjectDocumentKeepsWhatTheRecordHeld()
    {
        SettingsRecord s;
        s.FontName = QStringLiteral("kept");
        s.loadFromFile(writeFile("[1, 2, 3]"));
        QCOMPARE(s.FontName, QStringLiteral("kept"));
    }

    void unknownKeysAreDroppedOnTheNextWrite()
    {
        SettingsRecord s;
        const QString path = writeFile(R"({"Bpp": 0, "Colour": "red", "Extra": [1]})");
        s.loadFromFile(path);
        QCOMPARE(s.Bpp, 0);
        QVERIFY(s.saveToFile(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(o.size(), 20);
        QVERIFY(!o.contains(QStringLiteral("Colour")));
        QCOMPARE(o.value(QStringLiteral("Bpp")).toInt(), 0);
    }

    void outOfRangeValuesFallBackToDefaults()
    {
        SettingsRecord s;
        s.loadFromFile(writeFile(R"({"Bpp": 7, "Type": -1, "LvVerIdx": 4, "FontPoint": 100000})"));
        // The record keeps what the file said; the values the window applies are safe.
        QCOMPARE(s.Bpp, 7);
        QCOMPARE(s.bppIndex(), 2);
        QCOMPARE(s.typeIndex(), 0);
        QCOMPARE(s.lvVerIndex(), 1);
        QCOMPARE(s.fontPointSize(), 12);
        s.Bpp = 3;
        s.Type = 2;
        s.LvVerIdx = 3;   // LVGL 9, the last item
        QCOMPARE(s.bppIndex(), 3);
        QCOMPARE(s.typeIndex(), 2);
        QCOMPARE(s.lvVerIndex(), 3);
        // The font dialog's range is 1 to 512 points.
        for (const int point : {2147483647, 513, 0, -5})
            QCOMPARE((s.FontPoint = point, s.fontPointSize()), 12);
        for (const int point : {1, 512})
            QCOMPARE((s.FontPoint = point, s.fontPointSize()), point);
    }

    // One stray byte must not cost every setting: the unreadable file is kept beside the
    // new one, and the caller learns that once.
    void unreadableFileIsKeptAsBad_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("trailing comma") << QByteArray("{\n    \"Bpp\": 3,\n    \"FontName\": \"cn16\",\n}\n");
        QTest::newRow("comment") << QByteArray("// mine\n{\"Bpp\": 3}\n");
        QTest::newRow("not an object") << QByteArray("[3]");
    }
    void unreadableFileIsKeptAsBad()
    {
        QFETCH(QByteArray, content);
        const QString path = writeFile(content);
        QFile::remove(path + QStringLiteral(".bad"));
        SettingsRecord s;
        s.loadFromFile(path);
        QCOMPARE(s.takeSetAsidePath(), QString());
        QVERIFY(s.saveToFile(path));
        QCOMPARE(s.takeSetAsidePath(), path + QStringLiteral(".bad"));
        QCOMPARE(s.takeSetAsidePath(), QString());
        QCOMPARE(qmtest::readFile(path + QStringLiteral(".bad")), content);
        QCOMPARE(qmtest::readFile(path), s.toJson());
    }

    void unwritableFileReportsFailure()
    {
        SettingsRecord s;
        QVERIFY(!s.saveToFile(m_dir.filePath(QStringLiteral("no/such/folder/config.ini"))));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

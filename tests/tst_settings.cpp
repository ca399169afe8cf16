#include "settings/settingsrecord.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeFile(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("config.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
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
        a.Type = 2;
        a.Ansi = false;
        a.FontName = QStringLiteral("font_cn_16");
        a.AweText = QString(QChar(0xF000)) + QChar(0xF2DC);
        a.FontFamily = QStringLiteral("DejaVu Sans");
        a.FontStyle = QStringLiteral("Bold");
        a.FontPoint = 20;
        a.LvVerIdx = 2;
        a.TextSort = false;
        a.SaveFile = false;
        const QString path = m_dir.filePath(QStringLiteral("rt.ini"));
        QVERIFY(a.saveToFile(path));
        SettingsRecord b;
        b.loadFromFile(path);
        QCOMPARE(b.toJson(), a.toJson());
        QCOMPARE(b.AweText, a.AweText);
        QCOMPARE(b.FontVS, -2);
    }

    void writtenFileIsIndentedWithKeysInAscendingOrder()
    {
        SettingsRecord s;
        const QString path = m_dir.filePath(QStringLiteral("order.ini"));
        QVERIFY(s.saveToFile(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        const QStringList expected{"Ansi", "AweText", "Bpp", "Code", "DirText", "DirTxt", "FontFamily",
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

    void fractionsAndEmptyInclude()
    {
        SettingsRecord s;
        s.loadFromFile(writeFile(R"({"LvVerIdx": 1.5, "FontPoint": 10.25, "Bpp": 1.9, "IncText": ""})"));
        QCOMPARE(s.LvVerIdx, 0);
        QCOMPARE(s.FontPoint, 0);
        QCOMPARE(s.Bpp, 1);
        QCOMPARE(s.IncText, QStringLiteral("#include \"lvgl.h\""));

        s.loadFromFile(writeFile(R"({"LvVerIdx": 2.0, "FontPoint": 16})"));
        QCOMPARE(s.LvVerIdx, 2);
        QCOMPARE(s.FontPoint, 16);
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
        QCOMPARE(o.size(), 19);
        QVERIFY(!o.contains(QStringLiteral("Colour")));
        QCOMPARE(o.value(QStringLiteral("Bpp")).toInt(), 0);
    }

    void outOfRangeIndicesFallBackToDefaults()
    {
        SettingsRecord s;
        s.loadFromFile(writeFile(R"({"Bpp": 7, "Type": -1, "LvVerIdx": 3})"));
        // The record keeps what the file said; the indices the window applies are safe.
        QCOMPARE(s.Bpp, 7);
        QCOMPARE(s.bppIndex(), 2);
        QCOMPARE(s.typeIndex(), 0);
        QCOMPARE(s.lvVerIndex(), 1);
        s.Bpp = 3;
        s.Type = 2;
        s.LvVerIdx = 0;
        QCOMPARE(s.bppIndex(), 3);
        QCOMPARE(s.typeIndex(), 2);
        QCOMPARE(s.lvVerIndex(), 0);
    }

    void unwritableFileReportsFailure()
    {
        SettingsRecord s;
        QVERIFY(!s.saveToFile(m_dir.filePath(QStringLiteral("no/such/folder/config.ini"))));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

#include "aboutdlg.h"
#include "aptdlg.h"
#include "notewin.h"
#include "uiresources.h"

#include <QLabel>
#include <QPixmap>
#include <QTextBrowser>
#include <QtTest>

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void picturesAreEmbedded();
    void aboutBox();
    void usageNotes();
    void appreciation();
};

void TestDialogs::initTestCase()
{
    qm::initUiResources();
}

void TestDialogs::picturesAreEmbedded()
{
    for (const char *name : {"icon", "close", "save", "support", "about", "note", "appreciation"}) {
        const QString path = QStringLiteral(":/pic/%1.png").arg(QLatin1String(name));
        QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
    }
    // The About box shows the picture as a 128 x 128 background, unscaled.
    QCOMPARE(QPixmap(QStringLiteral(":/pic/icon.png")).size(), QSize(128, 128));
}

void TestDialogs::aboutBox()
{
    AboutDlg dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("AboutDlg"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("关于"));
    QCOMPARE(dlg.size(), QSize(480, 272));

    auto *img = dlg.findChild<QLabel *>(QStringLiteral("label_aboutimg"));
    QVERIFY(img);
    QCOMPARE(img->geometry(), QRect(30, 60, 128, 128));
    QCOMPARE(img->styleSheet(), QStringLiteral("background-image: url(:/pic/icon.png);"));

    const struct { const char *name; QRect geometry; const char *text; } labels[] = {
        {"label_name", {190, 20, 261, 40}, "Quillmark"},
        {"label_ver", {190, 80, 261, 40}, "版本：V0.5"},
        {"label_author", {190, 140, 261, 40}, nullptr},
        {"label_contact", {190, 200, 261, 40}, nullptr},
    };
    for (const auto &l : labels) {
        auto *label = dlg.findChild<QLabel *>(QLatin1String(l.name));
        QVERIFY2(label, l.name);
        QCOMPARE(label->geometry(), l.geometry);
        QCOMPARE(label->font().pointSize(), 20);
        QVERIFY(!label->text().isEmpty());
        if (l.text)
            QCOMPARE(label->text(), QString::fromUtf8(l.text));
        // Each credit has to fit on its one line.
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= l.geometry.width(), l.name);
    }
}

void TestDialogs::usageNotes()
{
    NoteWin dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("NoteWin"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("使用说明"));
    auto *note = dlg.findChild<QTextBrowser *>(QStringLiteral("tb_note"));
    QVERIFY(note);
    QCOMPARE(note->font().pointSize(), 9);

    const QString text = note->toPlainText();
    const QStringList headings = {"工具使用说明：", "unicode编码生成的字体怎么用：", "XBF外部字库使用方法",
                                  "FreeType TTF使用方法", "类型说明：", "更新记录："};
    int from = 0;
    for (const QString &heading : headings) {
        const int at = text.indexOf(heading, from);
        QVERIFY2(at >= from, qPrintable(heading)); // present and in order
        from = at + heading.size();
    }
    for (const char *version : {"V0.1", "V0.2", "V0.3", "V0.4"})
        QVERIFY(text.indexOf(QLatin1String(version), from) > 0);
}

void TestDialogs::appreciation()
{
    AptDlg dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("AptDlg"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("感谢您的支持"));
    QCOMPARE(dlg.size(), QSize(502, 532));
    auto *label = dlg.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text(),
             QStringLiteral("如果您在使用本工具后感觉帮助到了您,井愿意支持作者的开发及维护工作,您可以赞助作者"));
    auto *picture = dlg.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(picture);
    QCOMPARE(picture->styleSheet(), QStringLiteral("border-image: url(:/pic/appreciation.png);"));
    QVERIFY(dlg.rect().contains(picture->geometry()));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

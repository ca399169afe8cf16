// Times one conversion in the main window, in-process, as a user would run it:
// the click on "开始转换", the modal progress dialog, the text in the output pane or
// the file written. Prints one JSON object on standard output; bench/bench.py runs
// it once per measurement so that every run starts cold, as a freshly opened window.
//
//   quillmark-window-bench --mode pane|file|cancel|interact|first --chars FILE
//       [--font-file FILE | --family NAME] [--pixel-size 16] [--bpp 4]
//       [--lvgl 5.3|6|8] [--type internal|xbf-array|xbf-bin] [--no-sort]
//       [--cancel-after-ms 400] [--out FILE] [--name NAME]
//       [--config FILE] [--screenshot FILE.png]
//
// interact: the pane run, then what a user does next with the large result, each
// step timed for the longest event-loop stall: drag the scroll bar to the end, jump
// back and forth with the keyboard, select all, copy, clear the input, add all hanzi
// again and convert again. Meant for a real X server (QT_QPA_PLATFORM=xcb), where
// painting costs what it costs on a desktop.
// first: a fresh window with an empty input pane, and what a new user does first:
// 加入常用汉字, 清空文字, 加入所有汉字, then 开始转换 (into the pane, with the hanzi
// of the pane; --chars is not used), each step timed for the longest event-loop stall.
// The first click comes 1.5 s after the window is shown (the other modes: 0.3 s).
// --config starts the window from a copy of that config.ini; --screenshot saves the
// window with its frame once the run is shown.

#include "mainwindow.h"
#include "outputview.h"

#include "render/fonts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

struct Options {
    QString mode = QStringLiteral("pane");
    QString charsFile;
    QString fontFile;
    QString family;
    int pixelSize = 16;
    int bpp = 4;
    int lvVerIndex = 1;
    int typeIndex = 0;
    bool sort = true;
    int cancelAfterMs = 400;
    QString outFile;
    QString name;
    QString configFile;
    QString screenshot;
};

// The window with every question answered by the bench and every message box recorded.
class BenchWindow : public MainWindow
{
public:
    QStringList messages;
    QString saveAnswer;
    QString folderAnswer;

protected:
    void showMessage(const QString &title, const QString &text, QMessageBox::Icon) override
    {
        messages << title + QLatin1Char('|') + text;
    }
    QString askSaveFileName(const QString &) override { return saveAnswer; }
    QString askOutputFolder(const QString &) override { return folderAnswer; }
};

// Watches the whole application while a conversion runs: paints of the progress
// dialog, the first paint of the output pane, and how long the event loop stalls.
class Recorder : public QObject
{
public:
    QElapsedTimer clock;          // started at the click
    bool running = false;
    QWidget *paneViewport = nullptr;
    bool watchPane = false;

    // For the next measurement, from now on.
    void restart()
    {
        dialogPaints.clear();
        dialogShown = dialogClosed = dialogDestroyed = panePainted = lastTick = -1;
        maxStall = 0;
        ticks = 0;
        watchPane = false;
        clock.start();
        running = true;
    }

    QVector<qint64> dialogPaints;
    qint64 dialogShown = -1;
    qint64 dialogClosed = -1;
    qint64 dialogDestroyed = -1;
    qint64 panePainted = -1;
    qint64 lastTick = -1;
    qint64 maxStall = 0;
    qint64 ticks = 0;

    void tick()
    {
        if (!running)
            return;
        const qint64 now = clock.elapsed();
        const qint64 from = lastTick < 0 ? 0 : lastTick;
        maxStall = qMax(maxStall, now - from);
        lastTick = now;
        ++ticks;
    }

    // Gap between the click's return and the last tick counts as a stall too.
    void finishStalls(qint64 end)
    {
        const qint64 from = lastTick < 0 ? 0 : lastTick;
        maxStall = qMax(maxStall, end - from);
    }

    qint64 longestDialogGap() const
    {
        if (dialogShown < 0)
            return -1;
        QVector<qint64> marks;
        marks << dialogShown;
        marks += dialogPaints;
        if (dialogClosed >= 0)
            marks << dialogClosed;
        qint64 gap = 0;
        for (int i = 1; i < marks.size(); ++i)
            gap = qMax(gap, marks.at(i) - marks.at(i - 1));
        return gap;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!running && !watchPane)
            return false;
        const QEvent::Type type = event->type();
        if (type != QEvent::Paint && type != QEvent::Show && type != QEvent::Hide)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            return false;
        if (type == QEvent::Paint && watchPane && widget == paneViewport && panePainted < 0)
            panePainted = clock.elapsed();
        if (!qobject_cast<QProgressDialog *>(widget->window()))
            return false;
        const qint64 now = clock.elapsed();
        if (type == QEvent::Paint) {
            dialogPaints << now;
        } else if (widget->isWindow()) {
            if (type == QEvent::Show && dialogShown < 0) {
                dialogShown = now;
                // A cancel hides the dialog at once; its deletion marks the end of the loop.
                connect(widget, &QObject::destroyed, this, [this] {
                    if (dialogDestroyed < 0)
                        dialogDestroyed = clock.elapsed();
                });
            }
            else if (type == QEvent::Hide)
                dialogClosed = now;
        }
        return false;
    }
};

QProgressDialog *openProgressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QProgressDialog *>(w); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

QString sha256(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

bool parseOptions(const QStringList &args, Options *o, QString *error)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString arg = args.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= args.size()) {
                *error = arg + QStringLiteral(" needs a value");
                return QString();
            }
            return args.at(++i);
        };
        if (arg == QLatin1String("--mode"))
            o->mode = value();
        else if (arg == QLatin1String("--chars"))
            o->charsFile = value();
        else if (arg == QLatin1String("--font-file"))
            o->fontFile = value();
        else if (arg == QLatin1String("--family"))
            o->family = value();
        else if (arg == QLatin1String("--pixel-size"))
            o->pixelSize = value().toInt();
        else if (arg == QLatin1String("--bpp"))
            o->bpp = value().toInt();
        else if (arg == QLatin1String("--lvgl")) {
            const QString v = value();
            o->lvVerIndex = v.startsWith(QLatin1Char('5')) ? 0 : v.startsWith(QLatin1Char('8')) ? 2 : 1;
        } else if (arg == QLatin1String("--type")) {
            const QString v = value();
            o->typeIndex = v == QLatin1String("xbf-array") ? 1 : v == QLatin1String("xbf-bin") ? 2 : 0;
        } else if (arg == QLatin1String("--no-sort"))
            o->sort = false;
        else if (arg == QLatin1String("--cancel-after-ms"))
            o->cancelAfterMs = value().toInt();
        else if (arg == QLatin1String("--name"))
            o->name = value();
        else if (arg == QLatin1String("--out"))
            o->outFile = value();
        else if (arg == QLatin1String("--config"))
            o->configFile = value();
        else if (arg == QLatin1String("--screenshot"))
            o->screenshot = value();
        else
            *error = QStringLiteral("unknown option ") + arg;
        if (!error->isEmpty())
            return false;
    }
    if (o->charsFile.isEmpty())
        *error = QStringLiteral("--chars FILE is required");
    else if (o->mode != QLatin1String("pane") && o->mode != QLatin1String("file")
             && o->mode != QLatin1String("cancel") && o->mode != QLatin1String("interact")
             && o->mode != QLatin1String("first"))
        *error = QStringLiteral("--mode is one of pane, file, cancel, interact, first");
    return error->isEmpty();
}

void print(const QJsonObject &object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString &message)
{
    QJsonObject o;
    o.insert(QStringLiteral("ok"), false);
    o.insert(QStringLiteral("error"), message);
    print(o);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qm::installFontSubstitutions();

    Options opt;
    QString error;
    if (!parseOptions(app.arguments(), &opt, &error))
        return fail(error);

    QFile charsFile(opt.charsFile);
    if (!charsFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + opt.charsFile);
    const QString chars = QString::fromUtf8(charsFile.readAll());

    QString family = opt.family;
    if (!opt.fontFile.isEmpty()) {
        const int id = QFontDatabase::addApplicationFont(opt.fontFile);
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty())
            return fail(QStringLiteral("cannot load font file ") + opt.fontFile);
        family = families.first();
    }

    // The window keeps ./config.ini in the folder it runs in; give it a fresh one.
    QTemporaryDir workDir;
    if (!workDir.isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(workDir.path());
    if (!opt.configFile.isEmpty()
        && !QFile::copy(QDir(startDir).absoluteFilePath(opt.configFile), QStringLiteral("config.ini")))
        return fail(QStringLiteral("cannot copy ") + opt.configFile);

    BenchWindow window;
    window.folderAnswer = workDir.path();
    window.saveAnswer = opt.outFile.isEmpty() ? workDir.filePath(QStringLiteral("window_out.c"))
                                              : QDir(startDir).absoluteFilePath(opt.outFile);
    QFile::remove(window.saveAnswer);

    auto *input = window.findChild<QPlainTextEdit *>(QStringLiteral("pte_input"));
    auto *output = window.findChild<OutputView *>(QStringLiteral("tb_output"));
    auto *convert = window.findChild<QAbstractButton *>(QStringLiteral("btn_convert"));
    auto *toFile = window.findChild<QCheckBox *>(QStringLiteral("check_auto_save_file"));
    auto *ascii = window.findChild<QCheckBox *>(QStringLiteral("check_ascii"));
    auto *sort = window.findChild<QCheckBox *>(QStringLiteral("check_qsort"));
    auto *bppBox = window.findChild<QComboBox *>(QStringLiteral("combo_bpp"));
    auto *typeBox = window.findChild<QComboBox *>(QStringLiteral("combo_type"));
    auto *lvBox = window.findChild<QComboBox *>(QStringLiteral("combo_lv_ver"));
    auto *nameEdit = window.findChild<QLineEdit *>(QStringLiteral("lineEdit_fontName"));
    if (!input || !output || !convert || !toFile || !ascii || !sort || !bppBox || !typeBox || !lvBox
        || !nameEdit)
        return fail(QStringLiteral("a control of the main window was not found"));

    const bool firstUse = opt.mode == QLatin1String("first");
    if (!firstUse)
        input->setPlainText(chars);
    if (!opt.name.isEmpty())
        nameEdit->setText(opt.name);
    ascii->setChecked(false);
    sort->setChecked(opt.sort);
    const int bppIndex = bppBox->findText(QString::number(opt.bpp));
    if (bppIndex < 0)
        return fail(QStringLiteral("bpp %1 is not offered").arg(opt.bpp));
    bppBox->setCurrentIndex(bppIndex);
    typeBox->setCurrentIndex(opt.typeIndex);
    lvBox->setCurrentIndex(opt.lvVerIndex);
    toFile->setChecked(opt.mode == QLatin1String("file"));
    if (!family.isEmpty() || opt.pixelSize > 0) {
        // Built as quillmark-cli builds its font, so both give the same text.
        QFont font;
        font.setFamily(family.isEmpty() ? input->font().family() : family);
        font.setStyleName(QStringLiteral("Regular"));
        font.setPixelSize(opt.pixelSize);
        input->setFont(font);
    }

    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2000
           && !(window.windowHandle() && window.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // A new user looks at the window a moment before the first click; the window
    // prepares the input pane's font meanwhile.
    const int idleMs = firstUse ? 1500 : 300;
    while (settle.elapsed() < idleMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    Recorder rec;
    rec.paneViewport = output->viewport();
    app.installEventFilter(&rec);

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&rec] { rec.tick(); });
    ticker.start();

    QVector<qint64> textChanges;
    QObject::connect(output, &OutputView::textChanged, [&] {
        if (rec.running)
            textChanges << rec.clock.elapsed();
    });

    if (firstUse) {
        // Each step as a click inside the event loop, then half a second more, so that
        // the layout and paints it causes are timed too.
        QJsonObject steps;
        auto timeStep = [&](const char *name, QAbstractButton *button) {
            QEventLoop loop;
            rec.restart();
            qint64 finished = -1;
            QTimer::singleShot(0, [&] {
                button->click();
                finished = rec.clock.elapsed();
                QTimer::singleShot(500, &loop, &QEventLoop::quit);
            });
            loop.exec();
            rec.running = false;
            QJsonObject step;
            step.insert(QStringLiteral("max_stall_ms"), rec.maxStall);
            step.insert(QStringLiteral("duration_ms"), finished);
            if (rec.dialogShown >= 0)
                step.insert(QStringLiteral("dialog_max_paint_gap_ms"), rec.longestDialogGap());
            steps.insert(QLatin1String(name), step);
        };
        auto button = [&window](const char *name) {
            return window.findChild<QAbstractButton *>(QLatin1String(name));
        };
        timeStep("add_common_hanzi", button("btn_comHz"));
        timeStep("clear_input", button("btn_clrText"));
        timeStep("add_all_hanzi", button("btn_allHz"));
        timeStep("convert", convert);
        ticker.stop();
        app.removeEventFilter(&rec);
        QJsonObject o;
        o.insert(QStringLiteral("mode"), opt.mode);
        o.insert(QStringLiteral("chars"), output->toPlainText().isEmpty() ? 0 : input->toPlainText().size());
        o.insert(QStringLiteral("logical_dpi"), window.logicalDpiY());
        o.insert(QStringLiteral("steps"), steps);
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        o.insert(QStringLiteral("peak_rss_kib"), double(usage.ru_maxrss));
        const bool ok = !output->toPlainText().isEmpty();
        o.insert(QStringLiteral("ok"), ok);
        print(o);
        QDir::setCurrent(startDir);
        return ok ? 0 : 1;
    }

    qint64 cancelAt = -1;
    int cancelValue = -1;
    int cancelMax = -1;
    std::function<void()> pressCancel = [&] {
        if (!rec.running)
            return;
        QProgressDialog *dialog = openProgressDialog();
        QPushButton *button = dialog ? dialog->findChild<QPushButton *>() : nullptr;
        if (!button) {  // not open yet: try again shortly
            QTimer::singleShot(5, pressCancel);
            return;
        }
        cancelValue = dialog->value();
        cancelMax = dialog->maximum();
        cancelAt = rec.clock.elapsed();
        button->click();
    };
    if (opt.mode == QLatin1String("cancel"))
        QTimer::singleShot(opt.cancelAfterMs, pressCancel);

    rec.running = true;
    rec.clock.start();
    convert->click();
    const qint64 returned = rec.clock.elapsed();
    rec.finishStalls(returned);
    rec.running = false;
    const QString paneText = output->toPlainText();

    qint64 visible = -1;
    if (opt.mode != QLatin1String("file") && !paneText.isEmpty()) {
        // The text is in the pane; it is visible once the pane has painted it.
        rec.watchPane = true;
        QElapsedTimer wait;
        wait.start();
        output->viewport()->update();
        while (rec.panePainted < 0 && wait.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        visible = rec.panePainted;
        rec.watchPane = false;
    }

    ticker.stop();
    app.removeEventFilter(&rec);

    QJsonObject o;
    o.insert(QStringLiteral("mode"), opt.mode);
    o.insert(QStringLiteral("chars"), chars.size());
    o.insert(QStringLiteral("family"), input->font().family());
    o.insert(QStringLiteral("messages"), QJsonArray::fromStringList(window.messages));
    o.insert(QStringLiteral("click_to_return_ms"), returned);
    o.insert(QStringLiteral("dialog_shown_ms"), rec.dialogShown);
    // A dialog deleted while shown gets no hide event of its own; its deletion closes it.
    if (rec.dialogDestroyed >= 0 && (rec.dialogClosed < 0 || rec.dialogDestroyed < rec.dialogClosed))
        rec.dialogClosed = rec.dialogDestroyed;
    o.insert(QStringLiteral("dialog_closed_ms"), rec.dialogClosed);
    o.insert(QStringLiteral("dialog_paints"), rec.dialogPaints.size());
    o.insert(QStringLiteral("dialog_max_paint_gap_ms"), rec.longestDialogGap());
    o.insert(QStringLiteral("max_stall_ms"), rec.maxStall);
    o.insert(QStringLiteral("event_loop_ticks"), rec.ticks);
    if (!textChanges.isEmpty())
        o.insert(QStringLiteral("text_delivered_ms"), textChanges.last());

    // Messages after a produced text are notes (the large-font warning, say); without
    // a text they are the refusal.
    bool ok = true;
    if (opt.mode == QLatin1String("file")) {
        QFile written(window.saveAnswer);
        const bool exists = written.open(QIODevice::ReadOnly);
        const QByteArray data = exists ? written.readAll() : QByteArray();
        ok = ok && exists && !data.isEmpty();
        o.insert(QStringLiteral("file_bytes"), data.size());
        o.insert(QStringLiteral("text_sha256"), sha256(data));
        o.insert(QStringLiteral("click_to_file_ms"), exists ? returned : -1);
    } else {
        const QByteArray data = paneText.toUtf8();
        ok = ok && !data.isEmpty();
        o.insert(QStringLiteral("text_bytes"), data.size());
        o.insert(QStringLiteral("text_sha256"), sha256(data));
        o.insert(QStringLiteral("click_to_visible_ms"), visible);
    }
    if (opt.mode == QLatin1String("cancel")) {
        o.insert(QStringLiteral("cancel_pressed_ms"), cancelAt);
        o.insert(QStringLiteral("cancel_at_value"), cancelValue);
        o.insert(QStringLiteral("cancel_of_total"), cancelMax);
        if (cancelAt >= 0) {
            o.insert(QStringLiteral("cancel_to_dialog_closed_ms"),
                     rec.dialogDestroyed >= 0 ? rec.dialogDestroyed - cancelAt : -1);
            // The pane is set as soon as the generator returns: the first change after
            // the cancel bounds the generator's return from above.
            qint64 firstChange = -1;
            for (qint64 t : qAsConst(textChanges)) {
                if (t >= cancelAt) {
                    firstChange = t;
                    break;
                }
            }
            o.insert(QStringLiteral("cancel_to_generator_return_ms"),
                     firstChange >= 0 ? firstChange - cancelAt : -1);
            o.insert(QStringLiteral("cancel_to_text_ms"),
                     textChanges.isEmpty() ? -1 : textChanges.last() - cancelAt);
            o.insert(QStringLiteral("cancel_to_return_ms"), returned - cancelAt);
        } else {
            ok = false;
            o.insert(QStringLiteral("error"), QStringLiteral("the conversion ended before the cancel"));
        }
    }
    // What the user does next is timed after the run's own figures are taken.
    app.installEventFilter(&rec);
    ticker.start();
    QJsonObject steps;
    if (opt.mode == QLatin1String("interact") && !paneText.isEmpty()) {
        auto *clearInput = window.findChild<QAbstractButton *>(QStringLiteral("btn_clrText"));
        auto *allHanzi = window.findChild<QAbstractButton *>(QStringLiteral("btn_allHz"));
        QScrollBar *bar = output->verticalScrollBar();
        auto key = [output](int k, Qt::KeyboardModifiers m) {
            QKeyEvent press(QEvent::KeyPress, k, m);
            QCoreApplication::sendEvent(output, &press);
            QKeyEvent release(QEvent::KeyRelease, k, m);
            QCoreApplication::sendEvent(output, &release);
        };
        // A new text in the pane is visible with the pane's next paint.
        QObject::connect(output, &OutputView::textChanged, [&] {
            if (rec.running && !output->toPlainText().isEmpty())
                rec.watchPane = true;
        });
        using Done = std::function<void()>;
        auto runStep = [&](const char *name, const std::function<void(Done)> &act) {
            QEventLoop loop;
            rec.restart();
            qint64 finished = -1;
            // The step runs inside the event loop, as a click would; the loop then goes
            // on for a while so that the paints the step caused are timed too.
            QTimer::singleShot(0, [&] {
                act([&] {
                    finished = rec.clock.elapsed();
                    QTimer::singleShot(500, &loop, &QEventLoop::quit);
                });
            });
            loop.exec();
            rec.running = false;
            QJsonObject step;
            step.insert(QStringLiteral("max_stall_ms"), rec.maxStall);
            step.insert(QStringLiteral("duration_ms"), finished);
            if (rec.dialogShown >= 0) {
                step.insert(QStringLiteral("dialog_shown_ms"), rec.dialogShown);
                step.insert(QStringLiteral("dialog_max_paint_gap_ms"), rec.longestDialogGap());
                step.insert(QStringLiteral("click_to_visible_ms"), rec.panePainted);
            }
            steps.insert(QLatin1String(name), step);
        };
        runStep("drag_to_end", [&](Done done) {
            // The thumb dragged from top to bottom in 40 moves, 16 ms apart.
            auto move = std::make_shared<std::function<void(int)>>();
            *move = [&, move, done](int i) {
                bar->setValue(int(qint64(bar->maximum()) * i / 40));
                if (i < 40)
                    QTimer::singleShot(16, [move, i] { (*move)(i + 1); });
                else
                    done();
            };
            (*move)(1);
        });
        runStep("keys_home_end_pages", [&](Done done) {
            key(Qt::Key_Home, Qt::ControlModifier);
            QCoreApplication::processEvents();
            key(Qt::Key_End, Qt::ControlModifier);
            QCoreApplication::processEvents();
            for (int i = 0; i < 10; ++i) {
                key(Qt::Key_PageUp, Qt::NoModifier);
                QCoreApplication::processEvents();
            }
            done();
        });
        runStep("select_all", [&](Done done) {
            key(Qt::Key_A, Qt::ControlModifier);
            done();
        });
        runStep("copy", [&](Done done) {
            key(Qt::Key_C, Qt::ControlModifier);
            done();
        });
        runStep("clear_input", [&](Done done) {
            clearInput->click();
            done();
        });
        runStep("add_all_hanzi", [&](Done done) {
            allHanzi->click();
            done();
        });
        runStep("convert_again", [&](Done done) {
            convert->click();
            done();
        });
        const bool same = output->toPlainText() == paneText;
        steps.insert(QStringLiteral("second_text_equal"), same);
        ok = ok && same;
        o.insert(QStringLiteral("steps"), steps);
    }
    ticker.stop();
    app.removeEventFilter(&rec);

    if (!opt.screenshot.isEmpty()) {
        QEventLoop loop;
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
        QScreen *screen = window.screen();
        const QPixmap shot = screen ? screen->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                                         window.frameGeometry().width(),
                                                         window.frameGeometry().height())
                                    : window.grab();
        shot.save(QDir(startDir).absoluteFilePath(opt.screenshot));
    }

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    o.insert(QStringLiteral("peak_rss_kib"), double(usage.ru_maxrss));
    o.insert(QStringLiteral("ok"), ok);
    print(o);
    QDir::setCurrent(startDir);
    return ok ? 0 : 1;
}

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdlg.h"
#include "aptdlg.h"
#include "awedlg.h"
#include "notewin.h"
#include "previewdlg.h"
#include "uiresources.h"

#include "outputview.h"

#include "files/atomicfile.h"
#include "charset/charset.h"
#include "charset/chartables.h"
#include "conversion/conversion.h"
#include "request/fontname.h"
#include "render/fonts.h"
#include "render/glyphcapture.h"
#include "files/textfile.h"
#include "icons/iconfont.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QTextLayout>
#include <QTimer>
#include <QCloseEvent>
#include <QComboBox>
#include <QtMath>

#include <algorithm>
#include <functional>

namespace {

const char kDownloadLink[] =
    "<a href=\"https://quillmark.dev/download\">论坛新地址/下载地址/更新地址</a>";

// The modal progress dialog of a conversion. The render label shows the character
// being converted. Events are processed at most every 15 ms, which keeps the window
// alive and a cancel quick without making a large set wait on repaints.
class WindowProgress : public qm::ConversionProgress
{
public:
    using ReplaceQuestion = std::function<bool(const QStringList &, int)>;
    // `area` is where the render label may grow to; a larger glyph is shown scaled down.
    WindowProgress(QWidget *parent, QLabel *preview, const QSize &area, ReplaceQuestion askReplace)
        : m_parent(parent), m_preview(preview), m_area(area), m_askReplace(std::move(askReplace)) {}
    ~WindowProgress() override { delete m_dialog; }

    void begin(int total) override
    {
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setWindowTitle(QStringLiteral("正在转换/Convert..."));
        m_dialog->setLabelText(QStringLiteral("等待中/Wait..."));
        m_dialog->setRange(0, total);
        m_dialog->setModal(true);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setCancelButtonText(QStringLiteral("取消/cancel"));
        // Wide enough for the window manager to show the whole title beside its buttons.
        const int titleWidth = m_dialog->fontMetrics().horizontalAdvance(m_dialog->windowTitle());
        m_dialog->setMinimumWidth(qMax(m_dialog->sizeHint().width(), 2 * titleWidth + 120));
        m_dialog->show();
        QCoreApplication::processEvents();
        m_sinceUpdate.start();
    }

    bool step(int index, QChar ch, const QFont &font, int width, int height) override
    {
        m_last = {ch, font, width, height};
        if (index == 0 || m_sinceUpdate.elapsed() >= 15) {
            showPreview();
            m_dialog->setValue(index);
            QCoreApplication::processEvents();
            m_sinceUpdate.restart();
        }
        return !m_dialog->wasCanceled();
    }

    bool replaceAfterCancel(int written, const QStringList &existing) override
    {
        return m_askReplace(existing, written);
    }

    void end() override
    {
        // The label is left showing the last character converted.
        if (m_last.width > 0 || m_last.height > 0)
            showPreview();
        delete m_dialog;
        m_dialog = nullptr;
    }

private:
    struct Preview {
        QChar ch;
        QFont font;
        int width = 0;
        int height = 0;
    };

    void showPreview()
    {
        QFont font = m_last.font;
        QSize box(m_last.width, m_last.height);
        if (box.width() > m_area.width() || box.height() > m_area.height()) {
            const qreal scale = qMin(qreal(m_area.width()) / qMax(1, box.width()),
                                     qreal(m_area.height()) / qMax(1, box.height()));
            if (font.pixelSize() > 0)
                font.setPixelSize(qMax(1, int(font.pixelSize() * scale)));
            else
                font.setPointSizeF(qMax(1.0, font.pointSizeF() * scale));
            box = (QSizeF(box) * scale).toSize().boundedTo(m_area);
        }
        m_preview->setFont(font);
        m_preview->resize(box);
        m_preview->setText(QString(m_last.ch));
    }

    Preview m_last;
    QWidget *m_parent;
    QLabel *m_preview;
    QSize m_area;
    ReplaceQuestion m_askReplace;
    QProgressDialog *m_dialog = nullptr;
    QElapsedTimer m_sinceUpdate;
};

// "已写入 a.bin（2.5 MB），a.c（2.9 kB）" and the folder they share, which the status
// line shortens first; files in different folders are named with their paths.
struct WrittenFiles {
    QString text;
    QString folder;
};

WrittenFiles writtenFilesText(const QStringList &files)
{
    if (files.isEmpty())
        return {};
    const QString folder = QFileInfo(files.first()).absolutePath();
    const bool oneFolder = std::all_of(files.cbegin(), files.cend(), [&folder](const QString &file) {
        return QFileInfo(file).absolutePath() == folder;
    });
    QStringList parts;
    for (const QString &file : files) {
        const QFileInfo info(file);
        parts << QStringLiteral("%1（%2）").arg(oneFolder ? info.fileName() : QDir::toNativeSeparators(file),
                                               QLocale::c().formattedDataSize(info.size(), 1,
                                                   QLocale::DataSizeTraditionalFormat));
    }
    return {QStringLiteral("已写入 ") + parts.join(QStringLiteral("，")),
            oneFolder ? QDir::toNativeSeparators(folder) : QString()};
}

// The file names joined for a sentence: "a.bin 和 a.c".
QString fileNames(const QStringList &files)
{
    QStringList names;
    for (const QString &file : files)
        names << QFileInfo(file).fileName();
    return names.join(QStringLiteral(" 和 "));
}

// The system's reason for a failed file operation, in Chinese first and then as the
// system gave it, for searching.
QString reasonText(const QString &systemText)
{
    static const struct { const char *system; const char *chinese; } known[] = {
        {"No space left on device", "磁盘空间不足"},
        {"Disk quota exceeded", "超出磁盘配额"},
        {"File too large", "文件超过系统允许的大小"},
        {"Permission denied", "没有权限"},
        {"Operation not permitted", "不允许的操作"},
        {"Read-only file system", "文件系统只读"},
        {"No such file or directory", "文件或文件夹不存在"},
        {"Not a directory", "路径中有一项不是文件夹"},
        {"Is a directory", "这是一个文件夹"},
        {"File name too long", "文件名太长"},
        {"Input/output error", "读写设备出错"},
        {"Too many open files", "打开的文件太多"},
        {"Text file busy", "文件正被使用"},
        {"it is a folder", "这是一个文件夹"},
        {"it is not a text file (UTF-8, UTF-16, UTF-32 or GB 18030)",
         "不是文本文件（只读 UTF-8、UTF-16、UTF-32 或 GB 18030）"},
    };
    const QString trimmed = systemText.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("未知原因");
    for (const auto &k : known) {
        if (trimmed.compare(QLatin1String(k.system), Qt::CaseInsensitive) == 0)
            return QStringLiteral("%1（%2）").arg(QString::fromUtf8(k.chinese), trimmed);
    }
    // A reason the system already gives in Chinese, or one not listed: as it is.
    bool ascii = true;
    for (const QChar c : trimmed)
        ascii = ascii && c.unicode() < 0x80;
    return ascii ? QStringLiteral("系统错误（%1）").arg(trimmed) : trimmed;
}

// The first lines of what the user typed, line breaks kept, then the chosen icons: the
// preview's first sample. Lines are cut at a length that fits the preview, never in
// the middle of a surrogate pair.
QString typedSample(const QString &typed, const QString &icons)
{
    const int maxLines = 4;
    const int maxLength = 24;
    auto cut = [maxLength](const QString &line) {
        QString out;
        int count = 0;
        for (int i = 0; i < line.size() && count < maxLength; ++i) {
            const QChar c = line.at(i);
            if (c.isNull() || c.category() == QChar::Other_Control)
                continue;
            out += c;
            if (c.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate())
                out += line.at(++i);
            ++count;
        }
        return out;
    };
    QStringList lines;
    for (const QString &line : typed.split(QLatin1Char('\n'))) {
        const QString shown = cut(line);
        if (shown.trimmed().isEmpty())
            continue;
        lines << shown;
        if (lines.size() == maxLines)
            break;
    }
    if (!icons.isEmpty())
        lines << cut(icons);
    return lines.join(QLatin1Char('\n'));
}

// The chosen icons spaced apart, as the main window shows them.
QString spacedIcons(const QString &icons)
{
    QString spaced;
    for (const QChar c : icons)
        spaced += c + QLatin1Char(' ');
    return spaced.trimmed();
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    qm::initUiResources();
    ui->setupUi(this);

    fitToScreen();
    ui->label_link->setText(QString::fromUtf8(kDownloadLink));
    m_settings.loadFromFile();
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    applySettingsToControls();
    loadIconFont();
    ui->label_awe_icons->installEventFilter(this);
    ui->label_status->installEventFilter(this);
    showFontInfo();
    showChosenIcons();
    connect(PreviewDlg::addButton(ui->horizontalLayout_3, ui->btn_save), &QPushButton::clicked, this,
            &MainWindow::showPreview);
    // Before anything was converted the render label has nothing to show: a black box
    // without a word beside 抗锯齿 looks like a broken control.
    m_render_label_style = ui->label_img->styleSheet();
    ui->label_img->setStyleSheet(QString());
    // A colour set in a control's style would also colour it disabled: it keeps its
    // colour only while enabled, so that the options LVGL 5.3 ignores look it.
    for (QWidget *w : ui->widget_img->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QString style = w->styleSheet().trimmed();
        if (style.isEmpty() || style.contains(QLatin1Char('{')) || w == ui->label_img)
            continue;
        const QString type = QString::fromLatin1(w->metaObject()->className());
        w->setStyleSheet(QStringLiteral("%1{%2}\n%1:disabled{color: rgb(150, 150, 150);}").arg(type, style));
    }
    setUpKeyboard();
    warmInputFont();
    connect(ui->combo_lv_ver, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::showLegacyOptions);
    showLegacyOptions();
}

void MainWindow::setUpKeyboard()
{
    // Tab moves on: a tab in the include text would be written into every file, and the
    // input pane would keep the focus from the commands below it.
    ui->pte_include->setTabChangesFocus(true);
    ui->pte_input->setTabChangesFocus(true);

    auto *preview = findChild<QPushButton *>(QStringLiteral("btn_preview"));
    const struct { QPushButton *button; QList<QKeySequence> keys; } commands[] = {
        {ui->btn_convert, {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
        {ui->btn_copy, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}},
        {preview, {QKeySequence(Qt::Key_F5)}},
    };
    for (const auto &c : commands) {
        if (!c.button)
            continue;
        for (const QKeySequence &keys : c.keys) {
            auto *shortcut = new QShortcut(keys, this);
            connect(shortcut, &QShortcut::activated, c.button, [button = c.button] {
                if (button->isEnabled() && button->isVisible())
                    button->click();
            });
        }
        c.button->setToolTip(QStringLiteral("%1 (%2)").arg(c.button->text(),
                                                          c.keys.first().toString(QKeySequence::NativeText)));
    }
    // 保存 is the menu's action as well; its shortcut works from the button's tooltip too.
    ui->action_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ui->btn_save->setToolTip(QStringLiteral("保存 (%1)").arg(ui->action_save->shortcut().toString(QKeySequence::NativeText)));
}

void MainWindow::warmInputFont()
{
    // The common hanzi first: they are the first button most users press.
    if (m_warm_text.isEmpty())
        m_warm_text = qm::commonChineseCharacters() + qm::allChineseCharacters();
    m_warm_font = ui->pte_input->font();
    m_warm_done = 0;
    if (!m_warm_queued) {
        m_warm_queued = true;
        QTimer::singleShot(0, this, &MainWindow::warmNextSlice);
    }
}

void MainWindow::warmNextSlice()
{
    m_warm_queued = false;
    if (m_warm_done >= m_warm_text.size())
        return;
    // A conversion's progress dialog processes events too; the glyphs go first.
    if (m_converting) {
        m_warm_queued = true;
        QTimer::singleShot(200, this, &MainWindow::warmNextSlice);
        return;
    }
    // A font chosen meanwhile starts the work again with the new font.
    if (m_warm_font != ui->pte_input->font()) {
        warmInputFont();
        return;
    }
    // Slices short enough that a click waits no longer than a frame or two.
    QElapsedTimer slice;
    slice.start();
    const int chunk = 200;
    while (m_warm_done < m_warm_text.size() && slice.elapsed() < 15) {
        QTextLayout layout(m_warm_text.mid(m_warm_done, chunk), m_warm_font, ui->pte_input->viewport());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        m_warm_done += chunk;
    }
    if (m_warm_done < m_warm_text.size()) {
        m_warm_queued = true;
        QTimer::singleShot(1, this, &MainWindow::warmNextSlice);
    }
}

void MainWindow::showLegacyOptions()
{
    const bool legacy = ui->combo_lv_ver->currentIndex() == 0;
    const struct { QWidget *widget; const char *why; } ignored[] = {
        {ui->combo_type, "LVGL 5.3 及以下只生成内部字体，不用这个选项"},
        {ui->label_type, "LVGL 5.3 及以下只生成内部字体，不用这个选项"},
        {ui->check_auto_save_file, "LVGL 5.3 及以下的结果总放在转换结果中，可用“保存”存为文件"},
        {ui->pte_include, "LVGL 5.3 及以下的文件固定包含 #include \"./lv_misc/lv_font.h\""},
        {ui->label_fontName_2, "LVGL 5.3 及以下的文件固定包含 #include \"./lv_misc/lv_font.h\""},
        {ui->check_qsort, "LVGL 5.3 及以下的字体按输入顺序列出字符，不排序"},
    };
    for (const auto &i : ignored) {
        i.widget->setEnabled(!legacy);
        i.widget->setToolTip(legacy ? QString::fromUtf8(i.why) : QString());
    }
}

void MainWindow::fitToScreen()
{
    // The option controls sit at fixed places laid out for 96 dpi, and the buttons'
    // style sizes their text in pixels. At a higher DPI every text grows with the DPI,
    // so the places and the button styles grow by the same factor.
    const qreal f = qMax(1.0, logicalDpiY() / 96.0);
    auto scaled = [f](int v) { return qRound(v * f); };
    const QList<QWidget *> options =
        ui->widget_img->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    if (f > 1.0) {
        // Corners are scaled, not sizes, so that neighbours stay apart after rounding.
        for (QWidget *w : options) {
            const QRect g = w->geometry();
            w->setGeometry(QRect(QPoint(scaled(g.left()), scaled(g.top())),
                                 QPoint(scaled(g.right() + 1) - 1, scaled(g.bottom() + 1) - 1)));
        }
        ui->widget_img->setMinimumSize(qCeil(ui->widget_img->minimumWidth() * f),
                                       qCeil(ui->widget_img->minimumHeight() * f));
        // The buttons' widths stay as laid out for 96 dpi (their text fits them up to
        // 150%), so that the window still fits a laptop's screen at 125% and 150%.
        const QRegularExpression pixels(QStringLiteral("(\\d+)px"));
        for (QPushButton *b : findChildren<QPushButton *>()) {
            QString style = b->styleSheet();
            QString out;
            int last = 0;
            auto it = pixels.globalMatch(style);
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                out += style.midRef(last, m.capturedStart() - last);
                out += QString::number(scaled(m.captured(1).toInt())) + QStringLiteral("px");
                last = m.capturedEnd();
            }
            out += style.midRef(last);
            b->setStyleSheet(out);
        }
    }
    // A combo box narrower than its longest item cuts it off ("XBF字体,外部bin文件"):
    // it grows to the left, keeping the column's right edge, and when its label is in
    // the way both labels move left together, up to the controls before them.
    const struct { QComboBox *combo; QLabel *label; } combos[] = {
        {ui->combo_type, ui->label_type}, {ui->combo_lv_ver, ui->label_lv_ver}};
    const int gap = scaled(4);
    const int leftmost = qMax(ui->combo_bpp->geometry().right(), ui->check_ascii->geometry().right()) + scaled(10);
    int labelsX = ui->label_type->x();
    for (const auto &c : combos) {
        // Sizes are known once the style has been applied.
        c.combo->ensurePolished();
        const int comboLeft = c.combo->geometry().right() + 1 - c.combo->sizeHint().width();
        labelsX = qMin(labelsX, comboLeft - gap - c.label->width());
    }
    labelsX = qMax(labelsX, leftmost);
    for (const auto &c : combos) {
        c.label->move(labelsX, c.label->y());
        const QRect g = c.combo->geometry();
        const int left = qMax(labelsX + c.label->width() + gap, g.right() + 1 - c.combo->sizeHint().width());
        if (left < g.left())
            c.combo->setGeometry(QRect(QPoint(left, g.top()), g.bottomRight()));
    }
    // The options do not give way when the window narrows: the panes do.
    int optionsRight = 0;
    for (QWidget *w : options)
        optionsRight = qMax(optionsRight, w->geometry().right() + 1);
    ui->widget_img->setMinimumWidth(qMax(ui->widget_img->minimumWidth(), optionsRight + 1));
    if (f <= 1.0)
        return;
    QSize size(scaled(width()), scaled(height()));
    if (const QScreen *s = screen()) {
        // The window manager's frame and title bar come on top of the size asked for.
        const QSize frame(16, qRound(40 * f));
        size = size.boundedTo(s->availableGeometry().size() - frame);
    }
    resize(size);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::applySettingsToControls()
{
    // An index that a hand-edited file put outside a box's items falls back to the
    // default, so the pixel depth is always one of the box's values.
    ui->combo_bpp->setCurrentIndex(m_settings.bppIndex());
    ui->combo_type->setCurrentIndex(m_settings.typeIndex());
    ui->check_ascii->setChecked(m_settings.Ansi);
    ui->lineEdit_fontName->setText(m_settings.FontName);
    ui->combo_lv_ver->setCurrentIndex(m_settings.lvVerIndex());
    QFont font = ui->pte_input->font();
    font.setFamily(m_settings.FontFamily);
    font.setStyleName(m_settings.FontStyle);
    font.setPointSize(m_settings.fontPointSize());
    ui->pte_input->setFont(font);
    ui->check_qsort->setChecked(m_settings.TextSort);
    ui->check_compress->setChecked(m_settings.Compress);
    ui->check_auto_save_file->setChecked(m_settings.SaveFile);
    ui->pte_include->clear();
    ui->pte_include->appendPlainText(m_settings.IncText);
}

void MainWindow::loadIconFont()
{
    m_awe_font = qm::loadIconFont(qm::iconFontPath(), QFont());
    m_awe_list = qm::readIconCatalogue(qm::iconStylesheetPath());
    m_awe_text = m_settings.AweText;
}

bool MainWindow::prepareConversion()
{
    const bool removeRepeats = ui->check_del_repeat->isChecked();
    const bool addAscii = ui->check_ascii->isChecked();
    const bool sort = ui->check_qsort->isChecked();

    // LVGL 5.3 draws a font's bitmaps itself: it has no place for a decoder.
    if (ui->check_compress->isChecked() && ui->combo_lv_ver->currentIndex() == 0) {
        showMessage(QStringLiteral("提示"),
                    QStringLiteral("LVGL 5.3及以下版本的字体不能压缩字形（其位图由LVGL直接读取），"
                                   "请选择6.0以上版本或取消“压缩字形”"));
        return false;
    }

    QString set = qm::buildCharacterSet(ui->pte_input->toPlainText(), m_awe_text,
                                        {addAscii, removeRepeats, false});
    if (set.isEmpty()) {
        showMessage(QStringLiteral("提示"), QStringLiteral("请输入内容以转换"));
        return false;
    }
    const QString beyondBmp = qm::beyondBmpProblem(set);
    if (!beyondBmp.isEmpty()) {
        showMessage(QStringLiteral("提示"), beyondBmp);
        return false;
    }
    if (sort)
        qm::sortChars(set);
    m_conv_text = set;

    const int bpp = ui->combo_bpp->currentText().toInt();
    m_bpp = quint8(qm::isValidBpp(bpp) ? bpp : 4);
    m_bpp_mask = quint8(qm::bppMask(m_bpp));

    if (ui->lineEdit_fontName->text().isEmpty()) {
        showMessage(QStringLiteral("提示"), QStringLiteral("请输入字体名"));
        return false;
    }
    const QString nameProblem = qm::fontNameProblem(ui->lineEdit_fontName->text());
    if (!nameProblem.isEmpty()) {
        showMessage(QStringLiteral("提示"), nameProblem);
        return false;
    }
    // LVGL 5.3's file has an include of its own; the (disabled) field is not asked for.
    if (ui->combo_lv_ver->currentIndex() != 0 && ui->pte_include->toPlainText().isEmpty()) {
        showMessage(QStringLiteral("提示"), QStringLiteral("include不能为空"));
        return false;
    }
    m_font_height = 0;
    return true;
}

qm::ConversionRequest MainWindow::buildRequest(qm::GeneratorKind kind) const
{
    qm::ConversionRequest r;
    if (kind == qm::GeneratorKind::Legacy) {
        // The LVGL 5.3 font lists its glyphs in input order, whatever the sort option says.
        r.chars = qm::buildCharacterSet(ui->pte_input->toPlainText(), m_awe_text,
                                        {ui->check_ascii->isChecked(), ui->check_del_repeat->isChecked(),
                                         false});
    } else {
        r.chars = m_conv_text;
    }
    r.bpp = m_bpp;
    r.bppMask = m_bpp_mask;
    r.lvVer = m_lv_ver;
    r.font = ui->pte_input->font();
    r.iconFont = m_awe_font;
    r.iconText = m_awe_text;
    r.fontName = ui->lineEdit_fontName->text();
    r.includeText = ui->pte_include->toPlainText();
    r.bppText = ui->combo_bpp->currentText();
    r.typeText = ui->combo_type->currentText();
    r.sorted = ui->check_qsort->isChecked();
    r.compress = ui->check_compress->isChecked();
    return r;
}

void MainWindow::on_btn_convert_clicked()
{
    if (!prepareConversion())
        return;
    m_lv_ver = quint8(ui->combo_lv_ver->currentIndex());
    const qm::GeneratorKind kind =
        qm::pickGenerator(m_lv_ver, ui->combo_type->currentIndex(), ui->check_qsort->isChecked());
    runGenerator(kind);
    copyControlsToSettings();
    saveSettings();
}

void MainWindow::runGenerator(qm::GeneratorKind kind)
{
    const bool toFile = qm::supportsDirectToFile(kind) && ui->check_auto_save_file->isChecked();
    if (toFile && !askDirectToFileTarget())
        return;

    qm::ConversionRequest request = buildRequest(kind);
    if (kind == qm::GeneratorKind::XbfBin) {
        const QString folder = askOutputFolder(startFolder());
        if (folder.isEmpty()) {
            showMessage(QStringLiteral("提示"), QStringLiteral("未选择保存文件夹"));
            return;
        }
        m_settings.DirText = folder;
        request.outputDir = folder;
    }

    // Every question has been answered: the new result replaces the old one.
    ui->tb_output->clear();
    m_preview_source = qm::PreviewSource();
    setStatus(QString());
    updateRenderLabelFont();
    ui->label_img->setStyleSheet(m_render_label_style);
    const QPoint at = ui->label_img->pos();
    const QSize area(ui->check_ascii->x() - 2 * at.x(), ui->widget_img->height() - 2 * at.y());
    WindowProgress progress(this, ui->label_img, area,
                            [this](const QStringList &files, int written) {
                                return askReplaceWithPartial(files, written);
                            });
    m_converting = true;
    const qm::ConversionResult result = qm::runConversion(kind, request, progress);
    m_converting = false;
    // The drawing generators leave the icon font at the size of the last conversion.
    if (kind != qm::GeneratorKind::SortedInternal)
        m_awe_font = qm::iconFontSizedLike(m_awe_font, request.font);
    if (result.fontHeight > 0)
        m_font_height = result.fontHeight;

    if (!result.ok) {
        const QString firstLine = result.error.section(QLatin1Char('\n'), 0, 0);
        const bool fileError = firstLine == QStringLiteral("打开文件失败")
            || firstLine == QStringLiteral("写入文件失败");
        qWarning().noquote() << result.error;
        // A file failure names the file and the reason. The .bin and its .c replace the
        // earlier pair together or not at all, so the user learns that the old pair stands.
        QString error = result.error;
        if (fileError) {
            // "PATH: the system's reason" on the second line: the reason in Chinese first.
            QStringList lines = error.split(QLatin1Char('\n'));
            const int cut = lines.size() > 1 ? lines[1].lastIndexOf(QStringLiteral(": ")) : -1;
            if (cut > 0)
                lines[1] = lines[1].left(cut) + QStringLiteral("：") + reasonText(lines[1].mid(cut + 2));
            error = lines.join(QLatin1Char('\n'));
        }
        const QString text = fileError
            ? error + QStringLiteral("\n原有的 .bin 和 .c 文件未改动。/The earlier .bin and .c are kept.")
            : error;
        showMessage(QStringLiteral("提示"), text, QMessageBox::Warning);
        return;
    }
    QStringList files = result.filesWritten;
    // A cancelled run holds only the characters before the cancel: the file the user
    // had is replaced with that only when the user says so.
    QStringList kept;
    if (result.keptExisting) {
        for (const char *ext : {".bin", ".c"}) {
            const QString file = request.outputDir + QLatin1Char('/') + request.fontName + QLatin1String(ext);
            if (QFileInfo::exists(file))
                kept << file;
        }
    } else if (toFile && result.cancelled && QFileInfo::exists(m_save_file)
               && !askReplaceWithPartial({m_save_file}, result.written)) {
        kept << m_save_file;
    }
    bool savedToFile = false;
    if (kept.isEmpty()) {
        savedToFile = deliverText(result.text, toFile);
    } else {
        ui->tb_output->setPlainText(result.text);
    }
    if (savedToFile)
        files.prepend(m_save_file);
    const QString partial = QStringLiteral("转换已取消，只含前 %1 个字符").arg(result.written);
    if (!kept.isEmpty()) {
        const bool bin = result.keptExisting;
        setStatus(partial + QStringLiteral("；%1 未改动，不完整的%2在下方转换结果中")
                                .arg(fileNames(kept), bin ? QStringLiteral(" .c（其 .bin 未保存）")
                                                          : QStringLiteral("结果")));
    } else {
        const WrittenFiles written = writtenFilesText(files);
        QString status = written.text;
        if (result.cancelled) {
            status = status.isEmpty() ? partial + QStringLiteral("，结果不完整")
                                      : partial + QStringLiteral("；") + status;
        }
        setStatus(status, written.folder);
    }
    // The pane shares the text; a file written is read back when the preview asks. A
    // reader whose .bin was not kept has nothing to draw.
    m_preview_source = result.keptExisting ? qm::PreviewSource()
                                           : qm::previewSourceOf(result, savedToFile ? m_save_file : QString());
    m_preview_sample = typedSample(ui->pte_input->toPlainText(), m_awe_text);
    if (m_preview_sample.isEmpty())
        m_preview_sample = qm::defaultPreviewSample(QString(), request.chars);
    if (m_preview_dlg && m_preview_dlg->isVisible())
        showPreview();
    if (!result.warnings.isEmpty())
        showMessage(QStringLiteral("提示"), result.warnings.join(QLatin1Char('\n')), QMessageBox::Warning);
}

QString MainWindow::startFolder() const
{
    return m_settings.DirText.isEmpty() ? QDir::homePath() : m_settings.DirText;
}

QString MainWindow::suggestedSavePath() const
{
    return startFolder() + QLatin1Char('/') + ui->lineEdit_fontName->text() + QStringLiteral(".c");
}

bool MainWindow::askDirectToFileTarget()
{
    m_save_file = askSaveFileName(suggestedSavePath());
    if (m_save_file.isEmpty()) {
        showMessage(QStringLiteral("提示"), QStringLiteral("未选择保存文件名"));
        return false;
    }
    m_settings.DirText = QFileInfo(m_save_file).absolutePath();
    saveSettings();
    return true;
}

bool MainWindow::deliverText(const QString &text, bool toFile)
{
    if (!toFile) {
        // The pane was emptied before the run, so setting the text equals appending it.
        ui->tb_output->setPlainText(text);
        return false;
    }
    QString error;
    if (!qm::writeUtf8File(m_save_file, text, &error)) {
        qDebug().noquote() << error;
        // Nothing is lost: the code goes to the pane, where it can be saved elsewhere.
        ui->tb_output->setPlainText(text);
        showMessage(QStringLiteral("错误提示"),
                    QStringLiteral("无法写入文件 %1：%2\n原有文件未改动；生成的代码已放入转换结果，可另行保存。")
                        .arg(QDir::toNativeSeparators(m_save_file), reasonText(error.section(QStringLiteral(": "), -1))),
                    QMessageBox::Critical);
        return false;
    }
    return true;
}

void MainWindow::copyControlsToSettings()
{
    m_settings.IncText = ui->pte_include->toPlainText();
    m_settings.Bpp = ui->combo_bpp->currentIndex();
    m_settings.Type = ui->combo_type->currentIndex();
    m_settings.Ansi = ui->check_ascii->isChecked();
    m_settings.FontName = ui->lineEdit_fontName->text();
    m_settings.AweText = m_awe_text;
    m_settings.LvVerIdx = ui->combo_lv_ver->currentIndex();
    m_settings.TextSort = ui->check_qsort->isChecked();
    m_settings.Compress = ui->check_compress->isChecked();
    m_settings.SaveFile = ui->check_auto_save_file->isChecked();
}

void MainWindow::saveSettings()
{
    QString error;
    const bool saved = m_settings.saveToFile(&error);
    const QString setAside = m_settings.takeSetAsidePath();
    if (!setAside.isEmpty()) {
        showMessage(QStringLiteral("提示"),
                    QStringLiteral("配置文件无法读取，已另存为 %1，并写入新的配置。\n"
                                   "The settings file could not be read; it was kept as %1.")
                        .arg(QDir::toNativeSeparators(QFileInfo(setAside).absoluteFilePath())),
                    QMessageBox::Warning);
    }
    if (saved) {
        m_settingsSaveFailed = false;
        return;
    }
    qDebug().noquote() << error;
    if (!m_settingsSaveFailed) {
        showMessage(QStringLiteral("错误提示"),
                    QStringLiteral("无法保存设置 %1：%2\n%3")
                        .arg(QDir::toNativeSeparators(QFileInfo(QStringLiteral("config.ini")).absoluteFilePath()),
                             reasonText(error.section(QStringLiteral(": "), -1)),
                             QDir::toNativeSeparators(error)),
                    QMessageBox::Critical);
    }
    m_settingsSaveFailed = true;
}

void MainWindow::updateRenderLabelFont()
{
    QFont font = ui->pte_input->font();
    if (ui->combo_bpp->currentIndex() == 0)
        font.setStyleStrategy(QFont::NoAntialias);
    ui->label_img->setFont(font);
}

void MainWindow::showPreview()
{
    if (!m_preview_dlg)
        m_preview_dlg = new PreviewDlg(this);
    m_preview_dlg->showResult(m_preview_source, m_preview_sample, m_lv_ver);
    m_preview_dlg->show();
    m_preview_dlg->raise();
    m_preview_dlg->activateWindow();
}

namespace {

// The style a font is drawn in; the font dialog answers with an empty style name.
QString styleNameOf(const QFont &font)
{
    if (!font.styleName().isEmpty())
        return font.styleName();
    const QString drawn = QFontInfo(font).styleName();
    return drawn.isEmpty() ? QStringLiteral("Regular") : drawn;
}

} // namespace

void MainWindow::on_btn_font_clicked()
{
    const QFont current = ui->pte_input->font();
    // The dialog lists installed faces only. Offer the one that really draws the pane
    // (the stand-in when the stored family is missing), and keep the stored family
    // unless the user picked another, so that OK without a change changes nothing.
    const QFontInfo drawn(current);
    QFont offered = current;
    offered.setFamily(drawn.family());
    offered.setStyleName(drawn.styleName().isEmpty() ? styleNameOf(current) : drawn.styleName());
    const QFont chosen = askFont(offered);

    QFont font = current;
    const bool otherFamily = chosen.family() != offered.family();
    if (otherFamily)
        font.setFamily(chosen.family());
    const QString style = styleNameOf(chosen);
    if (otherFamily || style != offered.styleName() || current.styleName().isEmpty())
        font.setStyleName(style);
    if (chosen.pointSize() > 0)
        font.setPointSize(chosen.pointSize());
    ui->pte_input->setFont(font);

    m_settings.FontFamily = font.family();
    m_settings.FontStyle = font.styleName();
    m_settings.FontPoint = font.pointSize();
    updateRenderLabelFont();
    showFontInfo();
    warmInputFont();
}

void MainWindow::showFontInfo()
{
    const QFont font = ui->pte_input->font();
    const QString size = font.pointSizeF() > 0 ? QStringLiteral("%1 pt").arg(font.pointSizeF())
                                               : QStringLiteral("%1 px").arg(font.pixelSize());
    ui->label_font->setText(QStringLiteral("字体: %1, %2, %3, 转换为 %4 px")
                                .arg(font.family(), styleNameOf(font), size)
                                .arg(qm::conversionPixelSize(font), 0, 'g', 4));
    const QString drawnBy = QFontInfo(font).family();
    ui->label_font->setToolTip(drawnBy == font.family()
                                   ? QString()
                                   : QStringLiteral("本机没有 %1，由 %2 代替显示和转换").arg(font.family(), drawnBy));
}

void MainWindow::showChosenIcons()
{
    ui->label_awe->setText(QStringLiteral("已选图标(%1):").arg(m_awe_text.size()));
    QFont font = m_awe_font;
    font.setPointSizeF(ui->label_awe->font().pointSizeF() * 1.4);
    ui->label_awe_icons->setFont(font);
    showElided(ui->label_awe_icons, spacedIcons(m_awe_text), Qt::ElideRight);
    QStringList codes;
    for (const QChar c : qAsConst(m_awe_text))
        codes << QString::asprintf("%04X", c.unicode());
    ui->label_awe_icons->setToolTip(codes.join(QLatin1Char(' ')));
    ui->btn_clrAwe->setEnabled(!m_awe_text.isEmpty());
}

void MainWindow::on_btn_clrAwe_clicked()
{
    m_awe_text.clear();
    showChosenIcons();
}

void MainWindow::setStatus(const QString &text, const QString &folder)
{
    m_status_text = text;
    m_status_folder = folder;
    showStatus();
    ui->label_status->setToolTip(folder.isEmpty() ? text : text + QStringLiteral("，位于 ") + folder);
}

void MainWindow::showStatus()
{
    QLabel *label = ui->label_status;
    const QFontMetrics metrics = label->fontMetrics();
    const int room = qMax(0, label->width());
    if (m_status_folder.isEmpty()) {
        label->setText(metrics.elidedText(m_status_text, Qt::ElideMiddle, room));
        return;
    }
    // The names and sizes are what the user looks for; the folder gives way first.
    const QString head = m_status_text + QStringLiteral("，位于 ");
    const int headWidth = metrics.horizontalAdvance(head);
    if (headWidth >= room) {
        label->setText(metrics.elidedText(m_status_text, Qt::ElideRight, room));
        return;
    }
    label->setText(head + metrics.elidedText(m_status_folder, Qt::ElideMiddle, room - headWidth));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    copyControlsToSettings();
    saveSettings();
    QMainWindow::closeEvent(event);
}

void MainWindow::showElided(QLabel *label, const QString &text, Qt::TextElideMode mode)
{
    label->setText(label->fontMetrics().elidedText(text, mode, qMax(0, label->width())));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == ui->label_status)
            showStatus();
        else if (watched == ui->label_awe_icons)
            showElided(ui->label_awe_icons, spacedIcons(m_awe_text), Qt::ElideRight);
    }
    return QMainWindow::eventFilter(watched, event);
}

QFont MainWindow::askFont(const QFont &initial)
{
    bool accepted = false;
    return QFontDialog::getFont(&accepted, initial, nullptr, QString(), QFontDialog::FontDialogOptions());
}

void MainWindow::appendToInput(const QString &text)
{
    ui->pte_input->appendPlainText(text);
}

void MainWindow::on_btn_clrText_clicked()
{
    ui->pte_input->clear();
}

void MainWindow::on_btn_delAscii_clicked()
{
    const QString text = ui->pte_input->toPlainText();
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() > 127)
            kept.append(c);
    }
    ui->pte_input->clear();
    appendToInput(kept);
}

void MainWindow::on_btn_delRepeat_clicked()
{
    const QString kept = qm::removeDuplicateChars(ui->pte_input->toPlainText());
    ui->pte_input->clear();
    appendToInput(kept);
}

void MainWindow::on_btn_comHz_clicked()
{
    appendToInput(qm::commonChineseCharacters());
}

void MainWindow::on_btn_allHz_clicked()
{
    appendToInput(qm::allChineseCharacters());
}

void MainWindow::on_btn_input_txt_clicked()
{
    const QString path = askImportFileName(m_settings.DirTxt);
    if (path.isEmpty())
        return;
    QString text, error;
    if (!qm::readTextFile(path, &text, &error)) {
        qDebug().noquote() << error;
        showMessage(QStringLiteral("错误提示"),
                    QStringLiteral("无法导入文件 %1：%2")
                        .arg(QDir::toNativeSeparators(path), reasonText(error.section(QStringLiteral(": "), -1))),
                    QMessageBox::Critical);
        return;
    }
    appendToInput(text);
    m_settings.DirTxt = QFileInfo(path).absolutePath();
}

void MainWindow::on_btn_copy_clicked()
{
    const QString text = ui->tb_output->toPlainText();
    // Copying nothing would throw away what the user had on the clipboard.
    if (text.isEmpty()) {
        setStatus(QStringLiteral("转换结果是空的，没有复制"));
        return;
    }
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void MainWindow::on_btn_save_clicked()
{
    const QString text = ui->tb_output->toPlainText();
    if (text.isEmpty())
        return;
    const QString path = askSaveFileName(suggestedSavePath());
    if (path.isEmpty())
        return;
    QString error;
    if (!qm::writeUtf8File(path, text, &error)) {
        qDebug().noquote() << error;
        showMessage(QStringLiteral("错误提示"),
                    QStringLiteral("无法保存文件 %1：%2\n原有文件未改动。")
                        .arg(QDir::toNativeSeparators(path), reasonText(error.section(QStringLiteral(": "), -1))),
                    QMessageBox::Critical);
        return;
    }
    m_settings.DirText = QFileInfo(path).absolutePath();
    saveSettings();
}

void MainWindow::on_action_save_triggered()
{
    on_btn_save_clicked();
}

void MainWindow::on_btn_awesome_clicked()
{
    AweDlg dlg(this);
    dlg.setIconFont(m_awe_font);
    dlg.setIconCatalogue(m_awe_list);
    dlg.appendIcons(m_awe_text);
    if (dlg.exec() == QDialog::Accepted) {
        m_awe_text = qm::removeDuplicateChars(dlg.selectedIconText());
        showChosenIcons();
    }
}

void MainWindow::on_action_about_triggered()
{
    AboutDlg dlg(this);
    dlg.exec();
}

void MainWindow::on_action_note_triggered()
{
    NoteWin dlg(this);
    dlg.exec();
}

void MainWindow::on_action_appreciation_triggered()
{
    AptDlg dlg(this);
    dlg.exec();
}

void MainWindow::showMessage(const QString &title, const QString &text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool MainWindow::askReplaceWithPartial(const QStringList &files, int written)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("提示"),
                    QStringLiteral("转换已取消，只含前 %1 个字符。用这个不完整的结果替换 %2 吗？")
                        .arg(written)
                        .arg(fileNames(files)),
                    QMessageBox::NoButton, this);
    QPushButton *replace = box.addButton(QStringLiteral("替换"), QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(QStringLiteral("保留原文件"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == replace;
}

QString MainWindow::askSaveFileName(const QString &suggestedPath)
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Code"), suggestedPath,
                                        QStringLiteral("源代码 (*.c)"));
}

QString MainWindow::askOutputFolder(const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(this, QStringLiteral("请选择路径..."), startFolder,
                                             QFileDialog::ShowDirsOnly);
}

QString MainWindow::askImportFileName(const QString &startFolder)
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("导入文本文件"), startFolder,
                                        QStringLiteral("文本文件 (*.*)"));
}

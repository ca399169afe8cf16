#include "previewdlg.h"
#include "ui_previewdlg.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>

namespace {

// What a worker thread reads, handed back to the dialog when it finishes.
struct ReadJob {
    qm::PreviewSource source;
    std::unique_ptr<qm::PreviewFont> font;
    QString error;
};

bool sameSource(const qm::PreviewSource &a, const qm::PreviewSource &b)
{
    // A file keeps its name when it is converted into again (or edited), so only the
    // text, which is shared with the window's copy, can be known unchanged, by identity.
    if (a.text.isEmpty())
        return false;
    return a.text.constData() == b.text.constData() && a.text.size() == b.text.size()
        && a.cPath == b.cPath && a.binPath == b.binPath;
}

} // namespace

PreviewDlg::PreviewDlg(QWidget *parent) : QDialog(parent), ui(new Ui::PreviewDlg)
{
    ui->setupUi(this);
    ui->label_status->setTextFormat(Qt::PlainText);
    connect(ui->pte_sample, &QPlainTextEdit::textChanged, this, [this] {
        m_sampleEdited = true;
        redraw();
    });
    connect(ui->combo_scale, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &PreviewDlg::redraw);
    for (QCheckBox *box : {ui->check_dark, ui->check_guides, ui->check_placeholder})
        connect(box, &QCheckBox::toggled, this, &PreviewDlg::redraw);
}

PreviewDlg::~PreviewDlg()
{
    // A worker still reading holds nothing of the dialog's, but must end before the
    // program does.
    for (const QPointer<QThread> &worker : qAsConst(m_workers)) {
        if (worker)
            worker->wait();
    }
    delete ui;
}

QPushButton *PreviewDlg::addButton(QBoxLayout *row, QPushButton *model)
{
    auto *button = new QPushButton(QStringLiteral("预览效果"), model->parentWidget());
    button->setObjectName(QStringLiteral("btn_preview"));
    button->setStyleSheet(model->styleSheet().replace(model->objectName(), button->objectName()));
    // Narrower than its neighbours, so that the row still fits the window's width.
    button->setMinimumWidth(model->minimumWidth() * 3 / 5);
    row->insertWidget(row->indexOf(model), button);
    return button;
}

void PreviewDlg::showResult(const qm::PreviewSource &source, const QString &sample, int lvVer)
{
    if (!m_sampleEdited) {
        const QSignalBlocker blocker(ui->pte_sample);
        ui->pte_sample->setPlainText(sample);
    }
    {
        const QSignalBlocker blocker(ui->check_placeholder);
        ui->check_placeholder->setChecked(qm::placeholdersByDefault(lvVer));
    }
    if (sameSource(source, m_source) && (m_font || m_reading)) {
        redraw();
        return;
    }
    m_source = source;
    m_font.reset();
    m_error.clear();
    if (source.text.isEmpty() && source.cPath.isEmpty()) {
        m_error = QStringLiteral("还没有转换结果，请先开始转换/No result yet: convert first");
        redraw();
        return;
    }

    const int generation = ++m_generation;
    m_reading = true;
    redraw();
    auto job = std::make_shared<ReadJob>();
    job->source = source;
    QThread *worker = QThread::create([job] { job->font = qm::loadPreviewFont(job->source, &job->error); });
    connect(worker, &QThread::finished, this, [this, job, generation] {
        if (generation != m_generation)
            return;
        m_reading = false;
        m_font = std::move(job->font);
        m_error = job->error;
        redraw();
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_workers.removeAll(QPointer<QThread>());
    m_workers << worker;
    worker->start(QThread::LowPriority);
}

void PreviewDlg::redraw()
{
    if (m_reading || !m_font) {
        m_picture = QImage();
        ui->label_preview->clear();
        ui->label_status->setText(m_reading ? QStringLiteral("正在读取转换结果…/Reading the result…")
                                            : QStringLiteral("无法显示/Cannot show the result: ") + m_error);
        return;
    }
    const qm::PreviewDrawing drawing =
        qm::drawPreview(*m_font, ui->pte_sample->toPlainText(), ui->check_placeholder->isChecked());
    qm::PreviewStyle style;
    style.scale = 1 << ui->combo_scale->currentIndex();
    style.dark = ui->check_dark->isChecked();
    style.guides = ui->check_guides->isChecked();
    QString scaleNote;
    m_picture = qm::stylePreview(drawing, style, &scaleNote);
    ui->label_preview->setPixmap(QPixmap::fromImage(m_picture));

    QStringList status;
    status << QStringLiteral("%1；行高/line height %2 px，基线/base line %3，%4 bpp")
                  .arg(m_font->description())
                  .arg(drawing.lineHeight)
                  .arg(drawing.baseLine)
                  .arg(m_font->bpp());
    if (!drawing.missingLetters.isEmpty())
        status << QStringLiteral("字体中没有（红色标记）/Not in the font (red marks): ") + drawing.missingLetters;
    status += drawing.notes;
    if (!scaleNote.isEmpty())
        status << scaleNote;
    ui->label_status->setText(status.join(QLatin1Char('\n')));
    emit pictureChanged();
}

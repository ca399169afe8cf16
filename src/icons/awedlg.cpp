#include "awedlg.h"
#include "ui_awedlg.h"

#include <QColorDialog>
#include <QDebug>
#include <QItemSelectionModel>
#include <QModelIndex>
#include <QPushButton>
#include <QTableWidgetItem>

AweDlg::AweDlg(QWidget *parent) : QDialog(parent), ui(new Ui::AweDlg)
{
    ui->setupUi(this);
    fitToDpi();
}

void AweDlg::fitToDpi()
{
    // The dialog's size, the icon column's width and the buttons' widths are pixels
    // chosen for 96 dpi, while its texts grow with the DPI: without this, the column
    // cuts the codes off and the buttons their labels.
    const qreal f = logicalDpiY() / 96.0;
    if (f <= 1.0)
        return;
    auto scaled = [f](int v) { return qRound(v * f); };
    ui->tableWidget_awe->setMaximumWidth(scaled(ui->tableWidget_awe->maximumWidth()));
    for (QPushButton *b : findChildren<QPushButton *>())
        b->setMinimumWidth(scaled(b->minimumWidth()));
    resize(scaled(width()), scaled(height()));
}

AweDlg::~AweDlg()
{
    delete ui;
}

void AweDlg::setIconFont(const QFont &font)
{
    m_icon_font = font;
    m_icon_font.setPointSize(16);
    ui->tableWidget_awe->setFont(m_icon_font);
    ui->pte_awe->setFont(m_icon_font);
    qDebug() << "icon font family:" << m_icon_font.family();
}

void AweDlg::setIconCatalogue(const QString &catalogue)
{
    m_catalogue = catalogue;
    qDebug() << "icon catalogue length:" << m_catalogue.size();
    QTableWidget *table = ui->tableWidget_awe;
    int row = table->rowCount();
    table->setRowCount(row + m_catalogue.size());
    for (const QChar unit : m_catalogue) {
        const QString text = QString(unit) + QString::asprintf(" %04X", unit.unicode());
        table->setItem(row++, 0, new QTableWidgetItem(text));
    }
}

void AweDlg::appendIcons(const QString &text)
{
    // Set as one block: appending a paragraph would put a line break into the
    // result, and the result becomes characters to convert.
    const QString joined = ui->pte_awe->toPlainText() + text;
    ui->pte_awe->clear();
    ui->pte_awe->setPlainText(joined);
}

QString AweDlg::selectedIconText() const
{
    return ui->pte_awe->toPlainText();
}

void AweDlg::on_btn_add_add_clicked()
{
    ui->pte_awe->clear();
    ui->pte_awe->setPlainText(m_catalogue);
}

void AweDlg::on_btn_add_sel_clicked()
{
    const QModelIndexList cells = ui->tableWidget_awe->selectionModel()->selectedIndexes();
    const int step = qMax(1, ui->tableWidget_awe->columnCount());
    QString picked;
    for (int i = 0; i < cells.size(); i += step) {
        const int row = cells.at(i).row();
        if (row >= 0 && row < m_catalogue.size())
            picked += m_catalogue.at(row);
    }
    if (!cells.isEmpty())
        appendIcons(picked);
}

void AweDlg::on_btn_clean_all_clicked()
{
    ui->pte_awe->clear();
}

void AweDlg::on_btn_color_clicked()
{
    QPalette palette = ui->pte_awe->palette();
    const QColor current = palette.color(QPalette::Text);
    const QColor chosen = QColorDialog::getColor(current, nullptr, QString());
    // A cancelled colour dialog answers with an invalid colour; keep the old one.
    if (!chosen.isValid())
        return;
    palette.setBrush(QPalette::All, QPalette::Text, QBrush(chosen, Qt::SolidPattern));
    ui->pte_awe->setPalette(palette);
}

void AweDlg::on_tableWidget_awe_doubleClicked(const QModelIndex &index)
{
    const int row = index.row();
    if (row >= 0 && row < m_catalogue.size())
        appendIcons(QString(m_catalogue.at(row)));
}

void AweDlg::on_btn_ok_clicked()
{
    accept();
}

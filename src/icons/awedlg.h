#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

class QModelIndex;

namespace Ui { class AweDlg; }

// Lets the user pick icon characters from the icon font's catalogue into an
// editable pane; the pane's text is the result of an accepted run.
class AweDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AweDlg(QWidget *parent = nullptr);
    ~AweDlg() override;

    // The table and the pane show the icons in a copy of `font` at 16 points.
    void setIconFont(const QFont &font);
    // One table row per code unit, in order; row r stands for catalogue[r].
    void setIconCatalogue(const QString &catalogue);
    // Joins `text` to the end of the pane's text, without a line break.
    void appendIcons(const QString &text);
    QString selectedIconText() const;

private slots:
    void on_btn_add_add_clicked();
    void on_btn_add_sel_clicked();
    void on_btn_clean_all_clicked();
    void on_btn_color_clicked();
    void on_tableWidget_awe_doubleClicked(const QModelIndex &index);
    void on_btn_ok_clicked();

private:
    void fitToDpi();

    Ui::AweDlg *ui;
    QFont m_icon_font;
    QString m_catalogue;
};

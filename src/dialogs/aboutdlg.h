#pragma once

#include <QDialog>

namespace Ui { class AboutDlg; }

// The About box: the program's picture, name, version and credits.
class AboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDlg(QWidget *parent = nullptr);
    ~AboutDlg() override;

private:
    Ui::AboutDlg *ui;
};

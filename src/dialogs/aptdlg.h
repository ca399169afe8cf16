#pragma once

#include <QDialog>

namespace Ui { class AptDlg; }

// The appreciation dialog: a thank-you note and picture.
class AptDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AptDlg(QWidget *parent = nullptr);
    ~AptDlg() override;

private:
    Ui::AptDlg *ui;
};

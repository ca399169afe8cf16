#include "aptdlg.h"
#include "ui_aptdlg.h"
#include "uiresources.h"

AptDlg::AptDlg(QWidget *parent) : QDialog(parent), ui(new Ui::AptDlg)
{
    qm::initUiResources();
    ui->setupUi(this);
}

AptDlg::~AptDlg()
{
    delete ui;
}

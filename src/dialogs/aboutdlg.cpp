#include "aboutdlg.h"
#include "ui_aboutdlg.h"
#include "uiresources.h"

AboutDlg::AboutDlg(QWidget *parent) : QDialog(parent), ui(new Ui::AboutDlg)
{
    qm::initUiResources();
    ui->setupUi(this);
}

AboutDlg::~AboutDlg()
{
    delete ui;
}

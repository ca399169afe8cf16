#include "notewin.h"
#include "ui_notewin.h"

NoteWin::NoteWin(QWidget *parent) : QDialog(parent), ui(new Ui::NoteWin)
{
    ui->setupUi(this);
}

NoteWin::~NoteWin()
{
    delete ui;
}

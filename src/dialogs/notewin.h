#pragma once

#include <QDialog>

namespace Ui { class NoteWin; }

// The usage notes: a fixed rich-text document.
class NoteWin : public QDialog
{
    Q_OBJECT
public:
    explicit NoteWin(QWidget *parent = nullptr);
    ~NoteWin() override;

private:
    Ui::NoteWin *ui;
};

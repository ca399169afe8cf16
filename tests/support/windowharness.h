#pragma once

#include "mainwindow.h"

#include <QFont>
#include <QStringList>

namespace qmtest {

// A widget of the window by its object name.
template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qWarning("missing widget %s", name);
    return c;
}

// The main window with its questions to the user answered by the test: every
// message box is recorded as "title|text", every file or folder dialog returns
// the prepared answer.
class ScriptedWindow : public MainWindow
{
public:
    QStringList messages;
    QString saveAnswer;
    QString folderAnswer;
    QString importAnswer;
    QFont fontAnswer;
    bool fontAccepted = false;
    QStringList suggestedSavePaths;
    QStringList suggestedFolders;

protected:
    void showMessage(const QString &title, const QString &text) override
    {
        messages << title + QLatin1Char('|') + text;
    }
    QString askSaveFileName(const QString &suggestedPath) override
    {
        suggestedSavePaths << suggestedPath;
        return saveAnswer;
    }
    QString askOutputFolder(const QString &startFolder) override
    {
        suggestedFolders << startFolder;
        return folderAnswer;
    }
    QString askImportFileName(const QString &) override { return importAnswer; }
    QFont askFont(const QFont &initial) override { return fontAccepted ? fontAnswer : initial; }
};

} // namespace qmtest

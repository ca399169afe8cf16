#pragma once

#include "mainwindow.h"
#include "outputview.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QStringList>

namespace qmtest {

// A scratch folder made the working directory, since the window keeps its options in
// ./config.ini there; leave() returns to the folder the test started in.
class WorkingFolder
{
public:
    bool enter()
    {
        m_previous = QDir::currentPath();
        return m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }
    void leave() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Each window then starts from the default options.
    static void forgetSettings() { QFile::remove(QStringLiteral("config.ini")); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The options as the window last wrote them; empty when there is no file.
inline QJsonObject readConfig()
{
    QFile f(QStringLiteral("config.ini"));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

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
// message box is recorded as "title|text" and its icon, every file or folder dialog
// returns the prepared answer.
class ScriptedWindow : public MainWindow
{
public:
    QStringList messages;
    QList<QMessageBox::Icon> icons;  // one per message
    QString saveAnswer;
    QString folderAnswer;
    QString importAnswer;
    QFont fontAnswer;
    bool fontAccepted = false;
    QFont fontOffered;
    QStringList suggestedSavePaths;
    QStringList suggestedFolders;

protected:
    void showMessage(const QString &title, const QString &text, QMessageBox::Icon icon) override
    {
        messages << title + QLatin1Char('|') + text;
        icons << icon;
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
    QFont askFont(const QFont &initial) override
    {
        fontOffered = initial;
        return fontAccepted ? fontAnswer : initial;
    }
};

} // namespace qmtest

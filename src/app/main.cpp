#include "mainwindow.h"

#include "convert/fonts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qm::installFontSubstitutions();
    MainWindow window;
    window.show();
    return app.exec();
}

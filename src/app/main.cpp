#include "mainwindow.h"

#include "render/fonts.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    // Past a file size limit a save should fail with a message, not end the program
    // with the user's text.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    qm::installFontSubstitutions();
    MainWindow window;
    window.show();
    return app.exec();
}

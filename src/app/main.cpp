#include "app/MainWindow.h"
#include "selfcheck/ParserSelfCheck.h"

#include <QApplication>

#include <unistd.h>

int main(int argc, char* argv[]) {
    // Runs the built-in checks and exits when asked; before anything else, so it
    // needs no display and opens no window.
    kestrion::ParserSelfCheck::runIfRequestedAndExit(argc, argv);

    // Chromium refuses to start its sandbox as root; only then is it switched off.
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }

    // The web engine shares GL contexts with the widgets; must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrion Magic Website Builder"));
    QApplication::setOrganizationName(QStringLiteral("Kestrion"));

    kestrion::MainWindow window;
    window.show();
    return QApplication::exec();
}

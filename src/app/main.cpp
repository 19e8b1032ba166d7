#include "app/AppIcon.h"
#include "app/MainWindow.h"
#include "conversation/AppSettings.h"
#include "selfcheck/ParserSelfCheck.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QThreadPool>
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
    // The application name also names the settings file and data folders.
    QApplication::setApplicationName(QStringLiteral("DuvUDUvadIra"));
    QApplication::setOrganizationName(QStringLiteral("Kestrion"));
    QApplication::setApplicationDisplayName(kestrion::MainWindow::title);
    QApplication::setApplicationVersion(QStringLiteral(KESTRION_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kestrion"));
    QApplication::setWindowIcon(kestrion::AppIcon::icon());
    // Without a desktop theme Qt falls back to a bare look; Fusion is its finished one.
    if (QApplication::style()->name().compare(QStringLiteral("windows"), Qt::CaseInsensitive) == 0) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
    // Scans, snapshots and git runs can hold a pool thread for long; two
    // threads (this machine's cores) would let them starve each other.
    QThreadPool::globalInstance()->setMaxThreadCount(std::max(4, QThreadPool::globalInstance()->maxThreadCount()));

    kestrion::AppSettings settings;
    kestrion::MainWindow window(&settings);
    window.show();
    return QApplication::exec();
}

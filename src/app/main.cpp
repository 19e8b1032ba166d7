#include "app/AppContext.h"
#include "app/AppIcon.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "preview/WebEnginePreview.h"
#include "selfcheck/ParserSelfCheck.h"
#include "settings/AppSettings.h"
#include "settings/SecretStore.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTextStream>
#include <memory>
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
    kestrion::Translations::install();
    QApplication::setWindowIcon(kestrion::AppIcon::icon());
    // Without a desktop theme Qt falls back to a bare look; Fusion is its finished one.
    if (QApplication::style()->name().compare(QStringLiteral("windows"), Qt::CaseInsensitive) == 0) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    // A second copy would load and then save the same chat histories as the
    // first, and whichever saved last would lose the other's messages: a later
    // start shows the running window instead.
    kestrion::SingleInstance instance(kestrion::SingleInstance::defaultSocketPath());
    switch (instance.start(QCoreApplication::arguments())) {
    case kestrion::SingleInstance::Role::HandedOver:
        return 0;
    case kestrion::SingleInstance::Role::Unanswered:
        QTextStream(stderr) << QCoreApplication::translate(
                                   "kestrion::main",
                                   "Another copy of %1 is running but does not answer; not starting a second one.")
                                   .arg(kestrion::MainWindow::title)
                            << '\n';
        return 1;
    case kestrion::SingleInstance::Role::Primary:
        break;
    }

    kestrion::AppSettings settings(std::make_unique<kestrion::KeyringSecretStore>());
    kestrion::AppContext context(&settings);
    kestrion::MainWindow window(context, kestrion::WebEnginePreview::factory());
    QObject::connect(&instance, &kestrion::SingleInstance::argumentsReceived, &window,
                     [&window](const QStringList& arguments) {
                         qInfo("Another start was handed to this window (arguments: %s)",
                               qPrintable(arguments.mid(1).join(QLatin1Char(' '))));
                         window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
                         window.show();
                         window.raise();
                         window.activateWindow();
                     });
    window.show();
    return QApplication::exec();
}

#include "app/WindowWorkspaces.h"

#include "app/DetailPane.h"
#include "app/DetailWorkspaceController.h"
#include "app/LaunchSection.h"
#include "app/MainWindow.h"
#include "app/PreferencesDialog.h"
#include "app/PreviewWorkspace.h"
#include "app/Sidebar.h"
#include "app/SourceWorkspace.h"
#include "app/WindowState.h"

namespace kestrion::WindowWorkspaces {

void install(MainWindow* window) {
    auto* controller = new DetailWorkspaceController(window->settings(), window->viewState(), window);
    window->detailPane()->setWorkspacePage(DetailWorkspaceTab::Preview,
                                           new PreviewWorkspace(window->settings(), window->viewState(), controller));
    window->detailPane()->setWorkspacePage(DetailWorkspaceTab::Source,
                                           new SourceWorkspace(window->settings(), window->viewState(), controller));

    // Unsaved source edits are not dropped without asking.
    window->sidebar()->setSelectionGuard(
        [controller](const QString& relativePath) { return controller->confirmSelectionChange(relativePath); });
    window->sidebar()->setDirectoryGuard(
        [controller](const QString& directory) { return controller->confirmDirectoryChange(directory); });

    window->sidebar()->setLaunchSection(
        new LaunchSection(window->settings(), window->chat(), window->viewState(), window->deployLaunchProgress()));

    window->setPreferencesHandler([window] {
        auto* dialog = window->findChild<PreferencesDialog*>();
        if (!dialog) {
            dialog = new PreferencesDialog(window->settings(), window->modelCatalog(), window);
        }
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
}

} // namespace kestrion::WindowWorkspaces

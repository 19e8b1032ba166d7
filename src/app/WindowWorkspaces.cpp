#include "app/WindowWorkspaces.h"

#include "app/ChatPane.h"
#include "app/DetailPane.h"
#include "app/DetailWorkspaceController.h"
#include "app/LaunchSection.h"
#include "app/MainWindow.h"
#include "app/MultilineTextView.h"
#include "app/PreferencesDialog.h"
#include "app/PreviewWorkspace.h"
#include "app/Sidebar.h"
#include "app/SourceWorkspace.h"
#include "app/WindowState.h"
#include "conversation/ChatViewModel.h"

namespace kestrion::WindowWorkspaces {

void install(MainWindow* window) {
    auto* controller = new DetailWorkspaceController(window->settings(), window->viewState(), window);
    auto* preview = new PreviewWorkspace(window->settings(), window->viewState(), controller);
    window->detailPane()->setWorkspacePage(DetailWorkspaceTab::Preview, preview);
    // The preview hands text to the composer of the current chat; only the user sends it.
    const auto toComposer = [window](const QString& text) {
        window->chat()->setInput(text);
        window->viewState()->setDetailWorkspaceTab(DetailWorkspaceTab::Create);
        MultilineTextView* composer = window->chatPane()->composer();
        composer->setFocus(Qt::OtherFocusReason);
        composer->moveCursor(QTextCursor::End);
    };
    QObject::connect(preview, &PreviewWorkspace::askToFix, window, [window, toComposer](const QString& message) {
        const QString draft = window->chat()->input().trimmed();
        toComposer(draft.isEmpty() ? message : draft + QStringLiteral("\n\n") + message);
    });
    QObject::connect(preview, &PreviewWorkspace::elementPicked, window, [window, toComposer](const QString& reference) {
        toComposer(reference + window->chat()->input());
    });
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

#pragma once

#include <QWidget>
#include <optional>

class QLabel;
class QStackedWidget;
class QVBoxLayout;

namespace kestrion {

class AppSettings;
class DetailWorkspaceController;
class PreviewPlaceholder;
class WindowState;

// What the Preview and Source tabs have in common: a placeholder when there is
// no website directory or no file resolves, else a content page that starts
// with the shown file's caption over a divider. Changes to the directory, the
// selection, the tab and the reload counter are coalesced into one update.
class FileWorkspace : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileWorkspace)

public:
    // The placeholder's title and subtitle for the two cases every tab shares.
    struct PlaceholderTexts {
        QString noDirectoryTitle;
        QString noDirectorySubtitle;
        QString nothingTitle;
        QString nothingSubtitle;
    };

    PreviewPlaceholder* placeholder() const { return m_placeholder; }
    QLabel* captionLabel() const { return m_caption; }
    bool isShowingPlaceholder() const;

protected:
    FileWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                  PlaceholderTexts texts, QWidget* parent);

    // The file to show under root; by default the one the preview resolves.
    virtual std::optional<QString> fileToShow(const QString& root) const;
    // Shows file, resolved under root; called only when both exist.
    virtual void showFile(const QString& file, const QString& root) = 0;

    void scheduleUpdate();
    // Runs the update now; subclasses call it once they are fully built.
    void updateContent();
    void showPlaceholder(const QString& title, const QString& subtitle);
    // Shows the content page with the caption for file and an accessible name
    // made of prefix and that caption.
    void showContent(const QString& file, const QString& root, const QString& accessiblePrefix);

    QWidget* content() const { return m_content; }
    // The content page's layout, holding the caption and the divider so far.
    QVBoxLayout* contentLayout() const { return m_contentLayout; }
    // The caption's font: a little smaller than the tab's.
    QFont captionFont() const;

    AppSettings* m_settings;
    WindowState* m_state;
    DetailWorkspaceController* m_controller;

private:
    PlaceholderTexts m_texts;
    QStackedWidget* m_stack;
    PreviewPlaceholder* m_placeholder;
    QWidget* m_content;
    QLabel* m_caption;
    QVBoxLayout* m_contentLayout;
    bool m_updateScheduled = false;
};

} // namespace kestrion

#pragma once

#include "app/FileWorkspace.h"

namespace kestrion {

class IndexPreviewWebView;

// The Preview tab: a placeholder when there is no website directory or nothing
// to show, else the shown file's caption above the web view. The web view is
// created the first time the tab shows a file, never at start-up, and follows
// the file, the website directory and the reload counter while the tab is shown.
class PreviewWorkspace final : public FileWorkspace {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWorkspace)

public:
    static inline const QString noDirectoryTitle = QStringLiteral("No website directory");
    static inline const QString noDirectorySubtitle =
        QStringLiteral("Choose a website directory in Settings to preview, or click an HTML, CSS, or image file in "
                       "Website Files.");
    static inline const QString nothingTitle = QStringLiteral("Nothing to preview");
    static inline const QString nothingSubtitle =
        QStringLiteral("Add index.htm or index.html at the website directory root, or click any HTML, CSS, or image "
                       "file in Website Files to open it here.");

    PreviewWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                     QWidget* parent = nullptr);

    // Nothing until the tab has first shown a file.
    IndexPreviewWebView* webView() const { return m_webView; }

protected:
    void showEvent(QShowEvent* event) override;
    void showFile(const QString& file, const QString& root) override;

private:
    IndexPreviewWebView* m_webView = nullptr;
};

} // namespace kestrion

#pragma once

#include "app/widgets/FileWorkspace.h"
#include "preview/WebPreview.h"

#include <QUrl>

class QToolButton;

namespace kestrion {

class PreviewDeviceFrame;
class PreviewFileActions;
class PreviewProblemsStrip;
class SegmentedControl;

// The Preview tab: a placeholder when there is no website directory or nothing
// to show, else the shown file's caption (with "Open in browser" and "Show in
// folder") above the device widths and Select, the web view at the chosen
// width, and the strip of the page's problems. The web view is created the
// first time the tab shows a file, never at start-up, and follows the file,
// the website directory and the reload counter while the tab is shown. Made
// without a factory for the page (a test's window), it shows a placeholder
// where the page would be.
class PreviewWorkspace final : public FileWorkspace {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWorkspace)

public:
    static inline const QString noDirectoryTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace", "No website directory"));
    static inline const QString noDirectorySubtitle = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace",
                          "Choose a website directory in Settings to preview, or click an HTML, CSS, or image file in "
                          "Website Files."));
    static inline const QString nothingTitle =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace", "Nothing to preview"));
    static inline const QString nothingSubtitle = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace",
                          "Add index.htm or index.html at the website directory root, or click any HTML, CSS, or image "
                          "file in Website Files to open it here."));

    PreviewWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                     WebPreviewFactory makeWebPreview, QWidget* parent = nullptr);

    static inline const QString openInBrowserText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace", "Open in browser"));
    static inline const QString showInFolderText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace", "Show in folder"));
    static inline const QString selectText = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewWorkspace", "Select"));

Q_SIGNALS:
    // A message for the composer of the current chat, listing the page's problems.
    void askToFix(const QString& message);
    // The reference to an element the user picked, for the start of the composer.
    void elementPicked(const QString& reference);

protected:
    void showEvent(QShowEvent* event) override;
    void showFile(const QString& file, const QString& root) override;

private:
    void createWebPreview();
    void applyDevice();
    void pageLoadStarted(const QUrl& url);
    std::optional<QString> shownFile() const;

    WebPreviewFactory m_makeWebPreview;
    // Nothing until the tab has first shown a file.
    WebPreview* m_webPreview = nullptr;
    PreviewDeviceFrame* m_frame = nullptr;
    PreviewProblemsStrip* m_strip = nullptr;
    PreviewFileActions* m_fileActions;
    SegmentedControl* m_devices;
    QToolButton* m_select;
    QToolButton* m_openInBrowser;
    QToolButton* m_showInFolder;
    QString m_shownFile;
    QString m_shownRoot;
    // The page whose load has begun and not yet finished.
    QUrl m_loadingPage;
};

} // namespace kestrion

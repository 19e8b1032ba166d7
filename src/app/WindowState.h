#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

namespace kestrion {

// The three tabs of the detail area, in selector order.
enum class DetailWorkspaceTab { Create, Preview, Source };
QString detailWorkspaceTabTitle(DetailWorkspaceTab tab);

// View state the main window owns and shares with the sidebar, the detail
// workspace and the launch section. Every setter notifies only on a change.
class WindowState final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowState)

public:
    explicit WindowState(QObject* parent = nullptr);

    DetailWorkspaceTab detailWorkspaceTab() const { return m_detailWorkspaceTab; }
    void setDetailWorkspaceTab(DetailWorkspaceTab tab);

    // Bumped to make the preview and the source editor load again.
    qint64 previewReloadNonce() const { return m_previewReloadNonce; }
    void bumpPreviewReloadNonce();

    // Project-relative path picked in the file tree, if any.
    const std::optional<QString>& previewSelectedRelativePath() const { return m_previewSelectedRelativePath; }
    void setPreviewSelectedRelativePath(const std::optional<QString>& path);

    // Source editor text and the text last loaded from or saved to disk.
    const QString& previewSourceDocument() const { return m_previewSourceDocument; }
    void setPreviewSourceDocument(const QString& text);
    const QString& previewSourceBaseline() const { return m_previewSourceBaseline; }
    void setPreviewSourceBaseline(const QString& text);
    bool isPreviewSourceDirty() const { return m_previewSourceDocument != m_previewSourceBaseline; }
    const std::optional<QString>& previewSourceSaveError() const { return m_previewSourceSaveError; }
    void setPreviewSourceSaveError(const std::optional<QString>& error);

    bool isLaunchingToKestrion() const { return m_isLaunchingToKestrion; }
    void setLaunchingToKestrion(bool launching);
    const std::optional<QUrl>& launchedWebsiteURL() const { return m_launchedWebsiteURL; }
    void setLaunchedWebsiteURL(const std::optional<QUrl>& url);

Q_SIGNALS:
    void detailWorkspaceTabChanged(kestrion::DetailWorkspaceTab tab);
    void previewReloadNonceChanged(qint64 nonce);
    void previewSelectedRelativePathChanged();
    void previewSourceDocumentChanged();
    void previewSourceBaselineChanged();
    void previewSourceSaveErrorChanged();
    void launchingToKestrionChanged(bool launching);
    void launchedWebsiteURLChanged();

private:
    DetailWorkspaceTab m_detailWorkspaceTab = DetailWorkspaceTab::Create;
    qint64 m_previewReloadNonce = 0;
    std::optional<QString> m_previewSelectedRelativePath;
    QString m_previewSourceDocument;
    QString m_previewSourceBaseline;
    std::optional<QString> m_previewSourceSaveError;
    bool m_isLaunchingToKestrion = false;
    std::optional<QUrl> m_launchedWebsiteURL;
};

// The launch section's live progress line.
class LaunchDeployProgressModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LaunchDeployProgressModel)
    Q_PROPERTY(QString liveLine READ liveLine WRITE setLiveLine NOTIFY liveLineChanged)

public:
    explicit LaunchDeployProgressModel(QObject* parent = nullptr);
    QString liveLine() const { return m_liveLine; }
    void setLiveLine(const QString& line);

Q_SIGNALS:
    void liveLineChanged(const QString& line);

private:
    QString m_liveLine;
};

} // namespace kestrion

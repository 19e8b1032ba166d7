#include "app/DetailWorkspaceController.h"

#include "app/WindowState.h"
#include "settings/AppSettings.h"
#include "support/SitePath.h"
#include "workspace/OutputIndexFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTimer>

namespace kestrion {

namespace {

QString standardized(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isReadableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

// The selection's file when it is previewable, under root and readable.
std::optional<QString> resolvedSelection(const std::optional<QString>& selection, const QString& root) {
    if (!selection || !OutputIndexFile::isPreviewableWebFile(*selection)) {
        return std::nullopt;
    }
    auto file = SitePath::locationOf(root, *selection);
    if (file && isReadableFile(*file)) {
        return file;
    }
    return std::nullopt;
}

std::optional<QString> resolvedFile(const std::optional<QString>& selection, const QString& root) {
    if (auto selected = resolvedSelection(selection, root)) {
        return selected;
    }
    return OutputIndexFile::pathIn(root);
}

} // namespace

DetailWorkspaceController::DetailWorkspaceController(AppSettings* settings, WindowState* state, QObject* parent)
    : QObject(parent), m_settings(settings), m_state(state) {
    connect(m_state, &WindowState::detailWorkspaceTabChanged, this, &DetailWorkspaceController::onTabChanged);
    connect(m_state, &WindowState::previewSelectedRelativePathChanged, this,
            &DetailWorkspaceController::scheduleSourceSync);
    connect(m_state, &WindowState::previewReloadNonceChanged, this, &DetailWorkspaceController::scheduleSourceSync);
    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &DetailWorkspaceController::scheduleSourceSync);
    // Edits undone by hand leave a clean editor behind a stale report: the next
    // sync loads what is on disk, as for any clean editor.
    connect(m_state, &WindowState::previewSourceDocumentChanged, this, [this] {
        if (m_diskChange != DiskChange::None && !isSourceDirty()) {
            scheduleSourceSync();
        }
    });
}

std::optional<QString> DetailWorkspaceController::resolvedPreviewFileURL(const QString& root) const {
    return resolvedFile(m_state->previewSelectedRelativePath(), root);
}

std::optional<QString> DetailWorkspaceController::resolvedPreviewFile() const {
    const auto root = m_settings->outputDirectoryPath();
    if (!root) {
        return std::nullopt;
    }
    return resolvedPreviewFileURL(*root);
}

std::optional<QString> DetailWorkspaceController::sourceFileToShow(const QString& root) const {
    if (isSourceDirty() && m_sourceFile && SitePath::isStrictlyBelow(root, *m_sourceFile)) {
        return m_sourceFile;
    }
    return resolvedPreviewFileURL(root);
}

QString DetailWorkspaceController::previewCaption(const QString& file, const QString& root) const {
    const auto& selection = m_state->previewSelectedRelativePath();
    if (selection && OutputIndexFile::isPreviewableWebFile(*selection)) {
        const auto selected = SitePath::locationOf(root, *selection);
        if (selected && standardized(*selected) == standardized(file)) {
            return *selection;
        }
    }
    // A file kept for its edits after the selection moved on still says where it is.
    return SitePath::relativeBelow(root, file).value_or(QFileInfo(file).fileName());
}

void DetailWorkspaceController::validatePreviewSelectionAgainstRoot() {
    const auto root = m_settings->outputDirectoryPath();
    const auto& selection = m_state->previewSelectedRelativePath();
    if (!root || !selection) {
        return;
    }
    const auto file = SitePath::locationOf(*root, *selection);
    if (!file || !isReadableFile(*file)) {
        m_state->setPreviewSelectedRelativePath(std::nullopt);
    }
}

void DetailWorkspaceController::loadPreviewSourceFromDisk(const QString& file) {
    const QString path = standardized(file);
    const bool changedFile = m_sourceFile != path;
    m_sourceFile = path;
    m_state->setPreviewSourceSaveError(std::nullopt);
    OutputIndexFile::TextFile read;
    if (OutputIndexFile::isSourceEditableFile(path)) {
        const auto root = m_settings->outputDirectoryPath();
        read = root ? OutputIndexFile::readTextFile(*root, path) : OutputIndexFile::TextFile{};
        if (read.status == OutputIndexFile::TextFile::Status::Unreadable) {
            m_state->setPreviewSourceSaveError(tr(qUtf8Printable(couldNotReadMessage)));
        }
    }
    const bool tooLarge = read.status == OutputIndexFile::TextFile::Status::TooLarge;
    const bool changedSize = m_sourceTooLarge != tooLarge;
    m_sourceTooLarge = tooLarge;
    m_baseVersion = read.version;
    m_acceptedPreviewFile.reset();
    reportDiskChange(DiskChange::None, {});
    // Baseline first: the document's change signal then already sees a clean editor.
    m_state->setPreviewSourceBaseline(read.text);
    m_state->setPreviewSourceDocument(read.text);
    if (changedFile || changedSize) {
        Q_EMIT sourceFileChanged();
    }
}

void DetailWorkspaceController::refreshPreviewSourceFromDiskIfClean(const std::optional<QString>& file) {
    if (!m_settings->outputDirectoryPath()) {
        return;
    }
    const std::optional<QString> target = file ? file : resolvedPreviewFile();
    if (!target || !OutputIndexFile::isSourceEditableFile(*target)) {
        return;
    }
    if (!isSourceDirty()) {
        loadPreviewSourceFromDisk(*target);
    }
}

void DetailWorkspaceController::savePreviewSource(const QString& file) {
    m_state->setPreviewSourceSaveError(std::nullopt);
    if (!OutputIndexFile::isSourceEditableFile(file)) {
        return;
    }
    // The tree's paths are checked only textually; the site resolves the
    // location fully (a link inside the website directory could lead the
    // write elsewhere) and writes to what it resolved.
    const auto root = m_settings->outputDirectoryPath();
    if (!root) {
        m_state->setPreviewSourceSaveError(tr(qUtf8Printable(outsideDirectoryMessage)));
        return;
    }
    const QString path = standardized(file);
    const SitePath::Site site(*root);
    const SitePath::Resolution target = site.resolveLocation(path);
    if (!target.ok()) {
        m_state->setPreviewSourceSaveError(tr(qUtf8Printable(outsideDirectoryMessage)));
        return;
    }
    // Qt's encoder drops unpaired surrogates without a word; they have no UTF-8 form.
    const QString& document = m_state->previewSourceDocument();
    QStringEncoder encoder(QStringEncoder::Utf8);
    const QByteArray bytes = encoder.encode(document);
    if (!document.isValidUtf16() || encoder.hasError()) {
        m_state->setPreviewSourceSaveError(tr(qUtf8Printable(couldNotEncodeMessage)));
        return;
    }
    // The edits replace only the version they are based on (or one the user
    // chose to keep them over); anything else is the user's call.
    const bool editorsFile = m_sourceFile == path;
    if (editorsFile) {
        const auto found = OutputIndexFile::FileVersion::of(site.read(target, OutputIndexFile::maxTextFileBytes));
        if (!found.sameContent(m_baseVersion)) {
            using State = OutputIndexFile::FileVersion::State;
            reportDiskChange(found.state == State::Missing ? DiskChange::Deleted : DiskChange::Changed, found);
            if (m_overwritePrompt && !m_overwritePrompt()) {
                return;
            }
        }
    }
    const WriteResult written = site.write(target, bytes);
    if (!written.ok()) {
        m_state->setPreviewSourceSaveError(written.error);
        return;
    }
    if (editorsFile) {
        m_baseVersion = OutputIndexFile::FileVersion::ofBytes(bytes);
        reportDiskChange(DiskChange::None, {});
    }
    m_state->setPreviewSourceBaseline(m_state->previewSourceDocument());
    m_state->bumpPreviewReloadNonce();
}

void DetailWorkspaceController::saveSource() {
    // A file too large to load left the editor empty: saving would wipe it.
    if (m_sourceFile && !m_sourceTooLarge) {
        savePreviewSource(*m_sourceFile);
    }
}

bool DetailWorkspaceController::isTooLargeToEdit(const QString& file) const {
    return m_sourceTooLarge && m_sourceFile == standardized(file);
}

bool DetailWorkspaceController::isSourceDirty() const {
    return m_state->isPreviewSourceDirty();
}

bool DetailWorkspaceController::confirmSelectionChange(const QString& relativePath) {
    const auto root = m_settings->outputDirectoryPath();
    if (!isSourceDirty() || !m_sourceFile || !root) {
        return true;
    }
    const auto next = resolvedFile(relativePath, *root);
    if (next && standardized(*next) == *m_sourceFile) {
        return true;
    }
    return askToDiscard();
}

bool DetailWorkspaceController::confirmDirectoryChange(const std::optional<QString>& directory) {
    if (!isSourceDirty() || directory == m_settings->outputDirectoryPath()) {
        return true;
    }
    return askToDiscard();
}

bool DetailWorkspaceController::askToDiscard() {
    if (m_discardPrompt && !m_discardPrompt()) {
        return false;
    }
    // Dropped now, so whatever loads next finds a clean editor.
    m_state->setPreviewSourceDocument(m_state->previewSourceBaseline());
    return true;
}

void DetailWorkspaceController::keepEditedVersion() {
    if (m_diskChange == DiskChange::None) {
        return;
    }
    if (m_diskChange == DiskChange::Superseded) {
        m_acceptedPreviewFile = m_previewedInstead;
    } else {
        m_baseVersion = m_reportedVersion;
    }
    reportDiskChange(DiskChange::None, {});
}

void DetailWorkspaceController::reloadFromDisk() {
    if (!m_sourceFile || (isSourceDirty() && !askToDiscard())) {
        return;
    }
    const auto resolved = resolvedPreviewFile();
    loadPreviewSourceFromDisk(resolved.value_or(*m_sourceFile));
}

void DetailWorkspaceController::checkDisk(const std::optional<QString>& resolved) {
    const auto root = m_settings->outputDirectoryPath();
    if (!root || !m_sourceFile) {
        return;
    }
    const auto found = OutputIndexFile::readFileVersion(*root, *m_sourceFile);
    if (!found.sameContent(m_baseVersion)) {
        using State = OutputIndexFile::FileVersion::State;
        reportDiskChange(found.state == State::Missing ? DiskChange::Deleted : DiskChange::Changed, found);
        return;
    }
    const std::optional<QString> previewed = resolved ? std::optional(standardized(*resolved)) : std::nullopt;
    if (previewed && previewed != m_sourceFile && previewed != m_acceptedPreviewFile) {
        reportDiskChange(DiskChange::Superseded, found, previewed);
        return;
    }
    reportDiskChange(DiskChange::None, {});
}

void DetailWorkspaceController::reportDiskChange(DiskChange change, const OutputIndexFile::FileVersion& found,
                                                 const std::optional<QString>& previewedInstead) {
    m_reportedVersion = found;
    if (change == m_diskChange && previewedInstead == m_previewedInstead) {
        return;
    }
    m_diskChange = change;
    m_previewedInstead = previewedInstead;
    Q_EMIT diskChangeChanged();
}

void DetailWorkspaceController::onTabChanged() {
    switch (m_state->detailWorkspaceTab()) {
    case DetailWorkspaceTab::Create:
        return;
    case DetailWorkspaceTab::Preview:
        validatePreviewSelectionAgainstRoot();
        m_state->bumpPreviewReloadNonce();
        return;
    case DetailWorkspaceTab::Source:
        validatePreviewSelectionAgainstRoot();
        syncSource();
        return;
    }
}

bool DetailWorkspaceController::isSourceTabShown() const {
    return m_state->detailWorkspaceTab() == DetailWorkspaceTab::Source;
}

void DetailWorkspaceController::scheduleSourceSync() {
    if (m_syncScheduled || !isSourceTabShown()) {
        return;
    }
    m_syncScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_syncScheduled = false;
        syncSource();
    });
}

void DetailWorkspaceController::syncSource() {
    if (!isSourceTabShown()) {
        return;
    }
    const auto file = resolvedPreviewFile();
    // Unsaved edits stay with their file whatever a reply or a refresh did on
    // disk (a user's pick of another file asked first and dropped them).
    if (isSourceDirty() && m_sourceFile && !m_sourceTooLarge) {
        checkDisk(file);
        return;
    }
    if (!file) {
        reportDiskChange(DiskChange::None, {});
        return;
    }
    if (standardized(*file) != m_sourceFile) {
        loadPreviewSourceFromDisk(*file);
    } else {
        refreshPreviewSourceFromDiskIfClean(*file);
    }
}

} // namespace kestrion

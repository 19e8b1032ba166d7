#pragma once

#include "workspace/OutputIndexFile.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace kestrion {

class AppSettings;
class WindowState;

// The non-visual half of the Preview and Source tabs: which file they show,
// the caption above it, and the source editor's load, refresh and save cycle
// on the window state. Everything runs on the interface thread; the reads and
// the one atomic write are single small files.
//
// The editor's text always belongs to one file (sourceFile()). Reactions to a
// new selection, a new directory or a bumped reload counter run once the
// current event is done, so that a handler making several changes in a row
// (the sidebar's directory change) is seen as one change.
//
// Unsaved edits are never dropped by what happens on disk: while the editor
// has them, a refresh compares the file with the version the edits are based
// on and reports the difference (diskChange()) instead of loading anything.
class DetailWorkspaceController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailWorkspaceController)

public:
    // Asked before unsaved edits would be dropped; true means "discard them".
    using DiscardPrompt = std::function<bool()>;
    // Asked before a save replaces a file that changed on disk since the edits'
    // version of it; true means "overwrite it".
    using OverwritePrompt = std::function<bool()>;

    // How the disk differs from the version the unsaved edits are based on.
    enum class DiskChange {
        None,
        Changed,    // the file holds other bytes
        Deleted,    // the file is gone
        Superseded, // the file is unchanged, but another one is now the file previewed
    };

    static inline const QString couldNotReadMessage =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::DetailWorkspaceController", "Could not read file."));
    static inline const QString couldNotEncodeMessage =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::DetailWorkspaceController", "Could not encode as UTF-8."));
    static inline const QString outsideDirectoryMessage = QStringLiteral(QT_TRANSLATE_NOOP(
        "kestrion::DetailWorkspaceController", "Not saved: the file is not inside the website directory."));

    DetailWorkspaceController(AppSettings* settings, WindowState* state, QObject* parent = nullptr);

    // The file to preview or edit under root: the selected previewable file when
    // it resolves under root and is readable, else the index page.
    std::optional<QString> resolvedPreviewFileURL(const QString& root) const;
    // The same for the current website directory; nothing without one.
    std::optional<QString> resolvedPreviewFile() const;
    // The file the Source tab shows under root: the file the unsaved edits
    // belong to while there are any, else the resolved file.
    std::optional<QString> sourceFileToShow(const QString& root) const;
    // The selected relative path when it is what file shows, else file's path
    // relative to root (its name when it is not inside).
    QString previewCaption(const QString& file, const QString& root) const;
    // Clears a selection that no longer resolves to a readable file.
    void validatePreviewSelectionAgainstRoot();

    void loadPreviewSourceFromDisk(const QString& file);
    // Loads file (by default the resolved file) unless the editor has unsaved edits.
    void refreshPreviewSourceFromDiskIfClean(const std::optional<QString>& file = std::nullopt);
    // Writes the editor text as UTF-8; on success the editor is clean and the preview reloads.
    void savePreviewSource(const QString& file);
    // Saves the editor text into the file it was loaded from.
    void saveSource();

    // The standardized path of the file the editor text belongs to.
    const std::optional<QString>& sourceFile() const { return m_sourceFile; }
    // file is the source file and was over OutputIndexFile::maxTextFileBytes
    // when last loaded; the editor then holds nothing of it.
    bool isTooLargeToEdit(const QString& file) const;
    bool isSourceDirty() const;

    // Whether a change may proceed that would make the editor drop unsaved
    // edits: a click on relativePath in the tree, or a new website directory.
    // Asks the prompt only when edits would actually be dropped.
    bool confirmSelectionChange(const QString& relativePath);
    bool confirmDirectoryChange(const std::optional<QString>& directory);
    void setDiscardPrompt(DiscardPrompt prompt) { m_discardPrompt = std::move(prompt); }
    void setOverwritePrompt(OverwritePrompt prompt) { m_overwritePrompt = std::move(prompt); }

    // What the last refresh or save found on disk while there were unsaved edits.
    DiskChange diskChange() const { return m_diskChange; }
    // For Superseded: the file the preview shows instead.
    const std::optional<QString>& previewedInstead() const { return m_previewedInstead; }
    // The user keeps the edits over what was found: the report goes away and
    // the next save overwrites that version without asking.
    void keepEditedVersion();
    // Drops the edits (after the discard question) and loads what is on disk:
    // the resolved file, else the file itself.
    void reloadFromDisk();

Q_SIGNALS:
    // Another file now belongs to the editor, or the same file became too
    // large to edit or fit again.
    void sourceFileChanged();
    void diskChangeChanged();

private:
    void onTabChanged();
    void scheduleSourceSync();
    void syncSource();
    bool isSourceTabShown() const;
    bool askToDiscard();
    // Compares the disk with the edits' version and reports what differs;
    // resolved is the file that the preview shows now.
    void checkDisk(const std::optional<QString>& resolved);
    void reportDiskChange(DiskChange change, const OutputIndexFile::FileVersion& found,
                          const std::optional<QString>& previewedInstead = std::nullopt);

    AppSettings* m_settings;
    WindowState* m_state;
    std::optional<QString> m_sourceFile;
    bool m_sourceTooLarge = false;
    bool m_syncScheduled = false;
    DiscardPrompt m_discardPrompt;
    OverwritePrompt m_overwritePrompt;
    // The source file's version the editor's text is based on: as loaded or
    // saved, or as found on disk when the user chose to keep the edits.
    OutputIndexFile::FileVersion m_baseVersion;
    // A previewed file other than the source file that the user already knows of.
    std::optional<QString> m_acceptedPreviewFile;
    DiskChange m_diskChange = DiskChange::None;
    // What the report was about, so keeping the edits accepts exactly that.
    OutputIndexFile::FileVersion m_reportedVersion;
    std::optional<QString> m_previewedInstead;
};

} // namespace kestrion

#pragma once

#include "workspace/FileTreeNode.h"
#include "workspace/FileTreeScanner.h"

#include <QAbstractItemModel>
#include <QString>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace kestrion {

// The website file tree the sidebar shows. Lives on the interface thread and
// changes only there: refresh() walks the folder on a pool thread and applies
// the result here. Also a QAbstractItemModel over the same nodes, one column,
// so a tree view can show it directly.
class OutputFolderFileTreeModel final : public QAbstractItemModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputFolderFileTreeModel)
    Q_PROPERTY(kestrion::FileTreeNodes nodes READ nodes NOTIFY nodesChanged)
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusLineChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    enum Role {
        NodeIdRole = Qt::UserRole + 1, // QString: FileTreeNode::id
        SystemImageRole,               // QString: the icon name
        IsFolderRole,                  // bool
    };

    // Runs on a pool thread; must touch nothing but its arguments, and should
    // return early once stop is requested (its result is then discarded).
    using ScanFunction = std::function<FileTreeScanner::Snapshot(const QString& root, const std::stop_token& stop)>;

    static inline const QString noDirectoryStatus = QStringLiteral(
        QT_TRANSLATE_NOOP("kestrion::OutputFolderFileTreeModel", "Choose a website directory to see its tree."));

    explicit OutputFolderFileTreeModel(QObject* parent = nullptr);
    // For tests and tools that need to control the walk.
    explicit OutputFolderFileTreeModel(ScanFunction scan, QObject* parent = nullptr);
    ~OutputFolderFileTreeModel() override;

    const FileTreeNodes& nodes() const { return m_nodes; }
    QString statusLine() const { return m_statusLine; }
    bool isLoading() const { return m_isLoading; }

    // Rescans root without blocking the caller. Each refresh supersedes the
    // one before: the running scan is asked to stop and its result, should it
    // still arrive, is dropped, so only the latest root's tree is shown and
    // loading ends only when that scan ends.
    void refresh(std::optional<QString> root);

    // Publishes a finished scan. Rows are only reset when the tree differs,
    // so an unchanged rescan keeps a view's expanded folders and selection.
    void apply(FileTreeScanner::Snapshot snapshot);

    // The node behind an index (nullptr for the invisible root or a stale index).
    const FileTreeNode* nodeAt(const QModelIndex& index) const;
    // The index of the node with this id, or an invalid index.
    QModelIndex indexForId(const QString& id) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void nodesChanged();
    void statusLineChanged();
    void isLoadingChanged();

private:
    // The tree laid out flat so that parent() and index() are O(1): the
    // children of every node occupy one contiguous run of entries.
    struct FlatEntry {
        const FileTreeNode* node;
        int parent;     // flat index, -1 for top-level nodes
        int row;        // position among its siblings
        int firstChild; // flat index of child 0, -1 when there are none
    };

    void rebuildFlatIndex();
    void setLoading(bool loading);
    void setStatusLine(const QString& line);

    ScanFunction m_scan;
    // Stops the scan in flight; replaced by every refresh.
    std::stop_source m_runningScan;
    // Counts refreshes; a finished scan is applied only if none came after it.
    quint64 m_generation = 0;
    FileTreeNodes m_nodes;
    std::vector<FlatEntry> m_flat;
    QString m_statusLine;
    bool m_isLoading = false;
};

} // namespace kestrion

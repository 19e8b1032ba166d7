#include "workspace/OutputFolderFileTreeModel.h"

#include "workspace/FileIcons.h"

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace {

std::size_t countNodes(const FileTreeNodes& nodes) {
    std::size_t count = nodes.size();
    for (const FileTreeNode& node : nodes) {
        if (node.children) {
            count += countNodes(*node.children);
        }
    }
    return count;
}

} // namespace

OutputFolderFileTreeModel::OutputFolderFileTreeModel(QObject* parent)
    : OutputFolderFileTreeModel(
          [](const QString& root, const std::stop_token& stop) { return FileTreeScanner::scan(root, stop); }, parent) {}

OutputFolderFileTreeModel::OutputFolderFileTreeModel(ScanFunction scan, QObject* parent)
    : QAbstractItemModel(parent), m_scan(std::move(scan)) {}

OutputFolderFileTreeModel::~OutputFolderFileTreeModel() {
    // Nobody will read the result: free the pool thread early.
    m_runningScan.request_stop();
}

void OutputFolderFileTreeModel::refresh(std::optional<QString> root) {
    // A large folder's walk can outlast the switch to another folder; left to
    // finish, it would put the old tree (and its clicks) under the new root.
    m_runningScan.request_stop();
    m_runningScan = std::stop_source();
    const quint64 generation = ++m_generation;
    setLoading(true);
    if (!root) {
        apply({{}, tr(qUtf8Printable(noDirectoryStatus))});
        setLoading(false);
        return;
    }
    // The continuation runs on this object's thread and is dropped if the
    // model is destroyed first; the walk itself shares nothing with it.
    QtConcurrent::run([scan = m_scan, path = *root, stop = m_runningScan.get_token()] {
        return scan(path, stop);
    }).then(this, [this, generation](FileTreeScanner::Snapshot snapshot) {
        if (generation != m_generation) {
            return;
        }
        apply(std::move(snapshot));
        setLoading(false);
    });
}

void OutputFolderFileTreeModel::apply(FileTreeScanner::Snapshot snapshot) {
    if (snapshot.nodes != m_nodes) {
        beginResetModel();
        m_nodes = std::move(snapshot.nodes);
        rebuildFlatIndex();
        endResetModel();
        emit nodesChanged();
    }
    setStatusLine(snapshot.statusLine);
}

void OutputFolderFileTreeModel::rebuildFlatIndex() {
    m_flat.clear();
    m_flat.reserve(countNodes(m_nodes));
    for (std::size_t row = 0; row < m_nodes.size(); ++row) {
        m_flat.push_back({&m_nodes[row], -1, static_cast<int>(row), -1});
    }
    // Breadth-first: appending a node's children while walking the vector
    // keeps each sibling run contiguous.
    for (std::size_t i = 0; i < m_flat.size(); ++i) {
        const FileTreeNode* node = m_flat[i].node;
        if (!node->children || node->children->empty()) {
            continue;
        }
        m_flat[i].firstChild = static_cast<int>(m_flat.size());
        const FileTreeNodes& children = *node->children;
        for (std::size_t row = 0; row < children.size(); ++row) {
            m_flat.push_back({&children[row], static_cast<int>(i), static_cast<int>(row), -1});
        }
    }
}

void OutputFolderFileTreeModel::setLoading(bool loading) {
    if (m_isLoading != loading) {
        m_isLoading = loading;
        emit isLoadingChanged();
    }
}

void OutputFolderFileTreeModel::setStatusLine(const QString& line) {
    if (m_statusLine != line) {
        m_statusLine = line;
        emit statusLineChanged();
    }
}

const FileTreeNode* OutputFolderFileTreeModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.internalId() >= m_flat.size()) {
        return nullptr;
    }
    return m_flat[index.internalId()].node;
}

QModelIndex OutputFolderFileTreeModel::indexForId(const QString& id) const {
    for (std::size_t i = 0; i < m_flat.size(); ++i) {
        if (m_flat[i].node->id == id) {
            return createIndex(m_flat[i].row, 0, static_cast<quintptr>(i));
        }
    }
    return {};
}

QModelIndex OutputFolderFileTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || row >= rowCount(parent)) {
        return {};
    }
    if (!parent.isValid()) {
        return createIndex(row, 0, static_cast<quintptr>(row));
    }
    const FlatEntry& entry = m_flat[parent.internalId()];
    return createIndex(row, 0, static_cast<quintptr>(entry.firstChild + row));
}

QModelIndex OutputFolderFileTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() >= m_flat.size()) {
        return {};
    }
    const int parentIndex = m_flat[child.internalId()].parent;
    if (parentIndex < 0) {
        return {};
    }
    return createIndex(m_flat[static_cast<std::size_t>(parentIndex)].row, 0, static_cast<quintptr>(parentIndex));
}

int OutputFolderFileTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(m_nodes.size());
    }
    if (parent.column() != 0) {
        return 0;
    }
    const FileTreeNode* node = nodeAt(parent);
    return node && node->children ? static_cast<int>(node->children->size()) : 0;
}

int OutputFolderFileTreeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool OutputFolderFileTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return !m_nodes.empty();
    }
    if (parent.column() != 0) {
        return false;
    }
    // A folder stays expandable even when empty, so it reads as a folder.
    const FileTreeNode* node = nodeAt(parent);
    return node && node->isFolder();
}

QVariant OutputFolderFileTreeModel::data(const QModelIndex& index, int role) const {
    const FileTreeNode* node = nodeAt(index);
    if (!node) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return node->name;
    case Qt::ToolTipRole:
    case NodeIdRole:
        return node->id;
    case Qt::DecorationRole:
        return FileIcons::icon(node->systemImage);
    case SystemImageRole:
        return node->systemImage;
    case IsFolderRole:
        return node->isFolder();
    default:
        return {};
    }
}

QHash<int, QByteArray> OutputFolderFileTreeModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractItemModel::roleNames();
    names.insert(NodeIdRole, "nodeId");
    names.insert(SystemImageRole, "systemImage");
    names.insert(IsFolderRole, "isFolder");
    return names;
}

} // namespace kestrion

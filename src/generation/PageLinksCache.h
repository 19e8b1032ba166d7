#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// What a link check keeps between checks: the links each page named, so that
// the check after a turn parses only the few pages the turn wrote.
namespace kestrion::LinkCheck {

// What tells one version of a file from another without reading it. A file
// written again changes its change time (which no program can set back) even
// when its size, inode and modification time stay.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = -1;
    qint64 changedNs = -1;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file, the link at its last piece not followed;
// nothing for anything else.
std::optional<FileStamp> stampOf(const QString& path);

// The checkable links of each page of one site, kept with the stamp of the
// page they were read from: a later check parses only the pages whose stamp
// changed (after a turn, the few the turn wrote). Only what a page names is
// kept; whether the named files exist is looked up afresh at every check.
// Bounded: pages beyond maxBytes of kept text are read every time.
class PageLinksCache {
public:
    static constexpr qint64 defaultMaxBytes = 16 * 1024 * 1024;

    explicit PageLinksCache(qint64 maxBytes = defaultMaxBytes) : m_maxBytes(maxBytes) {}

    // A page's links: the site target and the link as written.
    using Links = QList<std::pair<QString, QString>>;

    const Links* find(const QString& page, const FileStamp& stamp) const;
    void store(const QString& page, const FileStamp& stamp, Links links);
    // Forgets the pages not in keep (removed, renamed, or no longer a page).
    void retain(const QSet<QString>& keep);

    qsizetype size() const { return m_entries.size(); }
    qint64 bytes() const { return m_bytes; }
    // Pages parsed by the last check (the rest came from the cache).
    int lastParsed() const { return m_lastParsed; }
    void setLastParsed(int parsed) { m_lastParsed = parsed; }

private:
    struct Entry {
        FileStamp stamp;
        Links links;
        qint64 bytes = 0;
    };
    static qint64 footprint(const QString& page, const Links& links);

    QHash<QString, Entry> m_entries;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;
    int m_lastParsed = 0;
};

// The caches of the latest website directories checked, by resolved path. A
// check takes its directory's cache out for its duration, so two checks at
// once never share one (the second starts cold).
class SiteCaches {
public:
    static constexpr std::size_t maxSites = 4;

    // The one set the checks without a cache of their own share.
    static SiteCaches& shared();

    // The directory's cache, or a new one.
    std::unique_ptr<PageLinksCache> take(const QString& root);
    // Keeps it as the latest, forgetting the oldest beyond maxSites.
    void put(const QString& root, std::unique_ptr<PageLinksCache> cache);

private:
    std::mutex m_mutex;
    std::list<std::pair<QString, std::unique_ptr<PageLinksCache>>> m_recent;
};

} // namespace kestrion::LinkCheck

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <utility>

// Finds the links of a website that name a file of the site which is not
// there: a missing image, a stylesheet the model never wrote, a page renamed
// with a different letter case (a Linux server tells Team.JPG from team.jpg).
// Pure reading: every file goes through SitePath, the app's own folders
// (.git, .kestrion-chats) are not site files, and nothing outside the website
// directory is looked at.
namespace kestrion::LinkCheck {

// One link of a page (an HTML or CSS file) whose target is not a site file.
struct BrokenLink {
    QString page;   // the page, relative to the website directory
    QString target; // the link as the page writes it

    bool operator==(const BrokenLink&) const = default;
    bool operator<(const BrokenLink& other) const {
        return page != other.page ? page < other.page : target < other.target;
    }
};

// Caps that keep a check of an odd folder (a dependency tree, a huge file) short.
inline constexpr qint64 maxPageBytes = 8 * 1024 * 1024;
inline constexpr int maxCheckedPages = 5000;
inline constexpr int maxWalkedEntries = 50000;
// Elements open at once beyond which the rest of a page is not read (see htmlReferences).
inline constexpr int maxNesting = 3000;

// The links of an HTML document: href, src, srcset and poster of every
// element, and url(...) / @import of its <style> elements and style attributes.
// As written, in document order. A page nested deeper than maxNesting is read
// only up to there.
QStringList htmlReferences(const QByteArray& html);

// The url(...) and @import targets of a stylesheet, comments and other strings skipped.
QStringList cssReferences(QStringView css);

// The candidates' URLs of a srcset attribute.
QStringList srcsetUrls(QStringView srcset);

// What a link names in the site, "/"-separated and relative to the website
// directory, for a page at pagePath (relative too). Nothing when the link is
// not checked: another scheme (http, mailto, tel, data, javascript, ...), a
// network path ("//host"), a fragment alone, or the page itself. The site's
// root folder is the empty text; a link that climbs above it gives "..", which
// no site file is.
std::optional<QString> siteTarget(const QString& pagePath, const QString& reference);

// The files and folders of a site, by their exact names.
struct SiteFiles {
    QSet<QString> files;
    QSet<QString> folders;
    QStringList pages; // the HTML and CSS files, in no particular order

    // Whether a link target is served: a file, or a folder with an index page.
    bool serves(const QString& target) const;
};

// Walks the website directory without following links to folders and
// without entering .git or .kestrion-chats.
SiteFiles listSite(const QString& root);

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

// Every broken link of the site, sorted by page then link, each pair once.
// Blocking: it reads the pages changed since the last check of the same
// website directory (kept in memory for the few latest directories) and
// parses them in parallel.
QList<BrokenLink> check(const QString& root);
// The same with the caller's cache.
QList<BrokenLink> check(const QString& root, PageLinksCache& cache);

// The links of one page that the site does not serve.
QList<BrokenLink> brokenLinksOf(const QString& pagePath, const QByteArray& bytes, const SiteFiles& site);

// The summary row for broken links ("**Broken links:** `a.html` → `b.jpg`, ...",
// at most maxShown, then "and N more"); empty when there are none.
inline constexpr int maxShown = 20;
QString summaryRow(const QList<BrokenLink>& links);

} // namespace kestrion::LinkCheck

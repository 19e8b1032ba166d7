#include "generation/LinkCheck.h"

#include "support/SitePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QThreadPool>
#include <QtConcurrent>
#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <gumbo.h>
#include <list>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrion::LinkCheck {

namespace {

bool isPageName(const QString& relativePath) {
    const qsizetype dot = relativePath.lastIndexOf(u'.');
    if (dot < 0 || dot < relativePath.lastIndexOf(u'/')) {
        return false;
    }
    const QStringView extension = QStringView(relativePath).mid(dot + 1);
    return extension.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String("css"), Qt::CaseInsensitive) == 0;
}

bool isCssName(const QString& relativePath) {
    return relativePath.endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
}

bool isCssSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isIdentifierChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'_';
}

// Index just past a quoted CSS string starting at begin (backslash escapes kept).
qsizetype skipString(QStringView css, qsizetype begin, QString* value) {
    const QChar quote = css[begin];
    qsizetype i = begin + 1;
    while (i < css.size() && css[i] != quote && css[i] != u'\n') {
        if (css[i] == u'\\' && i + 1 < css.size()) {
            ++i;
        }
        if (value) {
            value->append(css[i]);
        }
        ++i;
    }
    return std::min(i + 1, css.size());
}

bool startsWithAt(QStringView css, qsizetype at, QLatin1StringView word) {
    return css.mid(at).startsWith(word, Qt::CaseInsensitive);
}

// Skips white space from i, then takes a quoted string there into out when
// there is one. Where scanning goes on, and whether a string was taken.
std::pair<qsizetype, bool> readQuoted(QStringView css, qsizetype i, QStringList& out) {
    while (i < css.size() && isCssSpace(css[i])) {
        ++i;
    }
    if (i < css.size() && (css[i] == u'"' || css[i] == u'\'')) {
        QString value;
        i = skipString(css, i, &value);
        out.append(value);
        return {i, true};
    }
    return {i, false};
}

// The link of "url(" at open (just past the parenthesis), and where scanning goes on.
qsizetype readUrl(QStringView css, qsizetype open, QStringList& out) {
    auto [i, quoted] = readQuoted(css, open, out);
    if (!quoted) {
        const qsizetype start = i;
        while (i < css.size() && css[i] != u')' && !isCssSpace(css[i])) {
            ++i;
        }
        out.append(css.mid(start, i - start).toString());
    }
    while (i < css.size() && css[i] != u')') {
        ++i;
    }
    return i;
}

void collectAttributeLinks(const GumboElement& element, QStringList& out) {
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const char* name = attribute->name;
        const QString value = QString::fromUtf8(attribute->value);
        if (qstricmp(name, "href") == 0 || qstricmp(name, "src") == 0 || qstricmp(name, "poster") == 0) {
            out.append(value);
        } else if (qstricmp(name, "srcset") == 0) {
            out.append(srcsetUrls(value));
        } else if (qstricmp(name, "style") == 0) {
            out.append(cssReferences(value));
        }
    }
}

void collectNodeLinks(const GumboNode* root, QStringList& out) {
    // Iterative: a page of deeply nested tags must not exhaust the stack.
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type == GUMBO_NODE_DOCUMENT) {
            const GumboVector& children = node->v.document.children;
            for (unsigned i = children.length; i > 0; --i) {
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
            }
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) {
            continue;
        }
        const GumboElement& element = node->v.element;
        collectAttributeLinks(element, out);
        if (element.tag == GUMBO_TAG_STYLE) {
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) {
                    out.append(cssReferences(QString::fromUtf8(child->v.text.text)));
                }
            }
            continue;
        }
        for (unsigned i = element.children.length; i > 0; --i) {
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
}

bool isVoidElement(QByteArrayView name) {
    static constexpr const char* voids[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                            "input", "link", "meta", "param", "source", "track", "wbr"};
    for (const char* candidate : voids) {
        if (name.compare(QByteArrayView(candidate), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// The parser checks the open elements on every start tag, so a page nested
// tens of thousands deep takes it minutes. Where a rough count of the open
// elements (start tags less end tags, void and self-closed ones left out)
// passes the limit, the page is read only that far.
qsizetype nestingCut(const QByteArray& html) {
    qsizetype open = 0;
    const qsizetype size = html.size();
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (html[i] != '<') {
            continue;
        }
        const bool closing = html[i + 1] == '/';
        qsizetype nameStart = i + (closing ? 2 : 1);
        qsizetype nameEnd = nameStart;
        while (nameEnd < size && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) {
            ++nameEnd;
        }
        if (nameEnd == nameStart || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            continue;
        }
        if (closing) {
            open = std::max<qsizetype>(0, open - 1);
            continue;
        }
        const qsizetype tagEnd = html.indexOf('>', nameEnd);
        const bool selfClosed = tagEnd > 0 && html[tagEnd - 1] == '/';
        if (!selfClosed && !isVoidElement(QByteArrayView(html).sliced(nameStart, nameEnd - nameStart)) &&
            ++open > maxNesting) {
            return i;
        }
    }
    return size;
}

bool hasScheme(QStringView link) {
    if (link.isEmpty() || !((link[0] >= u'a' && link[0] <= u'z') || (link[0] >= u'A' && link[0] <= u'Z'))) {
        return false;
    }
    for (qsizetype i = 1; i < link.size(); ++i) {
        const QChar c = link[i];
        if (c == u':') {
            return true;
        }
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.') {
            return false;
        }
    }
    return false;
}

// Browsers strip these from both ends of a URL attribute.
QString strippedUrl(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20) {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= 0x20) {
        --end;
    }
    return text.mid(begin, end - begin);
}

} // namespace

QStringList srcsetUrls(QStringView srcset) {
    QStringList urls;
    qsizetype i = 0;
    while (i < srcset.size()) {
        while (i < srcset.size() && (isCssSpace(srcset[i]) || srcset[i] == u',')) {
            ++i;
        }
        const qsizetype start = i;
        while (i < srcset.size() && !isCssSpace(srcset[i])) {
            ++i;
        }
        QStringView url = srcset.mid(start, i - start);
        bool descriptorsFollow = true;
        if (url.endsWith(u',')) {
            while (url.endsWith(u',')) {
                url.chop(1);
            }
            descriptorsFollow = false;
        }
        if (!url.isEmpty()) {
            urls.append(url.toString());
        }
        if (descriptorsFollow) {
            int depth = 0;
            while (i < srcset.size() && (depth > 0 || srcset[i] != u',')) {
                depth += srcset[i] == u'(' ? 1 : srcset[i] == u')' && depth > 0 ? -1 : 0;
                ++i;
            }
        }
    }
    return urls;
}

QStringList cssReferences(QStringView css) {
    QStringList out;
    qsizetype i = 0;
    while (i < css.size()) {
        const QChar c = css[i];
        if (c == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
            const qsizetype close = css.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? css.size() : close + 2;
        } else if (c == u'"' || c == u'\'') {
            i = skipString(css, i, nullptr);
        } else if (c == u'\\') {
            i += 2;
        } else if ((c == u'u' || c == u'U') && startsWithAt(css, i, QLatin1StringView("url(")) &&
                   (i == 0 || !isIdentifierChar(css[i - 1]))) {
            i = readUrl(css, i + 4, out) + 1;
        } else if (c == u'@' && startsWithAt(css, i, QLatin1StringView("@import")) &&
                   (i + 7 >= css.size() || !isIdentifierChar(css[i + 7]))) {
            i = readQuoted(css, i + 7, out).first; // url(...) is taken by the next round
        } else {
            ++i;
        }
    }
    return out;
}

QStringList htmlReferences(const QByteArray& html) {
    QStringList out;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here, and recording them costs a third of the time
    GumboOutput* parsed = gumbo_parse_with_options(&options, html.constData(), static_cast<size_t>(nestingCut(html)));
    if (!parsed) {
        return out;
    }
    collectNodeLinks(parsed->document, out);
    gumbo_destroy_output(&options, parsed);
    return out;
}

std::optional<QString> siteTarget(const QString& pagePath, const QString& reference) {
    QString link = strippedUrl(reference);
    if (link.isEmpty() || link.startsWith(u'#') || link.startsWith(QLatin1String("//")) ||
        link.startsWith(QLatin1String("\\\\")) || hasScheme(link)) {
        return std::nullopt;
    }
    const auto cut = std::find_if(link.cbegin(), link.cend(), [](QChar c) { return c == u'?' || c == u'#'; });
    link.truncate(cut - link.cbegin());
    if (link.isEmpty()) {
        return std::nullopt; // the page itself, with a query
    }
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(link.toUtf8()));
    QStringList pieces;
    if (!decoded.startsWith(u'/')) {
        pieces = pagePath.split(u'/');
        pieces.removeLast();
    }
    const QStringList parts = decoded.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part == QLatin1String("..")) {
            if (pieces.isEmpty()) {
                return QStringLiteral(".."); // above the website directory: never a site file
            }
            pieces.removeLast();
        } else if (part == QLatin1String(".") || (part.isEmpty() && i + 1 < parts.size())) {
            continue;
        } else {
            pieces.append(part);
        }
    }
    // A trailing "/" (or "." / "..") names the folder itself.
    if (!pieces.isEmpty() && pieces.last().isEmpty()) {
        pieces.removeLast();
    }
    return pieces.join(u'/');
}

bool SiteFiles::serves(const QString& target) const {
    if (files.contains(target)) {
        return true;
    }
    if (target.isEmpty() || folders.contains(target)) {
        const QString prefix = target.isEmpty() ? QString() : target + u'/';
        return files.contains(prefix + QStringLiteral("index.html")) ||
               files.contains(prefix + QStringLiteral("index.htm"));
    }
    return false;
}

SiteFiles listSite(const QString& root) {
    SiteFiles site;
    const SitePath::Site resolved(root);
    if (!resolved.exists()) {
        return site;
    }
    const fs::path base = QFile::encodeName(resolved.canonicalRoot()).toStdString();
    std::error_code error;
    fs::recursive_directory_iterator walk(base, fs::directory_options::skip_permission_denied, error);
    int entries = 0;
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (++entries > maxWalkedEntries) {
            break;
        }
        const std::string& native = walk->path().native();
        const QString relative = QFile::decodeName(
            QByteArray(native.data() + base.native().size() + 1, qsizetype(native.size() - base.native().size() - 1)));
        std::error_code kindError;
        const bool isLink = walk->is_symlink(kindError);
        if (walk->is_directory(kindError) && !isLink) {
            if (SitePath::namesPrivateFolder(relative)) {
                walk.disable_recursion_pending();
                continue;
            }
            site.folders.insert(relative);
            continue;
        }
        // A link counts when it leads to a regular file inside the site; a linked folder is not walked.
        if (isLink) {
            const SitePath::Resolution target = resolved.resolve(relative);
            if (!target.ok() || !target.exists || !fs::is_regular_file(walk->path(), kindError)) {
                continue;
            }
        } else if (!walk->is_regular_file(kindError)) {
            continue;
        }
        site.files.insert(relative);
        if (isPageName(relative) && site.pages.size() < maxCheckedPages) {
            site.pages.append(relative);
        }
    }
    return site;
}

namespace {

// The checkable links a page names, each (target, link as written) once.
PageLinksCache::Links linksOf(const QString& pagePath, const QByteArray& bytes) {
    const QStringList references =
        isCssName(pagePath) ? cssReferences(QString::fromUtf8(bytes)) : htmlReferences(bytes);
    PageLinksCache::Links links;
    for (const QString& reference : references) {
        if (auto target = siteTarget(pagePath, reference)) {
            links.append({std::move(*target), strippedUrl(reference)});
        }
    }
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    return links;
}

void appendBroken(const QString& pagePath, const PageLinksCache::Links& links, const SiteFiles& site,
                  QList<BrokenLink>& broken) {
    for (const auto& [target, written] : links) {
        if (!site.serves(target)) {
            broken.append({pagePath, written});
        }
    }
}

// A page to read: its place, and its stamp before the read when it had one.
struct PageRead {
    QString page;
    SitePath::Resolution where;
    std::optional<FileStamp> stamp;
};

struct PageParsed {
    bool read = false;
    bool cacheable = false;
    PageLinksCache::Links links;
};

PageParsed parsePage(const SitePath::Site& site, const PageRead& page) {
    const SitePath::ReadResult read = site.read(page.where, maxPageBytes);
    if (!read.ok()) {
        return {};
    }
    // Kept only when the file was the same before and after the read: a page
    // written meanwhile is read again next time.
    const bool cacheable = page.stamp && stampOf(page.where.absolutePath()) == page.stamp;
    return {true, cacheable, linksOf(page.page, read.bytes)};
}

// Below this many pages the threads cost more than they save.
constexpr qsizetype minParallelPages = 8;

QThreadPool& parsePool() {
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 4));
        made->setExpiryTimeout(5000);
        return made;
    }();
    return *pool;
}

// The caches of the latest website directories checked, by resolved path. A
// check takes its directory's cache out for its duration, so two checks at
// once never share one (the second starts cold).
class SiteCaches {
public:
    static constexpr std::size_t maxSites = 4;

    std::unique_ptr<PageLinksCache> take(const QString& root) {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_recent.begin(); it != m_recent.end(); ++it) {
            if (it->first == root) {
                auto cache = std::move(it->second);
                m_recent.erase(it);
                return cache;
            }
        }
        return std::make_unique<PageLinksCache>();
    }

    void put(const QString& root, std::unique_ptr<PageLinksCache> cache) {
        const std::lock_guard lock(m_mutex);
        m_recent.remove_if([&root](const auto& entry) { return entry.first == root; });
        m_recent.emplace_front(root, std::move(cache));
        while (m_recent.size() > maxSites) {
            m_recent.pop_back();
        }
    }

private:
    std::mutex m_mutex;
    std::list<std::pair<QString, std::unique_ptr<PageLinksCache>>> m_recent;
};

SiteCaches& siteCaches() {
    static SiteCaches caches;
    return caches;
}

} // namespace

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat status {};
    if (::fstatat(AT_FDCWD, QFile::encodeName(path).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    constexpr qint64 billion = 1000000000;
    return FileStamp{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * billion + status.st_mtim.tv_nsec,
                     qint64(status.st_ctim.tv_sec) * billion + status.st_ctim.tv_nsec};
}

qint64 PageLinksCache::footprint(const QString& page, const Links& links) {
    // The text, and a little for the list and hash bookkeeping.
    qint64 bytes = 64 + 2 * page.size();
    for (const auto& [target, written] : links) {
        bytes += 48 + 2 * (target.size() + written.size());
    }
    return bytes;
}

const PageLinksCache::Links* PageLinksCache::find(const QString& page, const FileStamp& stamp) const {
    const auto found = m_entries.constFind(page);
    return found != m_entries.constEnd() && found->stamp == stamp ? &found->links : nullptr;
}

void PageLinksCache::store(const QString& page, const FileStamp& stamp, Links links) {
    if (const auto old = m_entries.find(page); old != m_entries.end()) {
        m_bytes -= old->bytes;
        m_entries.erase(old);
    }
    const qint64 bytes = footprint(page, links);
    if (m_bytes + bytes > m_maxBytes) {
        return; // read again next time
    }
    m_bytes += bytes;
    m_entries.insert(page, {stamp, std::move(links), bytes});
}

void PageLinksCache::retain(const QSet<QString>& keep) {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (keep.contains(it.key())) {
            ++it;
        } else {
            m_bytes -= it->bytes;
            it = m_entries.erase(it);
        }
    }
}

QList<BrokenLink> brokenLinksOf(const QString& pagePath, const QByteArray& bytes, const SiteFiles& site) {
    QList<BrokenLink> broken;
    appendBroken(pagePath, linksOf(pagePath, bytes), site, broken);
    return broken;
}

QList<BrokenLink> check(const QString& root, PageLinksCache& cache) {
    const SiteFiles site = listSite(root);
    const SitePath::Site resolved(root);
    QList<BrokenLink> broken;
    QList<PageRead> toRead;
    QSet<QString> pages;
    pages.reserve(site.pages.size());
    for (const QString& page : site.pages) {
        pages.insert(page);
        // A stamp names one file (device and inode) in one version (change
        // time), so a match needs no resolving. A linked page has no stamp of
        // its own here and is always read.
        if (const auto stamp = stampOf(resolved.canonicalRoot() + u'/' + page)) {
            if (const PageLinksCache::Links* links = cache.find(page, *stamp)) {
                appendBroken(page, *links, site, broken);
                continue;
            }
        }
        SitePath::Resolution where = resolved.resolve(page);
        if (where.ok()) {
            std::optional<FileStamp> stamp = stampOf(where.absolutePath());
            toRead.append({page, std::move(where), stamp});
        }
    }
    cache.retain(pages);

    const auto parse = [&resolved](const PageRead& page) { return parsePage(resolved, page); };
    QList<PageParsed> parsed;
    if (toRead.size() >= minParallelPages) {
        parsed = QtConcurrent::blockingMapped<QList<PageParsed>>(&parsePool(), toRead, parse);
    } else {
        parsed.reserve(toRead.size());
        std::transform(toRead.cbegin(), toRead.cend(), std::back_inserter(parsed), parse);
    }
    for (qsizetype i = 0; i < toRead.size(); ++i) {
        if (!parsed[i].read) {
            continue;
        }
        appendBroken(toRead[i].page, parsed[i].links, site, broken);
        if (parsed[i].cacheable) {
            cache.store(toRead[i].page, *toRead[i].stamp, std::move(parsed[i].links));
        }
    }
    cache.setLastParsed(int(toRead.size()));

    std::sort(broken.begin(), broken.end());
    broken.erase(std::unique(broken.begin(), broken.end()), broken.end());
    return broken;
}

QList<BrokenLink> check(const QString& root) {
    const SitePath::Site resolved(root);
    if (!resolved.exists()) {
        return {};
    }
    SiteCaches& caches = siteCaches();
    std::unique_ptr<PageLinksCache> cache = caches.take(resolved.canonicalRoot());
    QList<BrokenLink> broken = check(root, *cache);
    caches.put(resolved.canonicalRoot(), std::move(cache));
    return broken;
}

QString summaryRow(const QList<BrokenLink>& links) {
    if (links.isEmpty()) {
        return {};
    }
    QStringList shown;
    const qsizetype count = std::min<qsizetype>(links.size(), maxShown);
    for (qsizetype i = 0; i < count; ++i) {
        shown.append(QLatin1Char('`') + SitePath::escapedForDisplay(links[i].page) + QStringLiteral("` \u2192 `") +
                     SitePath::escapedForDisplay(links[i].target) + QLatin1Char('`'));
    }
    if (links.size() > count) {
        shown.append(QStringLiteral("and %1 more").arg(links.size() - count));
    }
    return QCoreApplication::translate("kestrion::LinkCheck", "**Broken links:** %1")
        .arg(shown.join(QStringLiteral(", ")));
}

} // namespace kestrion::LinkCheck

#include "generation/LinkCheck.h"

#include "generation/LinkTarget.h"
#include "generation/PageReferences.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent>
#include <algorithm>
#include <memory>

namespace kestrion::LinkCheck {

namespace {

bool isCssName(const QString& relativePath) {
    return relativePath.endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
}

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

} // namespace

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
    SiteCaches& caches = SiteCaches::shared();
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

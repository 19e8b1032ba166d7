#pragma once

#include "generation/PageLinksCache.h"
#include "generation/SiteFiles.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Finds the links of a website that name a file of the site which is not
// there: a missing image, a stylesheet the model never wrote, a page renamed
// with a different letter case (a Linux server tells Team.JPG from team.jpg).
// Reading a page's links (PageReferences), resolving one against the site
// (LinkTarget), listing the site (SiteFiles) and keeping what earlier checks
// read (PageLinksCache) each have their own file; this one puts them together.
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

// Pages larger than this are not read, so a huge file keeps a check short.
inline constexpr qint64 maxPageBytes = 8 * 1024 * 1024;

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

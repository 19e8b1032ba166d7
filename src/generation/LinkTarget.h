#pragma once

#include <QString>
#include <optional>

// What a link of a page names in the site, worked out from the link's text
// alone: whether the named file exists is the site listing's question.
namespace kestrion::LinkCheck {

// The link as browsers take it from a URL attribute: spaces and control
// characters stripped from both ends.
QString strippedUrl(const QString& text);

// What a link names in the site, "/"-separated and relative to the website
// directory, for a page at pagePath (relative too). Nothing when the link is
// not checked: another scheme (http, mailto, tel, data, javascript, ...), a
// network path ("//host"), a fragment alone, or the page itself. The site's
// root folder is the empty text; a link that climbs above it gives "..", which
// no site file is.
std::optional<QString> siteTarget(const QString& pagePath, const QString& reference);

} // namespace kestrion::LinkCheck

#pragma once

#include <QUrl>

// What the app may hand to the desktop (the system browser or mail program).
// A link comes from a page of the site, a model reply or a file in the folder,
// all of which may be hostile; the desktop opens whatever scheme it has a
// handler for (network shares, files, terminals), so only these get through.
namespace kestrion::ExternalLinks {

// An http or https address with a host: where a published site is reached.
bool isWebAddress(const QUrl& url);

// A web address or a mailto address.
bool isExternallyOpenable(const QUrl& url);

} // namespace kestrion::ExternalLinks

#include "support/ExternalLinks.h"

namespace kestrion::ExternalLinks {

namespace {

bool hasScheme(const QUrl& url, QLatin1StringView scheme) {
    return url.scheme().compare(scheme, Qt::CaseInsensitive) == 0;
}

} // namespace

bool isWebAddress(const QUrl& url) {
    return url.isValid() && (hasScheme(url, QLatin1StringView("https")) || hasScheme(url, QLatin1StringView("http"))) &&
           !url.host().isEmpty();
}

bool isExternallyOpenable(const QUrl& url) {
    return isWebAddress(url) || (url.isValid() && hasScheme(url, QLatin1StringView("mailto")));
}

} // namespace kestrion::ExternalLinks

#pragma once

#include <QString>
#include <optional>

namespace kestrion::OutputIndexFile {

// The site's index page: "index.htm", else "index.html", whichever is first a
// readable file directly in the directory.
std::optional<QString> url(const std::optional<QString>& directory);

// A project-relative path from the file tree as an absolute location strictly
// inside outputRoot, or nothing for absolute, empty, "." or ".."-bearing paths.
// The test is textual: it does not resolve symbolic links (see
// isWritableLocationUnderRoot before writing anything).
std::optional<QString> absoluteFileURLIfUnderRoot(const QString& outputRoot, const QString& relativePOSIXPath);

// True when candidate lies strictly below root, comparing standardized paths;
// the root itself and a sibling such as /site2 for /site are not below /site.
bool isStrictFileSubpath(const QString& root, const QString& candidate);

// Whether a file may be written: its location with symbolic links resolved (of
// the file if it is a link, else of its parent folder) must lie strictly inside
// the root with its links resolved, and must not be a folder. Guards against a
// link inside the website directory pointing elsewhere (notes -> /etc).
bool isWritableLocationUnderRoot(const QString& filePath, const QString& root);

// The part of the last path component after its final ".", lower-cased; empty
// when there is none.
QString lowerCasedExtension(const QString& path);

bool isImageFile(const QString& relativePOSIXPath);
bool isPreviewableWebFile(const QString& relativePOSIXPath);
bool isSourceEditableFileURL(const QString& location);

// The whole file as text: strict UTF-8, else UTF-16, else UTF-8 with invalid
// sequences replaced. Nothing only when the file cannot be read.
std::optional<QString> readTextFile(const QString& location);

// A stylesheet shown as escaped text in a small monospaced page; nothing when
// the file cannot be read.
std::optional<QString> htmlDocumentShowingCSSFile(const QString& location);

// What the preview remembers of its last load: the standardized path, a line
// feed and the reload counter. The same key means the view is already current.
QString previewLoadKey(const QString& filePath, qint64 reloadNonce);

} // namespace kestrion::OutputIndexFile

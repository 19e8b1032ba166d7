#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>

// What a page names: the links written in an HTML document or a stylesheet,
// as written and in document order, before anything is resolved or checked.
namespace kestrion::LinkCheck {

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

} // namespace kestrion::LinkCheck

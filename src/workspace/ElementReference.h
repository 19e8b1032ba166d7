#pragma once

#include <QString>

// The words that start a message about one element the user picked in the
// preview: "In `index.html`, the element `section.hero > h1`
// (`<h1 class="title">Harbour Bakery</h1>`): ". Every part comes from the
// page, which is hostile: each is put on one line, cut, its control
// characters escaped and its backticks (which would end the code span)
// turned into quotes.
namespace kestrion::ElementReference {

inline constexpr int maxSnippetLength = 300;
inline constexpr int maxSelectorLength = 200;

// page: the file relative to the website directory; openingTag: the element's
// opening tag as the page has it; text: its text content.
QString compose(const QString& page, const QString& selector, const QString& tagName, const QString& openingTag,
                const QString& text);

} // namespace kestrion::ElementReference

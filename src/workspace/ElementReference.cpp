#include "workspace/ElementReference.h"

#include "support/SitePath.h"

#include <QCoreApplication>

namespace kestrion::ElementReference {

namespace {

QString oneLine(const QString& text, int maxLength) {
    QString line = text.simplified();
    line.replace(QLatin1Char('`'), QLatin1Char('\''));
    if (line.size() > maxLength) {
        line = line.left(maxLength - 1) + QChar(0x2026);
    }
    return SitePath::escapedForDisplay(line);
}

bool isTagName(const QString& name) {
    if (name.isEmpty() || name.size() > 40) {
        return false;
    }
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-') {
            return false;
        }
    }
    return true;
}

} // namespace

QString compose(const QString& page, const QString& selector, const QString& tagName, const QString& openingTag,
                const QString& text) {
    const QString closing =
        isTagName(tagName) ? QStringLiteral("</") + tagName.toLower() + QLatin1Char('>') : QString();
    QString snippet = openingTag.simplified() + text.simplified() + closing;
    if (snippet.size() > maxSnippetLength) {
        // Cut the middle, keep the closing tag: the model sees where the element ends.
        snippet = snippet.left(maxSnippetLength - closing.size() - 1) + QChar(0x2026) + closing;
    }
    // One pass, so a "%2" inside the page's texts stays as it is.
    return QCoreApplication::translate("kestrion::ElementReference", "In `%1`, the element `%2` (`%3`): ")
        .arg(oneLine(page, maxSelectorLength), oneLine(selector, maxSelectorLength),
             oneLine(snippet, maxSnippetLength));
}

} // namespace kestrion::ElementReference

#include "support/GraphemeText.h"

#include <QTextBoundaryFinder>

namespace kestrion {

QString firstCharacters(const QString& text, qsizetype count) {
    if (text.size() <= count) {
        return text;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype taken = 0; taken < count; ++taken) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0) {
            return text;
        }
        end = next;
    }
    return text.left(end);
}

} // namespace kestrion

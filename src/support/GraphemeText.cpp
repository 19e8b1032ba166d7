#include "support/GraphemeText.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace kestrion {

// A cluster boundary depends only on the text before it and the character
// after it, so the boundaries found in a prefix are those of the whole text;
// the prefix grows until it holds enough clusters, which keeps the cost
// proportional to what is examined, not to the text's length.
std::optional<qsizetype> graphemePrefixLength(QStringView text, qsizetype count) {
    if (count <= 0) {
        return 0;
    }
    // Between two ASCII characters there is always a boundary except inside CR LF, so
    // the usual all-ASCII start of a body is counted without the Unicode tables.
    qsizetype starts = 0;
    qsizetype i = 0;
    for (; i < text.size() && text[i].unicode() < 0x80; ++i) {
        if (i == 0 || text[i - 1] != u'\r' || text[i] != u'\n') {
            if (++starts == count + 1) {
                return i;
            }
        }
    }
    if (i == text.size()) {
        return starts == count ? std::optional<qsizetype>(i) : std::nullopt;
    }
    qsizetype probe = std::min<qsizetype>(text.size(), std::max<qsizetype>(4 * count, 256));
    while (true) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), probe);
        qsizetype clusters = 0;
        qsizetype position = 0;
        while ((position = finder.toNextBoundary()) >= 0) {
            // The end of a cut-short prefix is not a real boundary: the cluster
            // there may continue beyond it.
            if (position == probe && probe < text.size()) {
                break;
            }
            if (++clusters == count) {
                return position;
            }
        }
        if (probe == text.size()) {
            return std::nullopt;
        }
        probe = std::min<qsizetype>(text.size(), probe * 2);
    }
}

QString firstCharacters(const QString& text, qsizetype count) {
    if (text.size() <= count) {
        return text;
    }
    const std::optional<qsizetype> length = graphemePrefixLength(text, count);
    return length ? text.left(*length) : text;
}

} // namespace kestrion

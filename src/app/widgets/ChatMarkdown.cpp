#include "app/widgets/ChatMarkdown.h"

#include <QStringList>
#include <utility>

namespace kestrion {

namespace {

// Leading indentation in columns (a tab reaches the next multiple of four)
// and where the line's text starts.
std::pair<int, qsizetype> indentation(QStringView line) {
    int columns = 0;
    qsizetype i = 0;
    for (; i < line.size(); ++i) {
        if (line[i] == QLatin1Char(' ')) {
            ++columns;
        } else if (line[i] == QLatin1Char('\t')) {
            columns += 4 - columns % 4;
        } else {
            break;
        }
    }
    return {columns, i};
}

// The run of ` or ~ that opens or closes a code fence, or 0. A backtick run
// followed by another backtick on the line is inline code, not a fence.
qsizetype fenceRun(QStringView text) {
    if (text.isEmpty() || (text[0] != QLatin1Char('`') && text[0] != QLatin1Char('~'))) {
        return 0;
    }
    qsizetype run = 1;
    while (run < text.size() && text[run] == text[0]) {
        ++run;
    }
    if (run < 3 || (text[0] == QLatin1Char('`') && text.mid(run).contains(QLatin1Char('`')))) {
        return 0;
    }
    return run;
}

// The line without the quote markers ("> ") that put it in a block quote.
QStringView unquoted(QStringView content) {
    while (content.startsWith(QLatin1Char('>'))) {
        content = content.mid(1);
        content = content.mid(indentation(content).second);
    }
    return content;
}

// "- ", "* ", "+ ", "1. " or "1) " (or the marker alone on its line).
bool startsListItem(QStringView content) {
    qsizetype marker = 0;
    if (content.startsWith(QLatin1Char('-')) || content.startsWith(QLatin1Char('*')) ||
        content.startsWith(QLatin1Char('+'))) {
        marker = 1;
    } else {
        while (marker < content.size() && marker < 9 && content[marker].isDigit()) {
            ++marker;
        }
        if (marker == 0 || marker >= content.size() ||
            (content[marker] != QLatin1Char('.') && content[marker] != QLatin1Char(')'))) {
            return false;
        }
        ++marker;
    }
    return marker == content.size() || content[marker] == QLatin1Char(' ') || content[marker] == QLatin1Char('\t');
}

// Markdown joins the lines of a paragraph into one; a chat message keeps them,
// as chat apps show it (the reply summary is one row per line). So every line
// break inside a paragraph or quote becomes a hard break (two trailing spaces,
// which Markdown ignores where a block ends anyway). Lists are left as they
// are: the document turns a hard break into a new block, which in a list item
// would draw a bullet (and a number) of its own. Code keeps its text exactly:
// fenced blocks (at any indentation, so fences inside list items count) and
// indented blocks (four columns after a blank line) are left alone too.
QString withHardLineBreaks(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    QChar fenceChar;
    qsizetype fenceLength = 0;
    bool inIndentedCode = false;
    bool inList = false;
    bool previousBlank = true;
    const auto body = [](const QString& line) {
        return line.endsWith(QLatin1Char('\r')) ? QStringView(line).chopped(1) : QStringView(line);
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = body(lines[i]);
        const auto [columns, start] = indentation(line);
        const QStringView content = line.mid(start);
        const bool blank = content.trimmed().isEmpty();
        const qsizetype run = fenceRun(content);
        if (fenceLength > 0) {
            if (run >= fenceLength && content[0] == fenceChar && content.mid(run).trimmed().isEmpty()) {
                fenceLength = 0;
            }
            previousBlank = blank;
            continue;
        }
        inIndentedCode = !blank && columns >= 4 && (previousBlank || inIndentedCode);
        if (run > 0 && !inIndentedCode) {
            fenceChar = content[0];
            fenceLength = run;
            previousBlank = false;
            continue;
        }
        // A list goes on through its items' lines, and after a blank line
        // through indented ones; a line at the margin after a blank ends it.
        if (!blank && startsListItem(unquoted(content))) {
            inList = true;
        } else if (!blank && previousBlank && columns == 0) {
            inList = false;
        }
        previousBlank = blank;
        const bool nextHasText = i + 1 < lines.size() && !body(lines[i + 1]).trimmed().isEmpty();
        if (blank || inIndentedCode || inList || !nextHasText || line.endsWith(QLatin1String("  ")) ||
            line.endsWith(QLatin1Char('\\'))) {
            continue;
        }
        lines[i].insert(line.size(), QLatin1String("  "));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void setChatMarkdown(QTextDocument& document, const QString& text) {
    document.setMarkdown(
        withHardLineBreaks(text),
        QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub | QTextDocument::MarkdownNoHTML));
    if (document.isEmpty() && !text.trimmed().isEmpty()) {
        document.setPlainText(text);
    }
}

} // namespace kestrion

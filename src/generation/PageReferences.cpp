#include "generation/PageReferences.h"

#include <algorithm>
#include <cctype>
#include <gumbo.h>
#include <utility>
#include <vector>

namespace kestrion::LinkCheck {

namespace {

bool isCssSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isIdentifierChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'_';
}

// Index just past a quoted CSS string starting at begin (backslash escapes kept).
qsizetype skipString(QStringView css, qsizetype begin, QString* value) {
    const QChar quote = css[begin];
    qsizetype i = begin + 1;
    while (i < css.size() && css[i] != quote && css[i] != u'\n') {
        if (css[i] == u'\\' && i + 1 < css.size()) {
            ++i;
        }
        if (value) {
            value->append(css[i]);
        }
        ++i;
    }
    return std::min(i + 1, css.size());
}

bool startsWithAt(QStringView css, qsizetype at, QLatin1StringView word) {
    return css.mid(at).startsWith(word, Qt::CaseInsensitive);
}

// Skips white space from i, then takes a quoted string there into out when
// there is one. Where scanning goes on, and whether a string was taken.
std::pair<qsizetype, bool> readQuoted(QStringView css, qsizetype i, QStringList& out) {
    while (i < css.size() && isCssSpace(css[i])) {
        ++i;
    }
    if (i < css.size() && (css[i] == u'"' || css[i] == u'\'')) {
        QString value;
        i = skipString(css, i, &value);
        out.append(value);
        return {i, true};
    }
    return {i, false};
}

// The link of "url(" at open (just past the parenthesis), and where scanning goes on.
qsizetype readUrl(QStringView css, qsizetype open, QStringList& out) {
    auto [i, quoted] = readQuoted(css, open, out);
    if (!quoted) {
        const qsizetype start = i;
        while (i < css.size() && css[i] != u')' && !isCssSpace(css[i])) {
            ++i;
        }
        out.append(css.mid(start, i - start).toString());
    }
    while (i < css.size() && css[i] != u')') {
        ++i;
    }
    return i;
}

void collectAttributeLinks(const GumboElement& element, QStringList& out) {
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const char* name = attribute->name;
        const QString value = QString::fromUtf8(attribute->value);
        if (qstricmp(name, "href") == 0 || qstricmp(name, "src") == 0 || qstricmp(name, "poster") == 0) {
            out.append(value);
        } else if (qstricmp(name, "srcset") == 0) {
            out.append(srcsetUrls(value));
        } else if (qstricmp(name, "style") == 0) {
            out.append(cssReferences(value));
        }
    }
}

void collectNodeLinks(const GumboNode* root, QStringList& out) {
    // Iterative: a page of deeply nested tags must not exhaust the stack.
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type == GUMBO_NODE_DOCUMENT) {
            const GumboVector& children = node->v.document.children;
            for (unsigned i = children.length; i > 0; --i) {
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
            }
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) {
            continue;
        }
        const GumboElement& element = node->v.element;
        collectAttributeLinks(element, out);
        if (element.tag == GUMBO_TAG_STYLE) {
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) {
                    out.append(cssReferences(QString::fromUtf8(child->v.text.text)));
                }
            }
            continue;
        }
        for (unsigned i = element.children.length; i > 0; --i) {
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
}

bool isVoidElement(QByteArrayView name) {
    static constexpr const char* voids[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                            "input", "link", "meta", "param", "source", "track", "wbr"};
    for (const char* candidate : voids) {
        if (name.compare(QByteArrayView(candidate), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// The parser checks the open elements on every start tag, so a page nested
// tens of thousands deep takes it minutes. Where a rough count of the open
// elements (start tags less end tags, void and self-closed ones left out)
// passes the limit, the page is read only that far.
qsizetype nestingCut(const QByteArray& html) {
    qsizetype open = 0;
    const qsizetype size = html.size();
    for (qsizetype i = 0; i + 1 < size; ++i) {
        if (html[i] != '<') {
            continue;
        }
        const bool closing = html[i + 1] == '/';
        qsizetype nameStart = i + (closing ? 2 : 1);
        qsizetype nameEnd = nameStart;
        while (nameEnd < size && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) {
            ++nameEnd;
        }
        if (nameEnd == nameStart || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            continue;
        }
        if (closing) {
            open = std::max<qsizetype>(0, open - 1);
            continue;
        }
        const qsizetype tagEnd = html.indexOf('>', nameEnd);
        const bool selfClosed = tagEnd > 0 && html[tagEnd - 1] == '/';
        if (!selfClosed && !isVoidElement(QByteArrayView(html).sliced(nameStart, nameEnd - nameStart)) &&
            ++open > maxNesting) {
            return i;
        }
    }
    return size;
}

} // namespace

QStringList srcsetUrls(QStringView srcset) {
    QStringList urls;
    qsizetype i = 0;
    while (i < srcset.size()) {
        while (i < srcset.size() && (isCssSpace(srcset[i]) || srcset[i] == u',')) {
            ++i;
        }
        const qsizetype start = i;
        while (i < srcset.size() && !isCssSpace(srcset[i])) {
            ++i;
        }
        QStringView url = srcset.mid(start, i - start);
        bool descriptorsFollow = true;
        if (url.endsWith(u',')) {
            while (url.endsWith(u',')) {
                url.chop(1);
            }
            descriptorsFollow = false;
        }
        if (!url.isEmpty()) {
            urls.append(url.toString());
        }
        if (descriptorsFollow) {
            int depth = 0;
            while (i < srcset.size() && (depth > 0 || srcset[i] != u',')) {
                depth += srcset[i] == u'(' ? 1 : srcset[i] == u')' && depth > 0 ? -1 : 0;
                ++i;
            }
        }
    }
    return urls;
}

QStringList cssReferences(QStringView css) {
    QStringList out;
    qsizetype i = 0;
    while (i < css.size()) {
        const QChar c = css[i];
        if (c == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
            const qsizetype close = css.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? css.size() : close + 2;
        } else if (c == u'"' || c == u'\'') {
            i = skipString(css, i, nullptr);
        } else if (c == u'\\') {
            i += 2;
        } else if ((c == u'u' || c == u'U') && startsWithAt(css, i, QLatin1StringView("url(")) &&
                   (i == 0 || !isIdentifierChar(css[i - 1]))) {
            i = readUrl(css, i + 4, out) + 1;
        } else if (c == u'@' && startsWithAt(css, i, QLatin1StringView("@import")) &&
                   (i + 7 >= css.size() || !isIdentifierChar(css[i + 7]))) {
            i = readQuoted(css, i + 7, out).first; // url(...) is taken by the next round
        } else {
            ++i;
        }
    }
    return out;
}

QStringList htmlReferences(const QByteArray& html) {
    QStringList out;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here, and recording them costs a third of the time
    GumboOutput* parsed = gumbo_parse_with_options(&options, html.constData(), static_cast<size_t>(nestingCut(html)));
    if (!parsed) {
        return out;
    }
    collectNodeLinks(parsed->document, out);
    gumbo_destroy_output(&options, parsed);
    return out;
}

} // namespace kestrion::LinkCheck

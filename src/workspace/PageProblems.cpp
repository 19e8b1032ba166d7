#include "workspace/PageProblems.h"

#include "support/SitePath.h"

#include <QCoreApplication>
#include <QStringList>

namespace kestrion {

namespace {

const QString failedToLoad = QStringLiteral("Failed to load resource");

// Page texts are hostile and may be long: one line, cut, control characters escaped.
QString cut(const QString& text) {
    QString line = text.simplified();
    if (line.size() > PageProblems::maxTextLength) {
        line = line.left(PageProblems::maxTextLength) + QChar(0x2026);
    }
    return SitePath::escapedForDisplay(line);
}

// A shown line in the user's language. The pieces are put in in one pass, so a "%2" inside a page's
// text stays as it is.
template <typename... Pieces>
QString shownLine(const char* text, const Pieces&... pieces) {
    return QCoreApplication::translate("kestrion::PageProblems", text).arg(pieces...);
}

QString kindWord(PageProblems::Kind kind) {
    switch (kind) {
    case PageProblems::Kind::Script:
        return QCoreApplication::translate("kestrion::PageProblems", "script error");
    case PageProblems::Kind::Missing:
        return QCoreApplication::translate("kestrion::PageProblems", "missing file");
    case PageProblems::Kind::Refused:
        return QCoreApplication::translate("kestrion::PageProblems", "refused");
    case PageProblems::Kind::Failed:
        return QCoreApplication::translate("kestrion::PageProblems", "failed to load");
    }
    return {};
}

} // namespace

void PageProblems::reset(const QString& root, const QString& page) {
    m_root = root;
    m_page = page;
    m_problems.clear();
    m_index.clear();
    m_total = 0;
    m_notKept = 0;
}

QString PageProblems::shownLocation(const QUrl& url) const {
    if (url.isLocalFile() && !m_root.isEmpty()) {
        if (const auto relative = SitePath::relativeBelow(m_root, url.toLocalFile())) {
            return cut(*relative);
        }
    }
    return cut(url.toDisplayString());
}

void PageProblems::addConsoleError(const QString& message, int line, const QString& sourceUrl) {
    const QUrl url(sourceUrl);
    if (message.startsWith(failedToLoad)) {
        // "Failed to load resource: net::ERR_FILE_NOT_FOUND", with the resource as the source.
        const QString reason = message.mid(message.indexOf(u':') + 1).trimmed();
        if (reason.contains(QLatin1String("ERR_BLOCKED_BY_CLIENT"))) {
            addResource(Kind::Refused, url);
        } else if (url.isLocalFile() && reason.contains(QLatin1String("ERR_FILE_NOT_FOUND"))) {
            addResource(Kind::Missing, url);
        } else {
            add(Kind::Failed, shownLocation(url), reason.isEmpty() ? message : reason);
        }
        return;
    }
    QString location = sourceUrl.isEmpty() ? QString() : shownLocation(url);
    if (line > 0) {
        location += QStringLiteral(":%1").arg(line);
    }
    add(Kind::Script, location, message);
}

void PageProblems::addResource(Kind kind, const QUrl& url) {
    switch (kind) {
    case Kind::Missing:
        add(kind, shownLocation(url), QCoreApplication::translate("kestrion::PageProblems", "not found"));
        return;
    case Kind::Refused:
        add(kind, shownLocation(url),
            QCoreApplication::translate("kestrion::PageProblems",
                                        "refused: the preview loads only files of the website folder"));
        return;
    case Kind::Failed:
    case Kind::Script:
        add(Kind::Failed, shownLocation(url), QCoreApplication::translate("kestrion::PageProblems", "failed to load"));
        return;
    }
}

void PageProblems::add(Kind kind, const QString& location, const QString& message) {
    const QString shownMessage = cut(message);
    const QString key = QString::number(int(kind)) + QChar(0) + location + QChar(0) + shownMessage;
    ++m_total;
    if (const auto found = m_index.constFind(key); found != m_index.constEnd()) {
        if (*found >= 0) {
            ++m_problems[*found].count;
        }
        return;
    }
    if (m_problems.size() >= maxKept) {
        // Remembered (up to a bound) so that a repeat is not counted as another one.
        if (m_index.size() < maxRemembered) {
            m_index.insert(key, -1);
        }
        ++m_notKept;
        return;
    }
    m_index.insert(key, m_problems.size());
    m_problems.append({kind, m_page, location, shownMessage, 1});
}

QString PageProblems::countText(int count) {
    return count == 1 ? QCoreApplication::translate("kestrion::PageProblems", "1 problem")
                      : QCoreApplication::translate("kestrion::PageProblems", "%1 problems").arg(count);
}

QString PageProblems::describe(const Problem& problem) {
    QString text = problem.location.isEmpty()
                       ? shownLine(QT_TRANSLATE_NOOP("kestrion::PageProblems", "%1: %2 \u2014 %3"), problem.page,
                                   kindWord(problem.kind), problem.message)
                       : shownLine(QT_TRANSLATE_NOOP("kestrion::PageProblems", "%1: %2 in %3 \u2014 %4"), problem.page,
                                   kindWord(problem.kind), problem.location, problem.message);
    if (problem.count > 1) {
        text += QCoreApplication::translate("kestrion::PageProblems", " (\u00d7%1)").arg(problem.count);
    }
    return text;
}

QString PageProblems::askToFixMessage() const {
    if (m_problems.isEmpty()) {
        return {};
    }
    QStringList lines{
        QCoreApplication::translate("kestrion::PageProblems", "The preview of `%1` shows these problems:").arg(m_page)};
    const qsizetype listed = std::min<qsizetype>(m_problems.size(), maxListed);
    for (qsizetype i = 0; i < listed; ++i) {
        const Problem& problem = m_problems[i];
        lines.append(problem.location.isEmpty()
                         ? shownLine(QT_TRANSLATE_NOOP("kestrion::PageProblems", "- %1: %2"), kindWord(problem.kind),
                                     problem.message)
                         : shownLine(QT_TRANSLATE_NOOP("kestrion::PageProblems", "- %1 in `%2`: %3"),
                                     kindWord(problem.kind), problem.location, problem.message));
    }
    const qsizetype more = m_problems.size() - listed + m_notKept;
    if (more > 0) {
        lines.append(QCoreApplication::translate("kestrion::PageProblems", "- and %1 more").arg(more));
    }
    lines.append(QString());
    lines.append(QCoreApplication::translate("kestrion::PageProblems", "Please fix them."));
    return lines.join(QLatin1Char('\n'));
}

} // namespace kestrion

#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// What went wrong while the preview showed a page: script errors and
// resources that failed to load. Collected from the engine's messages, kept
// once each with a count (a page failing on every animation frame says so
// sixty times a second), capped, and worded for the problems strip and for
// the message that asks the model to fix them. No widgets, no engine.
namespace kestrion {

class PageProblems {
public:
    enum class Kind {
        Script,  // a script error, with its source file and line
        Missing, // a file of the site the page names that is not there
        Refused, // a resource the preview's rules refused (outside the site, .git, .kestrion-chats)
        Failed,  // a web resource (or another local one) that failed to load
    };

    struct Problem {
        Kind kind = Kind::Script;
        QString page;     // the previewed page, relative to the website directory
        QString location; // the resource, or the script's file and line
        QString message;
        int count = 1;

        bool operator==(const Problem&) const = default;
    };

    // Distinct problems kept; more are only counted.
    static constexpr int maxKept = 500;
    // Distinct problems told apart from repeats; beyond, every new one counts as more.
    static constexpr int maxRemembered = 20000;
    // Texts from the page are cut to this many characters.
    static constexpr int maxTextLength = 300;

    // root: the website directory, page: the previewed page's path relative to it.
    void reset(const QString& root, const QString& page);

    // A console message of error level as the engine reports it; a
    // "Failed to load resource" message names the resource in sourceUrl.
    void addConsoleError(const QString& message, int line, const QString& sourceUrl);
    // A resource that did not load, worded for its kind (never Script).
    void addResource(Kind kind, const QUrl& url);
    void add(Kind kind, const QString& location, const QString& message);

    const QList<Problem>& problems() const { return m_problems; }
    // Every problem seen, repeats included (the strip's total).
    int total() const { return m_total; }
    // Distinct problems not kept because of the cap.
    int notKept() const { return m_notKept; }
    bool isEmpty() const { return m_total == 0; }

    // "1 problem", "2 problems".
    static QString countText(int count);
    // One line of the list: "index.html: img/team.jpg — not found (×3)".
    static QString describe(const Problem& problem);
    // The composer text asking the model to fix the first maxListed problems.
    static constexpr int maxListed = 30;
    QString askToFixMessage() const;

    // A resource URL as the strip names it: relative to the website directory
    // when inside, else the URL itself.
    QString shownLocation(const QUrl& url) const;

private:
    QString m_root;
    QString m_page;
    QList<Problem> m_problems;
    QHash<QString, qsizetype> m_index; // key of a problem -> its place in m_problems, -1 when not kept
    int m_total = 0;
    int m_notKept = 0;
};

} // namespace kestrion

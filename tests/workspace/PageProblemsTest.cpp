#include "workspace/PageProblems.h"

#include "workspace/ElementReference.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

using Kind = PageProblems::Kind;

PageProblems problemsOf(const QString& page = QStringLiteral("index.html")) {
    PageProblems problems;
    problems.reset(QStringLiteral("/site"), page);
    return problems;
}

TEST(PageProblemsTest, engineMessagesBecomeProblemsOfTheirKind) {
    PageProblems problems = problemsOf();
    problems.addConsoleError(QStringLiteral("Failed to load resource: net::ERR_FILE_NOT_FOUND"), 0,
                             QStringLiteral("file:///site/img/team.jpg"));
    problems.addConsoleError(QStringLiteral("Failed to load resource: net::ERR_BLOCKED_BY_CLIENT"), 0,
                             QStringLiteral("file:///etc/passwd"));
    problems.addConsoleError(QStringLiteral("Failed to load resource: net::ERR_NAME_NOT_RESOLVED"), 0,
                             QStringLiteral("https://cdn.invalid/x.css"));
    problems.addConsoleError(QStringLiteral("Uncaught TypeError: x is undefined"), 12,
                             QStringLiteral("file:///site/js/app.js"));
    problems.addResource(Kind::Refused, QUrl(QStringLiteral("file:///site/.git/config")));
    problems.addResource(Kind::Failed, QUrl(QStringLiteral("https://cdn.invalid/font.woff2")));

    const QList<PageProblems::Problem> expected = {
        {Kind::Missing, "index.html", "img/team.jpg", "not found", 1},
        {Kind::Refused, "index.html", "file:///etc/passwd",
         "refused: the preview loads only files of the website folder", 1},
        {Kind::Failed, "index.html", "https://cdn.invalid/x.css", "net::ERR_NAME_NOT_RESOLVED", 1},
        {Kind::Script, "index.html", "js/app.js:12", "Uncaught TypeError: x is undefined", 1},
        {Kind::Refused, "index.html", ".git/config", "refused: the preview loads only files of the website folder", 1},
        {Kind::Failed, "index.html", "https://cdn.invalid/font.woff2", "failed to load", 1},
    };
    EXPECT_EQ(problems.problems(), expected);
    EXPECT_EQ(problems.total(), 6);
    EXPECT_EQ(PageProblems::describe(expected[0]),
              QString::fromUtf8("index.html: missing file in img/team.jpg \u2014 not found"));
}

TEST(PageProblemsTest, repeatsAreCountedOnceAndTheListIsCapped) {
    PageProblems problems = problemsOf();
    for (int frame = 0; frame < 600; ++frame) {
        problems.addConsoleError(QStringLiteral("Uncaught RangeError: frame"), 3, QStringLiteral("file:///site/a.js"));
    }
    ASSERT_EQ(problems.problems().size(), 1);
    EXPECT_EQ(problems.problems()[0].count, 600);
    EXPECT_TRUE(PageProblems::describe(problems.problems()[0]).endsWith(QString::fromUtf8("(\u00d7600)")));

    for (int i = 0; i < 1000; ++i) {
        problems.addConsoleError(QStringLiteral("Failed to load resource: net::ERR_FILE_NOT_FOUND"), 0,
                                 QStringLiteral("file:///site/img/%1.png").arg(i));
    }
    EXPECT_EQ(problems.problems().size(), PageProblems::maxKept);
    EXPECT_EQ(problems.notKept(), 1001 - PageProblems::maxKept);
    EXPECT_EQ(problems.total(), 1600);
    // A problem past the cap that repeats is still one more, not one more each time.
    for (int frame = 0; frame < 50; ++frame) {
        problems.addConsoleError(QStringLiteral("late"), 1, QStringLiteral("file:///site/late.js"));
    }
    EXPECT_EQ(problems.notKept(), 1002 - PageProblems::maxKept);
    EXPECT_EQ(problems.total(), 1650);

    problems.reset(QStringLiteral("/site"), QStringLiteral("about.html"));
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_TRUE(problems.problems().isEmpty());
}

TEST(PageProblemsTest, askToFixListsWhatFailedWhereAndHowManyMore) {
    PageProblems problems = problemsOf();
    EXPECT_EQ(problems.askToFixMessage(), QString());
    problems.addConsoleError(QStringLiteral("Failed to load resource: net::ERR_FILE_NOT_FOUND"), 0,
                             QStringLiteral("file:///site/style.css"));
    problems.addConsoleError(QStringLiteral("Uncaught Error: boom\nsecond line\x1b[31m"), 4,
                             QStringLiteral("file:///site/index.html"));
    EXPECT_EQ(problems.askToFixMessage(),
              QStringLiteral("The preview of `index.html` shows these problems:\n"
                             "- missing file in `style.css`: not found\n"
                             "- script error in `index.html:4`: Uncaught Error: boom second line\\u001b[31m\n"
                             "\nPlease fix them."));
    for (int i = 0; i < 40; ++i) {
        problems.add(Kind::Failed, QStringLiteral("https://x.invalid/%1").arg(i), QStringLiteral("net::ERR_FAILED"));
    }
    EXPECT_TRUE(problems.askToFixMessage().contains(QStringLiteral("\n- and 12 more\n")));
    EXPECT_EQ(PageProblems::countText(1), QStringLiteral("1 problem"));
    EXPECT_EQ(PageProblems::countText(42), QStringLiteral("42 problems"));
}

TEST(ElementReferenceTest, namesThePageTheSelectorAndTheElement) {
    EXPECT_EQ(ElementReference::compose(QStringLiteral("index.html"), QStringLiteral("section.hero > h1"),
                                        QStringLiteral("H1"), QStringLiteral("<h1 class=\"title\">"),
                                        QStringLiteral("  Harbour\n Bakery ")),
              QStringLiteral("In `index.html`, the element `section.hero > h1` "
                             "(`<h1 class=\"title\">Harbour Bakery</h1>`): "));

    // Hostile parts: backticks, control characters, an overlong text, a fake tag name.
    const QString reference =
        ElementReference::compose(QStringLiteral("a`b.html"), QStringLiteral("p\x01"), QStringLiteral("p><script"),
                                  QStringLiteral("<p>"), QString(1000, QLatin1Char('x')));
    EXPECT_TRUE(reference.startsWith(QStringLiteral("In `a'b.html`, the element `p\\u0001` (`<p>xxx")));
    EXPECT_FALSE(reference.contains(QStringLiteral("script")));
    EXPECT_LE(reference.size(), 400);
    const QString longText =
        ElementReference::compose(QStringLiteral("i.html"), QStringLiteral("p"), QStringLiteral("p"),
                                  QStringLiteral("<p>"), QString(1000, QLatin1Char('y')));
    EXPECT_TRUE(longText.endsWith(QString::fromUtf8("y\u2026</p>`): ")));
}

} // namespace
} // namespace kestrion

#include "generation/ProjectMaterializer.h"

#include <functional>
#include <gtest/gtest.h>

namespace kestrion::ProjectMaterializer {
namespace {

struct SummaryCase {
    const char* name;
    std::function<void(Result&)> fill;
    QString expected;
};

void PrintTo(const SummaryCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplySummaryTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(ReplySummaryTest, wordsTheResult) {
    Result result;
    GetParam().fill(result);
    EXPECT_EQ(summaryText(result), GetParam().expected);
}

const QString textAllowlist = QStringLiteral("css, htm, html, js, json, map, md, svg, txt, webmanifest, xhtml, xml");
const QString rasterAllowlist = QStringLiteral("gif, jpeg, jpg, png, webp");

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplySummaryTest,
    ::testing::Values(
        SummaryCase{"empty", [](Result&) {}, QString()},
        SummaryCase{"gitSuccessAloneAddsNothing",
                    [](Result& r) {
                        r.gitExitCode = 0;
                        r.gitStdout = "[main abc] Apply";
                        r.gitStderr = "warning";
                    },
                    QString()},
        SummaryCase{"writtenImagesAndOneUnsafePath",
                    [](Result& r) {
                        r.writtenRelativePaths = {"styles.css", "index.htm", "img/hero.jpg"};
                        r.generatedImagePaths = {"img/hero.jpg"};
                        r.skippedUnsafePaths = {"../x.htm"};
                        r.gitExitCode = 0;
                    },
                    "**Files created:** `img/hero.jpg`, `index.htm`, `styles.css`\n"
                    "**Images generated:** `img/hero.jpg`\n"
                    "Skipped unsafe path(s): ../x.htm"},
        SummaryCase{"pathWrittenTwiceIsListedTwiceSideBySide",
                    [](Result& r) {
                        r.writtenRelativePaths = {"b.css", "a.htm", "b.css"};
                    },
                    "**Files created:** `a.htm`, `b.css`, `b.css`"},
        SummaryCase{"sortedByCodePointNotByCaseOrUtf16Unit",
                    [](Result& r) {
                        // U+FF21 comes before U+1F600, though its UTF-16 unit is larger than a surrogate.
                        r.writtenRelativePaths = {QString::fromUtf8("\U0001F600.htm"), QString::fromUtf8("\uFF21.htm"),
                                                  "b.htm", "B.htm", "a.htm"};
                    },
                    QString::fromUtf8("**Files created:** `B.htm`, `a.htm`, `b.htm`, `\uFF21.htm`, `\U0001F600.htm`")},
        SummaryCase{"everyRowInOrder",
                    [](Result& r) {
                        r.writtenRelativePaths = {"z.htm", "pic.png"};
                        r.fallbackRecoveredPaths = {"z.htm", "a.css"};
                        r.generatedImagePaths = {"pic.png"};
                        r.skippedBinaryFileBlocks = {"logo.png", "../a.JPG"};
                        r.skippedNonFrontEndFilePaths = {"z.php", "Makefile"};
                        r.skippedNonFrontEndImagePaths = {"hero.svg", "x.bmp"};
                        r.imageErrors = {{"a.png", "HTTP 500: boom"}, {"b.webp", "late"}};
                        r.skippedUnsafePaths = {"/etc/x.htm", "../b.htm"};
                        r.errorMessage = "Write failed for q.htm: denied\n";
                        r.gitExitCode = 128;
                        r.gitStderr = "\n  fatal: broken\n";
                        r.gitStdout = "ignored because stderr is present";
                    },
                    "**Files created:** `pic.png`, `z.htm`\n"
                    "Note: the model returned raw code instead of `<<<FILE>>>` blocks; the app saved `a.css`, "
                    "`z.htm` anyway.\n"
                    "**Images generated:** `pic.png`\n"
                    "Skipped text `<<<FILE>>>` for binary image path(s) `logo.png`, `../a.JPG` \u2014 ask me to "
                    "regenerate using `<<<IMAGE>>>` so real bytes get written.\n"
                    "Skipped non front-end `<<<FILE>>>` path(s) `z.php`, `Makefile`. This app only materializes "
                    "static client files with extensions: " +
                        textAllowlist +
                        ".\n"
                        "Skipped `<<<IMAGE>>>` path(s) `hero.svg`, `x.bmp`. Allowed raster extensions: " +
                        rasterAllowlist +
                        ".\n"
                        "Image generation failed for `a.png`: HTTP 500: boom\n"
                        "Image generation failed for `b.webp`: late\n"
                        "Skipped unsafe path(s): /etc/x.htm, ../b.htm\n"
                        "Write failed for q.htm: denied\n"
                        "Git failed (exit 128).\n"
                        "fatal: broken"},
        SummaryCase{"controlCharactersInAnyListAreEscaped",
                    [](Result& r) {
                        r.skippedUnsafePaths = {QStringLiteral("a") + QChar(0) + ".html", "b\nc.css"};
                        r.skippedBinaryFileBlocks = {"e\x1b[2J.png"};
                        r.skippedNonFrontEndFilePaths = {"f\x7f.php"};
                        r.skippedNonFrontEndImagePaths = {"g\r.svg"};
                        r.imageErrors = {{"h\t.png", "late"}};
                    },
                    "Skipped text `<<<FILE>>>` for binary image path(s) `e\\u001b[2J.png` \u2014 ask me to "
                    "regenerate using `<<<IMAGE>>>` so real bytes get written.\n"
                    "Skipped non front-end `<<<FILE>>>` path(s) `f\\u007f.php`. This app only materializes "
                    "static client files with extensions: " +
                        textAllowlist +
                        ".\n"
                        "Skipped `<<<IMAGE>>>` path(s) `g\\u000d.svg`. Allowed raster extensions: " +
                        rasterAllowlist +
                        ".\n"
                        "Image generation failed for `h\\u0009.png`: late\n"
                        "Skipped unsafe path(s): a\\u0000.html, b\\u000ac.css"},
        SummaryCase{"missingDirectoryIsOneLine",
                    [](Result& r) { r.errorMessage = "Website directory does not exist: /x"; },
                    "Website directory does not exist: /x"},
        SummaryCase{"twoWriteFailuresStayTwoLinesWithoutTrailingBreak",
                    [](Result& r) { r.errorMessage = "Write failed for a.htm: one\nWrite failed for b.htm: two\n"; },
                    "Write failed for a.htm: one\nWrite failed for b.htm: two"},
        SummaryCase{"emptyErrorMessageAddsNothing", [](Result& r) { r.errorMessage = QString(); }, QString()},
        SummaryCase{"gitStartFailureShowsStderr",
                    [](Result& r) {
                        r.gitExitCode = -1;
                        r.gitStderr = "launch failed\n";
                    },
                    "Git failed (exit -1).\nlaunch failed"},
        SummaryCase{"gitFailureFallsBackToStdout",
                    [](Result& r) {
                        r.gitExitCode = 1;
                        r.gitStdout = "\tstdout says why \n";
                    },
                    "Git failed (exit 1).\nstdout says why"},
        SummaryCase{"gitFailureWithoutOutputIsOneLine", [](Result& r) { r.gitExitCode = 1; }, "Git failed (exit 1)."}),
    [](const ::testing::TestParamInfo<SummaryCase>& caseInfo) { return std::string(caseInfo.param.name); });

} // namespace
} // namespace kestrion::ProjectMaterializer

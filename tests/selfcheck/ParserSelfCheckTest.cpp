#include "selfcheck/ParserSelfCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kestrion;
using namespace kestrion::ParserSelfCheck;

namespace {

// A temporary stream that can be read back as text.
class CapturedStream {
public:
    CapturedStream() : m_file(std::tmpfile()) {}
    ~CapturedStream() { std::fclose(m_file); }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::FILE* stream() const { return m_file; }

    QString text() const {
        std::fflush(m_file);
        const long size = std::ftell(m_file);
        std::rewind(m_file);
        QByteArray bytes(size, Qt::Uninitialized);
        const std::size_t read = std::fread(bytes.data(), 1, std::size_t(size), m_file);
        bytes.truncate(qsizetype(read));
        std::fseek(m_file, 0, SEEK_END);
        return QString::fromUtf8(bytes);
    }

private:
    std::FILE* m_file;
};

QString failureOf(const std::function<void()>& check) {
    try {
        check();
    } catch (const CheckFailure& failure) {
        return failure.message;
    }
    return QStringLiteral("<passed>");
}

QStringList sandboxesLeft() {
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("kestrion-ctx-check-*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

// ---- the request flag ----

TEST(ParserSelfCheck, isRequested_onlyForTheExactArgument) {
    struct Row {
        std::vector<const char*> argv;
        bool requested;
    };
    const Row rows[] = {
        {{"kestrion"}, false},
        {{"kestrion", "--kestrion-self-check"}, true},
        {{"kestrion", "-platform", "offscreen", "--kestrion-self-check"}, true},
        {{"--kestrion-self-check"}, true}, // the program name counts too
        {{"kestrion", "--kestrion-self-check=1"}, false},
        {{"kestrion", "--kestrion-self-check "}, false},
        {{"kestrion", "--KESTRION-SELF-CHECK"}, false},
        {{"kestrion", "-kestrion-self-check"}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(isRequested(int(row.argv.size()), row.argv.data()), row.requested)
            << row.argv.back() << " of " << row.argv.size();
    }
}

TEST(ParserSelfCheck, runIfRequestedAndExit_withoutTheFlagReturnsAndPrintsNothing) {
    const QStringList before = sandboxesLeft();
    char program[] = "kestrion";
    char near[] = "--kestrion-self-check=1";
    char* argv[] = {program, near, nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    runIfRequestedAndExit(2, argv);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(sandboxesLeft(), before);
}

// ---- the runner ----

TEST(ParserSelfCheck, runCases_reportsEveryKindOfFailureAndReturnsOne) {
    const QList<Case> cases{
        {QStringLiteral("first_passes"), [] {}},
        {QStringLiteral("second_failsItsCheck"), [] { assertEqual(2, 3, QStringLiteral("numbers differ")); }},
        {QStringLiteral("third_throwsAnError"), [] { throw std::runtime_error("disk full"); }},
        {QStringLiteral("fourth_passes"), [] {}},
        {QStringLiteral("fifth_throwsSomethingElse"), [] { throw 42; }},
    };
    CapturedStream out;
    CapturedStream err;
    EXPECT_EQ(runCases(cases, out.stream(), err.stream()), 1);
    EXPECT_EQ(out.text(), QStringLiteral("ok  first_passes\n"
                                         "ok  fourth_passes\n"
                                         "\n"
                                         "ParserSelfCheck: 2 passed, 3 failed.\n"));
    EXPECT_EQ(err.text(), QStringLiteral("FAIL second_failsItsCheck: numbers differ — expected 3, got 2\n"
                                         "FAIL third_throwsAnError: disk full\n"
                                         "FAIL fifth_throwsSomethingElse: unknown error\n"
                                         "FAILED: second_failsItsCheck\n"
                                         "FAILED: third_throwsAnError\n"
                                         "FAILED: fifth_throwsSomethingElse\n"));
}

TEST(ParserSelfCheck, builtInCases_allPassAndLeaveNoSandbox) {
    // The program's own run is checked the same way by CheckSelfCheckRun.cmake.
    const QStringList before = sandboxesLeft();
    const QList<Case> all = cases();
    ASSERT_FALSE(all.isEmpty());
    QString expected;
    for (const Case& c : all) {
        expected += QStringLiteral("ok  ") + c.name + u'\n';
    }
    expected += QStringLiteral("\nParserSelfCheck: %1 passed, 0 failed.\n").arg(all.size());

    CapturedStream out;
    CapturedStream err;
    EXPECT_EQ(runCases(all, out.stream(), err.stream()), 0) << err.text().toStdString();
    EXPECT_EQ(out.text(), expected);
    EXPECT_EQ(err.text(), QString());
    EXPECT_EQ(sandboxesLeft(), before);
}

// ---- assertion messages ----

TEST(ParserSelfCheck, assertions_wordTheirFailuresExactly) {
    const std::pair<std::function<void()>, QString> rows[] = {
        {[] { assertEqual(1, 0, QStringLiteral("count")); }, QStringLiteral("count — expected 0, got 1")},
        {[] { assertEqual(QStringLiteral("b.htm"), QStringLiteral("a.htm"), QStringLiteral("path")); },
         QStringLiteral("path — expected a.htm, got b.htm")},
        {[] { assertEqual(std::nullopt, QStringLiteral("a.htm"), QStringLiteral("first")); },
         QStringLiteral("first — expected Optional(\"a.htm\"), got nil")},
        {[] { assertEqual(QStringLiteral("x"), std::optional<QString>(), QStringLiteral("first")); },
         QStringLiteral("first — expected nil, got Optional(\"x\")")},
        {[] { assertContains(QStringLiteral("hay\nstack"), QStringLiteral("Needle"), QStringLiteral("find")); },
         QStringLiteral("find — 'Needle' not found in:\nhay\nstack")},
        {[] { assertContains(QStringLiteral("needle"), QStringLiteral("Needle"), QStringLiteral("case")); },
         QStringLiteral("case — 'Needle' not found in:\nneedle")},
        {[] { assertNotContains(QStringLiteral("a</html>b"), QStringLiteral("</html>"), QStringLiteral("gone")); },
         QStringLiteral("gone — unexpected '</html>' found in:\na</html>b")},
        {[] { assertEqual(7, 7, QStringLiteral("same")); }, QStringLiteral("<passed>")},
        {[] { assertEqual(std::optional<QString>(), std::nullopt, QStringLiteral("both nil")); },
         QStringLiteral("<passed>")},
        {[] { assertNotContains(QStringLiteral("abc"), QStringLiteral("C"), QStringLiteral("case")); },
         QStringLiteral("<passed>")},
    };
    for (const auto& [check, expected] : rows) {
        EXPECT_EQ(failureOf(check), expected);
    }
}

// ---- sandboxes ----

TEST(ParserSelfCheck, withSandbox_givesAFreshFolderAndRemovesItAlsoOnFailure) {
    QString seen;
    withSandbox([&](const QString& sandbox) {
        seen = sandbox;
        EXPECT_TRUE(QFileInfo(sandbox).isDir());
        writeBytes(QStringLiteral("a/b/c.txt"), "bytes", sandbox);
        QFile file(sandbox + QStringLiteral("/a/b/c.txt"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("bytes"));
    });
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^kestrion-ctx-check-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(QFileInfo(seen).fileName())
                    .hasMatch())
        << seen.toStdString();
    EXPECT_EQ(QFileInfo(seen).absolutePath(), QDir::tempPath());
    EXPECT_FALSE(QFileInfo::exists(seen));

    QString failedIn;
    EXPECT_THROW(withSandbox([&](const QString& sandbox) {
                     failedIn = sandbox;
                     writeBytes(QStringLiteral("x.txt"), "x", sandbox);
                     throw CheckFailure{QStringLiteral("boom")};
                 }),
                 CheckFailure);
    EXPECT_FALSE(failedIn.isEmpty());
    EXPECT_NE(failedIn, seen);
    EXPECT_FALSE(QFileInfo::exists(failedIn));
}

TEST(ParserSelfCheck, writeBytes_failureThrowsSoTheCaseFailsWithItsDescription) {
    bool ran = false;
    CapturedStream out;
    CapturedStream err;
    const QList<Case> cases{{QStringLiteral("writeUnderAFile"), [&] {
                                 withSandbox([&](const QString& sandbox) {
                                     writeBytes(QStringLiteral("file"), "x", sandbox);
                                     // A folder cannot be made below a plain file.
                                     writeBytes(QStringLiteral("file/inner.txt"), "y", sandbox);
                                     ran = true;
                                 });
                             }}};
    EXPECT_EQ(runCases(cases, out.stream(), err.stream()), 1);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(err.text().startsWith(QStringLiteral("FAIL writeUnderAFile: "))) << err.text().toStdString();
    EXPECT_FALSE(err.text().startsWith(QStringLiteral("FAIL writeUnderAFile: \n")));
}

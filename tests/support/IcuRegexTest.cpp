#include "support/IcuRegex.h"

#include <gtest/gtest.h>

using namespace kestrion;

TEST(IcuRegex, findAll_returnsNonOverlappingMatchesWithCaptureRanges) {
    const IcuRegex regex(QStringLiteral("(a+)(x)?"));
    ASSERT_TRUE(regex.isValid());
    EXPECT_EQ(regex.captureGroupCount(), 2);
    const QString text = QStringLiteral("baaxa");
    const auto matches = regex.findAll(text);
    ASSERT_EQ(matches.size(), 2);
    EXPECT_EQ(matches[0].groups[0], (IcuRegex::Capture{1, 3}));
    EXPECT_EQ(matches[0].captured(text, 1), u"aa");
    EXPECT_EQ(matches[1].groups[1], (IcuRegex::Capture{4, 1}));
    EXPECT_FALSE(matches[1].groups[2].isValid()); // the optional group did not take part
    EXPECT_TRUE(matches[1].captured(text, 2).isEmpty());
}

TEST(IcuRegex, icuSemantics_multiLineAnchorsAndWhiteSpaceMeanWhatIcuMeans) {
    // $ before CR LF, \s matching NEL and VT: the meanings the protocol relies on.
    const IcuRegex endOfLine(QStringLiteral("(?m)x$"));
    EXPECT_EQ(endOfLine.findAll(u"x\r\nx\u0085x").size(), 3);
    const IcuRegex space(QStringLiteral("\\s"));
    EXPECT_EQ(space.findAll(u"\u000b\u0085\u00a0\u200b").size(), 3);
}

TEST(IcuRegex, rangesCountUtf16CodeUnitsAndSurviveNulAndLoneSurrogates) {
    const IcuRegex regex(QStringLiteral("b"));
    QString text = QStringLiteral("\U0001F600");
    text += QChar(0);
    text += QChar(0xD800);
    text += u'b';
    const auto matches = regex.findAll(text);
    ASSERT_EQ(matches.size(), 1);
    EXPECT_EQ(matches[0].groups[0].start, 4);
}

TEST(IcuRegex, invalidPattern_neverMatchesAndLeavesTextUnchanged) {
    const IcuRegex regex(QStringLiteral("(unclosed"));
    EXPECT_FALSE(regex.isValid());
    EXPECT_TRUE(regex.findAll(u"unclosed").isEmpty());
    EXPECT_EQ(regex.replaceAll(u"unclosed", u"x"), QStringLiteral("unclosed"));
}

TEST(IcuRegex, replaceAll_insertsReplacementLiterally) {
    const IcuRegex regex(QStringLiteral("\\n{3,}"));
    EXPECT_EQ(regex.replaceAll(u"a\n\n\n\nb\n\nc\n\n\n", u"$0\\"), QStringLiteral("a$0\\b\n\nc$0\\"));
}

TEST(IcuRegex, caseInsensitiveOption_appliesToTheWholePattern) {
    const IcuRegex regex(QStringLiteral("html"), IcuRegex::CaseInsensitive);
    EXPECT_EQ(regex.findAll(u"HTML Html").size(), 2);
}

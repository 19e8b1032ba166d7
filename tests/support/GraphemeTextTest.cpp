#include "support/GraphemeText.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(GraphemeText, prefixLengthCountsUserPerceivedCharacters) {
    const QString acute = QStringLiteral("e\u0301");
    const QString flags = QStringLiteral("\U0001F1F1\U0001F1F9\U0001F1E9\U0001F1EA");
    // Clusters far longer than the first probe of the text, and one that ends
    // exactly where that probe stops.
    const QString heavy = (QStringLiteral("a") + QString(200, QChar(0x0301))).repeated(4);
    const QString edge = QStringLiteral("a") + QString(255, QChar(0x0301)) + QStringLiteral("b");
    struct Case {
        QString text;
        qsizetype count;
        std::optional<qsizetype> length;
    };
    const Case cases[] = {
        {QStringLiteral("abc"), 0, 0},
        {QStringLiteral("abc"), 2, 2},
        {QStringLiteral("abc"), 3, 3},
        {QStringLiteral("abc"), 4, std::nullopt},
        {QStringLiteral("a\r\nb"), 2, 3},
        {acute + QStringLiteral("x"), 1, 2},
        {QStringLiteral("ab") + acute, 2, 2},
        {QStringLiteral("ab") + acute, 3, 4},
        {flags, 1, 4},
        {flags, 3, std::nullopt},
        {heavy, 3, 603},
        {heavy, 5, std::nullopt},
        {edge, 1, 256},
        {edge, 2, 257},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(graphemePrefixLength(c.text, c.count), c.length) << c.text.left(12).toStdString() << " " << c.count;
    }
}

TEST(GraphemeText, firstCharactersNeverCutsACharacterAndKeepsShortTextsWhole) {
    const QString acute = QStringLiteral("e\u0301");
    EXPECT_EQ(firstCharacters(QStringLiteral("abc"), 5), QStringLiteral("abc"));
    EXPECT_EQ(firstCharacters(QStringLiteral("abcdef"), 2), QStringLiteral("ab"));
    EXPECT_EQ(firstCharacters(acute + acute, 1), acute);
    EXPECT_EQ(firstCharacters(acute + acute, 3), acute + acute);
    EXPECT_EQ(firstCharacters(QStringLiteral("\U0001F600x"), 1), QStringLiteral("\U0001F600"));
}

} // namespace
} // namespace kestrion

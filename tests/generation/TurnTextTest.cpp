#include "generation/StreamingPreview.h"
#include "generation/TurnProgress.h"

#include <QList>
#include <gtest/gtest.h>

using namespace kestrion;

namespace {

TEST(TurnTextTest, progressLines) {
    using Stage = TurnProgress::Stage;
    struct Case {
        TurnProgress progress;
        qint64 waited;
        QString text;
    };
    const QList<Case> cases = {
        {{Stage::Waiting, 0, 0, {}}, 12, QStringLiteral("Waiting for the model\u2026 12 s")},
        {{Stage::Writing, 0, 5, {}}, 0, QStringLiteral("Writing 5 files\u2026")},
        {{Stage::Writing, 0, 1, {}}, 0, QStringLiteral("Writing 1 file\u2026")},
        {{Stage::GeneratingImage, 1, 2, QStringLiteral("images/hero.jpg")},
         0,
         QStringLiteral("Generating image 1 of 2: images/hero.jpg\u2026")},
        {{Stage::GeneratingImage, 1, 1, QStringLiteral("a\nb.png")},
         0,
         QStringLiteral("Generating image 1 of 1: a\\u000ab.png\u2026")},
        {{Stage::Committing, 0, 0, {}}, 0, QStringLiteral("Committing\u2026")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(turnProgressText(c.progress, c.waited), c.text);
    }
}

TEST(TurnTextTest, aReplyBeingWrittenShowsItsBlocksOnlyAsGrowingLines) {
    const QString body = QString(4300, QLatin1Char('x'));
    struct Case {
        const char* name;
        QString partial;
        QString shown;
    };
    const QList<Case> cases = {
        {"prose only", QStringLiteral("Hello"), QStringLiteral("Hello")},
        {"a marker still arriving", QStringLiteral("Hello\n<<<FI"), QStringLiteral("Hello\n")},
        {"a file being written", QStringLiteral("Hi\n<<<FILE path=\"index.html\">>>\n") + body,
         QStringLiteral("Hi\nWriting index.html\u2026 4.2 KB")},
        {"a finished file then prose", QStringLiteral("A\n<<<FILE path=\"a.css\">>>\nb{}\n<<<END_FILE>>>\nDone"),
         QStringLiteral("A\nWriting a.css\u2026 0.0 KB\nDone")},
        {"an image", QStringLiteral("<<<IMAGE path=\"img/h.jpg\" size=\"1024x1024\">>>\nA lake\n<<<END_IMAGE>>>"),
         QStringLiteral("Image img/h.jpg\u2026")},
        {"other angle brackets stay", QStringLiteral("a <<< b >>> c"), QStringLiteral("a <<< b >>> c")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(streamingPreviewText(c.partial), c.shown);
    }
}

} // namespace

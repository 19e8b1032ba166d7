#include "generation/FileGenerationParser.h"
#include "selfcheck/SelfCheckReplies.h"

#include <gtest/gtest.h>

using namespace kestrion;
using namespace kestrion::FileGenerationParser;

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QStringList paths(const QList<FallbackBlock>& blocks) {
    QStringList result;
    for (const FallbackBlock& block : blocks) {
        result.append(block.path);
    }
    return result;
}

const QString document = QStringLiteral("<!DOCTYPE html>\n<html><head><title>t</title></head><body><p>Enough text to "
                                        "count as a real page.</p></body></html>");

const QString stylesheet = QStringLiteral("body { margin: 0; padding: 0; color: #222; font-family: system-ui; }");

QString fenced(const QString& language, const QString& body) {
    return QStringLiteral("```") + language + u'\n' + body + QStringLiteral("\n```");
}

} // namespace

TEST(SelfCheckReplies, areTheExactBytesTheChecksExpect) {
    using namespace SelfCheckReplies;
    EXPECT_EQ(sizeof(replyA) - 1, 481u);
    EXPECT_EQ(sizeof(replyB) - 1, 218u);
    EXPECT_EQ(sizeof(replyC) - 1, 266u);
    EXPECT_EQ(sizeof(replyD) - 1, 241u);
    EXPECT_EQ(sizeof(replyE) - 1, 64u);
    EXPECT_EQ(sizeof(replyF) - 1, 156u);
    EXPECT_EQ(sizeof(replyG) - 1, 203u);
    EXPECT_EQ(sizeof(replyH) - 1, 150u);
    EXPECT_EQ(sizeof(replyI) - 1, 160u);
    EXPECT_TRUE(SelfCheckReplies::text(replyH).contains(QChar(0x2014)));
    EXPECT_FALSE(SelfCheckReplies::text(replyI).endsWith(u'\n'));
}

// The paths each reply recovers are the built-in self-check's own cases; this
// pins what those cases do not look at.
TEST(SelfCheckReplies, recoveredBlocksRecordTheirOriginAndSpan) {
    using namespace SelfCheckReplies;
    const auto a = parseFallbackBlocks(SelfCheckReplies::text(replyA));
    ASSERT_EQ(a.size(), 1);
    EXPECT_TRUE(a[0].content.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_TRUE(a[0].content.endsWith(QStringLiteral("</html>")));
    EXPECT_EQ(a[0].origin, QStringLiteral("raw <!DOCTYPE> block"));

    const auto c = parseFallbackBlocks(SelfCheckReplies::text(replyC));
    ASSERT_EQ(c.size(), 1);
    EXPECT_EQ(c[0].origin, QStringLiteral("fenced ```html block"));
    EXPECT_TRUE(c[0].rawSpan.startsWith(QStringLiteral("```html\n<!DOCTYPE html>")));
    EXPECT_TRUE(c[0].rawSpan.endsWith(QStringLiteral("</html>\n```")));
    EXPECT_TRUE(c[0].content.endsWith(QStringLiteral("</html>")));

    const auto i = parseFallbackBlocks(SelfCheckReplies::text(replyI));
    ASSERT_EQ(i.size(), 1);
    EXPECT_EQ(i[0].origin, QStringLiteral("fenced ```htm block"));
}

TEST(ParseFallbackBlocks, gateRefusesRepliesThatUseTheProtocol) {
    const QString raw = QStringLiteral("Here:\n") + document;
    ASSERT_EQ(parseFallbackBlocks(raw).size(), 1);
    for (const char* marker : {"<<<FILE path=\"a.htm\">>>x<<<END_FILE>>>", "<<<END_FILE>>>",
                               "<<<FILE path=", "<<<IMAGE path=\"a.png\">>>", "<<<IMAGE\tx", "<<<IMAGE\n"}) {
        EXPECT_TRUE(parseFallbackBlocks(raw + text(marker)).isEmpty()) << marker;
    }
    // Not protocol: no white space after IMAGE, or a different case.
    EXPECT_EQ(parseFallbackBlocks(raw + QStringLiteral("<<<IMAGEX <<<file path=")).size(), 1);
}

TEST(ParseFallbackBlocks, fenceLanguageDecidesTheExtensionAndDefaultPath) {
    const QString script = QStringLiteral("document.querySelectorAll('a').forEach(a => a.classList.add('x'));");
    const QString json = QStringLiteral("{\"name\": \"site\", \"items\": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12]}");
    struct Case {
        QString language;
        QString body;
        QString path; // empty: no block
    };
    const Case cases[] = {
        {"css", stylesheet, "styles.css"},
        {"CSS", stylesheet, "styles.css"},
        {"javascript", script, "app.js"},
        {"jsx", script, "app.js"},
        {"mjs", script, "app.js"},
        {"json", json, "data.json"},
        {"xml", QStringLiteral("<items>") + json + QStringLiteral("</items>"), "data.xml"},
        {"svg", QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\">") + json + QStringLiteral("</svg>"),
         "image.svg"},
        {"plaintext", json, "notes.txt"},
        {"markdown", json, "README.md"},
        {"xhtml", document, "index.htm"},
        {"", document, "index.htm"},
        {"php", document, "index.htm"}, // found again by the raw document step
        {"ts", script, ""},
        {"", stylesheet, ""},
        {"html", QStringLiteral("<div class=\"section\">") + json + QStringLiteral("</div>"), ""},
        {"css", QStringLiteral("body { margin: 0; }"), ""},
    };
    for (const Case& c : cases) {
        const auto blocks = parseFallbackBlocks(QStringLiteral("Here you go:\n\n") + fenced(c.language, c.body));
        EXPECT_EQ(paths(blocks), c.path.isEmpty() ? QStringList{} : QStringList{c.path}) << c.language.toStdString();
    }
}

TEST(ParseFallbackBlocks, fenceRecordsBodyRawSpanAndOrigin) {
    const QString fence = QStringLiteral("  ```\t\r\n") + stylesheet + QStringLiteral("\r\n\t``` ");
    const QString reply = QStringLiteral("Styles for site.css:\n") + fence + QStringLiteral("\r\nDone.");
    const auto untagged = parseFallbackBlocks(reply);
    EXPECT_TRUE(untagged.isEmpty()); // untagged and not a document

    const QString tagged = QStringLiteral("  ```css\t\r\n") + stylesheet + QStringLiteral("\r\n\t``` ");
    const auto blocks =
        parseFallbackBlocks(QStringLiteral("Styles for site.css:\n") + tagged + QStringLiteral("\r\nDone."));
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0], (FallbackBlock{"site.css", stylesheet, tagged, "fenced ```css block"}));
}

TEST(ParseFallbackBlocks, untaggedFenceIsSniffedInItsFirst200Characters) {
    // Too late for the fence; the raw document step still finds the document inside it.
    const auto late = parseFallbackBlocks(fenced({}, QString(200, u'x') + u'\n' + document));
    ASSERT_EQ(late.size(), 1);
    EXPECT_EQ(late[0].origin, QStringLiteral("raw <!DOCTYPE> block"));
    // Combining marks do not add characters: 150 accented letters are 150 characters.
    QString accented;
    for (int i = 0; i < 150; ++i) {
        accented += QStringLiteral("e\u0301");
    }
    const auto early = parseFallbackBlocks(fenced({}, accented + u'\n' + document));
    ASSERT_EQ(early.size(), 1);
    EXPECT_EQ(early[0].origin, QStringLiteral("fenced ```htm block"));
}

TEST(ParseFallbackBlocks, substantialTestCountsUserPerceivedCharacters) {
    // 59 characters however many code units they take, then 60.
    const QString flag = QStringLiteral("\U0001F1F1\U0001F1F9"); // one character, four code units
    EXPECT_TRUE(parseFallbackBlocks(fenced("css", QString(flag).repeated(59))).isEmpty());
    EXPECT_EQ(paths(parseFallbackBlocks(fenced("css", QString(flag).repeated(60)))), QStringList{"styles.css"});
    // A CR LF pair is one character.
    EXPECT_TRUE(parseFallbackBlocks(fenced("css", QStringLiteral("a\r\n").repeated(29) + u'a')).isEmpty());
    EXPECT_EQ(paths(parseFallbackBlocks(fenced("css", QStringLiteral("a\r\n").repeated(30) + u'a'))),
              QStringList{"styles.css"});
    EXPECT_TRUE(parseFallbackBlocks(fenced("css", QStringLiteral("  \n") + QString(59, u'a') + QStringLiteral("\n  ")))
                    .isEmpty());
}

TEST(ParseFallbackBlocks, firstBlockForAPathWins) {
    const QString reply = QStringLiteral("First:\n") + fenced("css", stylesheet) + QStringLiteral("\nSecond:\n") +
                          fenced("css", stylesheet + QStringLiteral(" a{}")) + QStringLiteral("\nAnd a page:\n") +
                          document + QStringLiteral("\nAnother page:\n") + document;
    const auto blocks = parseFallbackBlocks(reply);
    EXPECT_EQ(paths(blocks), (QStringList{"styles.css", "index.htm"}));
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(blocks[0].content, stylesheet);
}

TEST(ParseFallbackBlocks, fencedBlocksComeBeforeRawOnes) {
    const QString reply =
        QStringLiteral("Page:\n") + document + QStringLiteral("\nNow styles:\n") + fenced("css", stylesheet);
    EXPECT_EQ(paths(parseFallbackBlocks(reply)), (QStringList{"styles.css", "index.htm"}));
}

TEST(ParseFallbackBlocks, documentInsideATakenFenceIsNotRecoveredTwice) {
    // A name inside the fence, just before the document, is what the raw step would
    // infer; a second recovery would show up as that second block.
    const QString inner = QStringLiteral("<!-- other.htm -->\n") + document;
    const QString reply = QStringLiteral("Save as about.htm:\n") + fenced("html", inner);
    EXPECT_EQ(paths(parseFallbackBlocks(reply)), QStringList{"about.htm"});

    // A fence dropped for its duplicate path still keeps its document from the raw step.
    const QString twice = QStringLiteral("Save as about.htm:\n") + fenced("html", document) +
                          QStringLiteral("\nAgain:\n") + fenced("html", inner);
    EXPECT_EQ(paths(parseFallbackBlocks(twice)), QStringList{"about.htm"});
}

TEST(ParseFallbackBlocks, identicalTextEarlierInTheProseDoesNotShiftTheSkippedRange) {
    // The same fence text appears first inside a paragraph, where it is no fence; the
    // range skipped is the real fence's, so the inline document is still recovered.
    const QString fence = fenced("html", document);
    const QString reply =
        QStringLiteral("Inline copy: ") + fence + QStringLiteral(" (end)\nSaved as about.htm:\n") + fence;
    const auto blocks = parseFallbackBlocks(reply);
    EXPECT_EQ(paths(blocks), (QStringList{"about.htm", "index.htm"}));
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(blocks[1].origin, QStringLiteral("raw <!DOCTYPE> block"));
}

TEST(ParseFallbackBlocks, rawDocumentRecognitionFollowsThePattern) {
    struct Case {
        QString reply;
        QString content; // empty: no block
    };
    const QString body = QStringLiteral("<body><p>Enough words here to pass the substantial check.</p></body>");
    const Case cases[] = {
        {QStringLiteral("Glued to prose.<!DOCTYPE html><html>") + body + QStringLiteral("</html>tail"),
         QStringLiteral("<!DOCTYPE html><html>") + body + QStringLiteral("</html>")},
        {QStringLiteral("x <!doctype\n HTML lang=en><html>") + body + QStringLiteral("</HTML \n>"),
         QStringLiteral("<!doctype\n HTML lang=en><html>") + body + QStringLiteral("</HTML \n>")},
        {QStringLiteral("<HTML lang=\"en\">") + body + QStringLiteral("</html>"),
         QStringLiteral("<HTML lang=\"en\">") + body + QStringLiteral("</html>")},
        {QStringLiteral("<htmlx>") + body + QStringLiteral("</html>"), {}},
        {QStringLiteral("<html>") + body + QStringLiteral("</html x>"), {}},
        {QStringLiteral("<html>") + body, {}},
        {QStringLiteral("<!DOCTYPEhtml>") + body + QStringLiteral("</html>"), {}},
        {QStringLiteral("<html><p>short</p></html>"), {}},
        {QStringLiteral("<html\u0301>") + body + QStringLiteral("</html>"), {}}, // a combining mark is no boundary
    };
    for (const Case& c : cases) {
        const auto blocks = parseFallbackBlocks(c.reply);
        if (c.content.isEmpty()) {
            EXPECT_TRUE(blocks.isEmpty()) << c.reply.toStdString();
            continue;
        }
        ASSERT_EQ(blocks.size(), 1) << c.reply.toStdString();
        EXPECT_EQ(blocks[0].content, c.content);
        EXPECT_EQ(blocks[0].rawSpan, c.content);
    }
}

TEST(InferPathHint, picksThePreferredNameNearestTheCode) {
    struct Case {
        const char* prose;
        bool css; // recover a stylesheet instead of a page
        const char* path;
    };
    const Case cases[] = {
        {"First index.htm, then about.htm:", false, "about.htm"},
        {"Edit about.htm, and also site.css:", false, "about.htm"},
        {"Edit page.XHTML please:", false, "page.XHTML"},
        {"Only styles here: theme.css and main.js", false, "main.js"},
        {"Put it in ../escape.htm", false, "index.htm"},
        {"Save this to /etc/passwd-bad-idea.htm", false, "index.htm"},
        {"Use ~/home.htm", false, "index.htm"},
        {"Use ./pages/contact.htm", false, "pages/contact.htm"},
        {"Use pages\\contact.htm", false, "contact.htm"},
        {"Use https://example.com/about.htm", false, "index.htm"}, // walks back to "//example.com/..."
        {"Use the module app.mjs", false, "index.htm"},
        {"In the file about.html.bak", false, "about.html"},
        {"See about.htm, and the stylesheet theme.css, then about2.htm", true, "theme.css"},
        {"Nothing named here", true, "styles.css"},
        {"See café-menu.htm", false, "café-menu.htm"},
    };
    for (const Case& c : cases) {
        const QString code = c.css ? fenced("css", stylesheet) : fenced("html", document);
        const auto blocks = parseFallbackBlocks(text(c.prose) + u'\n' + code);
        EXPECT_EQ(paths(blocks), QStringList{text(c.path)}) << c.prose;
    }
}

TEST(InferPathHint, seesOnlyTheLast600CharactersBeforeTheCode) {
    const QString name = QStringLiteral("about.htm ");
    const auto withGap = [&](int gap, const QString& filler) {
        return parseFallbackBlocks(name + filler.repeated(gap) + u'\n' + fenced("html", document));
    };
    // 589 + the line feed leaves the whole name inside the window; one more cuts its first letter.
    EXPECT_EQ(paths(withGap(589, QStringLiteral("x"))), QStringList{"about.htm"});
    EXPECT_EQ(paths(withGap(590, QStringLiteral("x"))), QStringList{"bout.htm"});
    EXPECT_EQ(paths(withGap(700, QStringLiteral("x"))), QStringList{"index.htm"});
    // Characters, not code units: 589 accented letters of two code units each still
    // fit, and so do 589 CR LF pairs.
    EXPECT_EQ(paths(withGap(589, QStringLiteral("e\u0301"))), QStringList{"about.htm"});
    EXPECT_EQ(paths(withGap(590, QStringLiteral("e\u0301"))), QStringList{"bout.htm"});
    EXPECT_EQ(paths(withGap(589, QStringLiteral("\r\n"))), QStringList{"about.htm"});
    EXPECT_EQ(paths(withGap(590, QStringLiteral("\r\n"))), QStringList{"bout.htm"});
}

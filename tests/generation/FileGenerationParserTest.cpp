#include "generation/FileGenerationParser.h"

#include <gtest/gtest.h>

using namespace kestrion;
using namespace kestrion::FileGenerationParser;

namespace {

// The announcement exactly as the model is to read it, kept apart from the product's
// passages so that a slip in either shows up here.
const char* const expectedAppendix =
    R"expected(**Project awareness (read this before answering):** At the end of this system prompt you will find a **Current project workspace** block (when the user has a project folder bound). It contains the full inventory of every file in the user's website directory and the current contents of the text files. Treat that block as the **authoritative source of truth** for the project: you already know which files exist, what is inside them, and which paths are already in use. Do **not** ask the user to paste files you can already see, do **not** claim a file "might not exist" if it is listed, and do **not** create a second file with a slightly different name when you should update the existing one. Every reply should be grounded in that inventory.

**Static front-end only (hard rule):** This app **only** writes files from your `<<<FILE>>>` blocks when the path ends with one of these extensions: css, htm, html, js, json, map, md, svg, txt, webmanifest, xhtml, xml. It **does not** materialize PHP, Python, Ruby, SQL, shell scripts, server configs, or any other server-side or build-pipeline files — even if the user asks. Explain that limitation in prose if they request back-end code; do **not** output `<<<FILE>>>` for disallowed paths.

**New web projects (default):** Scaffold sites with **plain HTML** (`.htm` / `.html`), **CSS**, optional **vanilla JavaScript**, **SVG**, and static assets that fit the allowlist above. Do **not** propose Laravel, PHP, databases, Node servers, or stacks that require a runtime on the server beyond serving static files.

**Apache document root:** These projects are deployed to **Apache**. The site’s default page must be **`index.htm`** at the project root (Apache `DirectoryIndex`); use that filename for the main entry page, not `index.html`, unless the user explicitly requests otherwise. Link other pages and assets with relative paths.

**The macOS website builder materializes files and runs git for the user.** After your `<<<FILE>>>` and `<<<IMAGE>>>` blocks, you may add a brief plain summary only. Do **not** print shell commands, `git init`, `git commit`, or fenced bash blocks for git — it writes files under the user’s chosen website directory, runs `git init` when needed, `git add -A`, and `git commit` automatically. Do not tell the user to run those commands manually.

**Never echo full file contents into the chat.** When asked to update, create, or scaffold a file (for example `index.htm`, `styles.css`, `app.js`):

- **You must** output the complete updated contents inside a `<<<FILE path="...">>>` … `<<<END_FILE>>>` block. The app saves and commits it.
- **Do not** wrap the file in markdown fences like ```html, ```css, or ```js, and **do not** paste raw `<!DOCTYPE html>` / `<html>` markup into the message body. Those forms appear as a wall of code in chat instead of being saved to disk. (The app has a best-effort fallback that captures such mistakes, but treat it as a recovery path, not the contract.)
- Short illustrative snippets (a few lines, clearly framed as an example, **not** an entire file) may use a fenced code block, but never include a full document or a complete stylesheet/script that way.

When the user asks you to generate or scaffold website files, output each text file using exactly this format (repeat for multiple files):

<<<FILE path="relative/path/from/project/root.ext">>>
(file contents here, no extra wrappers)
<<<END_FILE>>>

**`<<<IMAGE>>>` paths** must end with one of: gif, jpeg, jpg, png, webp. The app skips other extensions.

**Binary images (jpg, jpeg, png, gif, webp): NEVER use `<<<FILE>>>` for these — placeholder text would corrupt the file.** Instead, request a real image with an `<<<IMAGE>>>` block. The macOS website builder calls OpenAI’s image generation API and writes real binary bytes to disk (it auto-converts to JPEG when the path ends in `.jpg`/`.jpeg`):

<<<IMAGE path="images/illustration.jpg" size="1024x1024">>>
A detailed visual prompt for the image. Be specific about subject, style, lighting,
background, composition, and aspect/orientation. Multiple lines are fine.
<<<END_IMAGE>>>

Optional attributes inside the opening tag: `size="1024x1024"` (also `1024x1536` portrait or `1536x1024` landscape; default `1024x1024`), and `model="gpt-image-1"` (default; falls back to `dall-e-3` if the org isn’t verified). Use forward slashes in paths and reference the same path from your HTML/CSS so the page renders correctly. SVG files are text — keep using `<<<FILE>>>` for `.svg`. Do not put paths inside markdown code fences for any of these blocks; the delimiters must appear literally.)expected";

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QList<FileBlock> files(const char* reply) {
    return parseReply(text(reply)).files;
}

QList<ImageBlock> images(const char* reply) {
    return parseReply(text(reply)).images;
}

} // namespace

// The appendix holds both allowlists, so this also pins their exact entries.
TEST(SystemPromptAppendix, isTheAnnouncementTextExactly) {
    EXPECT_EQ(systemPromptAppendix().toUtf8(), QByteArray(expectedAppendix));
}

TEST(SortedExtensions, ordersByCodePointNotByUtf16Unit) {
    EXPECT_EQ(sortedExtensions(
                  {QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("\U0001F600"), QStringLiteral("\uFFFD")}),
              (QStringList{"B", "b", "\uFFFD", "\U0001F600"}));
}

TEST(ParseReplyFiles, stripsOneDelimiterLineFeedAtEachEndOnly) {
    struct Case {
        const char* reply;
        const char* content;
    };
    const Case cases[] = {
        {"<<<FILE path=\"index.htm\">>>\n<!DOCTYPE html>\n<p>x</p>\n<<<END_FILE>>>", "<!DOCTYPE html>\n<p>x</p>"},
        {"<<<FILE path=\"a.css\">>><<<END_FILE>>>", ""},
        {"<<<FILE path=\"a.css\">>>\n<<<END_FILE>>>", ""},
        {"<<<FILE path=\"a.css\">>>\n\n<<<END_FILE>>>", ""},
        {"<<<FILE path=\"a.css\">>>\n\n\nx\n\n<<<END_FILE>>>", "\n\nx\n"},
        {"<<<FILE path=\"a.css\">>>\r\nbody{}\r\n<<<END_FILE>>>", "\r\nbody{}\r\n"},
        {"<<<FILE path=\"a.css\">>>\n\r\n<<<END_FILE>>>", "\r\n"},
        {"<<<FILE path=\"a.css\">>>  x  <<<END_FILE>>>", "  x  "},
    };
    for (const Case& c : cases) {
        const auto blocks = files(c.reply);
        ASSERT_EQ(blocks.size(), 1) << c.reply;
        EXPECT_EQ(blocks[0].content, text(c.content)) << c.reply;
    }
}

TEST(ParseReplyFiles, takesPathVerbatimAndRejectsMalformedOpeners) {
    struct Case {
        const char* reply;
        QStringList paths;
    };
    const Case cases[] = {
        {"<<<FILE path=\" a/../b.htm \">>>x<<<END_FILE>>>", {" a/../b.htm "}},
        {"<<<FILE path=\"\">>>x<<<END_FILE>>>", {}},
        {"<<<file path=\"a.htm\">>>x<<<END_FILE>>>", {}},
        {"<<<FILE  path=\"a.htm\">>>x<<<END_FILE>>>", {}},
        {"<<<FILE path=\"a.htm\" x=\"y\">>>x<<<END_FILE>>>", {}},
        {"<<<FILE path=\"a.htm\">>>x<<<end_file>>>", {}},
        {"<<<FILE path=\"a.htm\">>>never closed", {}},
        {"<<<END_FILE>>>", {}},
        {"<<<FILE path=\"index.htm\">>>one<<<END_FILE>>> and <<<FILE path=\"index.htm\">>>two<<<END_FILE>>>",
         {"index.htm", "index.htm"}},
        // The body ends at the first closer, so an inner opener is only content.
        {"<<<FILE path=\"a.htm\">>><<<FILE path=\"b.htm\">>>x<<<END_FILE>>><<<END_FILE>>>", {"a.htm"}},
        // A failed opener does not hide a good one that starts inside it.
        {"<<<FILE path=\"<<<FILE path=\"b.htm\">>>x<<<END_FILE>>>", {"b.htm"}},
        {"<<<FILE path=\"multi\nline\">>>x<<<END_FILE>>>", {"multi\nline"}},
    };
    for (const Case& c : cases) {
        QStringList paths;
        for (const FileBlock& block : files(c.reply)) {
            paths.append(block.path);
        }
        EXPECT_EQ(paths, c.paths) << c.reply;
    }
}

TEST(ParseReplyImages, readsAttributesCaseInsensitivelyAndValuesVerbatim) {
    const auto blocks =
        images("<<<IMAGE PATH=\"a.png\" Size=\"1024x1536\" model=\"dall-e-3\">>>\n  A red fox.\n<<<END_IMAGE>>>");
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0], (ImageBlock{"a.png", "A red fox.", QStringLiteral("1024x1536"), QStringLiteral("dall-e-3")}));

    const auto plain = images("<<<IMAGE path=\"a.jpg\">>>fox<<<END_IMAGE>>>");
    ASSERT_EQ(plain.size(), 1);
    EXPECT_EQ(plain[0].size, std::nullopt);
    EXPECT_EQ(plain[0].model, std::nullopt);
}

TEST(ParseReplyImages, skipsUnusableBlocksAndKeepsTheLastDuplicateAttribute) {
    struct Case {
        const char* reply;
        QStringList paths;
    };
    const Case cases[] = {
        {"<<<IMAGE path=\"a.jpg\">>>\n \t\n<<<END_IMAGE>>>", {}},
        {"<<<IMAGE path=\"\">>>fox<<<END_IMAGE>>>", {}},
        {"<<<IMAGE size=\"1024x1024\">>>fox<<<END_IMAGE>>>", {}},
        {"<<<IMAGE nonsense>>>fox<<<END_IMAGE>>>", {}},
        {"<<<IMAGE path=\"a.png\" path=\"b.png\">>>fox<<<END_IMAGE>>>", {"b.png"}},
        {"<<<IMAGE path = \" \" >>>fox<<<END_IMAGE>>>", {" "}},
        {"<<<IMAGEpath=\"a.png\">>>fox<<<END_IMAGE>>>", {}},
        {"<<<IMAGE\npath=\"a.png\">>>fox<<<END_IMAGE>>>", {"a.png"}},
        {"<<<IMAGE path=\"a.png\">>>fox", {}},
        // The attribute text cannot hold '>', so this tag never ends.
        {"<<<IMAGE path=\"a>b.png\">>>fox<<<END_IMAGE>>>", {}},
        {"<<<IMAGE path=\"a.png\">>>one<<<END_IMAGE>>><<<IMAGE path=\"b.png\">>>two<<<END_IMAGE>>>",
         {"a.png", "b.png"}},
    };
    for (const Case& c : cases) {
        QStringList paths;
        for (const ImageBlock& block : images(c.reply)) {
            paths.append(block.path);
        }
        EXPECT_EQ(paths, c.paths) << c.reply;
    }
}

TEST(ParseReplyProse, removesBlocksAndCollapsesBlankLines) {
    struct Case {
        const char* reply;
        const char* shown;
    };
    const Case cases[] = {
        {"<<<FILE path=\"a.htm\">>>x<<<END_FILE>>>\n<<<IMAGE path=\"b.png\">>>fox<<<END_IMAGE>>>\n", ""},
        {"Intro.\n\n<<<FILE path=\"a.htm\">>>\nx\n<<<END_FILE>>>\n\n\n\nMiddle.\n\n<<<FILE path=\"b.css\">>>\ny\n"
         "<<<END_FILE>>>\n\nOutro.",
         "Intro.\n\nMiddle.\n\nOutro."},
        {"  Keep <<<FILE path=\"\">>>this<<<END_FILE>>> and <<<IMAGE path=\"a.png\">>>  <<<END_IMAGE>>>.\n",
         "Keep <<<FILE path=\"\">>>this<<<END_FILE>>> and ."},
        {"Unclosed <<<FILE path=\"a.htm\">>> stays", "Unclosed <<<FILE path=\"a.htm\">>> stays"},
        {"a\r\n\r\n\r\nb", "a\r\n\r\n\r\nb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseReply(text(c.reply)).prose, text(c.shown)) << c.reply;
    }
}

TEST(ParseReplyProse, imageBlocksAreMatchedAfterFileBlocksAreGone) {
    // The IMAGE opener inside the FILE block would otherwise pair with the closer after it.
    const QString reply = text("<<<FILE path=\"a.htm\">>><<<IMAGE path=\"x.png\">>><<<END_FILE>>>keep"
                               "<<<IMAGE path=\"b.png\">>>fox<<<END_IMAGE>>>");
    EXPECT_EQ(parseReply(reply).prose, QStringLiteral("keep"));
}

// The rule itself is lowerCasedExtension's (FileExtensionTest); what is added is that a
// backslash separates components as a slash does, so a hidden name after one has none.
TEST(MaterializationExtension, readsBackslashesAsSeparators) {
    EXPECT_EQ(materializationExtension(QStringLiteral("a\\b.CSS")), QStringLiteral("css"));
    EXPECT_EQ(materializationExtension(QStringLiteral("a\\.htaccess")), QString());
    EXPECT_EQ(materializationExtension(QStringLiteral("a.b\\c")), QString());
    EXPECT_EQ(materializationExtension(QStringLiteral(".htaccess")), QString());
}

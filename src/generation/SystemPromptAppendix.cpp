#include "generation/FileGenerationParser.h"

namespace kestrion::FileGenerationParser {

namespace {

// The announcement is three fixed passages around the two sorted extension lists,
// so the text the model reads always matches the sets the materializer enforces.
// The typographic em dash, right single quotation mark and ellipsis are part of the
// text the model has been prompted with; keep them.

const char* const firstPassage =
    R"appendix(**Project awareness (read this before answering):** At the end of this system prompt you will find a **Current project workspace** block (when the user has a project folder bound). It contains the full inventory of every file in the user's website directory and the current contents of the text files. Treat that block as the **authoritative source of truth** for the project: you already know which files exist, what is inside them, and which paths are already in use. Do **not** ask the user to paste files you can already see, do **not** claim a file "might not exist" if it is listed, and do **not** create a second file with a slightly different name when you should update the existing one. Every reply should be grounded in that inventory.

**Static front-end only (hard rule):** This app **only** writes files from your `<<<FILE>>>` blocks when the path ends with one of these extensions: )appendix";

const char* const secondPassage =
    R"appendix(. It **does not** materialize PHP, Python, Ruby, SQL, shell scripts, server configs, or any other server-side or build-pipeline files — even if the user asks. Explain that limitation in prose if they request back-end code; do **not** output `<<<FILE>>>` for disallowed paths.

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

**`<<<IMAGE>>>` paths** must end with one of: )appendix";

const char* const thirdPassage = R"appendix(. The app skips other extensions.

**Binary images (jpg, jpeg, png, gif, webp): NEVER use `<<<FILE>>>` for these — placeholder text would corrupt the file.** Instead, request a real image with an `<<<IMAGE>>>` block. The macOS website builder calls OpenAI’s image generation API and writes real binary bytes to disk (it auto-converts to JPEG when the path ends in `.jpg`/`.jpeg`):

<<<IMAGE path="images/illustration.jpg" size="1024x1024">>>
A detailed visual prompt for the image. Be specific about subject, style, lighting,
background, composition, and aspect/orientation. Multiple lines are fine.
<<<END_IMAGE>>>

Optional attributes inside the opening tag: `size="1024x1024"` (also `1024x1536` portrait or `1536x1024` landscape; default `1024x1024`), and `model="gpt-image-1"` (default; falls back to `dall-e-3` if the org isn’t verified). Use forward slashes in paths and reference the same path from your HTML/CSS so the page renders correctly. SVG files are text — keep using `<<<FILE>>>` for `.svg`. Do not put paths inside markdown code fences for any of these blocks; the delimiters must appear literally.)appendix";

} // namespace

QString systemPromptAppendix() {
    const QString separator = QStringLiteral(", ");
    return QString::fromUtf8(firstPassage) + sortedExtensions(allowedFileMaterializationExtensions()).join(separator) +
           QString::fromUtf8(secondPassage) +
           sortedExtensions(allowedRasterImageMaterializationExtensions()).join(separator) +
           QString::fromUtf8(thirdPassage);
}

} // namespace kestrion::FileGenerationParser

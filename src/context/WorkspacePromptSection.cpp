#include "context/ProjectContextBuilder.h"

#include <QStringList>

// The project workspace block of the system prompt. Its wording is a contract
// with the model: every line below is sent byte for byte.
namespace kestrion::ProjectContextBuilder {

QString systemPromptSection(const std::optional<Snapshot>& snapshot) {
    if (!snapshot) {
        return {};
    }
    if (snapshot->files.isEmpty()) {
        return QStringLiteral("\n**Current project workspace** (`") + snapshot->rootName +
               QStringLiteral("`): the folder is currently **empty**. Any files you scaffold will be the first files "
                              "here.");
    }

    QStringList lines;
    lines << QString();
    lines << QStringLiteral("**Current project workspace** (`") + snapshot->rootName +
                 QStringLiteral("`). The list below is the authoritative inventory of every file that already exists "
                                "in the user's website folder. Treat it as ground truth: do NOT assume other files "
                                "exist, and always update an existing path instead of creating a duplicate.");
    lines << QString();
    lines << QStringLiteral("**Project tree (relative paths, sizes in bytes):**");
    lines << QStringLiteral("```");
    for (const FileEntry& file : snapshot->files) {
        QString line = QStringLiteral("- ") + file.relativePath + QStringLiteral(" — ") +
                       QString::number(file.sizeBytes) + QStringLiteral(" B");
        if (!file.isText) {
            line += QStringLiteral(" (binary)");
        }
        lines << line;
    }
    if (snapshot->listingTruncated) {
        lines << QStringLiteral("- … listing truncated (project has more than %1 files or exceeded depth %2)")
                     .arg(maxListedFiles)
                     .arg(maxDirectoryDepth);
    }
    lines << QStringLiteral("```");

    if (!snapshot->embeddedFiles.isEmpty()) {
        lines << QString();
        lines << QStringLiteral("**Current contents of text files** (authoritative — use these exact versions as the "
                                "base when editing; you do NOT need to ask the user to paste them):");
        for (const EmbeddedFile& file : snapshot->embeddedFiles) {
            lines << QString();
            lines << QStringLiteral("<<<PROJECT_FILE path=\"") + file.relativePath + QStringLiteral("\">>>");
            lines << file.body;
            lines << QStringLiteral("<<<END_PROJECT_FILE>>>");
            if (file.truncated) {
                lines << QStringLiteral("(") + file.relativePath +
                             QStringLiteral(" truncated — ask the user or re-read from disk if you need the tail.)");
            }
        }
    }

    if (!snapshot->omittedForBudget.isEmpty()) {
        QStringList quoted;
        quoted.reserve(snapshot->omittedForBudget.size());
        for (const QString& path : snapshot->omittedForBudget) {
            quoted << u'`' + path + u'`';
        }
        lines << QString();
        lines << QStringLiteral("**Text files not embedded in this prompt** (still present on disk — you know they "
                                "exist, just ask before assuming contents): ") +
                     quoted.join(QStringLiteral(", "));
    }

    lines << QString();
    lines << QStringLiteral("**Editing rules for this project:**");
    lines << QStringLiteral("- When changing an existing file, return the **complete new content** inside a "
                            "`<<<FILE path=\"...\">>>` block using the **same relative path** shown above.");
    lines << QStringLiteral("- Never invent or assume a file that is not in the inventory.");
    lines << QStringLiteral("- If the user asks about a web page, CSS, or JS behavior, you already have the current "
                            "source above — do not ask them to paste it.");
    lines << QStringLiteral("- Prefer minimal, targeted edits that preserve the existing structure, classes, IDs, and "
                            "asset paths.");
    return lines.join(u'\n');
}

} // namespace kestrion::ProjectContextBuilder

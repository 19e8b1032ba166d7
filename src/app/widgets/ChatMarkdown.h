#pragma once

#include <QString>
#include <QTextDocument>

// The text of a chat message as a document: the Markdown the model writes,
// read the way a chat shows it.
namespace kestrion {

// Fills a document from chat text: Markdown (GitHub dialect, raw HTML shown as
// text) in which a single line break outside lists and code starts a new line
// rather than joining the lines, and, when the Markdown yields nothing although
// the text has content, the text unchanged as plain text. Shared by painting and the selection editor
// so both lay out alike.
void setChatMarkdown(QTextDocument& document, const QString& text);

// Chat text never pulls in files or other resources: a Markdown image or link
// target in a reply must not make the interface read arbitrary local paths.
class ChatTextDocument final : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace kestrion

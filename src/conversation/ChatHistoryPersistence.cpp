#include "conversation/ChatHistoryPersistence.h"

#include "support/IsoDateTime.h"
#include "support/JsonValues.h"
#include "support/Logging.h"
#include "support/SitePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>

namespace kestrion::ChatHistoryPersistence {

namespace {

const QString versionKey = QStringLiteral("version");
const QString sessionsKey = QStringLiteral("sessions");
const QString activeSessionIdKey = QStringLiteral("activeSessionId");

using Location = SitePath::PathResult;

// The per-user folder of the legacy history, created if missing. It is the user's own space: a link
// the user made for it (to keep data on another disk, say) is followed like any folder.
Location appSupportDirectory() {
    const QStringList bases = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (bases.isEmpty() || bases.first().isEmpty()) {
        return {
            {},
            QCoreApplication::translate("kestrion::ChatHistoryPersistence", "There is no folder for the user's data.")};
    }
    const QString directory = bases.first() + QStringLiteral("/KestrionApp");
    if (const WriteResult made = makeDirectories(directory); !made.ok()) {
        return {{}, made.error};
    }
    return {directory, {}};
}

// The history file's path: in the chats folder of an existing website directory (made if missing,
// never through a link; the website directory itself is never created, so a history cannot
// resurrect a folder the user deleted), or in the per-user folder when there is none.
Location prepareHistoryFile(const std::optional<QString>& outputProjectRoot) {
    if (!outputProjectRoot) {
        const Location folder = appSupportDirectory();
        return folder.ok() ? Location{folder.path + QLatin1Char('/') + fileName, {}} : folder;
    }
    return SitePath::chatsStoreFile(*outputProjectRoot, fileName);
}

bool isRealFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

// Appends indented lines and JSON strings to one buffer, writing through a raw pointer: with thousands
// of escaped newlines per message, appending piece by piece through QByteArray would dominate a save.
class JsonWriter {
public:
    explicit JsonWriter(qsizetype expectedSize) { m_out.resize(std::max<qsizetype>(expectedSize, 256)); }

    void line(int depth, QByteArrayView text) {
        indent(depth);
        raw(text);
        raw("\n");
    }

    void stringMember(int depth, QByteArrayView key, QStringView value, bool more) {
        indent(depth);
        raw("\"");
        raw(key);
        raw("\": ");
        string(value);
        raw(more ? ",\n" : "\n");
    }

    QByteArray take() {
        m_out.truncate(m_size);
        return std::move(m_out);
    }

private:
    // A pointer to at least `bytes` writable bytes after the written part.
    char* room(qsizetype bytes) {
        if (m_size + bytes > m_out.size()) {
            m_out.resize(std::max(m_out.size() * 2, m_size + bytes));
        }
        return m_out.data() + m_size;
    }

    void raw(QByteArrayView bytes) {
        std::memcpy(room(bytes.size()), bytes.data(), static_cast<size_t>(bytes.size()));
        m_size += bytes.size();
    }

    void indent(int depth) {
        const qsizetype width = depth * 4;
        std::memset(room(width), ' ', static_cast<size_t>(width));
        m_size += width;
    }

    // UTF-8 between quotes, escaped like QJsonDocument: the quote, the backslash, control characters
    // (short forms where JSON has them, else \u00xx) and lone surrogates, which UTF-8 cannot carry.
    // Every character needing an escape is ASCII, so text without surrogates is converted to UTF-8 in
    // one step and escaped byte by byte; other text goes piece by piece around its lone surrogates.
    void string(QStringView text) {
        raw("\"");
        if (!hasSurrogates(text)) {
            escaped(text.toUtf8());
        } else {
            const char16_t* data = text.utf16();
            qsizetype runStart = 0;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const char16_t c = data[i];
                if (!QChar::isSurrogate(c)) {
                    continue;
                }
                if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(data[i + 1])) {
                    ++i;
                    continue;
                }
                escaped(text.sliced(runStart, i - runStart).toUtf8());
                char* out = room(6);
                writeUnicodeEscape(out, c);
                m_size += 6;
                runStart = i + 1;
            }
            escaped(text.sliced(runStart).toUtf8());
        }
        raw("\"");
    }

    // Without an early exit the compiler vectorizes this; text with valid pairs (emoji) merely takes
    // the slower path.
    static bool hasSurrogates(QStringView text) {
        const char16_t* data = text.utf16();
        unsigned found = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            found |= static_cast<unsigned>((data[i] & 0xF800) == 0xD800);
        }
        return found != 0;
    }

    void escaped(const QByteArray& utf8) {
        // Worst case: every byte a control character written as \u00xx.
        char* out = room(utf8.size() * 6);
        char* const begin = out;
        for (const char ch : utf8) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte >= 0x20 && byte != '"' && byte != '\\') {
                *out++ = ch;
                continue;
            }
            *out++ = '\\';
            switch (byte) {
            case '"':
            case '\\':
                *out++ = ch;
                break;
            case '\b':
                *out++ = 'b';
                break;
            case '\f':
                *out++ = 'f';
                break;
            case '\n':
                *out++ = 'n';
                break;
            case '\r':
                *out++ = 'r';
                break;
            case '\t':
                *out++ = 't';
                break;
            default:
                --out;
                writeUnicodeEscape(out, byte);
                out += 6;
            }
        }
        m_size += out - begin;
    }

    static void writeUnicodeEscape(char* out, char16_t c) {
        static constexpr char hex[] = "0123456789abcdef";
        out[0] = '\\';
        out[1] = 'u';
        out[2] = hex[(c >> 12) & 0xF];
        out[3] = hex[(c >> 8) & 0xF];
        out[4] = hex[(c >> 4) & 0xF];
        out[5] = hex[c & 0xF];
    }

    QByteArray m_out;
    qsizetype m_size = 0;
};

} // namespace

std::optional<FilePayload> load(const std::optional<QString>& outputProjectRoot, qint64 maxBytes) {
    const Location location = prepareHistoryFile(outputProjectRoot);
    if (!location.ok()) {
        return std::nullopt;
    }
    const SitePath::ReadResult read = SitePath::readRegularFileNoFollow(location.path, maxBytes);
    if (read.status == SitePath::ReadResult::Status::Missing) {
        return std::nullopt;
    }
    // A folder in the file's place holds no conversations and cannot be overwritten by a save either.
    if (read.status == SitePath::ReadResult::Status::NotRegular && isRealFolder(location.path)) {
        return std::nullopt;
    }
    const auto payload = read.ok() ? decode(read.bytes) : std::nullopt;
    if (!payload) {
        // When even the rename fails there is nothing more the store can do; it still reports no
        // history, and the next save replaces the entry.
        if (const SitePath::PathResult moved = SitePath::moveAside(location.path); moved.ok()) {
            qCWarning(lcConversation, "Unreadable chat history moved aside to %s",
                      qUtf8Printable(SitePath::escapedForDisplay(moved.path)));
        } else {
            qCWarning(lcConversation, "Unreadable chat history could not be moved aside: %s",
                      qUtf8Printable(SitePath::escapedForDisplay(moved.error)));
        }
        return std::nullopt;
    }
    // A valid file without sessions holds nothing that a save could destroy: it reads as no history
    // and stays where it is.
    if (payload->sessions.isEmpty()) {
        return std::nullopt;
    }
    return payload;
}

WriteResult save(const FilePayload& payload, const std::optional<QString>& outputProjectRoot) {
    const Location location = prepareHistoryFile(outputProjectRoot);
    if (!location.ok()) {
        return {location.error};
    }
    return SitePath::writeFileNoFollow(location.path, encode(payload));
}

void removeLegacyAppSupportHistoryFile() {
    const Location directory = appSupportDirectory();
    if (!directory.ok()) {
        return;
    }
    QFile::remove(directory.path + QLatin1Char('/') + fileName);
}

// Written by hand rather than through QJsonObject: a JSON tree of every message would make a large
// history several times slower to save than writing its bytes directly. The layout is exactly that of
// QJsonDocument::Indented (four-space indent, keys in ascending order, the same string escapes), so
// the file is the same either way and decode() reads it with QJsonDocument.
QByteArray encode(const FilePayload& payload) {
    qsizetype textSize = 0;
    for (const ChatSession& session : payload.sessions) {
        textSize += session.title.size() + 300;
        for (const ChatMessage& message : session.messages) {
            textSize += message.text.size() + 200;
        }
    }
    // Room for three UTF-8 bytes per UTF-16 unit up front, so the buffer is never copied to grow. Pages
    // that are never written are never touched, so reserving generously costs no memory in practice.
    JsonWriter writer(3 * textSize + 200);
    writer.line(0, "{");
    writer.stringMember(1, "activeSessionId", uuidToText(payload.activeSessionId), true);
    writer.line(1, "\"sessions\": [");
    for (qsizetype s = 0; s < payload.sessions.size(); ++s) {
        const ChatSession& session = payload.sessions.at(s);
        writer.line(2, "{");
        writer.stringMember(3, "createdAt", formatIsoDateTime(session.createdAt), true);
        writer.stringMember(3, "id", uuidToText(session.id), true);
        writer.line(3, "\"messages\": [");
        for (qsizetype m = 0; m < session.messages.size(); ++m) {
            const ChatMessage& message = session.messages.at(m);
            writer.line(4, "{");
            writer.stringMember(5, "id", uuidToText(message.id), true);
            writer.stringMember(5, "role", ChatMessage::roleName(message.role), true);
            writer.stringMember(5, "text", message.text, false);
            writer.line(4, m + 1 < session.messages.size() ? "}," : "}");
        }
        writer.line(3, "],");
        writer.stringMember(3, "title", session.title, true);
        writer.stringMember(3, "updatedAt", formatIsoDateTime(session.updatedAt), false);
        writer.line(2, s + 1 < payload.sessions.size() ? "}," : "}");
    }
    writer.line(1, "],");
    writer.line(1, "\"version\": " + QByteArray::number(payload.version));
    writer.line(0, "}");
    return writer.take();
}

std::optional<FilePayload> decode(const QByteArray& bytes) {
    const std::optional<QJsonObject> root = parseJsonObject(bytes);
    if (!root) {
        return std::nullopt;
    }
    const auto version = wholeIntValue(root->value(versionKey));
    const QJsonValue sessionsValue = root->value(sessionsKey);
    const QJsonValue activeValue = root->value(activeSessionIdKey);
    if (!version || !sessionsValue.isArray() || !activeValue.isString()) {
        return std::nullopt;
    }
    const auto activeSessionId = uuidFromText(activeValue.toString());
    if (!activeSessionId) {
        return std::nullopt;
    }
    auto sessions = allFromJson<ChatSession>(sessionsValue.toArray());
    if (!sessions) {
        return std::nullopt;
    }
    return FilePayload{*version, std::move(*sessions), *activeSessionId};
}

} // namespace kestrion::ChatHistoryPersistence

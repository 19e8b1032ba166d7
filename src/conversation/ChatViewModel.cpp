#include "conversation/ChatViewModel.h"

#include "context/ProjectContextBuilder.h"
#include "conversation/AppSettings.h"
#include "conversation/ChatHistoryPersistence.h"
#include "generation/FileGenerationParser.h"
#include "generation/ProjectMaterializer.h"
#include "openai/OpenAIService.h"
#include "support/IsoDateTime.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace kestrion {

namespace {

Q_LOGGING_CATEGORY(lcConversation, "kestrion.conversation")

const QString systemPromptOpening =
    QStringLiteral("You are a helpful coding assistant running inside a macOS website builder. ");

// Positions where user-perceived characters (grapheme clusters) end.
QList<qsizetype> graphemeBoundaries(const QString& text) {
    QList<qsizetype> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() != -1) {
        boundaries.append(finder.position());
    }
    return boundaries;
}

QString collapseBlankLines(const QString& text) {
    static const QRegularExpression threeOrMoreNewlines(QStringLiteral("\n{3,}"));
    QString collapsed = text;
    collapsed.replace(threeOrMoreNewlines, QStringLiteral("\n\n"));
    return collapsed;
}

// The reply as shown in the chat: protocol blocks removed and, when the fallback wrote
// files, the code it took out of the prose removed too.
QString displayText(const QString& reply, const ProjectMaterializer::Result& result) {
    QString display = FileGenerationParser::strippingFileBlocks(reply);
    if (!result.fallbackBlocksMaterialized.isEmpty()) {
        for (const auto& block : result.fallbackBlocksMaterialized) {
            if (!block.rawSpan.isEmpty()) {
                display.remove(block.rawSpan, Qt::CaseSensitive);
            }
        }
        display = collapseBlankLines(display).trimmed();
    }
    const QString summary = ProjectMaterializer::summaryText(result);
    if (summary.isEmpty()) {
        return display;
    }
    if (display.isEmpty()) {
        return summary;
    }
    return display + QStringLiteral("\n\n") + summary;
}

// Index of the session with the latest updatedAt; the first in stored order wins ties.
qsizetype mostRecentlyUpdatedIndex(const QList<ChatSession>& sessions) {
    qsizetype best = -1;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (best < 0 || sessions[i].updatedAt > sessions[best].updatedAt) {
            best = i;
        }
    }
    return best;
}

} // namespace

ChatViewModel::ChatViewModel(std::shared_ptr<const OpenAIService> openAI, QObject* parent)
    : QObject(parent), m_activeSessionId(QUuid::createUuid()), m_openAI(std::move(openAI)) {
    if (!m_openAI) {
        m_openAI = std::make_shared<const OpenAIService>();
    }
    const ChatSession session = ChatSession::makeFresh();
    m_sessions = {session};
    m_activeSessionId = session.id;
}

ChatViewModel::~ChatViewModel() = default;

void ChatViewModel::setInput(const QString& input) {
    if (input == m_input) {
        return;
    }
    m_input = input;
    Q_EMIT inputChanged();
}

void ChatViewModel::setSessions(QList<ChatSession> sessions) {
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
}

void ChatViewModel::setActiveSessionId(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    m_activeSessionId = id;
    Q_EMIT activeSessionIdChanged();
}

void ChatViewModel::setMessages(QList<ChatMessage> messages) {
    m_messages = std::move(messages);
    Q_EMIT messagesChanged();
}

void ChatViewModel::appendMessage(ChatMessage message) {
    m_messages.append(std::move(message));
    Q_EMIT messageAppended(static_cast<int>(m_messages.size() - 1));
    Q_EMIT messagesChanged();
}

void ChatViewModel::setSending(bool sending) {
    if (sending == m_isSending) {
        return;
    }
    m_isSending = sending;
    Q_EMIT isSendingChanged();
}

void ChatViewModel::setLastError(const std::optional<QString>& error) {
    if (error == m_lastError) {
        return;
    }
    m_lastError = error;
    Q_EMIT lastErrorChanged();
}

void ChatViewModel::setOpenAIService(std::shared_ptr<const OpenAIService> openAI) {
    if (openAI) {
        m_openAI = std::move(openAI);
    }
}

QList<ChatSession> ChatViewModel::sessionsSortedByUpdated() const {
    QList<ChatSession> sorted = m_sessions;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ChatSession& a, const ChatSession& b) { return a.updatedAt > b.updatedAt; });
    return sorted;
}

std::optional<QString> ChatViewModel::normalizedOutputDirectory(const std::optional<QString>& url) {
    if (!url || url->isEmpty()) {
        return std::nullopt;
    }
    const QString standardized = QDir::cleanPath(QDir(*url).absolutePath());
    if (!QFileInfo(standardized).isDir()) {
        return std::nullopt;
    }
    return standardized;
}

QString ChatViewModel::derivedTitle(const QList<ChatMessage>& messages, const QString& existing) {
    const QString trimmedExisting = existing.trimmed();
    if (!trimmedExisting.isEmpty() && trimmedExisting != ChatSession::defaultTitle) {
        return existing;
    }
    const auto firstUser = std::find_if(messages.begin(), messages.end(),
                                        [](const ChatMessage& m) { return m.role == ChatMessage::Role::User; });
    if (firstUser == messages.end()) {
        return existing;
    }
    const QString text = firstUser->text.trimmed();
    if (text.isEmpty()) {
        return existing;
    }
    const QList<qsizetype> boundaries = graphemeBoundaries(text);
    if (boundaries.size() > 48) {
        return text.left(boundaries[44]) + QChar(0x2026);
    }
    return text;
}

void ChatViewModel::syncActiveSessionFromMessages() {
    const auto it = std::find_if(m_sessions.begin(), m_sessions.end(),
                                 [this](const ChatSession& s) { return s.id == m_activeSessionId; });
    if (it == m_sessions.end()) {
        return;
    }
    const QString newTitle = derivedTitle(m_messages, it->title);
    if (it->messages == m_messages && it->title == newTitle) {
        return;
    }
    it->messages = m_messages;
    it->title = newTitle;
    it->updatedAt = currentDateTimeWholeSeconds();
    Q_EMIT sessionsChanged();
}

bool ChatViewModel::saveToDisk() {
    // Until the first binding nothing on disk is read or written.
    if (!m_hasBoundStorageLocation) {
        return true;
    }
    ChatHistoryPersistence::FilePayload payload;
    payload.version = 1;
    payload.sessions = m_sessions;
    payload.activeSessionId = m_activeSessionId;
    const WriteResult saved = ChatHistoryPersistence::save(payload, m_persistenceOutputRoot);
    if (!saved.ok()) {
        // The reason names a path at most, never a message.
        qCWarning(lcConversation) << "Chat history could not be saved:" << saved.error;
        setLastError(QStringLiteral("Chat history could not be saved: ") + saved.error);
        return false;
    }
    // The per-user history is deleted only once its copy is on disk: until then it is the only copy.
    if (m_legacyMigrationPending) {
        m_legacyMigrationPending = false;
        AppSettings::setMigratedLegacyChatsToProject(true);
        ChatHistoryPersistence::removeLegacyAppSupportHistoryFile();
    }
    return true;
}

void ChatViewModel::replaceWithFreshDefaultSession() {
    setInput(QString());
    setLastError(std::nullopt);
    const ChatSession session = ChatSession::makeFresh();
    setSessions({session});
    setActiveSessionId(session.id);
    setMessages({});
}

void ChatViewModel::applyLoadedPayload(const QList<ChatSession>& sessions, const QUuid& activeSessionId) {
    setSessions(sessions);
    const auto named = std::find_if(m_sessions.begin(), m_sessions.end(),
                                    [&](const ChatSession& s) { return s.id == activeSessionId; });
    qsizetype activeIndex =
        named != m_sessions.end() ? std::distance(m_sessions.begin(), named) : mostRecentlyUpdatedIndex(m_sessions);
    if (activeIndex < 0) {
        setMessages({});
        return;
    }
    setActiveSessionId(m_sessions[activeIndex].id);
    setMessages(m_sessions[activeIndex].messages);
}

void ChatViewModel::applyOutputRoot(const std::optional<QString>& outputRoot) {
    if (m_hasBoundStorageLocation) {
        syncActiveSessionFromMessages();
        setInput(QString());
        // Cleared first, so a failed save of the previous binding stays visible.
        setLastError(std::nullopt);
        saveToDisk();
    }
    // Legacy chats not yet written to the previous folder stay in the per-user file for the next one.
    m_legacyMigrationPending = false;
    const std::optional<QString> normalized = normalizedOutputDirectory(outputRoot);
    m_persistenceOutputRoot = normalized;
    m_hasBoundStorageLocation = true;

    if (normalized) {
        if (const auto payload = ChatHistoryPersistence::load(normalized)) {
            applyLoadedPayload(payload->sessions, payload->activeSessionId);
            return;
        }
        if (!AppSettings::migratedLegacyChatsToProject()) {
            if (const auto legacy = ChatHistoryPersistence::load(std::nullopt)) {
                applyLoadedPayload(legacy->sessions, legacy->activeSessionId);
                m_legacyMigrationPending = true;
                saveToDisk();
                return;
            }
        }
        replaceWithFreshDefaultSession();
        saveToDisk();
        return;
    }

    if (const auto legacy = ChatHistoryPersistence::load(std::nullopt)) {
        applyLoadedPayload(legacy->sessions, legacy->activeSessionId);
        return;
    }
    replaceWithFreshDefaultSession();
    saveToDisk();
}

void ChatViewModel::appendToSession(const QUuid& sessionId, ChatMessage message) {
    // A reply belongs to the conversation its question was asked in, even if the
    // user switched chats while waiting. Only when that chat is gone does it land
    // in the one on screen.
    if (sessionId != m_activeSessionId) {
        const auto it =
            std::find_if(m_sessions.begin(), m_sessions.end(), [&](const ChatSession& s) { return s.id == sessionId; });
        if (it != m_sessions.end()) {
            it->messages.append(std::move(message));
            it->updatedAt = currentDateTimeWholeSeconds();
            Q_EMIT sessionsChanged();
            return;
        }
    }
    appendMessage(std::move(message));
}

void ChatViewModel::send(const QString& model, const QString& apiKey, const std::optional<QString>& outputRoot) {
    const QString text = m_input.trimmed();
    if (text.isEmpty()) {
        return;
    }
    setLastError(std::nullopt);
    setSending(true);
    appendMessage(ChatMessage::make(ChatMessage::Role::User, text));
    setInput(QString());
    syncActiveSessionFromMessages();

    const QUuid sessionId = m_activeSessionId;
    // The conversation as asked: switching chats while the snapshot is taken must not
    // send another chat's messages.
    const QList<ChatMessage> history = m_messages;
    const std::shared_ptr<const OpenAIService> openAI = m_openAI;
    const QPointer<ChatViewModel> self(this);

    const auto finish = [self, sessionId](ChatMessage message) {
        if (!self) {
            return;
        }
        self->appendToSession(sessionId, std::move(message));
        self->syncActiveSessionFromMessages();
        self->saveToDisk();
        self->setSending(false);
        Q_EMIT self->sendFinished();
    };

    ProjectContextBuilder::build(outputRoot).then(this, [=](std::optional<ProjectContextBuilder::Snapshot> snapshot) {
        if (!self) {
            return;
        }
        QString prompt = systemPromptOpening + FileGenerationParser::systemPromptAppendix();
        const QString section = ProjectContextBuilder::systemPromptSection(snapshot);
        if (!section.isEmpty()) {
            prompt += QStringLiteral("\n\n") + section;
        }
        QList<ChatCompletionMessage> request;
        request.reserve(history.size() + 1);
        request.append({QStringLiteral("system"), prompt});
        for (const ChatMessage& message : history) {
            request.append({ChatMessage::roleName(message.role), message.text});
        }

        openAI->completeChat(model, apiKey, request).then(self, [=](OpenAIResult<QString> reply) {
            if (!self) {
                return;
            }
            if (!reply.ok()) {
                const QString description = reply.error().description();
                self->setLastError(description);
                finish(ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("Error: ") + description));
                return;
            }
            const QString rawReply = reply.value();
            if (!outputRoot) {
                finish(ChatMessage::make(ChatMessage::Role::Assistant, rawReply));
                return;
            }
            const QString root = *outputRoot;
            QtConcurrent::run([rawReply, root, apiKey, openAI] {
                return ProjectMaterializer::materialize(rawReply, root, apiKey, *openAI);
            }).then(self, [=](ProjectMaterializer::Result result) {
                finish(ChatMessage::make(ChatMessage::Role::Assistant, displayText(rawReply, result)));
            });
        });
    });
}

void ChatViewModel::newChat() {
    syncActiveSessionFromMessages();
    setInput(QString());
    setLastError(std::nullopt);
    const ChatSession session = ChatSession::makeFresh();
    QList<ChatSession> sessions = m_sessions;
    sessions.prepend(session);
    setSessions(std::move(sessions));
    setActiveSessionId(session.id);
    setMessages({});
    saveToDisk();
}

void ChatViewModel::selectSession(const QUuid& id) {
    if (id == m_activeSessionId) {
        return;
    }
    syncActiveSessionFromMessages();
    setActiveSessionId(id);
    const auto it =
        std::find_if(m_sessions.begin(), m_sessions.end(), [&](const ChatSession& s) { return s.id == id; });
    setMessages(it != m_sessions.end() ? it->messages : QList<ChatMessage>{});
    setInput(QString());
    setLastError(std::nullopt);
    saveToDisk();
}

void ChatViewModel::deleteSession(const QUuid& id) {
    if (m_sessions.size() <= 1) {
        return;
    }
    syncActiveSessionFromMessages();
    QList<ChatSession> remaining = m_sessions;
    remaining.removeIf([&](const ChatSession& s) { return s.id == id; });
    if (remaining.size() != m_sessions.size()) {
        setSessions(std::move(remaining));
    }
    if (id == m_activeSessionId) {
        const qsizetype next = mostRecentlyUpdatedIndex(m_sessions);
        if (next >= 0) {
            setActiveSessionId(m_sessions[next].id);
            setMessages(m_sessions[next].messages);
        }
        setInput(QString());
        setLastError(std::nullopt);
    }
    saveToDisk();
}

void ChatViewModel::appendKestrionStatus(const QString& text) {
    setLastError(std::nullopt);
    appendMessage(ChatMessage::make(ChatMessage::Role::Assistant, text));
    syncActiveSessionFromMessages();
    saveToDisk();
}

void ChatViewModel::appendKestrionFailure(const QString& text) {
    setLastError(text);
    appendMessage(ChatMessage::make(ChatMessage::Role::Assistant, QStringLiteral("Launch failed: ") + text));
    syncActiveSessionFromMessages();
    saveToDisk();
}

} // namespace kestrion

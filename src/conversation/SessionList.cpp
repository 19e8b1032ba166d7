#include "conversation/SessionList.h"

#include "support/GraphemeText.h"
#include "support/IsoDateTime.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace kestrion::SessionList {

qsizetype indexOf(const QList<ChatSession>& sessions, const QUuid& id) {
    const auto it = std::find_if(sessions.begin(), sessions.end(), [&](const ChatSession& s) { return s.id == id; });
    return it != sessions.end() ? std::distance(sessions.begin(), it) : -1;
}

qsizetype latestUpdated(const QList<ChatSession>& sessions) {
    qsizetype best = -1;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (best < 0 || sessions[i].updatedAt > sessions[best].updatedAt) {
            best = i;
        }
    }
    return best;
}

qsizetype openingIndex(const QList<ChatSession>& sessions, const QUuid& activeSessionId) {
    const qsizetype named = indexOf(sessions, activeSessionId);
    return named >= 0 ? named : latestUpdated(sessions);
}

QList<qsizetype> displayOrder(const QList<ChatSession>& sessions) {
    QList<qsizetype> order(sessions.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return sessions[a].updatedAt > sessions[b].updatedAt; });
    return order;
}

QString derivedTitle(const QList<ChatMessage>& messages, const QString& existing) {
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
    // More than 48 user-perceived characters: the first 45 and an ellipsis.
    if (graphemePrefixLength(text, 49)) {
        return firstCharacters(text, 45) + QChar(0x2026);
    }
    return text;
}

QUuid appendToStored(ChatHistoryPersistence::FilePayload& payload, const QUuid& sessionId, ChatMessage message) {
    qsizetype index = indexOf(payload.sessions, sessionId);
    if (index < 0) {
        index = openingIndex(payload.sessions, payload.activeSessionId);
    }
    // No readable history is left there (a damaged file is set aside by the load): a chat of its own.
    if (index < 0) {
        const ChatSession session = ChatSession::makeFresh();
        payload.sessions.prepend(session);
        payload.activeSessionId = session.id;
        index = 0;
    }
    ChatSession& session = payload.sessions[index];
    session.messages.append(std::move(message));
    session.updatedAt = currentDateTimeWholeSeconds();
    return session.id;
}

} // namespace kestrion::SessionList

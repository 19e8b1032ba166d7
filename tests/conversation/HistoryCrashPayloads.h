#pragma once

#include "conversation/ChatHistoryPersistence.h"

#include <QDateTime>

namespace kestrion::test {

// Two clearly different histories of about a mebibyte each, large enough that
// a save takes a while and a kill lands in the middle of one.
inline ChatHistoryPersistence::FilePayload crashPayload(int which) {
    ChatSession session;
    session.id = QUuid(which == 0 ? QStringLiteral("{00000000-0000-4000-8000-000000000001}")
                                  : QStringLiteral("{00000000-0000-4000-8000-000000000002}"));
    session.title = which == 0 ? QStringLiteral("First") : QStringLiteral("Second");
    session.createdAt = QDateTime::fromSecsSinceEpoch(1700000000 + which, Qt::UTC);
    session.updatedAt = session.createdAt;
    const QString line = QStringLiteral("<p>Paragraph %1 with \"quotes\" and caf\u00e9.</p>\n").arg(which);
    for (int i = 0; i < 40; ++i) {
        ChatMessage message;
        message.id = QUuid(uint(which * 1000 + i + 1), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0);
        message.role = i % 2 == 0 ? ChatMessage::Role::User : ChatMessage::Role::Assistant;
        message.text = line.repeated(500 + which * 7);
        session.messages.append(message);
    }
    return {1, {session}, session.id};
}

} // namespace kestrion::test

#pragma once

#include "conversation/ChatRecords.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <utility>

namespace kestrion::test {

// A chat titled so, last updated at that second (created 100 s before), holding these messages.
inline ChatSession sessionAt(const QString& title, qint64 updatedSecs, QList<ChatMessage> messages = {}) {
    ChatSession session = ChatSession::makeFresh();
    session.title = title;
    session.createdAt = QDateTime::fromSecsSinceEpoch(updatedSecs - 100, Qt::UTC);
    session.updatedAt = QDateTime::fromSecsSinceEpoch(updatedSecs, Qt::UTC);
    session.messages = std::move(messages);
    return session;
}

} // namespace kestrion::test

// The chat history file as read back from a website directory: whatever the
// decoder accepts must survive a save and a second load unchanged, or the next
// save would quietly alter the user's conversations.

#include "FuzzCheck.h"
#include "conversation/ChatHistoryPersistence.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace History = kestrion::ChatHistoryPersistence;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<History::FilePayload> payload = History::decode(bytes);
    if (!payload) {
        return 0;
    }
    const QByteArray saved = History::encode(*payload);
    const std::optional<History::FilePayload> reloaded = History::decode(saved);
    FUZZ_CHECK(reloaded.has_value());
    FUZZ_CHECK(*reloaded == *payload);
    FUZZ_CHECK(History::encode(*reloaded) == saved);
    return 0;
}

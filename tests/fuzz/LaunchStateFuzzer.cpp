// The launch-state file as read back from a website directory: what the decoder
// accepts survives a save unchanged, and an address the store hands out settles
// after one save into one that reads back the same.

#include "FuzzCheck.h"
#include "deploy/LaunchStateStore.h"

#include <QByteArray>
#include <QUrl>
#include <cstddef>
#include <cstdint>

namespace LaunchState = kestrion::LaunchStateStore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<LaunchState::FilePayload> payload = LaunchState::decode(bytes);
    if (!payload) {
        return 0;
    }
    const std::optional<LaunchState::FilePayload> reloaded = LaunchState::decode(LaunchState::encode(*payload));
    FUZZ_CHECK(reloaded.has_value());
    FUZZ_CHECK(*reloaded == *payload);

    // The steps of load() and save() around the file: trimmed text, strict URL, fully encoded
    // text. Saving may normalise an odd address once (Qt writes a lone surrogate or a
    // noncharacter as the UTF-8 of U+FFFD), but from then on it must read back unchanged, or
    // the remembered address would drift with every launch.
    const auto stored = [](const QString& text) -> std::optional<QUrl> {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty()) {
            return std::nullopt;
        }
        const QUrl url(trimmed, QUrl::StrictMode);
        if (!url.isValid()) {
            return std::nullopt;
        }
        return url;
    };
    const auto saveAndLoad = [&stored](const QUrl& url) {
        const std::optional<LaunchState::FilePayload> file =
            LaunchState::decode(LaunchState::encode({1, url.toString(QUrl::FullyEncoded)}));
        FUZZ_CHECK(file.has_value());
        return stored(file->httpsURL);
    };
    const std::optional<QUrl> loaded = stored(payload->httpsURL);
    if (!loaded) {
        return 0;
    }
    const std::optional<QUrl> once = saveAndLoad(*loaded);
    FUZZ_CHECK(once.has_value());
    const std::optional<QUrl> twice = saveAndLoad(*once);
    FUZZ_CHECK(twice.has_value());
    FUZZ_CHECK(*twice == *once);
    FUZZ_CHECK(twice->toString(QUrl::FullyEncoded) == once->toString(QUrl::FullyEncoded));
    return 0;
}

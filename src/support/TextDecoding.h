#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kestrion {

// Strict decoders: nothing when the bytes are not valid in that encoding.
std::optional<QString> decodeUtf8Strict(QByteArrayView bytes);
std::optional<QString> decodeUtf16Strict(QByteArrayView bytes);

// Every byte maps to one character, so this never fails.
QString decodeLatin1(QByteArrayView bytes);

// Invalid sequences become U+FFFD.
QString decodeUtf8Lossy(QByteArrayView bytes);

// Process output as text: valid UTF-8, or the empty text.
QString decodeUtf8OrEmpty(QByteArrayView bytes);

} // namespace kestrion

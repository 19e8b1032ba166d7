#include "support/TextDecoding.h"

#include <QStringDecoder>

namespace kestrion {

namespace {

std::optional<QString> decodeStrict(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<QString> decodeUtf8Strict(QByteArrayView bytes) {
    return decodeStrict(QStringConverter::Utf8, bytes);
}

std::optional<QString> decodeUtf16Strict(QByteArrayView bytes) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    return decodeStrict(QStringConverter::Utf16, bytes);
}

QString decodeLatin1(QByteArrayView bytes) {
    return QString::fromLatin1(bytes);
}

QString decodeUtf8Lossy(QByteArrayView bytes) {
    return QString::fromUtf8(bytes);
}

QString decodeUtf8OrEmpty(QByteArrayView bytes) {
    return decodeUtf8Strict(bytes).value_or(QString());
}

} // namespace kestrion

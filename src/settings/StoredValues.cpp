#include "settings/StoredValues.h"

#include "support/TextDecoding.h"

#include <QVariant>

namespace kestrion::StoredValues {

std::optional<QString> readText(const QSettings& store, const QString& key) {
    if (!store.contains(key)) {
        return std::nullopt;
    }
    const QVariant value = store.value(key);
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QChar:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    case QMetaType::QByteArray:
        return decodeUtf8Strict(value.toByteArray());
    default:
        return std::nullopt;
    }
}

bool readBool(const QSettings& store, const QString& key, bool fallback) {
    if (!store.contains(key)) {
        return fallback;
    }
    const QVariant value = store.value(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        bool isNumber = false;
        const qlonglong number = text.toLongLong(&isNumber);
        return isNumber && number != 0;
    }
    default:
        return false;
    }
}

} // namespace kestrion::StoredValues

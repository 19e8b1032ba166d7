#include "openai/ModelCatalog.h"

#include "openai/OpenAIResponseDecoding.h"
#include "settings/AppSettings.h"
#include "settings/OpenAIKeyResolver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSettings>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace kestrion {

namespace {

const QString baseURLField = QStringLiteral("base_url");
const QString modelsField = QStringLiteral("models");

QStringList usableNames(const QJsonArray& names) {
    QStringList usable;
    QSet<QString> seen;
    for (const QJsonValue& name : names) {
        const QString text = name.toString();
        if (!name.isString() || !OpenAIResponseDecoding::isUsableModelId(text) || seen.contains(text)) {
            continue;
        }
        seen.insert(text);
        usable.append(text);
        if (usable.size() >= OpenAIResponseDecoding::maxListedModels) {
            break;
        }
    }
    return usable;
}

} // namespace

ModelCatalog::ModelCatalog(AppSettings* settings, OpenAIService::Timeouts timeouts, QObject* parent)
    : QObject(parent), m_settings(settings), m_timeouts(timeouts), m_store(AppSettings::openStore()) {
    // Anything but text (a list, a serialized variant) is a damaged entry and reads as nothing kept.
    const QVariant stored = m_store->value(cacheKey);
    if (stored.typeId() == QMetaType::QString) {
        m_lists = decodeServerLists(stored.toString());
    }
    connect(m_settings, &AppSettings::modelChanged, this, &ModelCatalog::modelsChanged);
    connect(m_settings, &AppSettings::openAIBaseURLChanged, this, &ModelCatalog::modelsChanged);
}

ModelCatalog::~ModelCatalog() = default;

QStringList ModelCatalog::models() const {
    return pickerModels(m_settings->model(), serverModels());
}

QStringList ModelCatalog::serverModels() const {
    const QString baseURL = m_settings->resolvedOpenAIBaseURL();
    for (const auto& [listedBase, names] : m_lists) {
        if (listedBase == baseURL) {
            return names;
        }
    }
    return {};
}

QFuture<OpenAIResult<QStringList>> ModelCatalog::refresh() {
    const QString baseURL = m_settings->resolvedOpenAIBaseURL();
    const QString preferencesKey = m_settings->apiKey();
    const OpenAIService service(baseURL, m_timeouts);
    return QtConcurrent::run([service, preferencesKey] {
               return service.listModelsBlocking(OpenAIKeyResolver::resolve(preferencesKey).key);
           })
        .then(this, [this, baseURL](OpenAIResult<QStringList> result) {
            if (result.ok()) {
                keepServerModels(baseURL, result.value());
            }
            return result;
        });
}

void ModelCatalog::keepServerModels(const QString& baseURL, const QStringList& models) {
    const QStringList before = this->models();
    ServerLists lists{{baseURL, models}};
    for (const auto& entry : m_lists) {
        if (entry.first != baseURL && lists.size() < maxCachedServers) {
            lists.append(entry);
        }
    }
    const bool unchanged = lists == m_lists;
    m_lists = std::move(lists);
    if (!unchanged) {
        m_store->setValue(cacheKey, encodeServerLists(m_lists));
        AppSettings::saveStore(*m_store);
    }
    if (this->models() != before) {
        Q_EMIT modelsChanged();
    }
}

QStringList ModelCatalog::pickerModels(const QString& storedModel, const QStringList& serverModels) {
    QStringList models = defaultModels;
    if (!storedModel.isEmpty() && !models.contains(storedModel)) {
        models.append(storedModel);
    }
    QStringList extra;
    for (const QString& name : serverModels) {
        if (!models.contains(name)) {
            extra.append(name);
        }
    }
    std::stable_sort(extra.begin(), extra.end(), [](const QString& left, const QString& right) {
        return left.compare(right, Qt::CaseInsensitive) < 0;
    });
    return models + extra;
}

ModelCatalog::ServerLists ModelCatalog::decodeServerLists(const QString& text) {
    ServerLists lists;
    QSet<QString> seen;
    for (const QJsonValue& entry : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonValue baseURL = entry.toObject().value(baseURLField);
        const QJsonValue names = entry.toObject().value(modelsField);
        if (!baseURL.isString() || baseURL.toString().isEmpty() || !names.isArray() ||
            seen.contains(baseURL.toString())) {
            continue;
        }
        seen.insert(baseURL.toString());
        lists.append({baseURL.toString(), usableNames(names.toArray())});
        if (lists.size() >= maxCachedServers) {
            break;
        }
    }
    return lists;
}

QString ModelCatalog::encodeServerLists(const ServerLists& lists) {
    QJsonArray entries;
    for (const auto& [baseURL, names] : lists) {
        entries.append(QJsonObject{{baseURLField, baseURL}, {modelsField, QJsonArray::fromStringList(names)}});
    }
    return QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact));
}

} // namespace kestrion

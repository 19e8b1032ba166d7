#pragma once

#include "openai/OpenAIError.h"
#include "openai/OpenAIService.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

class QSettings;

namespace kestrion {

class AppSettings;

// The model names the window offers: a few well-known OpenAI models, the model in use, and the
// models the configured server lists (GET {base}/models). What a server listed is kept in the
// settings file per base URL, so the picker shows it at once on the next start and for a server
// that is not running; refresh() asks again. Lives on the interface thread.
class ModelCatalog final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelCatalog)

public:
    static inline const QStringList defaultModels = {QStringLiteral("gpt-4o-mini"), QStringLiteral("gpt-4o"),
                                                     QStringLiteral("gpt-4-turbo"), QStringLiteral("gpt-3.5-turbo")};
    // The settings key of the kept lists: JSON text, [{"base_url": ..., "models": [...]}, ...],
    // the most recently listed server first.
    static inline const QString cacheKey = QStringLiteral("openai_models_by_base_url");
    static constexpr qsizetype maxCachedServers = 8;

    using ServerLists = QList<std::pair<QString, QStringList>>;

    // settings: shared, must outlive the catalog. timeouts: for the models request (tests shorten them).
    explicit ModelCatalog(AppSettings* settings, OpenAIService::Timeouts timeouts = {}, QObject* parent = nullptr);
    ~ModelCatalog() override;

    // What the pickers list, see pickerModels().
    QStringList models() const;
    // What the server of the current base URL listed last, in its order; empty when it never answered.
    QStringList serverModels() const;

    // Asks the current base URL for its models with the current key (both taken now; the key is
    // resolved and the request made off the interface thread). On success the list is kept and
    // modelsChanged() follows when it changed. The returned future finishes on the interface thread
    // after that, with the server's answer.
    QFuture<OpenAIResult<QStringList>> refresh();

    // The defaults, then the stored model when it is not one of them, then the server's models not
    // already listed, sorted without regard to case.
    static QStringList pickerModels(const QString& storedModel, const QStringList& serverModels);
    // The kept lists as read from the settings file: entries of the wrong shape and unusable names
    // are dropped, at most maxCachedServers servers are kept.
    static ServerLists decodeServerLists(const QString& text);
    static QString encodeServerLists(const ServerLists& lists);

Q_SIGNALS:
    void modelsChanged();

private:
    void keepServerModels(const QString& baseURL, const QStringList& models);

    AppSettings* m_settings;
    OpenAIService::Timeouts m_timeouts;
    std::unique_ptr<QSettings> m_store;
    ServerLists m_lists;
};

} // namespace kestrion

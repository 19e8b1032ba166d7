#include "app/Translations.h"

#include "support/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

namespace kestrion::Translations {

QStringList searchDirectories() {
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList directories{programDir + QStringLiteral("/translations"),
                            QDir::cleanPath(programDir + QStringLiteral("/../share/kestrion/translations"))};
    for (const QString& dataDir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        directories.append(dataDir + QStringLiteral("/kestrion/translations"));
    }
    directories.removeDuplicates();
    return directories;
}

QString install(const QLocale& locale, const QStringList& directories) {
    for (const QString& directory : directories) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (!translator->load(locale, QStringLiteral("kestrion"), QStringLiteral("_"), directory)) {
            delete translator;
            continue;
        }
        QCoreApplication::installTranslator(translator);
        // The standard buttons and dialogs in the same language.
        auto* qtTranslator = new QTranslator(QCoreApplication::instance());
        if (qtTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qtTranslator);
        } else {
            delete qtTranslator;
        }
        qCInfo(lcApp) << "Using the translation" << translator->filePath();
        return translator->filePath();
    }
    return QString();
}

} // namespace kestrion::Translations

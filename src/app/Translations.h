#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace kestrion::Translations {

// The folders searched for "kestrion_<language>.qm", in order: "translations" next to the program
// (a build tree), the install's share/kestrion/translations beside its bin folder, and
// kestrion/translations in each of the user's and the system's data folders.
QStringList searchDirectories();

// Installs the translation of the application for the first of the locale's languages that has one
// in directories (de_AT falls back to de), and Qt's own texts for that language when Qt ships them.
// Without a translation nothing is installed and every text stays English. Returns the file loaded,
// or an empty text. The translators live until the application ends.
QString install(const QLocale& locale = QLocale::system(), const QStringList& directories = searchDirectories());

} // namespace kestrion::Translations

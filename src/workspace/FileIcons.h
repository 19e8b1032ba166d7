#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace kestrion::FileIcons {

// Every icon name the file tree hands out ("folder.fill", "doc", "photo", ...).
QStringList iconNames();

// The picture for an icon name: the desktop theme's icon when the theme has a
// matching one, else a small icon drawn by the application, so the result is
// never null. Unknown names get the plain document icon. Needs a
// QGuiApplication; call on the interface thread only.
QIcon icon(const QString& iconName);

// The application's own drawing for an icon name, whatever the theme offers.
QIcon drawnIcon(const QString& iconName);

// The freedesktop theme names tried for an icon name, most specific first.
QStringList themeNames(const QString& iconName);

} // namespace kestrion::FileIcons

#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The files of a website as a link check sees them. Pure reading: every file
// goes through SitePath, the app's own folders (.git, .kestrion-chats) are not
// site files, and nothing outside the website directory is looked at.
namespace kestrion::LinkCheck {

// Caps that keep a walk of an odd folder (a dependency tree, say) short.
inline constexpr int maxCheckedPages = 5000;
inline constexpr int maxWalkedEntries = 50000;

// The files and folders of a site, by their exact names.
struct SiteFiles {
    QSet<QString> files;
    QSet<QString> folders;
    QStringList pages; // the HTML and CSS files, in no particular order

    // Whether a link target is served: a file, or a folder with an index page.
    bool serves(const QString& target) const;
};

// Walks the website directory without following links to folders and
// without entering .git or .kestrion-chats.
SiteFiles listSite(const QString& root);

} // namespace kestrion::LinkCheck

#include "generation/SiteFiles.h"

#include "support/SitePath.h"

#include <QFile>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrion::LinkCheck {

namespace {

bool isPageName(const QString& relativePath) {
    const qsizetype dot = relativePath.lastIndexOf(u'.');
    if (dot < 0 || dot < relativePath.lastIndexOf(u'/')) {
        return false;
    }
    const QStringView extension = QStringView(relativePath).mid(dot + 1);
    return extension.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String("css"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool SiteFiles::serves(const QString& target) const {
    if (files.contains(target)) {
        return true;
    }
    if (target.isEmpty() || folders.contains(target)) {
        const QString prefix = target.isEmpty() ? QString() : target + u'/';
        return files.contains(prefix + QStringLiteral("index.html")) ||
               files.contains(prefix + QStringLiteral("index.htm"));
    }
    return false;
}

SiteFiles listSite(const QString& root) {
    SiteFiles site;
    const SitePath::Site resolved(root);
    if (!resolved.exists()) {
        return site;
    }
    const fs::path base = QFile::encodeName(resolved.canonicalRoot()).toStdString();
    std::error_code error;
    fs::recursive_directory_iterator walk(base, fs::directory_options::skip_permission_denied, error);
    int entries = 0;
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (++entries > maxWalkedEntries) {
            break;
        }
        const std::string& native = walk->path().native();
        const QString relative = QFile::decodeName(
            QByteArray(native.data() + base.native().size() + 1, qsizetype(native.size() - base.native().size() - 1)));
        std::error_code kindError;
        const bool isLink = walk->is_symlink(kindError);
        if (walk->is_directory(kindError) && !isLink) {
            if (SitePath::namesPrivateFolder(relative)) {
                walk.disable_recursion_pending();
                continue;
            }
            site.folders.insert(relative);
            continue;
        }
        // A link counts when it leads to a regular file inside the site; a linked folder is not walked.
        if (isLink) {
            const SitePath::Resolution target = resolved.resolve(relative);
            if (!target.ok() || !target.exists || !fs::is_regular_file(walk->path(), kindError)) {
                continue;
            }
        } else if (!walk->is_regular_file(kindError)) {
            continue;
        }
        site.files.insert(relative);
        if (isPageName(relative) && site.pages.size() < maxCheckedPages) {
            site.pages.append(relative);
        }
    }
    return site;
}

} // namespace kestrion::LinkCheck

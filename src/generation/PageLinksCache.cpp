#include "generation/PageLinksCache.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>

namespace kestrion::LinkCheck {

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat status {};
    if (::fstatat(AT_FDCWD, QFile::encodeName(path).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    constexpr qint64 billion = 1000000000;
    return FileStamp{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * billion + status.st_mtim.tv_nsec,
                     qint64(status.st_ctim.tv_sec) * billion + status.st_ctim.tv_nsec};
}

qint64 PageLinksCache::footprint(const QString& page, const Links& links) {
    // The text, and a little for the list and hash bookkeeping.
    qint64 bytes = 64 + 2 * page.size();
    for (const auto& [target, written] : links) {
        bytes += 48 + 2 * (target.size() + written.size());
    }
    return bytes;
}

const PageLinksCache::Links* PageLinksCache::find(const QString& page, const FileStamp& stamp) const {
    const auto found = m_entries.constFind(page);
    return found != m_entries.constEnd() && found->stamp == stamp ? &found->links : nullptr;
}

void PageLinksCache::store(const QString& page, const FileStamp& stamp, Links links) {
    if (const auto old = m_entries.find(page); old != m_entries.end()) {
        m_bytes -= old->bytes;
        m_entries.erase(old);
    }
    const qint64 bytes = footprint(page, links);
    if (m_bytes + bytes > m_maxBytes) {
        return; // read again next time
    }
    m_bytes += bytes;
    m_entries.insert(page, {stamp, std::move(links), bytes});
}

void PageLinksCache::retain(const QSet<QString>& keep) {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (keep.contains(it.key())) {
            ++it;
        } else {
            m_bytes -= it->bytes;
            it = m_entries.erase(it);
        }
    }
}

SiteCaches& SiteCaches::shared() {
    static SiteCaches caches;
    return caches;
}

std::unique_ptr<PageLinksCache> SiteCaches::take(const QString& root) {
    const std::lock_guard lock(m_mutex);
    for (auto it = m_recent.begin(); it != m_recent.end(); ++it) {
        if (it->first == root) {
            auto cache = std::move(it->second);
            m_recent.erase(it);
            return cache;
        }
    }
    return std::make_unique<PageLinksCache>();
}

void SiteCaches::put(const QString& root, std::unique_ptr<PageLinksCache> cache) {
    const std::lock_guard lock(m_mutex);
    m_recent.remove_if([&root](const auto& entry) { return entry.first == root; });
    m_recent.emplace_front(root, std::move(cache));
    while (m_recent.size() > maxSites) {
        m_recent.pop_back();
    }
}

} // namespace kestrion::LinkCheck

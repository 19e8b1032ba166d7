#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

namespace kestrion {

// "Open in browser" and "Show in folder" for the previewed file: explicit
// user actions on a file of the site. The file must resolve inside the
// website directory (links included) before it is handed to the desktop; the
// file manager is asked over D-Bus (org.freedesktop.FileManager1 ShowItems,
// answered asynchronously) and, where none answers, the containing folder is
// opened instead.
class PreviewFileActions final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewFileActions)

public:
    using UrlOpener = std::function<void(const QUrl&)>;
    // Asks the file manager to show the file; calls fallback when it cannot.
    using ItemShower = std::function<void(const QUrl& file, std::function<void()> fallback)>;

    explicit PreviewFileActions(QObject* parent = nullptr);

    // The file's resolved location when it is a file inside root; else nothing.
    static std::optional<QString> checkedLocation(const QString& root, const QString& file);

    bool openInBrowser(const QString& root, const QString& file);
    bool showInFolder(const QString& root, const QString& file);

    void setUrlOpener(UrlOpener opener) { m_open = std::move(opener); }
    void setItemShower(ItemShower shower) { m_show = std::move(shower); }

private:
    UrlOpener m_open;
    ItemShower m_show;
};

} // namespace kestrion

#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWebChannel;
class QWebEnginePage;
class QWidget;

namespace kestrion {

class PreviewPicker;

// The one object a page of the preview can reach, and only from the app's own
// script (it lives in a world of its own: the page's scripts do not see it).
// It takes a pick (used only while Select is on) and the address of a web
// resource that failed, and nothing else.
class PreviewPickBridge final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewPickBridge)

public:
    explicit PreviewPickBridge(PreviewPicker* picker);

    Q_INVOKABLE void pick(const QString& frameUrl, const QString& selector, const QString& tagName,
                          const QString& openingTag, const QString& text);
    Q_INVOKABLE void resourceFailed(const QString& url);

private:
    PreviewPicker* m_picker;
};

// Point and ask: while Select is on, hovering the preview outlines the element
// under the pointer and a click picks it instead of reaching the page. The
// pick is worded as a reference for the composer (ElementReference) naming
// the page's file, a short selector, and the element's tag and text. Escape
// or a pick leaves Select.
class PreviewPicker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewPicker)

public:
    // The world the picker's script and the channel live in.
    static constexpr quint32 worldId = 1; // QWebEngineScript::ApplicationWorld

    // root: gives the website directory, to name a picked page relative to it.
    PreviewPicker(QWebEnginePage* page, QWidget* view, std::function<QString()> root, QObject* parent = nullptr);

    bool isActive() const { return m_active; }
    void setActive(bool active);

Q_SIGNALS:
    void activeChanged(bool active);
    // The reference to put at the start of the composer.
    void picked(const QString& reference);
    // An http(s) resource of the page that failed to load.
    void resourceFailed(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class PreviewPickBridge;

    void applyToPage();
    void receive(const QString& frameUrl, const QString& selector, const QString& tagName, const QString& openingTag,
                 const QString& text);

    QWebEnginePage* m_page;
    QWidget* m_view;
    std::function<QString()> m_root;
    QWebChannel* m_channel;
    bool m_active = false;
};

} // namespace kestrion

#include "preview/PreviewPicker.h"

#include "support/SitePath.h"
#include "workspace/ElementReference.h"

#include <QChildEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWidget>

namespace kestrion {

namespace {

QString resourceText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

PreviewPickBridge::PreviewPickBridge(PreviewPicker* picker) : QObject(picker), m_picker(picker) {}

void PreviewPickBridge::pick(const QString& frameUrl, const QString& selector, const QString& tagName,
                             const QString& openingTag, const QString& text) {
    m_picker->receive(frameUrl, selector, tagName, openingTag, text);
}

void PreviewPickBridge::resourceFailed(const QString& url) {
    const QUrl address(url.left(2000));
    if (address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https")) {
        Q_EMIT m_picker->resourceFailed(address);
    }
}

PreviewPicker::PreviewPicker(QWebEnginePage* page, QWidget* view, std::function<QString()> root, QObject* parent)
    : QObject(parent), m_page(page), m_view(view), m_root(std::move(root)), m_channel(new QWebChannel(this)) {
    static_assert(worldId == QWebEngineScript::ApplicationWorld);
    m_channel->registerObject(QStringLiteral("picker"), new PreviewPickBridge(this));
    m_page->setWebChannel(m_channel, worldId);

    QWebEngineScript script;
    script.setName(QStringLiteral("kestrion-picker"));
    script.setWorldId(worldId);
    // Before the page's own scripts, so the picker's listeners come first.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(resourceText(QStringLiteral(":/qtwebchannel/qwebchannel.js")) + QLatin1Char('\n') +
                         resourceText(QStringLiteral(":/kestrion/preview-picker.js")));
    m_page->scripts().insert(script);

    // A new page starts without Select: it is set again once the page is there.
    connect(m_page, &QWebEnginePage::loadFinished, this, [this] {
        if (m_active) {
            applyToPage();
        }
    });
    // Escape reaches the widget inside the view that takes the input; it is made as the engine sees fit.
    m_view->installEventFilter(this);
    for (QObject* child : m_view->children()) {
        child->installEventFilter(this);
    }
}

void PreviewPicker::setActive(bool active) {
    if (active == m_active) {
        return;
    }
    m_active = active;
    applyToPage();
    Q_EMIT activeChanged(active);
}

void PreviewPicker::applyToPage() {
    m_page->runJavaScript(QStringLiteral("window.__kestrionPicker && window.__kestrionPicker.setActive(%1)")
                              .arg(m_active ? QLatin1String("true") : QLatin1String("false")),
                          worldId);
}

bool PreviewPicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ChildAdded) {
        static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
    } else if (event->type() == QEvent::KeyPress && m_active &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        setActive(false);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PreviewPicker::receive(const QString& frameUrl, const QString& selector, const QString& tagName,
                            const QString& openingTag, const QString& text) {
    if (!m_active) {
        return;
    }
    // The frame's address comes from the page: only a file of the site is named as such.
    const QUrl url(frameUrl);
    const QString root = m_root();
    std::optional<QString> page;
    if (url.isLocalFile() && !root.isEmpty()) {
        page = SitePath::relativeBelow(QFileInfo(root).absoluteFilePath(), url.toLocalFile());
    }
    if (!page) {
        page = QFileInfo(m_page->url().toLocalFile()).fileName();
    }
    setActive(false);
    Q_EMIT picked(ElementReference::compose(*page, selector, tagName, openingTag, text));
}

} // namespace kestrion

#include "app/widgets/PreviewDeviceFrame.h"

#include "preview/WebPreview.h"

namespace kestrion {

namespace {

// The English title; the settings store it in lower case, whatever language is shown.
const char* englishTitle(PreviewDeviceFrame::Device device) {
    switch (device) {
    case PreviewDeviceFrame::Device::Desktop:
        return QT_TRANSLATE_NOOP("kestrion::PreviewDeviceFrame", "Desktop");
    case PreviewDeviceFrame::Device::Tablet:
        return QT_TRANSLATE_NOOP("kestrion::PreviewDeviceFrame", "Tablet");
    case PreviewDeviceFrame::Device::Phone:
        return QT_TRANSLATE_NOOP("kestrion::PreviewDeviceFrame", "Phone");
    }
    return "";
}

} // namespace

QString PreviewDeviceFrame::title(Device device) {
    return tr(englishTitle(device));
}

QString PreviewDeviceFrame::key(Device device) {
    return QString::fromLatin1(englishTitle(device)).toLower();
}

PreviewDeviceFrame::Device PreviewDeviceFrame::fromKey(const QString& key) {
    for (Device device : {Device::Tablet, Device::Phone}) {
        if (key == PreviewDeviceFrame::key(device)) {
            return device;
        }
    }
    return Device::Desktop;
}

int PreviewDeviceFrame::cssWidth(Device device) {
    switch (device) {
    case Device::Desktop:
        return 0;
    case Device::Tablet:
        return tabletWidth;
    case Device::Phone:
        return phoneWidth;
    }
    return 0;
}

PreviewDeviceFrame::PreviewDeviceFrame(WebPreview* view, QWidget* parent) : QWidget(parent), m_view(view) {
    m_view->setParent(this);
    setAutoFillBackground(true);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor(0xd8, 0xdb, 0xe2));
    setPalette(backdrop);
    // A new page starts at the engine's zoom: the device's scale is set again for it.
    connect(m_view, &WebPreview::loadFinished, this, &PreviewDeviceFrame::layoutView);
    layoutView();
}

void PreviewDeviceFrame::setDevice(Device device) {
    if (device == m_device) {
        return;
    }
    m_device = device;
    layoutView();
}

void PreviewDeviceFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutView();
}

void PreviewDeviceFrame::layoutView() {
    const int device = cssWidth(m_device);
    const int available = std::max(1, width());
    const int shown = device == 0 ? available : std::min(device, available);
    m_view->setGeometry((available - shown) / 2, 0, shown, height());
    const qreal zoom = device == 0 ? 1.0 : qreal(shown) / qreal(device);
    // The engine accepts 0.25 to 5; a pane narrower than a quarter of the device lays out wider.
    m_view->setZoomFactor(std::max<qreal>(0.25, zoom));
}

} // namespace kestrion

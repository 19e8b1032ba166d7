#pragma once

#include <QWidget>

namespace kestrion {

class WebPreview;

// Lays the preview out at a device's width: "Desktop" is the pane's own
// width, "Tablet" 768 px and "Phone" 390 px. A narrower device is centred on
// a grey backdrop; a device wider than the pane is scaled down (the page's
// zoom) so the page still lays out at the device's width.
class PreviewDeviceFrame final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewDeviceFrame)

public:
    enum class Device { Desktop, Tablet, Phone };

    static constexpr int tabletWidth = 768;
    static constexpr int phoneWidth = 390;

    static QString title(Device device); // "Desktop", "Tablet", "Phone"
    static QString key(Device device);   // "desktop", "tablet", "phone" (the settings' words)
    static Device fromKey(const QString& key);
    // The CSS width the page is laid out at; 0 for the pane's width.
    static int cssWidth(Device device);

    PreviewDeviceFrame(WebPreview* view, QWidget* parent = nullptr);

    Device device() const { return m_device; }
    void setDevice(Device device);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutView();

    WebPreview* m_view;
    Device m_device = Device::Desktop;
};

} // namespace kestrion

#pragma once

#include "preview/WebPreview.h"

namespace kestrion {

class IndexPreviewWebView;
class PreviewPicker;

// The Preview tab's page in the browser engine: the embedded browser with its
// page rules and request interceptor, and the picker for point and ask, seen
// through the one interface the window knows.
class WebEnginePreview final : public WebPreview {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEnginePreview)

public:
    // siteRoot: gives the website directory, to name a picked page relative to it.
    explicit WebEnginePreview(std::function<QString()> siteRoot, QWidget* parent = nullptr);

    // What the program hands the window so the Preview tab shows pages.
    static WebPreviewFactory factory();

    bool apply(const QString& fileURL, const QString& readAccessDirectory, qint64 reloadNonce) override;
    void setZoomFactor(qreal factor) override;
    void setPickerActive(bool active) override;

private:
    IndexPreviewWebView* m_view;
    PreviewPicker* m_picker;
};

} // namespace kestrion

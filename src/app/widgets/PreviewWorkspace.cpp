#include "app/widgets/PreviewWorkspace.h"

#include "app/PreviewFileActions.h"
#include "app/WindowState.h"
#include "app/widgets/PreviewDeviceFrame.h"
#include "app/widgets/PreviewProblemsStrip.h"
#include "app/widgets/SegmentedControl.h"
#include "settings/AppSettings.h"
#include "support/SitePath.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrion {

namespace {

constexpr PreviewDeviceFrame::Device devices[] = {
    PreviewDeviceFrame::Device::Desktop, PreviewDeviceFrame::Device::Tablet, PreviewDeviceFrame::Device::Phone};

QToolButton* textButton(const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    return button;
}

} // namespace

PreviewWorkspace::PreviewWorkspace(AppSettings* settings, WindowState* state, DetailWorkspaceController* controller,
                                   WebPreviewFactory makeWebPreview, QWidget* parent)
    : FileWorkspace(settings, state, controller,
                    {tr(qUtf8Printable(noDirectoryTitle)), tr(qUtf8Printable(noDirectorySubtitle)),
                     tr(qUtf8Printable(nothingTitle)), tr(qUtf8Printable(nothingSubtitle))},
                    parent),
      m_makeWebPreview(std::move(makeWebPreview)), m_fileActions(new PreviewFileActions(this)), m_devices(nullptr),
      m_select(textButton(tr(qUtf8Printable(selectText)), content())),
      m_openInBrowser(textButton(tr(qUtf8Printable(openInBrowserText)), content())),
      m_showInFolder(textButton(tr(qUtf8Printable(showInFolderText)), content())) {
    setAccessibleName(tr("Preview"));
    m_fileActions->setObjectName(QStringLiteral("previewFileActions"));
    m_select->setObjectName(QStringLiteral("previewSelect"));
    m_openInBrowser->setObjectName(QStringLiteral("previewOpenInBrowser"));
    m_showInFolder->setObjectName(QStringLiteral("previewShowInFolder"));
    captionLabel()->setFocusPolicy(Qt::TabFocus);

    // The caption's row carries the actions on the shown file.
    contentLayout()->removeWidget(captionLabel());
    auto* captionRow = new QHBoxLayout;
    captionRow->setContentsMargins(0, 0, 8, 0);
    captionRow->addWidget(captionLabel(), 1);
    captionRow->addWidget(m_openInBrowser);
    captionRow->addWidget(m_showInFolder);
    contentLayout()->insertLayout(0, captionRow);
    m_openInBrowser->setToolTip(tr("Open this file in the system's web browser"));
    m_showInFolder->setToolTip(tr("Show this file in the file manager"));
    connect(m_openInBrowser, &QToolButton::clicked, this, [this] {
        if (const auto file = shownFile()) {
            m_fileActions->openInBrowser(m_shownRoot, *file);
        }
    });
    connect(m_showInFolder, &QToolButton::clicked, this, [this] {
        if (const auto file = shownFile()) {
            m_fileActions->showInFolder(m_shownRoot, *file);
        }
    });

    QStringList titles;
    for (auto device : devices) {
        titles.append(PreviewDeviceFrame::title(device));
    }
    m_devices = new SegmentedControl(titles, content());
    m_devices->setObjectName(QStringLiteral("previewDevices"));
    m_devices->setAccessibleName(tr("Device width"));
    m_select->setCheckable(true);
    m_select->setEnabled(false);
    m_select->setToolTip(tr("Pick an element of the page to ask about it (Escape leaves)"));
    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(10, 4, 10, 4);
    tools->addStretch(1);
    tools->addWidget(m_devices);
    tools->addStretch(1);
    tools->addWidget(m_select);
    contentLayout()->addLayout(tools);
    connect(m_devices, &SegmentedControl::currentChanged, this, [this](int index) {
        if (!m_shownRoot.isEmpty()) {
            m_settings->setPreviewDevice(m_shownRoot, PreviewDeviceFrame::key(devices[index]));
        }
        applyDevice();
    });
    connect(m_select, &QToolButton::toggled, this, [this](bool on) {
        if (m_webPreview) {
            m_webPreview->setPickerActive(on);
        }
    });

    contentLayout()->addStretch(1); // the web view takes this place once created
    updateContent();
}

void PreviewWorkspace::showEvent(QShowEvent* event) {
    FileWorkspace::showEvent(event);
    scheduleUpdate();
}

std::optional<QString> PreviewWorkspace::shownFile() const {
    return m_shownFile.isEmpty() ? std::nullopt : std::optional(m_shownFile);
}

void PreviewWorkspace::showFile(const QString& file, const QString& root) {
    if (!m_makeWebPreview) {
        showPlaceholder(tr("No web preview"), tr("This window was made without a web engine to show pages."));
        return;
    }
    showContent(file, root, tr("Showing "));
    m_shownFile = file;
    const bool newRoot = root != m_shownRoot;
    m_shownRoot = root;
    if (newRoot) {
        const auto device = PreviewDeviceFrame::fromKey(m_settings->previewDevice(root));
        m_devices->setCurrentIndex(int(device));
    }
    // The browser engine starts only once the tab is really in use.
    if (m_state->detailWorkspaceTab() != DetailWorkspaceTab::Preview) {
        return;
    }
    if (!m_webPreview) {
        createWebPreview();
    }
    applyDevice();
    m_webPreview->apply(file, root, m_state->previewReloadNonce());
}

void PreviewWorkspace::createWebPreview() {
    m_webPreview = m_makeWebPreview(content(), [this] { return m_shownRoot; });
    m_webPreview->setObjectName(QStringLiteral("webPreview"));
    m_frame = new PreviewDeviceFrame(m_webPreview, content());
    m_frame->setObjectName(QStringLiteral("previewDeviceFrame"));
    m_strip = new PreviewProblemsStrip(content());
    delete contentLayout()->takeAt(contentLayout()->count() - 1); // the stretch holding the place
    contentLayout()->addWidget(m_frame, 1);
    contentLayout()->addWidget(m_strip);

    // Asked before anything of the new page runs (the engine's own start signal may come after its first
    // errors). A load of the page that is loading already is one the engine folds into it: nothing is cleared.
    connect(m_webPreview, &WebPreview::pageNavigationAccepted, this, [this](const QUrl& url) {
        if (url != m_loadingPage) {
            m_loadingPage = url;
            pageLoadStarted(url);
        }
    });
    connect(m_webPreview, &WebPreview::loadFinished, this, [this] { m_loadingPage.clear(); });
    connect(m_webPreview, &WebPreview::consoleError, m_strip, &PreviewProblemsStrip::addConsoleError);
    connect(m_strip, &PreviewProblemsStrip::askToFix, this, &PreviewWorkspace::askToFix);
    connect(m_webPreview, &WebPreview::missingFile, m_strip,
            [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Missing, url); });
    connect(m_webPreview, &WebPreview::requestBlocked, m_strip,
            [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Refused, url); });
    connect(m_webPreview, &WebPreview::pickerActiveChanged, m_select, &QToolButton::setChecked);
    connect(m_webPreview, &WebPreview::picked, this, &PreviewWorkspace::elementPicked);
    connect(m_webPreview, &WebPreview::resourceFailed, m_strip,
            [this](const QUrl& url) { m_strip->add(PageProblems::Kind::Failed, url); });
    m_select->setEnabled(true);
}

void PreviewWorkspace::applyDevice() {
    if (m_frame) {
        m_frame->setDevice(devices[std::clamp(m_devices->currentIndex(), 0, 2)]);
    }
}

void PreviewWorkspace::pageLoadStarted(const QUrl& url) {
    // A stylesheet is shown as a page made of it, with no file address of its own.
    const auto page = url.isLocalFile() ? SitePath::relativeBelow(m_shownRoot, url.toLocalFile()) : std::nullopt;
    m_strip->reset(m_shownRoot, page.value_or(captionLabel()->text()));
}

} // namespace kestrion

#include "app/widgets/sidebar/DirectorySection.h"

#include "app/widgets/WidgetStyle.h"
#include "app/widgets/sidebar/SidebarStyle.h"
#include "conversation/ChatViewModel.h"
#include "settings/AppSettings.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

DirectorySection::DirectorySection(AppSettings* settings, ChatViewModel* chat, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_chat(chat) {
    QVBoxLayout* layout = SidebarStyle::sectionColumn(this, tr("Website Directory"), 8);
    m_directoryLabel = new QLabel(this);
    m_directoryLabel->setObjectName(QStringLiteral("directoryLabel"));
    m_directoryLabel->setFont(WidgetStyle::scaledFont(font(), 0.85));
    m_directoryLabel->setWordWrap(true);
    m_directoryLabel->setTextFormat(Qt::PlainText);
    m_directoryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_directoryLabel->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(m_directoryLabel);
    m_chooseButton = new QPushButton(tr("Choose…"), this);
    m_chooseButton->setObjectName(QStringLiteral("chooseDirectoryButton"));
    m_chooseButton->setAccessibleName(tr("Choose…"));
    m_chooseButton->setIcon(QIcon::fromTheme(QStringLiteral("folder-open")));
    m_chooseButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_chooseButton, &QPushButton::clicked, this, &DirectorySection::pickOutputFolder);
    layout->addWidget(m_chooseButton);

    connect(m_settings, &AppSettings::outputDirectoryPathChanged, this, &DirectorySection::updateDirectoryLabel);
    connect(m_chat, &ChatViewModel::isSendingChanged, this,
            [this] { m_chooseButton->setEnabled(!m_chat->isSending()); });
    m_chooseButton->setEnabled(!m_chat->isSending());
    updateDirectoryLabel();
}

void DirectorySection::setDirectoryGuard(std::function<bool(const QString&)> guard) {
    m_directoryGuard = std::move(guard);
}

void DirectorySection::pickOutputFolder() {
    auto* dialog = new QFileDialog(window(), tr("Choose website directory"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setOption(QFileDialog::ReadOnly, false); // new folders can be made from the dialog
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, tr("Choose website directory"));
    if (const auto current = m_settings->outputDirectoryPath()) {
        dialog->setDirectory(*current);
    }
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& directory) {
        // A send may have started while the dialog was open; its reply must
        // still be filed under the directory it was sent for.
        if (!directory.isEmpty() && !m_chat->isSending() && (!m_directoryGuard || m_directoryGuard(directory))) {
            m_settings->setOutputDirectoryPath(directory);
        }
    });
    dialog->open();
}

void DirectorySection::updateDirectoryLabel() {
    const auto directory = m_settings->outputDirectoryPath();
    m_directoryLabel->setText(directory.value_or(tr("None")));
    m_directoryLabel->setAccessibleName(tr("Website directory: %1").arg(directory.value_or(tr("None"))));
}

} // namespace kestrion

#include "app/widgets/PreviewPlaceholder.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kestrion {

PreviewPlaceholder::PreviewPlaceholder(QWidget* parent)
    : QWidget(parent), m_title(new QLabel(this)), m_subtitle(new QLabel(this)) {
    QFont headline = font();
    headline.setPointSizeF(headline.pointSizeF() * 1.15);
    headline.setWeight(QFont::DemiBold);
    m_title->setFont(headline);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setTextFormat(Qt::PlainText);

    QFont subheadline = font();
    subheadline.setPointSizeF(subheadline.pointSizeF() * 0.95);
    m_subtitle->setFont(subheadline);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    m_subtitle->setAlignment(Qt::AlignHCenter);
    m_subtitle->setWordWrap(true);
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setMaximumWidth(subtitleMaximumWidth);

    // Focusable, so a keyboard or screen-reader user landing on the tab hears why it is empty.
    for (QLabel* label : {m_title, m_subtitle}) {
        label->setFocusPolicy(Qt::TabFocus);
        label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(6);
    layout->addStretch(1);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);
    layout->addWidget(m_subtitle, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void PreviewPlaceholder::setTexts(const QString& title, const QString& subtitle) {
    m_title->setText(title);
    m_title->setAccessibleName(title);
    m_subtitle->setText(subtitle);
    m_subtitle->setAccessibleName(subtitle);
    setAccessibleName(title);
    setAccessibleDescription(subtitle);
}

QString PreviewPlaceholder::title() const {
    return m_title->text();
}

QString PreviewPlaceholder::subtitle() const {
    return m_subtitle->text();
}

} // namespace kestrion

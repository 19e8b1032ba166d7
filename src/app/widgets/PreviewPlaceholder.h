#pragma once

#include <QWidget>

class QLabel;

namespace kestrion {

// A centred title over a quieter explanation, shown by the Preview and Source
// tabs when they have nothing to show.
class PreviewPlaceholder final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewPlaceholder)

public:
    static constexpr int subtitleMaximumWidth = 420;

    explicit PreviewPlaceholder(QWidget* parent = nullptr);

    void setTexts(const QString& title, const QString& subtitle);
    QString title() const;
    QString subtitle() const;
    QLabel* titleLabel() const { return m_title; }
    QLabel* subtitleLabel() const { return m_subtitle; }

private:
    QLabel* m_title;
    QLabel* m_subtitle;
};

} // namespace kestrion

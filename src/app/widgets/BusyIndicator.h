#pragma once

#include <QWidget>

class QVariantAnimation;

namespace kestrion {

// A small spinning arc shown while something runs (a send, a scan). Spins
// only while visible, so hidden indicators cost nothing.
class BusyIndicator final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BusyIndicator)

public:
    explicit BusyIndicator(int diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_diameter;
    int m_angle = 0;
    QVariantAnimation* m_animation;
};

} // namespace kestrion

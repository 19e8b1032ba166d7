#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QToolButton;

namespace kestrion {

// A row of mutually exclusive segments drawn as one control, e.g. the
// "Create / Preview / Source" selector. Each segment is a checkable tool
// button, so keyboard focus and assistive technologies work as for buttons.
class SegmentedControl final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedControl)

public:
    explicit SegmentedControl(const QStringList& titles, QWidget* parent = nullptr);

    int currentIndex() const;
    // Selects a segment without emitting currentIndexChanged.
    void setCurrentIndex(int index);
    QToolButton* segment(int index) const;
    int count() const;

Q_SIGNALS:
    // Only for the user's clicks (and keyboard activation).
    void currentIndexChanged(int index);

private:
    void applyStyle();

    QButtonGroup* m_group;
};

} // namespace kestrion

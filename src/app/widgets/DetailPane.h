#pragma once

#include "app/WindowState.h"

#include <QWidget>

class QStackedWidget;
class QToolButton;

namespace kestrion {

class SegmentedControl;

// The detail column: the "Create / Preview / Source" selector above the
// selected workspace. The selector and the stack follow the window state's
// tab both ways.
class DetailPane final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailPane)

public:
    // The pages of the three tabs, in selector order.
    DetailPane(WindowState* state, QWidget* createPage, QWidget* previewPage, QWidget* sourcePage,
               QWidget* parent = nullptr);

    // Room at the leading end of the selector row, e.g. for the sidebar toggle.
    void setLeadingControl(QWidget* control);

private:
    void showTab(DetailWorkspaceTab tab);

    WindowState* m_state;
    SegmentedControl* m_selector;
    QStackedWidget* m_stack;
    QWidget* m_leadingHolder;
};

} // namespace kestrion

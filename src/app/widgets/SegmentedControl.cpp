#include "app/widgets/SegmentedControl.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QPointer>
#include <map>

namespace kestrion {

namespace {

// One tab of the switch as assistive technologies see it: a page tab that is
// selected when it is the current one and whose press action selects it (Qt's
// own tab bar interface of this version reports no selected state).
class SegmentAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SegmentAccessible(SegmentedControl* bar, int index) : m_bar(bar), m_index(index) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text type) const override {
        if (!isValid()) {
            return {};
        }
        switch (type) {
        case QAccessible::Name:
            return m_bar->tabText(m_index);
        case QAccessible::Description:
            return m_bar->tabToolTip(m_index);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QRect local = m_bar->tabRect(m_index);
        return {m_bar->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const bool current = m_bar->currentIndex() == m_index;
        state.focusable = true;
        state.selectable = true;
        state.selected = current;
        state.focused = current && m_bar->hasFocus();
        state.disabled = !m_bar->isTabEnabled(m_index);
        state.invisible = !m_bar->isVisible() || !m_bar->isTabVisible(m_index);
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid() && m_bar->isTabEnabled(m_index)) {
            m_bar->setCurrentIndex(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<SegmentedControl> m_bar;
    int m_index;
};

// The switch as a page tab list whose children are exactly its tabs.
class SegmentedControlAccessible final : public QAccessibleWidget {
public:
    explicit SegmentedControlAccessible(SegmentedControl* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~SegmentedControlAccessible() override {
        for (const auto& [index, id] : m_children) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return bar()->count(); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= bar()->count()) {
            return nullptr;
        }
        if (const auto found = m_children.find(index); found != m_children.end()) {
            return QAccessible::accessibleInterface(found->second);
        }
        auto* tab = new SegmentAccessible(bar(), index);
        m_children[index] = QAccessible::registerAccessibleInterface(tab);
        return tab;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : m_children) {
            if (QAccessible::accessibleInterface(id) == child) {
                return index;
            }
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = bar()->mapFromGlobal(QPoint(x, y));
        const int index = bar()->tabAt(local);
        return index >= 0 ? child(index) : nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

private:
    SegmentedControl* bar() const { return static_cast<SegmentedControl*>(widget()); }

    mutable std::map<int, QAccessible::Id> m_children;
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(SegmentedControl::staticMetaObject.className()) && object &&
        object->isWidgetType()) {
        return new SegmentedControlAccessible(static_cast<SegmentedControl*>(object));
    }
    return nullptr;
}

} // namespace

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent) : QTabBar(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
    setFocusPolicy(Qt::StrongFocus);
    for (const QString& title : titles) {
        addTab(title);
    }
    // Screen readers announce the newly selected tab, however it was selected.
    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (index < 0 || !QAccessible::isActive()) {
            return;
        }
        QAccessibleEvent selection(this, QAccessible::Selection);
        selection.setChild(index);
        QAccessible::updateAccessibility(&selection);
    });
    applyStyle();
}

void SegmentedControl::applyStyle() {
    // Colours come from the palette so the control follows light and dark themes.
    setStyleSheet(QStringLiteral(
        "QTabBar::tab { border: 1px solid palette(mid); border-left-width: 0px; background: palette(button);"
        " color: palette(button-text); padding: 4px 18px; min-height: 18px; margin: 0px; }"
        "QTabBar::tab:first { border-left-width: 1px; border-top-left-radius: 6px;"
        " border-bottom-left-radius: 6px; }"
        "QTabBar::tab:last { border-top-right-radius: 6px; border-bottom-right-radius: 6px; }"
        "QTabBar::tab:only-one { border-left-width: 1px; border-radius: 6px; }"
        "QTabBar::tab:hover { background: palette(midlight); }"
        "QTabBar::tab:selected { background: palette(highlight); color: palette(highlighted-text);"
        " border-color: palette(highlight); }"
        "QTabBar:focus { outline: none; }"
        "QTabBar::tab:selected:focus { border: 2px solid palette(highlighted-text); }"));
}

} // namespace kestrion

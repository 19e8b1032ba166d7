#include "app/TabOrder.h"

#include <QLayout>
#include <QScrollArea>
#include <QSet>
#include <QSplitter>
#include <QWidget>

namespace kestrion::TabOrder {

namespace {

class Walk {
public:
    explicit Walk(QWidget* root) : m_root(root) {}

    void widget(QWidget* widget) {
        if (!widget || m_visited.contains(widget) || (widget != m_root && widget->isWindow())) {
            return;
        }
        m_visited.insert(widget);
        auto* area = qobject_cast<QScrollArea*>(widget);
        if (area && area->widget()) {
            this->widget(area->widget());
            return;
        }
        if (widget != m_root && (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            m_order.append(widget);
            for (QWidget* inside : widget->findChildren<QWidget*>()) {
                if (inside->property(stopInsideProperty).toBool() && !m_visited.contains(inside)) {
                    m_visited.insert(inside);
                    m_order.append(inside);
                }
            }
            return;
        }
        if (auto* splitter = qobject_cast<QSplitter*>(widget)) {
            for (int i = 0; i < splitter->count(); ++i) {
                this->widget(splitter->widget(i));
            }
        } else if (widget->layout()) {
            layout(widget->layout());
        }
        // Children no layout places (a main window's central widget, floating parts) follow in
        // the order they were made.
        for (QObject* child : widget->children()) {
            if (child->isWidgetType()) {
                this->widget(static_cast<QWidget*>(child));
            }
        }
    }

    void layout(QLayout* layout) {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem* item = layout->itemAt(i);
            if (item->widget()) {
                widget(item->widget());
            } else if (item->layout()) {
                this->layout(item->layout());
            }
        }
    }

    QList<QWidget*> order() const { return m_order; }

private:
    QWidget* m_root;
    QSet<QWidget*> m_visited;
    QList<QWidget*> m_order;
};

} // namespace

QList<QWidget*> readingOrder(QWidget* root) {
    Walk walk(root);
    walk.widget(root);
    return walk.order();
}

QWidget* neighbour(QWidget* root, QWidget* from, bool next) {
    QList<QWidget*> stops = readingOrder(root);
    // The stop holding the focus counts even while it cannot take it again (say, a button that
    // disabled itself); every other stop must be able to take it now.
    QWidget* current = nullptr;
    for (QWidget* widget = from; widget && !current; widget = widget->parentWidget()) {
        if (stops.contains(widget)) {
            current = widget;
        }
    }
    stops.removeIf([root, current](QWidget* widget) {
        return widget != current && (!widget->isVisible() || !widget->isEnabled() || widget->window() != root);
    });
    if (stops.isEmpty() || (stops.size() == 1 && stops.first() == current)) {
        return nullptr;
    }
    const qsizetype at = current ? stops.indexOf(current) : (next ? -1 : 0);
    const qsizetype size = stops.size();
    return stops.at(((next ? at + 1 : at - 1) % size + size) % size);
}

} // namespace kestrion::TabOrder

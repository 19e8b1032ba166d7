#pragma once

#include <QKeyEvent>
#include <QListView>
#include <QTreeView>
#include <functional>

namespace kestrion {

// An item view inside the sidebar's one scroll area: as tall as its content,
// so the column scrolls as a whole instead of nesting scroll bars. Its height
// follows the model's rows as they come and go.
//
// A click on a row, and Return, Enter or Space on the current row, go to the
// activation handler. (The view's activated() signal is not used: some styles
// also emit it for single clicks, which would act twice.)
template <typename View>
class ContentSized : public View {
public:
    using ActivationHandler = std::function<void(const QModelIndex& index)>;

    explicit ContentSized(QWidget* parent) : View(parent) {
        this->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        this->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        this->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        QObject::connect(this, &QAbstractItemView::clicked, this,
                         [this](const QModelIndex& index) { activate(index); });
    }

    void setActivationHandler(ActivationHandler handler) { m_activationHandler = std::move(handler); }

    void setModel(QAbstractItemModel* model) override {
        View::setModel(model);
        const auto fit = [this] { this->updateGeometry(); };
        QObject::connect(model, &QAbstractItemModel::modelReset, this, fit);
        QObject::connect(model, &QAbstractItemModel::layoutChanged, this, fit);
        QObject::connect(model, &QAbstractItemModel::rowsInserted, this, fit);
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, this, fit);
    }

    QSize minimumSizeHint() const override { return this->sizeHint(); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            activate(this->currentIndex());
            event->accept();
            return;
        }
        View::keyPressEvent(event);
    }

private:
    void activate(const QModelIndex& index) {
        if (m_activationHandler && index.isValid()) {
            m_activationHandler(index);
        }
    }

    ActivationHandler m_activationHandler;
};

class ContentSizedListView final : public ContentSized<QListView> {
public:
    using ContentSized::ContentSized;

    QSize sizeHint() const override;
};

class ContentSizedTreeView final : public ContentSized<QTreeView> {
public:
    explicit ContentSizedTreeView(QWidget* parent);

    QSize sizeHint() const override;

private:
    int visibleRows(const QModelIndex& parent) const;
};

} // namespace kestrion

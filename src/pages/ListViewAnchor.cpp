#include "pages/ListViewAnchor.h"

#include <QAbstractItemModel>

ListViewAnchor::ListViewAnchor(QQuickItem *parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents, false);
}

void ListViewAnchor::setView(QQuickItem *view)
{
    if (view_ == view)
        return;
    if (view_)
        disconnect(view_, nullptr, this, nullptr);
    view_ = view;
    if (view_) {
        // ListView is not public C++: follow its model through its meta-object.
        const QMetaObject *meta = view_->metaObject();
        const int signal = meta->indexOfSignal("modelChanged()");
        const int slot = staticMetaObject.indexOfMethod("followModel()");
        if (signal >= 0 && slot >= 0)
            QMetaObject::connect(view_, signal, this, slot);
    }
    followModel();
    Q_EMIT viewChanged();
}

void ListViewAnchor::followModel()
{
    for (QMetaObject::Connection &c : modelConnections_)
        disconnect(c);
    anchorIndex_ = -1;
    model_ = view_ ? qobject_cast<QAbstractItemModel *>(view_->property("model").value<QObject *>()) : nullptr;
    if (!model_)
        return;
    modelConnections_[0] = connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this,
                                   [this](const QModelIndex &, int first, int last) { aboutToInsert(first, last); });
    modelConnections_[1] = connect(model_, &QAbstractItemModel::rowsInserted, this,
                                   [this](const QModelIndex &, int first, int last) { inserted(first, last); });
    // Removals and resets change the rows the index counted.
    modelConnections_[2] = connect(model_, &QAbstractItemModel::modelReset, this, [this] { anchorIndex_ = -1; });
}

qreal ListViewAnchor::contentY() const
{
    return view_->property("contentY").toReal();
}

QQuickItem *ListViewAnchor::itemAtIndex(int index) const
{
    QQuickItem *item = nullptr;
    QMetaObject::invokeMethod(view_, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item), Q_ARG(int, index));
    return item;
}

int ListViewAnchor::indexAt(qreal x, qreal y) const
{
    int index = -1;
    QMetaObject::invokeMethod(view_, "indexAt", Q_RETURN_ARG(int, index), Q_ARG(qreal, x), Q_ARG(qreal, y));
    return index;
}

void ListViewAnchor::aboutToInsert(int first, int last)
{
    if (!view_)
        return;
    const int count = last - first + 1;
    if (anchorIndex_ >= 0) {
        // Another insertion before the frame: the anchored row moves down the model.
        if (first <= anchorIndex_)
            anchorIndex_ += count;
        return;
    }
    if (view_->property("atYBeginning").toBool())
        return;
    // The first row whose card shows at the top; section titles and spacing between
    // rows belong to no row, so look a little further down.
    const qreal top = contentY();
    const qreal x = view_->width() / 2;
    int index = -1;
    for (qreal dy = 0; dy < view_->height() && index < 0; dy += 2)
        index = indexAt(x, top + dy);
    if (index < 0 || first > index)
        return;
    QQuickItem *item = itemAtIndex(index);
    if (!item)
        return;
    anchorIndex_ = index + count;
    anchorOffset_ = item->y() - top;
}

void ListViewAnchor::inserted(int, int)
{
    if (anchorIndex_ >= 0)
        polish();
}

void ListViewAnchor::updatePolish()
{
    if (!view_ || anchorIndex_ < 0)
        return;
    const int index = anchorIndex_;
    anchorIndex_ = -1;
    if (!model_ || index >= model_->rowCount())
        return;
    // The list may not have laid the insertion out yet this frame.
    QMetaObject::invokeMethod(view_, "forceLayout");
    QQuickItem *item = itemAtIndex(index);
    if (!item) {
        // Pushed out of the made rows: bring it back, then place it.
        QMetaObject::invokeMethod(view_, "positionViewAtIndex", Q_ARG(int, index), Q_ARG(int, 1 /* Beginning */));
        item = itemAtIndex(index);
    }
    if (item)
        view_->setProperty("contentY", item->y() - anchorOffset_);
}

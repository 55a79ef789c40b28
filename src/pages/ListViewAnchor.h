#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

class QAbstractItemModel;

// Keeps what a scrolled ListView shows in place when rows are inserted above it: the
// row at the top of the view keeps its distance to the view's top. A list at its
// beginning is left alone, so that a new first row comes into sight.
//
// The correction runs in the anchor's own polish, after the list has laid out the
// insertion and before the frame is drawn: nothing moves on screen, and the list's
// delegates are never made while the model is signalling.
class ListViewAnchor : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem *view READ view WRITE setView NOTIFY viewChanged)

public:
    explicit ListViewAnchor(QQuickItem *parent = nullptr);

    QQuickItem *view() const { return view_; }
    void setView(QQuickItem *view);

Q_SIGNALS:
    void viewChanged();

protected:
    void updatePolish() override;

private Q_SLOTS:
    void followModel();

private:
    void aboutToInsert(int first, int last);
    void inserted(int first, int last);
    qreal contentY() const;
    QQuickItem *itemAtIndex(int index) const;
    int indexAt(qreal x, qreal y) const;

    QPointer<QQuickItem> view_;
    QPointer<QAbstractItemModel> model_;
    QMetaObject::Connection modelConnections_[3];

    // The row at the top of the view when the first insertion of a frame came, and
    // how far below the view's top it was.
    int anchorIndex_ = -1;
    qreal anchorOffset_ = 0;
};

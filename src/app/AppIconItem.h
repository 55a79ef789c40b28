#pragma once

#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// The application icon drawn at the item's size, for the views (About).
class AppIconItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_NAMED_ELEMENT(AppIcon)

public:
    explicit AppIconItem(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;
};

#pragma once

#include "calls/CallAppsModel.h"
#include "calls/RecentLinesModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// Holds the calls tab's lists for QML, which cannot name a model type: the
// applications to choose from (refreshed while `active`) and the newest 40
// subtitle lines of the call translator, newest first.
class CallsSource : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(QObject *apps READ apps CONSTANT)
    Q_PROPERTY(QObject *lines READ lines CONSTANT)
    Q_PROPERTY(int lineCount READ lineCount NOTIFY lineCountChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)

public:
    static constexpr int kShownLines = 40;

    explicit CallsSource(QObject *parent = nullptr);
    // Over other sources and lines (tests).
    CallsSource(CallAppsModel::Sources sources, QAbstractItemModel *lines, QObject *parent = nullptr);

    CallAppsModel *apps() const { return apps_; }
    RecentLinesModel *lines() const { return lines_; }
    int lineCount() const { return lines_->count(); }
    bool active() const { return apps_->active(); }
    void setActive(bool active);

Q_SIGNALS:
    void lineCountChanged();
    void activeChanged();

private:
    CallAppsModel *apps_;
    RecentLinesModel *lines_;
};

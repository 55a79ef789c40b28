#pragma once

#include "calls/CallAppsModel.h"
#include "calls/RecentLinesModel.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("calls/CallTranslator.h")

class CallTranslator;

// Holds the calls tab's lists for QML, which cannot name a model type: the
// applications to choose from (refreshed while `active`) and the newest 40
// subtitle lines of the call translator, newest first. Made in QML, it is given
// the call translator, whose lines it shows.
class CallsSource : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(CallTranslator *translator READ translator WRITE setTranslator FINAL)

    Q_PROPERTY(QObject *apps READ apps CONSTANT)
    Q_PROPERTY(QObject *lines READ lines CONSTANT)
    Q_PROPERTY(int lineCount READ lineCount NOTIFY lineCountChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)

public:
    static constexpr int kShownLines = 40;

    // Over the running applications.
    explicit CallsSource(QObject *parent = nullptr);
    // Over other sources and lines (tests).
    CallsSource(CallAppsModel::Sources sources, QAbstractItemModel *lines, QObject *parent = nullptr);

    CallTranslator *translator() const;
    // Once, before the view completes.
    void setTranslator(CallTranslator *translator);

    void classBegin() override {}
    void componentComplete() override { started_ = true; }

    CallAppsModel *apps() const { return apps_; }
    RecentLinesModel *lines() const { return lines_; }
    int lineCount() const { return lines_->count(); }
    bool active() const { return apps_->active(); }
    void setActive(bool active);

Q_SIGNALS:
    void lineCountChanged();
    void activeChanged();

private:
    QPointer<CallTranslator> translator_;
    bool started_ = false;
    CallAppsModel *apps_;
    RecentLinesModel *lines_;
};

#include "calls/CallsSource.h"

#include "calls/CallTranslator.h"
#include "core/SetOnce.h"

CallsSource::CallsSource(QObject *parent) : CallsSource(CallAppsModel::Sources::production(), nullptr, parent) {}

CallsSource::CallsSource(CallAppsModel::Sources sources, QAbstractItemModel *lines, QObject *parent)
    : QObject(parent), apps_(new CallAppsModel(std::move(sources), this)), lines_(new RecentLinesModel(this))
{
    lines_->setLimit(kShownLines);
    lines_->setSource(lines);
    connect(lines_, &RecentLinesModel::countChanged, this, &CallsSource::lineCountChanged);
    connect(apps_, &CallAppsModel::activeChanged, this, &CallsSource::activeChanged);
}

CallTranslator *CallsSource::translator() const
{
    return translator_;
}

void CallsSource::setTranslator(CallTranslator *translator)
{
    if (setOnce(translator_, translator, started_))
        lines_->setSource(translator_->linesModel());
}

void CallsSource::setActive(bool active)
{
    apps_->setActive(active);
}

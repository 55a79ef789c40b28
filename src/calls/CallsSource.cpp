#include "calls/CallsSource.h"

#include "calls/CallTranslator.h"

CallsSource::CallsSource(QObject *parent)
    : CallsSource(CallAppsModel::Sources::production(), CallTranslator::shared()->linesModel(), parent)
{
}

CallsSource::CallsSource(CallAppsModel::Sources sources, QAbstractItemModel *lines, QObject *parent)
    : QObject(parent), apps_(new CallAppsModel(std::move(sources), this)), lines_(new RecentLinesModel(this))
{
    lines_->setLimit(kShownLines);
    lines_->setSource(lines);
    connect(lines_, &RecentLinesModel::countChanged, this, &CallsSource::lineCountChanged);
    connect(apps_, &CallAppsModel::activeChanged, this, &CallsSource::activeChanged);
}

void CallsSource::setActive(bool active)
{
    apps_->setActive(active);
}

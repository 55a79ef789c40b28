#include "shell/InterfaceKeys.h"

#include "shell/StoredValue.h"


using namespace Qt::StringLiterals;

InterfaceKeys::InterfaceKeys(Defaults &store, QObject *parent)
    : QObject(parent),
      translationTab_(new StoredValue(store, u"translationTab"_s, u"text"_s, this)),
      settingsTab_(new StoredValue(store, u"settingsTab"_s, u"general"_s, this)),
      onboarded_(new StoredValue(store, u"onboarded"_s, false, this))
{
}

InterfaceKeys::~InterfaceKeys() = default;


QString InterfaceKeys::translationTabFor(const QString &stored)
{
    return stored == u"calls"_s ? stored : u"text"_s;
}

QString InterfaceKeys::translationTab() const
{
    return translationTabFor(translationTab_->value().toString());
}

void InterfaceKeys::setTranslationTab(const QString &tab)
{
    if (tab != u"text"_s && tab != u"calls"_s)
        return;
    const QString before = translationTab();
    translationTab_->setValue(tab);
    // A hand-written value that read as "text" changes nothing shown.
    if (translationTab() != before)
        Q_EMIT translationTabChanged();
}

QString InterfaceKeys::settingsTab() const
{
    const QString tab = settingsTab_->value().toString();
    return tab.isEmpty() ? u"general"_s : tab;
}

void InterfaceKeys::setSettingsTab(const QString &tab)
{
    if (tab.isEmpty())
        return;
    const QString before = settingsTab();
    settingsTab_->setValue(tab);
    if (settingsTab() != before)
        Q_EMIT settingsTabChanged();
}

bool InterfaceKeys::onboarded() const
{
    const QJsonValue value = onboarded_->value();
    return value.isBool() ? value.toBool() : value.toDouble() == 1;
}

void InterfaceKeys::setOnboarded(bool value)
{
    const bool before = onboarded();
    onboarded_->setValue(value);
    if (onboarded() != before)
        Q_EMIT onboardedChanged();
}

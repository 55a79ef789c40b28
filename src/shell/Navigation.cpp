#include "shell/Navigation.h"

#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    Navigation::Page page;
    QString name;
    QString label;
    QString symbol;
};

const QList<Entry> &table()
{
    static const QList<Entry> entries = {
        {Navigation::Page::Dashboard, u"dashboard"_s, u"Tableau de bord"_s, u"square.grid.2x2"_s},
        {Navigation::Page::Corrector, u"corrector"_s, u"Correcteur"_s, u"checkmark.seal"_s},
        {Navigation::Page::Translator, u"translator"_s, u"Traduction"_s, u"globe"_s},
        {Navigation::Page::Meetings, u"meetings"_s, u"Réunions"_s, u"person.2.wave.2"_s},
        {Navigation::Page::History, u"history"_s, u"Historique"_s, u"clock"_s},
        {Navigation::Page::Dictionary, u"dictionary"_s, u"Dictionnaire"_s, u"book.closed"_s},
        {Navigation::Page::Settings, u"settings"_s, u"Réglages"_s, u"gearshape"_s},
    };
    return entries;
}

const Entry &entry(Navigation::Page page)
{
    for (const Entry &e : table())
        if (e.page == page)
            return e;
    return table().constFirst();
}

} // namespace

Navigation::Navigation(QObject *parent) : QObject(parent) {}

void Navigation::setPage(Page page)
{
    if (page == page_)
        return;
    page_ = page;
    Q_EMIT pageChanged();
}

QList<Navigation::Page> Navigation::all()
{
    QList<Page> pages;
    for (const Entry &e : table())
        pages << e.page;
    return pages;
}

QString Navigation::name(Page page)
{
    return entry(page).name;
}

std::optional<Navigation::Page> Navigation::fromName(const QString &name)
{
    for (const Entry &e : table())
        if (e.name == name)
            return e.page;
    return std::nullopt;
}

QString Navigation::label(Page page)
{
    return entry(page).label;
}

QString Navigation::symbol(Page page)
{
    return entry(page).symbol;
}

QVariantList Navigation::entries() const
{
    QVariantList list;
    for (const Entry &e : table())
        list << QVariantMap{{u"page"_s, int(e.page)},
                            {u"name"_s, e.name},
                            {u"label"_s, e.label},
                            {u"symbol"_s, e.symbol}};
    return list;
}

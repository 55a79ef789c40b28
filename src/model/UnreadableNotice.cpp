#include "model/UnreadableNotice.h"

namespace {

struct Wording
{
    const char *subject;
    bool plural;
    bool feminine;
};

Wording wording(Store::Collection collection)
{
    switch (collection) {
    case Store::Collection::History: return {"L'historique", false, false};
    case Store::Collection::Fixes: return {"L'historique des corrections", false, false};
    case Store::Collection::Words: return {"La liste des mots", false, true};
    case Store::Collection::Corrections: return {"Les corrections du dictionnaire", true, true};
    case Store::Collection::Snippets: return {"Les raccourcis vocaux", true, false};
    case Store::Collection::Costs: return {"Les dépenses", true, true};
    case Store::Collection::Meetings: return {"Les réunions", true, true};
    }
    return {"Les données", true, true};
}

} // namespace

namespace UnreadableNotice {

QString text(const Store *store, Store::Collection collection)
{
    if (!store || !store->wasSetAside(collection))
        return {};
    const Wording w = wording(collection);
    const QString subject = QString::fromUtf8(w.subject);
    const QString was = w.plural ? QStringLiteral(" étaient illisibles : ") : QStringLiteral(" était illisible : ");
    const QString name = store->setAsideName(collection);
    if (name.isEmpty()) // it stays where it is, never overwritten
        return subject + was + QStringLiteral("impossible à mettre de côté, rien n'y sera écrit");
    const QString put = QStringLiteral("mis") + (w.feminine ? QStringLiteral("e") : QString())
                        + (w.plural && w.feminine ? QStringLiteral("s") : QString());
    return subject + was + put + QStringLiteral(" de côté dans ") + name;
}

} // namespace UnreadableNotice

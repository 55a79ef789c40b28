#include "settings/TranslationTargets.h"

using namespace Qt::StringLiterals;

QStringList TranslationTargets::names()
{
    return {u"anglais"_s, u"français"_s, u"espagnol"_s, u"allemand"_s, u"italien"_s,
            u"portugais"_s, u"néerlandais"_s, u"japonais"_s, u"chinois"_s};
}

QString TranslationTargets::label(const QString &name)
{
    static const QString elided = u"aeiouéè"_s;
    if (!name.isEmpty() && elided.contains(name.front()))
        return u"Vers l'"_s + name;
    return u"Vers le "_s + name;
}

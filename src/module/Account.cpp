#include "module/Account.h"

#include <QQmlEngine>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Account *Account::create(QQmlEngine *, QJSEngine *)
{
    return new Account(); // owned by the engine
}

QString Account::firstName()
{
    static const QString name = [] {
        const passwd *entry = ::getpwuid(::getuid());
        return firstNameFrom(entry && entry->pw_gecos ? QString::fromLocal8Bit(entry->pw_gecos) : QString());
    }();
    return name;
}

QString Account::firstNameFrom(const QString &gecos)
{
    QString full = gecos.section(u',', 0, 0);
    // Spaces and tabs only, as the full name is trimmed.
    qsizetype start = 0;
    qsizetype end = full.size();
    while (start < end && (full[start] == u' ' || full[start] == u'\t'))
        ++start;
    while (end > start && (full[end - 1] == u' ' || full[end - 1] == u'\t'))
        --end;
    full = full.mid(start, end - start);
    const QStringList words = full.split(u' ', Qt::SkipEmptyParts);
    return words.isEmpty() ? u"toi"_s : words.constFirst();
}

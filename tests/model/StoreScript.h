#pragma once

// Short scripts of store operations for the row-signal tests. Records are named by one
// letter, which fixes their id; their texts derive from the letter.
//
//   "add A"          adds record A the way the collection grows
//   "edit A mot"     updates A's main text to "mot" (what the call returned is noted)
//   "remove A"       removes by id ("remove mot" for a word)
//   "set A,B"        assigns the whole collection ("set" alone empties it)
//   "erase"          erases everything

#include "model/Store.h"

#include <QString>
#include <QStringList>
#include <QUuid>

namespace StoreScript {

inline QUuid idOf(QChar letter)
{
    return QUuid(0xA000u + letter.unicode(), 0x1111, 0x2222, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA);
}

inline QDateTime dateOf(QChar letter)
{
    return QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC).addSecs(60 * (letter.unicode() - 'A'));
}

inline Dictation dictation(QChar l)
{
    Dictation d;
    d.id = idOf(l);
    d.date = dateOf(l);
    d.appName = QStringLiteral("Notes");
    d.finalText = QStringLiteral("dictée ") + l;
    d.rawText = d.finalText;
    d.duration = 2;
    return d;
}

inline CorrectionRecord fix(QChar l)
{
    CorrectionRecord r;
    r.id = idOf(l);
    r.date = dateOf(l);
    r.appName = QStringLiteral("Ombry Voice");
    r.action = QStringLiteral("Corriger");
    r.original = QStringLiteral("avant ") + l;
    r.result = QStringLiteral("après ") + l;
    return r;
}

inline Snippet snippet(QChar l)
{
    return Snippet{idOf(l), QStringLiteral("dis ") + l, QStringLiteral("texte ") + l};
}

inline Correction correction(QChar l)
{
    return Correction{idOf(l), QStringLiteral("entendu ") + l, QStringLiteral("écrit ") + l};
}

inline Meeting meeting(QChar l)
{
    Meeting m;
    m.id = idOf(l);
    m.date = dateOf(l);
    m.duration = 60;
    m.title = QStringLiteral("Réunion ") + l;
    m.summary = QStringLiteral("résumé ") + l;
    m.tasks = {QStringLiteral("tâche ") + l};
    return m;
}

template<typename T>
qsizetype rowOf(const QList<T> &list, QChar l)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list.at(i).id == idOf(l))
            return i;
    return -1;
}

template<typename T, typename Make>
QList<T> listOf(const QString &letters, Make make)
{
    QList<T> out;
    for (const QString &l : letters.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out.append(make(l.at(0)));
    return out;
}

// Runs one step; returns what the store call returned ("true"/"false"/a count), or
// an empty text for calls that return nothing.
inline QString run(Store &store, Store::Collection c, const QString &step)
{
    const QString verb = step.section(QLatin1Char(' '), 0, 0);
    const QString arg = step.section(QLatin1Char(' '), 1, 1);
    const QString text = step.section(QLatin1Char(' '), 2);
    const QChar l = arg.isEmpty() ? QChar() : arg.at(0);
    auto yes = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    using C = Store::Collection;

    if (verb == QLatin1String("erase")) {
        store.eraseEverything();
        return {};
    }
    if (c == C::Words) {
        if (verb == QLatin1String("add"))
            return yes(store.addWord(step.mid(4)));
        if (verb == QLatin1String("remove"))
            return QString::number(store.removeWord(step.mid(7)));
        if (verb == QLatin1String("set"))
            store.setWords(arg.split(QLatin1Char(','), Qt::SkipEmptyParts));
        return {};
    }
    if (verb == QLatin1String("add")) {
        switch (c) {
        case C::History: store.add(dictation(l)); break;
        case C::Fixes: store.addFix(fix(l)); break;
        case C::Snippets: store.addSnippet(snippet(l)); break;
        case C::Corrections: store.addCorrection(correction(l)); break;
        case C::Meetings: store.addMeeting(meeting(l)); break;
        default: break;
        }
        return {};
    }
    if (verb == QLatin1String("edit")) {
        switch (c) {
        case C::History: {
            const qsizetype row = rowOf(store.dictations(), l);
            Dictation d = row < 0 ? dictation(l) : store.dictations().at(row);
            d.finalText = text;
            return yes(store.updateDictation(d));
        }
        case C::Fixes: {
            const qsizetype row = rowOf(store.fixes(), l);
            CorrectionRecord r = row < 0 ? fix(l) : store.fixes().at(row);
            r.result = text;
            return yes(store.updateFix(r));
        }
        case C::Snippets: {
            const qsizetype row = rowOf(store.snippets(), l);
            Snippet s = row < 0 ? snippet(l) : store.snippets().at(row);
            s.text = text;
            return yes(store.updateSnippet(s));
        }
        case C::Corrections: {
            const qsizetype row = rowOf(store.corrections(), l);
            Correction k = row < 0 ? correction(l) : store.corrections().at(row);
            k.written = text;
            return yes(store.updateCorrection(k));
        }
        case C::Meetings: {
            const qsizetype row = rowOf(store.meetings(), l);
            Meeting m = row < 0 ? meeting(l) : store.meetings().at(row);
            m.summary = text;
            return yes(store.updateMeeting(m));
        }
        default: return {};
        }
    }
    if (verb == QLatin1String("remove")) {
        switch (c) {
        case C::History: return yes(store.removeDictation(idOf(l)));
        case C::Fixes: return yes(store.removeFix(idOf(l)));
        case C::Snippets: return yes(store.removeSnippet(idOf(l)));
        case C::Corrections: return yes(store.removeCorrection(idOf(l)));
        case C::Meetings: return yes(store.removeMeeting(idOf(l)));
        default: return {};
        }
    }
    if (verb == QLatin1String("set")) {
        switch (c) {
        case C::History: store.setDictations(listOf<Dictation>(arg, dictation)); break;
        case C::Fixes: store.setFixes(listOf<CorrectionRecord>(arg, fix)); break;
        case C::Snippets: store.setSnippets(listOf<Snippet>(arg, snippet)); break;
        case C::Corrections: store.setCorrections(listOf<Correction>(arg, correction)); break;
        case C::Meetings: store.setMeetings(listOf<Meeting>(arg, meeting)); break;
        default: break;
        }
    }
    return {};
}

// The collection's records as their letters ("BA"), or its words joined by ",".
inline QString contents(const Store &store, Store::Collection c)
{
    auto letters = [](const auto &list) {
        QString out;
        for (const auto &r : list) {
            bool named = false;
            for (char16_t l = u'A'; l <= u'Z' && !named; ++l)
                if (r.id == idOf(QChar(l))) {
                    out.append(QChar(l));
                    named = true;
                }
            if (!named)
                out.append(QLatin1Char('?'));
        }
        return out;
    };
    switch (c) {
    case Store::Collection::History: return letters(store.dictations());
    case Store::Collection::Fixes: return letters(store.fixes());
    case Store::Collection::Snippets: return letters(store.snippets());
    case Store::Collection::Corrections: return letters(store.corrections());
    case Store::Collection::Meetings: return letters(store.meetings());
    case Store::Collection::Words: return store.words().join(QLatin1Char(','));
    case Store::Collection::Costs: break;
    }
    return {};
}

} // namespace StoreScript

#pragma once

#include "model/Store.h"

#include <QDateTime>
#include <QTimeZone>

// Records for the page tests, dated in a fixed zone (the tests pin TZ to it, so the
// store's calendar days agree).
namespace PageSeed {

inline const QTimeZone &zone()
{
    static const QTimeZone z("Europe/Paris");
    return z;
}

inline QDateTime at(QDate day, QTime time)
{
    return QDateTime(day, time, zone()).toUTC();
}

inline QString words(int n, const QString &word = QStringLiteral("mot"))
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list.append(word);
    return list.join(QLatin1Char(' '));
}

inline Dictation dictation(const QDateTime &date, const QString &app, const QString &text, double duration = 1,
                           const QString &raw = QString())
{
    Dictation d;
    d.date = date;
    d.appName = app;
    d.finalText = text;
    d.rawText = raw.isEmpty() ? text : raw;
    d.duration = duration;
    return d;
}

inline CorrectionRecord record(const QDateTime &date, const QString &app, const QString &result, int fixes,
                               const QString &action = QStringLiteral("Corriger"),
                               const QString &original = QStringLiteral("avant"))
{
    CorrectionRecord r;
    r.date = date;
    r.appName = app;
    r.action = action;
    r.result = result;
    r.original = original;
    for (int i = 0; i < fixes; ++i) {
        Fix f;
        f.original = QStringLiteral("a");
        f.correction = QStringLiteral("à");
        f.kind = QStringLiteral("orthographe");
        r.fixes.append(f);
    }
    return r;
}

} // namespace PageSeed

// Test mains pin the zone before anything reads it.
#define OMBRY_PAGES_TEST_MAIN(TestObject, AppClass)                                         \
    int main(int argc, char *argv[])                                                        \
    {                                                                                       \
        qputenv("TZ", "Europe/Paris");                                                      \
        qputenv("LC_ALL", "fr_FR.UTF-8");                                                   \
        TestEnv::isolate();                                                                 \
        AppClass app(argc, argv);                                                           \
        StandardData data;                                                                  \
        TestObject tc;                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                          \
        return QTest::qExec(&tc, argc, argv);                                               \
    }

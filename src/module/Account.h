#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The user's account as the welcome banner greets it.
class Account final : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // Worked out once per process: a new name shows after a relaunch.
    Q_PROPERTY(QString firstName READ firstName CONSTANT)

public:
    using QObject::QObject;

    static Account *create(QQmlEngine *, QJSEngine *);

    static QString firstName();
    // The first name of a passwd GECOS field: the full name is what stands
    // before the first comma; its first word, or "toi" when it is blank.
    static QString firstNameFrom(const QString &gecos);
};

#pragma once

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The languages a selection can be translated into, by their French names, and
// how the target picker words them.
class TranslationTargets final : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(QStringList names READ names CONSTANT)

public:
    using QObject::QObject;

    // The nine names, in the order the pickers list them.
    static QStringList names();
    // "Vers l'anglais", "Vers le néerlandais": the first character decides.
    Q_INVOKABLE static QString label(const QString &name);
};

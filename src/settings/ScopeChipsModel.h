#pragma once

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class AppSettings;

// The correction scope for its chips: a bit is added or removed, but the last
// one stays.
class ScopeChipsModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(int bits READ bits NOTIFY bitsChanged)

public:
    explicit ScopeChipsModel(QObject *parent = nullptr);
    ScopeChipsModel(AppSettings *settings, QObject *parent = nullptr);

    // `scope` after a tap on the chip of `bit`.
    static qint64 toggled(qint64 scope, qint64 bit);

    int bits() const;
    Q_INVOKABLE void toggle(int bit);

Q_SIGNALS:
    void bitsChanged();

private:
    QPointer<AppSettings> settings_;
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/AppSettings.h")

class AppSettings;

// The correction scope for its chips: a bit is added or removed, but the last
// one stays. Made in QML, it is given the settings, then starts.
class ScopeChipsModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)

    Q_PROPERTY(int bits READ bits NOTIFY bitsChanged)

public:
    explicit ScopeChipsModel(QObject *parent = nullptr);
    ScopeChipsModel(AppSettings *settings, QObject *parent = nullptr);

    AppSettings *settings() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);

    void classBegin() override {}
    void componentComplete() override;

    // `scope` after a tap on the chip of `bit`.
    static qint64 toggled(qint64 scope, qint64 bit);

    int bits() const;
    Q_INVOKABLE void toggle(int bit);

Q_SIGNALS:
    void bitsChanged();

private:
    void start();

    QPointer<AppSettings> settings_;
    bool started_ = false;
};

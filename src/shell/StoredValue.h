#pragma once

#include <QJsonValue>
#include <QObject>
#include <QString>

class Defaults;

// One interface key of the defaults store ("translationTab", "onboarded"…): read
// once, written at every change. Views share one instance per key, so every view
// that shows the value follows a change made through any of them.
class StoredValue final : public QObject
{
    Q_OBJECT

public:
    StoredValue(Defaults &store, QString key, QJsonValue fallback, QObject *parent = nullptr);

    QString key() const { return key_; }
    // The stored value; the fallback when the key is missing.
    QJsonValue value() const { return value_; }
    bool isStored() const { return stored_; }
    // Writes the key; an equal value is neither written nor announced.
    void setValue(const QJsonValue &value);

Q_SIGNALS:
    void changed();

private:
    Defaults &store_;
    QString key_;
    QJsonValue value_;
    bool stored_ = false;
};

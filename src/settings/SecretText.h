#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The text of a secret field, kept out of the field itself: the field holds
// one bullet per character, so that neither the screen nor the accessibility
// bus (its tree or its text-changed events) ever carries the secret.
class SecretText : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString masked READ masked NOTIFY changed)
    Q_PROPERTY(int length READ length NOTIFY changed)

public:
    static constexpr char16_t kBullet = u'•';

    using QObject::QObject;

    QString masked() const { return QString(secret_.size(), QChar(kBullet)); }
    int length() const { return int(secret_.size()); }
    Q_INVOKABLE QString text() const { return secret_; }

    // Replaces the characters between `from` and `to` (either order, clamped)
    // with `inserted`; returns where the cursor goes.
    Q_INVOKABLE int replace(int from, int to, const QString &inserted);
    // The same with the clipboard's text, or the X selection's (middle click).
    Q_INVOKABLE int paste(int from, int to, bool selection = false);
    Q_INVOKABLE void clear();
    // The field was edited behind our back (an input method): `shown` is what
    // it holds now, bullets and the new characters, `cursor` its cursor.
    Q_INVOKABLE void reconcile(const QString &shown, int cursor);

    static QString replaced(const QString &secret, int from, int to, const QString &inserted);
    static QString reconciled(const QString &secret, const QString &shown, int cursor);

Q_SIGNALS:
    void changed();

private:
    void set(QString secret);

    QString secret_;
};

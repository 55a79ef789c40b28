#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/KeyStore.h")

class KeyStore;

// The onboarding's key step: checks the OpenRouter key the user pasted with one
// cheap request and stores it when OpenRouter accepts it (or cannot be reached
// to say). The step may be passed with a stored key, or without one when a local
// transcription server answers.
class OnboardingKey : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // "", "Vérification…", "Clé valide", "Clé refusée", "Service injoignable"…
    Q_PROPERTY(QString verdict READ verdict NOTIFY changed)
    Q_PROPERTY(bool checking READ checking NOTIFY changed)
    Q_PROPERTY(bool accepted READ accepted NOTIFY changed)
    Q_PROPERTY(bool stored READ stored NOTIFY changed)
    Q_PROPERTY(bool localAnswers READ localAnswers NOTIFY changed)
    Q_PROPERTY(bool canContinue READ canContinue NOTIFY changed)
    Q_PROPERTY(QString masked READ masked NOTIFY changed)
    // Where the key is read and stored; set by the view that makes it.
    Q_PROPERTY(KeyStore *keys READ keyStore WRITE setKeyStore NOTIFY changed FINAL)

public:
    explicit OnboardingKey(QObject *parent = nullptr);
    KeyStore *keyStore() const { return keys_; }
    void setKeyStore(KeyStore *keys);

    QString verdict() const { return verdict_; }
    bool checking() const { return checking_; }
    bool accepted() const { return accepted_; }
    bool stored() const;
    bool localAnswers() const { return localAnswers_; }
    bool canContinue() const { return stored() || localAnswers_; }
    QString masked() const;

    // Checks `typed`, or the stored key when it is blank.
    Q_INVOKABLE void check(const QString &typed);

Q_SIGNALS:
    void changed();

private:
    void askLocal();

    KeyStore *keys_ = nullptr;
    QString verdict_;
    bool checking_ = false;
    bool accepted_ = false;
    bool localAnswers_ = false;
    quint64 generation_ = 0;
};

#pragma once

#include "engines/OmbryAI.h"
#include "text/TextSettings.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QStringList>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <QCoro/QCoroTask>

#include <optional>

Q_MOC_INCLUDE("dictation/Reader.h")
Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/KeyStore.h")
Q_MOC_INCLUDE("model/Store.h")

class AppSettings;
class KeyStore;
class Reader;
class Store;

// The text translator tab: the source text, the target, the translation and its
// state. A translation waits for a pause in typing; a change of target sends at once.
// QCoro cannot cancel a running call, so each request carries a generation and only
// the last one sent shows its outcome. Made in QML, it is given the settings, the
// store, the keys and the reader, then starts.
class TranslatorModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(KeyStore *keys READ keys WRITE setKeys FINAL)
    Q_PROPERTY(Reader *reader READ reader WRITE setReader FINAL)

    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QString target READ target WRITE setTarget NOTIFY targetChanged)
    Q_PROPERTY(QString result READ result NOTIFY resultChanged)
    Q_PROPERTY(QString sourceTitle READ sourceTitle NOTIFY detectedChanged)
    Q_PROPERTY(QString countText READ countText NOTIFY sourceChanged)
    Q_PROPERTY(bool working READ working NOTIFY workingChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QStringList targetNames READ targetNames CONSTANT)
    // -1 for a stored target that is none of the nine.
    Q_PROPERTY(int targetIndex READ targetIndex NOTIFY targetChanged)

public:
    explicit TranslatorModel(QObject *parent = nullptr);
    TranslatorModel(AppSettings *settings, Store *store, KeyStore *keys, Reader *reader, QObject *parent = nullptr);
    ~TranslatorModel() override;

    AppSettings *settings() const;
    Store *store() const;
    KeyStore *keys() const;
    Reader *reader() const;
    // Once, before the view completes; the settings bring the stored target.
    void setSettings(AppSettings *settings);
    void setStore(Store *store);
    void setKeys(KeyStore *keys);
    void setReader(Reader *reader);

    void classBegin() override {}
    void componentComplete() override { started_ = true; }

    // The nine target names, lower case, in picker order.
    static const QStringList &targets();
    static QString capitalized(const QString &name);
    static QStringList targetNames();
    int targetIndex() const { return int(targets().indexOf(target_)); }
    Q_INVOKABLE void chooseTarget(int index);
    // "Détection automatique", or "Détecté : " and the name.
    static QString sourceTitle(const std::optional<QString> &detected);
    // User-perceived characters followed by " caractères".
    static QString countText(const QString &text);

    QString source() const { return source_; }
    void setSource(const QString &source);
    QString target() const { return target_; }
    void setTarget(const QString &target);
    QString result() const { return result_; }
    QString sourceTitle() const { return sourceTitle(detected_); }
    QString countText() const { return countText(source_); }
    bool working() const { return working_; }
    bool copied() const { return copied_; }
    QString error() const { return error_; }

    // Source and translation change places; the target follows the old source's language.
    Q_INVOKABLE void swap();
    // The source and the translation become empty.
    Q_INVOKABLE void clear();
    // Puts the translation on the clipboard and records it.
    Q_INVOKABLE void copy();
    // Reads a text aloud, or stops speech under way.
    Q_INVOKABLE void speak(const QString &text);

    static constexpr int typingDelayMs = 700;
    static constexpr int copiedMs = 1500;

Q_SIGNALS:
    void sourceChanged();
    void targetChanged();
    void resultChanged();
    void detectedChanged();
    void workingChanged();
    void copiedChanged();
    void errorChanged();

private:
    void schedule(int delayMs);
    void send();
    static QCoro::Task<> run(QPointer<TranslatorModel> self, quint64 generation, QString text, QString target,
                             TextSettings settings, OmbryAI::Access access);
    void setResult(const QString &result);
    void setWorking(bool on);
    void setError(const QString &error);

    QPointer<AppSettings> settings_;
    QPointer<Store> store_;
    QPointer<KeyStore> keys_;
    QPointer<Reader> reader_;
    bool started_ = false;
    QTimer wait_;
    QString source_;
    QString target_;
    QString result_;
    // What the shown translation was made from.
    QString resultSource_;
    QString resultTarget_;
    std::optional<QString> detected_;
    bool working_ = false;
    bool copied_ = false;
    QString error_;
    QString pending_;
    quint64 generation_ = 0;
    quint64 sent_ = 0; // the generation of the last request sent
};

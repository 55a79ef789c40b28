#pragma once

#include "pages/CorrectorLists.h"
#include "pages/CorrectorText.h"
#include "model/Fix.h"
#include "engines/OmbryAI.h"
#include "text/TextSettings.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <QCoro/QCoroTask>

#include <optional>

Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/KeyStore.h")
Q_MOC_INCLUDE("model/Store.h")

class AppSettings;
class KeyStore;
class Store;

// The corrector page's state: the editor text, the mode and tone, the live fault
// count, the run (correct, rephrase or summarise) and its result. One lives per
// page: choosing the page again starts from scratch. A run goes on when the page
// goes; its record is saved all the same. Made in QML, it is given the settings,
// the store and the keys, then starts.
class CorrectorModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(KeyStore *keys READ keys WRITE setKeys FINAL)

    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(QString tone READ tone WRITE setTone NOTIFY toneChanged)
    Q_PROPERTY(QVariantList modes READ modes CONSTANT)
    Q_PROPERTY(QVariantList tones READ tones CONSTANT)
    Q_PROPERTY(QString runLabel READ runLabel NOTIFY modeChanged)
    Q_PROPERTY(QString runIcon READ runIcon NOTIFY modeChanged)
    Q_PROPERTY(QString punctuationHint READ punctuationHint NOTIFY punctuationHintChanged)

    Q_PROPERTY(QString wordCountText READ wordCountText NOTIFY textChanged)
    Q_PROPERTY(bool canRun READ canRun NOTIFY canRunChanged)
    Q_PROPERTY(bool working READ working NOTIFY workingChanged)
    Q_PROPERTY(bool explaining READ explaining NOTIFY explainingChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)

    // -1 while no count is known.
    Q_PROPERTY(int liveCount READ liveCount NOTIFY liveCountChanged)
    Q_PROPERTY(QString liveCountText READ liveCountText NOTIFY liveCountChanged)

    Q_PROPERTY(bool hasAnalysis READ hasAnalysis NOTIFY resultChanged)
    Q_PROPERTY(bool hasRewrite READ hasRewrite NOTIFY resultChanged)
    Q_PROPERTY(QString rewritten READ rewritten NOTIFY resultChanged)
    Q_PROPERTY(QString rewriteTitle READ rewriteTitle NOTIFY rewriteTitleChanged)
    Q_PROPERTY(QString finalText READ finalText NOTIFY finalTextChanged)
    // Pairs of (start, length) in finalText, flat.
    Q_PROPERTY(QList<int> highlights READ highlights NOTIFY finalTextChanged)
    // Of the fixes found and the words of the text as it is now.
    Q_PROPERTY(int score READ score NOTIFY scoreChanged)
    Q_PROPERTY(int fixCount READ fixCount NOTIFY resultChanged)
    Q_PROPERTY(QString fixesTitle READ fixesTitle NOTIFY resultChanged)
    Q_PROPERTY(bool anyIgnored READ anyIgnored NOTIFY finalTextChanged)
    Q_PROPERTY(FixListModel *fixes READ fixes CONSTANT)
    Q_PROPERTY(FrequentMistakesModel *mistakes READ mistakes CONSTANT)

public:
    enum class Mode { Correct, Rephrase, Summary };
    Q_ENUM(Mode)

    explicit CorrectorModel(QObject *parent = nullptr);
    CorrectorModel(AppSettings *settings, Store *store, KeyStore *keys, QObject *parent = nullptr);
    ~CorrectorModel() override;

    AppSettings *settings() const;
    Store *store() const;
    KeyStore *keys() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setStore(Store *store);
    void setKeys(KeyStore *keys);

    void classBegin() override {}
    void componentComplete() override;

    static QString label(Mode mode);
    static QString icon(Mode mode);
    static QString label(TextAction action);
    static QString icon(TextAction action);
    // The tone chips, in order.
    static const QList<TextAction> &toneActions();

    QString text() const { return text_; }
    void setText(const QString &text);
    Mode mode() const { return mode_; }
    void setMode(Mode mode);
    QString tone() const { return rawValue(tone_); }
    TextAction toneAction() const { return tone_; }
    void setTone(const QString &raw);
    QVariantList modes() const;
    QVariantList tones() const;
    QString runLabel() const { return label(mode_); }
    QString runIcon() const { return icon(mode_); }
    QString punctuationHint() const;

    QString wordCountText() const;
    bool canRun() const;
    bool working() const { return working_; }
    bool explaining() const { return explaining_; }
    bool copied() const { return copied_; }
    QString error() const { return error_; }
    int liveCount() const { return liveCount_; }
    QString liveCountText() const;

    bool hasAnalysis() const { return analysis_.has_value(); }
    bool hasRewrite() const { return rewritten_.has_value(); }
    QString rewritten() const { return rewritten_.value_or(QString()); }
    QString rewriteTitle() const;
    QString finalText() const { return rendered_.text; }
    QList<int> highlights() const;
    int score() const;
    int fixCount() const { return analysis_ ? int(analysis_->fixes.size()) : 0; }
    QString fixesTitle() const { return CorrectorText::fixesTitle(fixCount()); }
    bool anyIgnored() const { return !fixes_->ignored().isEmpty(); }
    FixListModel *fixes() const { return fixes_; }
    FrequentMistakesModel *mistakes() const { return mistakes_; }

    // Clears the result, the ignored fixes and the error.
    Q_INVOKABLE void reset();
    // Corrects, rephrases or summarises the editor text, by mode; nothing when the
    // run button is disabled.
    Q_INVOKABLE void run();
    Q_INVOKABLE void copy(const QString &text);
    // The result becomes the editor text.
    Q_INVOKABLE void replace(const QString &text);
    Q_INVOKABLE void clear();
    Q_INVOKABLE void toggleFix(const QString &id);
    // Ignores every fix, or none when some are ignored.
    Q_INVOKABLE void toggleAll();

    // The delay between the last edit and the live check.
    static constexpr int liveDelayMs = 900;
    static constexpr int copiedMs = 1500;

Q_SIGNALS:
    void textChanged();
    void modeChanged();
    void toneChanged();
    void punctuationHintChanged();
    void canRunChanged();
    void workingChanged();
    void explainingChanged();
    void copiedChanged();
    void errorChanged();
    void liveCountChanged();
    void resultChanged();
    void scoreChanged();
    void rewriteTitleChanged();
    void finalTextChanged();

private:
    void start();
    void scheduleLiveCheck();
    void sendLiveCheck();
    static QCoro::Task<> liveCheck(QPointer<CorrectorModel> self, QString text);
    static QCoro::Task<> correctRun(QPointer<CorrectorModel> self, quint64 generation, QString text, QString language,
                                    QStringList words, TextSettings settings, OmbryAI::Access access);
    static QCoro::Task<> rewriteRun(QPointer<CorrectorModel> self, quint64 generation, QString text, TextAction action,
                                    QString language, QString target, TextSettings settings, OmbryAI::Access access);
    static void failed(QPointer<CorrectorModel> self, quint64 generation, const QString &failure);
    bool current(quint64 generation) const { return generation == generation_; }

    void setWorking(bool on);
    void setExplaining(bool on);
    void setLiveCount(int count);
    void setError(const QString &error);
    void showAnalysis(const Analysis &analysis);
    void showRewrite(const QString &text);
    void rerender();

    QPointer<AppSettings> settings_;
    QPointer<Store> store_;
    QPointer<KeyStore> keys_;
    bool started_ = false;
    FixListModel *fixes_;
    FrequentMistakesModel *mistakes_;
    QTimer liveTimer_;

    QString text_;
    Mode mode_ = Mode::Correct;
    TextAction tone_ = TextAction::Formal;
    bool working_ = false;
    bool explaining_ = false;
    bool copied_ = false;
    QString error_;
    int liveCount_ = -1;

    std::optional<Analysis> analysis_;
    std::optional<QString> rewritten_;
    CorrectorText::Rendered rendered_;
    quint64 generation_ = 0;
};

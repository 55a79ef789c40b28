#include "shell/LoginItem.h"
#include "audio/MicrophoneList.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "platform/KeyTable.h"
#include "settings/EngineChoices.h"
#include "settings/GeneralChoices.h"
#include "settings/ScopeChipsModel.h"
#include "settings/ShortcutRecorder.h"
#include "settings/TranslateApps.h"
#include "settings/TranslationTargets.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

Dictation dictation(const QString &app, std::optional<QString> bundle)
{
    Dictation d;
    d.appName = app;
    d.bundleID = std::move(bundle);
    return d;
}

CorrectionRecord fix(const QString &app, std::optional<QString> bundle)
{
    CorrectionRecord r;
    r.appName = app;
    r.bundleID = std::move(bundle);
    return r;
}

QStringList names(const QList<TranslateApps::App> &apps)
{
    QStringList out;
    for (const TranslateApps::App &a : apps)
        out << a.name + u'=' + a.bundleId;
    return out;
}

// One key press while the recorder listens; key -1: no code in the key table.
struct Press
{
    int key;
    bool modifierKey;
    quint64 flags;
    bool escape;
};

} // namespace

Q_DECLARE_METATYPE(Press)

// The settings page's logic: the engine card's texts and costs, what the
// shortcut recorder accepts, which applications the translate list offers, the
// dictation key and microphone pickers.
class TestSettingsChoices : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<Defaults> defaults_;
    std::unique_ptr<AppSettings> settings_;

    static void setHosted(bool hosted)
    {
        if (hosted)
            qputenv("OMBRY_HOSTED_URL", "https://127.0.0.1:9/hosted");
        else
            qunsetenv("OMBRY_HOSTED_URL");
    }

private Q_SLOTS:
    void init()
    {
        settings_.reset();
        defaults_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        defaults_ = std::make_unique<Defaults>(QString::fromLatin1(Defaults::kAppDomain), dir_->path());
        settings_ = std::make_unique<AppSettings>(*defaults_);
        setHosted(true);
    }

    void money_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("five cents") << 0.05 << u"0,050 $"_s;
        QTest::newRow("just under a tenth") << 0.0999 << u"0,100 $"_s;
        QTest::newRow("a tenth") << 0.1 << u"0,10 $"_s;
        QTest::newRow("rounded up") << 0.258 << u"0,26 $"_s;
        QTest::newRow("deepgram nova-3") << AppSettings::costPer1000Deepgram(u"nova-3"_s) << u"1,07 $"_s;
    }

    void money()
    {
        QFETCH(double, amount);
        QFETCH(QString, text);
        QCOMPARE(EngineChoices::money(amount), text);
    }

    void costRow_data()
    {
        QTest::addColumn<int>("stt");
        QTest::addColumn<int>("rewrite");
        QTest::addColumn<QString>("openRouterModel");
        QTest::addColumn<QString>("text");
        QTest::newRow("local both") << int(TranscriptionEngine::Local) << int(RewriteEngine::Local) << QString()
                                    << u"Gratuit"_s;
        QTest::newRow("local, no rewrite") << int(TranscriptionEngine::Local) << int(RewriteEngine::None) << QString()
                                           << u"Gratuit"_s;
        QTest::newRow("gemini") << int(TranscriptionEngine::Gemini) << int(RewriteEngine::Local) << QString()
                                << u"0,050 $ / 1 000 dictées"_s;
        QTest::newRow("deepgram") << int(TranscriptionEngine::Deepgram) << int(RewriteEngine::None) << QString()
                                  << u"1,07 $ / 1 000 dictées"_s;
        QTest::newRow("typed model costs nothing") << int(TranscriptionEngine::Local) << int(RewriteEngine::OpenRouter)
                                                   << u"someone/unknown-model"_s << u"Gratuit"_s;
    }

    void costRow()
    {
        QFETCH(int, stt);
        QFETCH(int, rewrite);
        QFETCH(QString, openRouterModel);
        QFETCH(QString, text);
        settings_->setTranscriptionEngine(TranscriptionEngine(stt));
        settings_->setRewriteEngine(RewriteEngine(rewrite));
        if (!openRouterModel.isEmpty())
            settings_->setOpenRouterModel(openRouterModel);
        EngineChoices engines(settings_.get(), [] { return false; });
        QCOMPARE(engines.costText(), text);
    }

    void labels_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<int>("stt");
        QTest::addColumn<int>("rewrite");
        QTest::addColumn<bool>("ownKey");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("sttLabel");
        QTest::addColumn<QString>("rewriteLabel");
        QTest::newRow("hosted, no local model")
            << true << int(TranscriptionEngine::Gemini) << int(RewriteEngine::Local) << false << false << u"Ombry IA"_s
            << u"Modèle local · non disponible"_s;
        QTest::newRow("own key, local model")
            << true << int(TranscriptionEngine::Gemini) << int(RewriteEngine::Local) << true << true
            << u"Gemini 2.5 Flash Lite · OpenRouter"_s << u"Modèle local · sur cet ordinateur"_s;
        QTest::newRow("local recogniser, hosted rewrite")
            << true << int(TranscriptionEngine::Local) << int(RewriteEngine::OpenRouter) << false << false
            << u"Reconnaissance locale · sur cet ordinateur"_s << u"Ombry IA"_s;
        QTest::newRow("deepgram, own openrouter")
            << true << int(TranscriptionEngine::Deepgram) << int(RewriteEngine::OpenRouter) << true << false
            << u"Deepgram · nova-3"_s << u"OpenRouter · mistralai/mistral-small-3.2-24b-instruct"_s;
        QTest::newRow("plain clean-up") << true << int(TranscriptionEngine::Local) << int(RewriteEngine::None) << false
                                        << true << u"Reconnaissance locale · sur cet ordinateur"_s
                                        << u"Nettoyage simple"_s;
        // No hosted service: what runs is OpenRouter's model, key or not.
        QTest::newRow("no hosted service, no key")
            << false << int(TranscriptionEngine::Gemini) << int(RewriteEngine::OpenRouter) << false << false
            << u"Gemini 2.5 Flash Lite · OpenRouter"_s << u"OpenRouter · mistralai/mistral-small-3.2-24b-instruct"_s;
    }

    void labels()
    {
        QFETCH(bool, hosted);
        QFETCH(int, stt);
        QFETCH(int, rewrite);
        QFETCH(bool, ownKey);
        QFETCH(bool, local);
        QFETCH(QString, sttLabel);
        QFETCH(QString, rewriteLabel);
        setHosted(hosted);
        settings_->setTranscriptionEngine(TranscriptionEngine(stt));
        settings_->setRewriteEngine(RewriteEngine(rewrite));
        EngineChoices engines(settings_.get(), [ownKey] { return ownKey; });
        engines.setLocalModelAvailable(local);
        QCOMPARE(engines.sttLabel(), sttLabel);
        QCOMPARE(engines.rewriteLabel(), rewriteLabel);
        bool namesHosted = false;
        for (const QVariantList &options : {engines.transcriptionOptions(), engines.rewriteOptions()})
            for (const QVariant &option : options)
                namesHosted = namesHosted || option.toMap().value(u"label"_s).toString().contains(u"Ombry IA"_s);
        QCOMPARE(namesHosted, hosted && !ownKey);
    }

    void deepgramOptionOnlyWhenItCanBeUsed_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<bool>("ownKeyMode");
        QTest::addColumn<int>("stt");
        QTest::addColumn<int>("options");
        QTest::newRow("hosted") << true << false << int(TranscriptionEngine::Gemini) << 2;
        QTest::newRow("own keys") << true << true << int(TranscriptionEngine::Gemini) << 3;
        QTest::newRow("still chosen") << true << false << int(TranscriptionEngine::Deepgram) << 3;
        QTest::newRow("no hosted service") << false << false << int(TranscriptionEngine::Gemini) << 3;
    }

    void deepgramOptionOnlyWhenItCanBeUsed()
    {
        QFETCH(bool, hosted);
        QFETCH(bool, ownKeyMode);
        QFETCH(int, stt);
        QFETCH(int, options);
        setHosted(hosted);
        settings_->setOwnKeyMode(ownKeyMode);
        settings_->setTranscriptionEngine(TranscriptionEngine(stt));
        EngineChoices engines(settings_.get(), [] { return false; });
        QCOMPARE(engines.transcriptionOptions().size(), options);
    }

    void typedModelStaysSelectable()
    {
        EngineChoices engines(settings_.get(), [] { return true; });
        const qsizetype listed = AppSettings::openRouterModels().size();
        QCOMPARE(engines.openRouterOptions().size(), listed);
        settings_->setOpenRouterModel(u"someone/typed-by-hand"_s);
        const QVariantList options = engines.openRouterOptions();
        QCOMPARE(options.size(), listed + 1);
        QCOMPARE(options.constLast().toMap().value(u"label"_s).toString(), u"someone/typed-by-hand"_s);
        QVERIFY(engines.deepgramOptions().constFirst().toMap().value(u"label"_s).toString().endsWith(u"0,26 $ / h"_s));
    }

    void targetLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::newRow("anglais") << u"anglais"_s << u"Vers l'anglais"_s;
        QTest::newRow("italien") << u"italien"_s << u"Vers l'italien"_s;
        QTest::newRow("français") << u"français"_s << u"Vers le français"_s;
        QTest::newRow("néerlandais: the first letter only") << u"néerlandais"_s << u"Vers le néerlandais"_s;
        QTest::newRow("accented vowel") << u"étrusque"_s << u"Vers l'étrusque"_s;
        QTest::newRow("capital is not a vowel") << u"Anglais"_s << u"Vers le Anglais"_s;
    }

    void targetLabels()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QCOMPARE(TranslationTargets::label(name), label);
    }

    void recorderVerdicts_data()
    {
        using V = ShortcutRecorder::Verdict;
        QTest::addColumn<int>("key"); // -1: no code in the key table
        QTest::addColumn<bool>("modifierKey");
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<quint64>("kept");
        QTest::addColumn<QString>("label");
        QTest::newRow("ctrl+alt+c") << 8 << false << quint64(0xC0000) << int(V::Accept) << quint64(0xC0000) << u"⌃⌥C"_s;
        QTest::newRow("super+shift+k") << 40 << false << quint64(0x120000) << int(V::Accept) << quint64(0x120000)
                                       << u"⇧⌘K"_s;
        QTest::newRow("ctrl+shift+k") << 40 << false << quint64(0x60000) << int(V::Accept) << quint64(0x60000)
                                      << u"⌃⇧K"_s;
        QTest::newRow("caps lock dropped") << 17 << false << quint64(0x50000) << int(V::Accept) << quint64(0x40000)
                                           << u"⌃T"_s;
        QTest::newRow("shift+a") << 0 << false << quint64(0x20000) << int(V::Ignore) << quint64(0) << QString();
        QTest::newRow("no modifier") << 0 << false << quint64(0) << int(V::Ignore) << quint64(0) << QString();
        QTest::newRow("alt pressed under ctrl") << -1 << true << quint64(0xC0000) << int(V::Ignore) << quint64(0)
                                                << QString();
        QTest::newRow("left alt by code") << 58 << false << quint64(0xC0000) << int(V::Ignore) << quint64(0)
                                          << QString();
        QTest::newRow("ctrl+keypad 1") << -1 << false << quint64(0x40000) << int(V::Unknown) << quint64(0)
                                       << QString();
        QTest::newRow("ctrl+c") << 8 << false << quint64(0x40000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+v") << 9 << false << quint64(0x40000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+x") << 7 << false << quint64(0x40000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+shift+c") << 8 << false << quint64(0x60000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+shift+v") << 9 << false << quint64(0x60000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+alt+v") << 9 << false << quint64(0xC0000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+alt+r") << 15 << false << quint64(0xC0000) << int(V::Reserved) << quint64(0) << QString();
        QTest::newRow("ctrl+alt+shift+v is free") << 9 << false << quint64(0xE0000) << int(V::Accept)
                                                  << quint64(0xE0000) << u"⌃⌥⇧V"_s;
    }

    void recorderVerdicts()
    {
        QFETCH(int, key);
        QFETCH(bool, modifierKey);
        QFETCH(quint64, flags);
        QFETCH(int, verdict);
        QFETCH(quint64, kept);
        QFETCH(QString, label);
        const auto out = ShortcutRecorder::evaluate(key < 0 ? std::nullopt : std::optional<quint16>(quint16(key)),
                                                    modifierKey, flags);
        QCOMPARE(int(out.verdict), verdict);
        if (out.verdict == ShortcutRecorder::Verdict::Accept) {
            QCOMPARE(int(out.key), key);
            QCOMPARE(out.flags, kept);
            QCOMPARE(out.label, label);
        }
    }

    void recorderSequences_data()
    {
        QTest::addColumn<QList<Press>>("presses");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<quint64>("modifiers");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("hint");
        const quint64 ctrl = KeyTable::Control;
        const quint64 shift = KeyTable::Shift;
        const Press escape{KeyTable::Escape, false, 0, true};
        const Press ctrlV{KeyTable::V, false, ctrl, false};
        const Press ctrlShiftK{40, false, ctrl | shift, false};
        const QString waiting = u"Tape ton raccourci…"_s;
        QTest::newRow("nothing typed yet") << QList<Press>{} << true << 8 << quint64(0xC0000) << waiting << QString();
        QTest::newRow("escape keeps the old one")
            << QList<Press>{escape} << false << 8 << quint64(0xC0000) << u"Ctrl+Alt+C"_s << QString();
        QTest::newRow("ctrl+escape stops as well")
            << QList<Press>{{KeyTable::Escape, false, ctrl, true}} << false << 8 << quint64(0xC0000) << u"Ctrl+Alt+C"_s
            << QString();
        QTest::newRow("ctrl+v refused, listening goes on")
            << QList<Press>{ctrlV} << true << 8 << quint64(0xC0000) << waiting << u"Raccourci réservé"_s;
        QTest::newRow("keypad key refused")
            << QList<Press>{{-1, false, ctrl, false}} << true << 8 << quint64(0xC0000) << waiting
            << u"Touche impossible à utiliser"_s;
        QTest::newRow("alt under ctrl and shift+a ignored")
            << QList<Press>{{-1, true, ctrl, false}, {0, false, shift, false}} << true << 8 << quint64(0xC0000)
            << waiting << QString();
        QTest::newRow("refusal forgotten after escape")
            << QList<Press>{ctrlV, escape} << false << 8 << quint64(0xC0000) << u"Ctrl+Alt+C"_s << QString();
        QTest::newRow("ctrl+shift+k after a refusal")
            << QList<Press>{ctrlV, ctrlShiftK} << false << 40 << quint64(393216) << u"Ctrl+Maj+K"_s << QString();
        QTest::newRow("the first accepted one wins")
            << QList<Press>{ctrlShiftK, {8, false, ctrl | KeyTable::Alt, false}} << false << 40 << quint64(393216)
            << u"Ctrl+Maj+K"_s << QString();
    }

    void recorderSequences()
    {
        QFETCH(QList<Press>, presses);
        QFETCH(bool, listening);
        QFETCH(int, keyCode);
        QFETCH(quint64, modifiers);
        QFETCH(QString, title);
        QFETCH(QString, hint);
        AppSettings *s = TestEnv::settings();
        s->setCorrectionKeyCode(8);
        s->setCorrectionModifiers(0xC0000);
        s->setCorrectionLabel(u"⌃⌥C"_s);
        ShortcutRecorder recorder(s);
        recorder.setMonitor(nullptr);
        recorder.start();
        for (const Press &p : presses)
            recorder.press(p.key < 0 ? std::nullopt : std::optional<quint16>(quint16(p.key)), p.modifierKey, p.flags,
                           p.escape);
        QCOMPARE(recorder.listening(), listening);
        QCOMPARE(s->correctionKeyCode(), keyCode);
        QCOMPARE(s->correctionModifiers(), modifiers);
        QCOMPARE(recorder.title(), title);
        QCOMPARE(recorder.hint(), hint);
        QCOMPARE(Defaults::standard().integer(u"correctionKeyCode"_s).value_or(-1), qint64(keyCode));
    }

    void scopeChips_data()
    {
        QTest::addColumn<qint64>("scope");
        QTest::addColumn<QList<int>>("taps");
        QTest::addColumn<qint64>("after");
        QTest::newRow("style added") << qint64(15) << QList<int>{16} << qint64(31);
        QTest::newRow("then spelling removed") << qint64(15) << QList<int>{16, 1} << qint64(30);
        QTest::newRow("the last one stays") << qint64(4) << QList<int>{4} << qint64(4);
        QTest::newRow("down to one, then stuck") << qint64(3) << QList<int>{1, 2, 2} << qint64(2);
    }

    void scopeChips()
    {
        QFETCH(qint64, scope);
        QFETCH(QList<int>, taps);
        QFETCH(qint64, after);
        settings_->setCorrectionScopeRaw(scope);
        ScopeChipsModel chips(settings_.get());
        for (int bit : taps)
            chips.toggle(bit);
        QCOMPARE(qint64(chips.bits()), after);
        QCOMPARE(defaults_->object(u"correctionScope"_s).toInteger(), after);
    }

    void knownApps_data()
    {
        QTest::addColumn<QList<Dictation>>("dictations");
        QTest::addColumn<QList<CorrectionRecord>>("fixes");
        QTest::addColumn<QStringList>("marked");
        QTest::addColumn<QStringList>("apps");
        const QString own = u"com.corvanel.ombryvoice"_s;
        QTest::newRow("nothing") << QList<Dictation>{} << QList<CorrectionRecord>{} << QStringList{} << QStringList{};
        QTest::newRow("marked without records")
            << QList<Dictation>{} << QList<CorrectionRecord>{} << QStringList{u"org.gnome.TextEditor"_s}
            << QStringList{u"TextEditor=org.gnome.TextEditor"_s};
        QTest::newRow("marked without a dot") << QList<Dictation>{} << QList<CorrectionRecord>{}
                                              << QStringList{u"xterm"_s} << QStringList{u"xterm=xterm"_s};
        QTest::newRow("the oldest correction names it")
            << QList<Dictation>{dictation(u"Mail neuf"_s, u"mail"_s), dictation(u"Mail vieux"_s, u"mail"_s)}
            << QList<CorrectionRecord>{fix(u"Courrier"_s, u"mail"_s), fix(u"Courriel"_s, u"mail"_s)} << QStringList{}
            << QStringList{u"Courriel=mail"_s};
        QTest::newRow("no bundle and ourselves left out")
            << QList<Dictation>{dictation(u"Sans id"_s, std::nullopt), dictation(u"Ombry Voice"_s, own),
                                dictation(u"Vide"_s, u""_s)}
            << QList<CorrectionRecord>{fix(u"Ombry Voice"_s, own)} << QStringList{} << QStringList{};
        QTest::newRow("capitals before lower case")
            << QList<Dictation>{dictation(u"firefox"_s, u"firefox"_s), dictation(u"Zed"_s, u"zed"_s),
                                dictation(u"Écrire"_s, u"ecrire"_s), dictation(u"Atom"_s, u"atom"_s)}
            << QList<CorrectionRecord>{} << QStringList{}
            << QStringList{u"Atom=atom"_s, u"Zed=zed"_s, u"firefox=firefox"_s, u"Écrire=ecrire"_s};
    }

    void knownApps()
    {
        QFETCH(QList<Dictation>, dictations);
        QFETCH(QList<CorrectionRecord>, fixes);
        QFETCH(QStringList, marked);
        QFETCH(QStringList, apps);
        QCOMPARE(names(TranslateApps::known(dictations, fixes, marked, u"com.corvanel.ombryvoice"_s)), apps);
    }

    void toggledApps_data()
    {
        QTest::addColumn<QStringList>("marked");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("appended") << QStringList{u"a"_s} << u"b"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("every copy removed") << QStringList{u"b"_s, u"a"_s, u"b"_s, u"c"_s} << u"b"_s
                                            << QStringList{u"a"_s, u"c"_s};
    }

    void toggledApps()
    {
        QFETCH(QStringList, marked);
        QFETCH(QString, id);
        QFETCH(QStringList, after);
        QCOMPARE(TranslateApps::toggled(marked, id), after);
    }

    void keyPickerRestartsOnlyOnAChange_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("chosenIndex");
        QTest::addColumn<int>("restarts");
        QTest::addColumn<int>("offered");
        QTest::newRow("same key") << int(DictationKey::RightControl) << 2 << 0 << 3;
        QTest::newRow("another key") << int(DictationKey::RightControl) << 0 << 1 << 3;
        QTest::newRow("stored fn is listed last") << int(DictationKey::Fn) << 3 << 0 << 4;
        QTest::newRow("away from fn") << int(DictationKey::Fn) << 1 << 1 << 4;
    }

    void keyPickerRestartsOnlyOnAChange()
    {
        QFETCH(int, stored);
        QFETCH(int, chosenIndex);
        QFETCH(int, restarts);
        QFETCH(int, offered);
        settings_->setKey(DictationKey(stored));
        int restarted = 0;
        GeneralChoices choices(settings_.get(), nullptr, [&] { ++restarted; });
        QCOMPARE(choices.keys().size(), offered);
        QCOMPARE(choices.keyHint().isEmpty(), stored != int(DictationKey::Fn));
        choices.chooseKey(chosenIndex);
        QCOMPARE(restarted, restarts);
        QCOMPARE(choices.keyIndex(), chosenIndex < 3 ? chosenIndex : 3);
    }

    void withoutInputDevicesOnlyTheSystemMicrophone_data()
    {
        QTest::addColumn<QString>("stored"); // empty: none stored
        QTest::addColumn<int>("index");
        QTest::newRow("nothing stored") << QString() << 0;
        QTest::newRow("a device stored") << u"alsa_input.usb"_s << -1;
    }

    void withoutInputDevicesOnlyTheSystemMicrophone()
    {
        QFETCH(QString, stored);
        QFETCH(int, index);
        MicrophoneList list([] { return QList<Microphones::Device>{}; }, [](std::function<void()>) { return false; });
        if (!stored.isEmpty())
            settings_->setMicrophoneUID(stored);
        GeneralChoices choices(settings_.get(), &list, [] {});
        QTRY_VERIFY(list.answered());
        const QVariantList entries = choices.microphones();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.constFirst().toMap().value(u"name"_s).toString(), u"Micro du système"_s);
        QCOMPARE(entries.constFirst().toMap().value(u"uid"_s).toString(), QString());
        QCOMPARE(choices.microphoneIndex(), index);
        QCOMPARE(defaults_->contains(u"microphoneUID"_s), !stored.isEmpty());
    }

    // The switch follows the autostart entry, whoever changes it.
    void launchAtLoginFollowsTheEntry_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QByteArray>("written"); // empty: the entry is removed
        QTest::addColumn<bool>("after");
        QTest::newRow("removed") << true << QByteArray() << false;
        QTest::newRow("hidden by another program") << true
                                                   << QByteArray("[Desktop Entry]\nType=Application\nHidden=true\n")
                                                   << false;
        QTest::newRow("written by another program") << false << LoginItem::entryText(u"/usr/bin/ombry-voice"_s) << true;
    }
    void launchAtLoginFollowsTheEntry()
    {
        QFETCH(bool, before);
        QFETCH(QByteArray, written);
        QFETCH(bool, after);
        const QString entry = LoginItem::entryPath();
        QDir folder(QFileInfo(entry).absolutePath());
        folder.removeRecursively();
        QVERIFY(folder.mkpath(u"."_s));
        if (before)
            LoginItem::set(true);
        GeneralChoices choices(settings_.get(), nullptr, [] {});
        QCOMPARE(choices.launchAtLogin(), before);
        QSignalSpy changed(&choices, &GeneralChoices::launchAtLoginChanged);
        if (written.isEmpty())
            QVERIFY(QFile::remove(entry));
        else
            QVERIFY(TestEnv::writeFile(entry, written));
        QVERIFY(changed.wait(5000));
        QCOMPARE(choices.launchAtLogin(), after);
    }

    void microphonePickerKeepsAnAbsentDevice()
    {
        const QList<Microphones::Device> devices{{1, u"alsa_input.usb"_s, u"Casque USB"_s},
                                                 {2, u"vmic"_s, u"Micro virtuel"_s}};
        MicrophoneList list([devices] { return devices; }, [](std::function<void()>) { return false; });
        QSignalSpy listed(&list, &MicrophoneList::devicesChanged);
        settings_->setMicrophoneUID(u"gone-device"_s);
        GeneralChoices choices(settings_.get(), &list, [] {});
        QVERIFY(listed.wait(3000));
        QCOMPARE(choices.microphones().size(), 3);
        QCOMPARE(choices.microphones().constFirst().toMap().value(u"name"_s).toString(), u"Micro du système"_s);
        QCOMPARE(choices.microphoneIndex(), -1);
        QCOMPARE(defaults_->object(u"microphoneUID"_s).toString(), u"gone-device"_s);
        choices.chooseMicrophone(2);
        QCOMPARE(settings_->microphoneUID(), std::optional<QString>(u"vmic"_s));
        QCOMPARE(choices.microphoneIndex(), 2);
        choices.chooseMicrophone(0);
        QCOMPARE(settings_->microphoneUID(), std::nullopt);
        QVERIFY(!defaults_->contains(u"microphoneUID"_s));
        QCOMPARE(choices.microphoneIndex(), 0);
    }
};

OMBRY_TEST_MAIN(TestSettingsChoices)
#include "tst_settings_choices.moc"

#include "app/Application.h"
#include "dictation/Reader.h"
#include "engines/Net.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "pages/TranslatorModel.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Ombry Voice — traduction et dictionnaire"_s;
const QString kChat = u"/api/v1/chat/completions"_s;
const QString kFrench = u"Bonjour à tous, comment allez-vous aujourd'hui ?"_s;
const QString kEnglish = u"Hello everyone, how are you today?"_s;
const QString kSpanish = u"Hola a todos, ¿cómo estáis hoy?"_s;
const QString kBackToFrench = u"Salut tout le monde, comment ça va aujourd'hui ?"_s;

QString messageOf(const RecordedRequest &request, int index)
{
    return request.json().value(u"messages"_s).toArray().at(index)[u"content"_s].toString();
}

// "Traduis ce texte en anglais." for a translation request.
QString firstLine(const RecordedRequest &request)
{
    return messageOf(request, 0).section(u'\n', 0, 0);
}

QString targetOf(const RecordedRequest &request)
{
    return firstLine(request).mid(QString(u"Traduis ce texte en "_s).size()).chopped(1);
}

CorrectionRecord record(const QString &action, const QString &original, const QString &result, int minutesAgo)
{
    CorrectionRecord r;
    r.date = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
    r.appName = minutesAgo % 2 ? u"Firefox"_s : u"Ombry Voice"_s;
    r.action = action;
    r.original = original;
    r.result = result;
    return r;
}

// Six translations and two other records, newest first: "traduction 1" is the newest.
QList<CorrectionRecord> seededFixes()
{
    QList<CorrectionRecord> fixes;
    fixes << record(u"Corriger"_s, u"il a manger"_s, u"correction récente"_s, 1);
    for (int i = 1; i <= 6; ++i)
        fixes << record(i % 2 ? u"Traduire · anglais"_s : u"Traduire"_s, u"texte "_s + QString::number(i),
                        u"traduction "_s + QString::number(i), 10 * i);
    fixes << record(u"Résumer"_s, u"un long texte"_s, u"résumé ancien"_s, 90);
    return fixes;
}

QStringList fortyWords()
{
    QStringList words;
    for (int i = 0; i < 40; ++i)
        words << (i % 3 ? u"mot"_s : u"Ombryphone"_s) + QString::number(i);
    return words;
}

// What a user finds in a fresh data folder for the snapshots.
void seedFolder(const QString &folder)
{
    Store store(folder);
    store.setWords(QStringList{u"Ombry"_s, u"Zorglub"_s, u"Québec"_s} + fortyWords().mid(0, 12));
    Snippet address;
    address.trigger = u"mon adresse"_s;
    address.text = u"12 rue des Lilas\n75020 Paris"_s;
    Snippet signature;
    signature.trigger = u"ma signature"_s;
    signature.text = u"Bien à vous,\nCamille Martin"_s;
    store.setSnippets({address, signature});
    Correction quebec;
    quebec.heard = u"quèbec"_s;
    quebec.written = u"Québec"_s;
    Correction brand;
    brand.heard = u"ombri"_s;
    brand.written = u"Ombry"_s;
    store.setCorrections({quebec, brand});
    store.setFixes(seededFixes());
    store.flush();
}

QJsonArray stored(const QString &file)
{
    TestEnv::store()->flush();
    return QJsonDocument::fromJson(TestEnv::readFile(QDir(Store::folder()).filePath(file))).array();
}

QJsonObject preferences()
{
    return QJsonDocument::fromJson(TestEnv::readFile(Defaults::standard().filePath())).object();
}

bool xdotool(const QStringList &args)
{
    return DesktopTools::run(u"xdotool"_s, args).exitCode == 0;
}

} // namespace

// The text translator tab and the dictionary page on the private desktop, read and
// driven as a screen reader and a keyboard would, against a fake model service.
class TestTranslatorDictionary : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    QQuickItem *page_ = nullptr;
    FakeHttpService cloud_;
    QHash<QString, QString> replies_; // by target
    QHash<QString, int> delays_;      // by target, milliseconds
    QElapsedTimer clock_;
    QList<qint64> arrivals_; // when each chat request came, on clock_
    int finished_ = 0;       // network replies the program has received
    QStringList labels_;     // the copy button's labels as they changed
    QList<qint64> labelTimes_;

    AtspiReader reader() const { return AtspiReader(kTitle); }

    QStringList shown() const { return reader().texts(); }

    bool showsText(const QString &text, int timeoutMs = 5000) const
    {
        return TestEnv::waitFor([&] { return shown().contains(text); }, timeoutMs);
    }

    void open(const QString &file)
    {
        delete page_;
        page_ = nullptr;
        QQmlComponent component(root_->engine(), QUrl(u"qrc:/Ombry/"_s + file));
        QObject *created = component.create();
        QVERIFY2(created, qPrintable(component.errorString()));
        page_ = qobject_cast<QQuickItem *>(created);
        QVERIFY(page_);
        page_->setParentItem(window_->contentItem());
        page_->setPosition(QPointF(28, 28));
        page_->setWidth(window_->width() - 56);
        page_->setHeight(std::max(page_->implicitHeight(), window_->height() - 56.0));
        QVERIFY(TestEnv::waitFor([&] { return shown().size() > 3; }, 10000));
    }

    // Clicks the middle of what a screen reader finds, with the real pointer.
    void click(const QString &role, const QString &name)
    {
        const std::optional<AtspiReader::Node> node = reader().find(role, name);
        QVERIFY2(node, qPrintable(role + u" "_s + name));
        QVERIFY(!node->extents.isEmpty());
        const QPoint centre = node->extents.center();
        QVERIFY(xdotool({u"mousemove"_s, QString::number(centre.x()), QString::number(centre.y()), u"click"_s, u"1"_s}));
    }

    void focus(const QString &role, const QString &name)
    {
        click(role, name);
        QVERIFY(TestEnv::waitFor([&] {
            const auto node = reader().find(role, name, 0);
            return node && node->states.contains(u"focused"_s);
        }, 5000));
    }

    void typeText(const QString &text)
    {
        QVERIFY(xdotool({u"type"_s, u"--delay"_s, u"15"_s, text}));
    }

    // Pastes `text` into the translator's editor from another client's clipboard.
    void pasteSource(const QString &text)
    {
        focus(u"text"_s, u"Texte à traduire"_s);
        QVERIFY(DesktopTools::key(u"ctrl+a"_s));
        QVERIFY(DesktopTools::seedClipboard(text));
        QVERIFY(DesktopTools::key(u"ctrl+v"_s));
    }

    // The text of the first node of `role` named `name`.
    QString textOf(const QString &role, const QString &name) const
    {
        const auto node = reader().find(role, name, 0);
        return node ? node->text : u"<absent>"_s;
    }

    QList<RecordedRequest> chats() const { return cloud_.requests(kChat); }

    // Opens the picker with a click and moves to the entry with the keyboard, as a user does.
    void chooseTarget(const QString &name)
    {
        const QStringList names = TranslatorModel::targetNames();
        const qsizetype from = names.indexOf(pickerShows());
        const qsizetype to = names.indexOf(name);
        QVERIFY(from >= 0 && to >= 0);
        click(u"combo box"_s, u"Langue cible"_s);
        auto *picker = page_->findChild<QQuickItem *>(u"targetPicker"_s);
        QVERIFY(TestEnv::waitFor([&] { return picker->property("popup").value<QObject *>()->property("opened").toBool(); }));
        for (qsizetype i = from; i != to; i += (to > from ? 1 : -1))
            QVERIFY(DesktopTools::key(to > from ? u"Down"_s : u"Up"_s));
        QVERIFY(DesktopTools::key(u"Return"_s));
        QVERIFY(TestEnv::waitFor([&] { return pickerShows() == name; }));
    }

    QString pickerShows() const
    {
        auto *picker = page_->findChild<QQuickItem *>(u"targetPicker"_s);
        return picker ? picker->property("displayText").toString() : u"<absent>"_s;
    }

    // The red line under the translation, when one is shown.
    bool showsError() const
    {
        auto *line = page_->findChild<QQuickItem *>(u"translatorError"_s);
        return !line || line->isVisible();
    }

    bool spinning() const { return reader().find(QString(), u"Traduction en cours"_s, 0).has_value(); }

public Q_SLOTS:
    void noteLabel()
    {
        labels_ << page_->findChild<QQuickItem *>(u"copyButton"_s)->property("text").toString();
        labelTimes_ << clock_.elapsed();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY(cloud_.start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_.url().toUtf8());
        replies_ = {{u"anglais"_s, kEnglish}, {u"espagnol"_s, kSpanish}, {u"français"_s, kBackToFrench}};
        cloud_.setHandler([this](const RecordedRequest &request) {
            ScriptedReply reply = ScriptedReply::json(chatCompletion(replies_.value(targetOf(request), u"?"_s)));
            reply.delayMs = delays_.value(targetOf(request));
            return reply;
        });
        clock_.start();
        connect(&cloud_, &FakeHttpService::requestReceived, this, [this](const RecordedRequest &request) {
            if (request.path == kChat)
                arrivals_ << clock_.elapsed();
        });
        root_ = std::make_unique<Application>();
        connect(Net::session(), &QNetworkAccessManager::finished, this, [this] { ++finished_; });
        root_->keys()->setKeys({{APIService::OpenRouter, u"sk-test"_s}});
        AppSettings *settings = root_->settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setTheme(Ombry::Theme::Light);
        root_->store()->setFixes(seededFixes());

        window_ = std::make_unique<QQuickWindow>();
        window_->setTitle(kTitle);
        window_->resize(1180, 980);
        window_->setColor(QColor(0xF5, 0xF5, 0xF7));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->requestActivate();
        open(u"TextTranslatorTab.qml"_s);
    }

    void cleanupTestCase()
    {
        delete page_;
        window_.reset();
        root_.reset();
    }

    void freshTab_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"Traduction", "Ctrl+C trois fois traduit partout", "Texte", "Appels en direct",
                                 "Détection automatique", "Écris ou colle ton texte, dans n'importe quelle langue",
                                 "0 caractères", "Inverser", "Copier", "Dernières traductions"})
            QTest::newRow(text) << QString::fromUtf8(text);
    }
    void freshTab()
    {
        QFETCH(QString, text);
        static QStringList texts;
        if (texts.isEmpty())
            texts = shown();
        QVERIFY2(texts.contains(text), qPrintable(texts.join(u" | "_s)));
    }

    // Nothing goes before the pause is over, then exactly one request.
    void pastingWaitsForAPause()
    {
        QVERIFY(chats().isEmpty());
        // The default target, not stored before a translation succeeds.
        QCOMPARE(pickerShows(), u"Anglais"_s);
        QVERIFY(!preferences().contains(u"translateTarget"_s));
        auto *model = page_->findChild<TranslatorModel *>();
        QVERIFY(model);
        // The moment the pasted text reaches the tab.
        qint64 edited = -1;
        const auto watch = connect(model, &TranslatorModel::sourceChanged, this, [&] {
            if (model->source() == kFrench && edited < 0)
                edited = clock_.elapsed();
        });
        pasteSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return edited >= 0; }, 5000));
        disconnect(watch);
        TestEnv::waitFor([] { return false; }, 500);
        QCOMPARE(chats().size(), 0);
        QVERIFY(cloud_.waitForRequests(1, 5000, kChat));
        const qint64 waited = arrivals_.at(0) - edited;
        qInfo("request %lld ms after the paste", waited);
        QVERIFY2(waited >= 700 && waited <= 1500, qPrintable(QString::number(waited)));
        QVERIFY(showsText(kEnglish));
        TestEnv::waitFor([] { return false; }, 500);
        QCOMPARE(chats().size(), 1);
        QCOMPARE(firstLine(chats().at(0)), u"Traduis ce texte en anglais."_s);
        QCOMPARE(messageOf(chats().at(0), 1), kFrench);
        QVERIFY(reader().find(u"heading"_s, u"Détecté : Français"_s));
        QCOMPARE(pickerShows(), u"Anglais"_s);
        QCOMPARE(preferences().value(u"translateTarget"_s).toString(), u"anglais"_s);
        QVERIFY(!spinning());
    }

    // A new target needs no pause.
    void targetSendsAtOnce()
    {
        const qsizetype before = chats().size();
        auto *model = page_->findChild<TranslatorModel *>();
        qint64 chosen = -1;
        const auto watch = connect(model, &TranslatorModel::targetChanged, this, [&] { chosen = clock_.elapsed(); });
        chooseTarget(u"Espagnol"_s);
        disconnect(watch);
        QVERIFY(chosen >= 0);
        QVERIFY(cloud_.waitForRequests(int(before) + 1, 5000, kChat));
        const qint64 waited = arrivals_.at(before) - chosen;
        qInfo("request %lld ms after the choice", waited);
        QVERIFY2(waited < 700, qPrintable(QString::number(waited)));
        QCOMPARE(firstLine(chats().at(before)), u"Traduis ce texte en espagnol."_s);
        QCOMPARE(messageOf(chats().at(before), 1), kFrench);
        QVERIFY(showsText(kSpanish));
        QCOMPARE(preferences().value(u"translateTarget"_s).toString(), u"espagnol"_s);
    }

    // The English reply comes late, after the Spanish one: it changes nothing.
    void lateReplyIsDropped()
    {
        delays_[u"anglais"_s] = 4000;
        replies_[u"espagnol"_s] = kSpanish + u" 🙂"_s;
        const int received = finished_;
        const qsizetype before = chats().size();
        chooseTarget(u"Anglais"_s);
        QVERIFY(cloud_.waitForRequests(int(before) + 1, 5000, kChat));
        QVERIFY(TestEnv::waitFor([&] { return spinning(); }, 3000));
        chooseTarget(u"Espagnol"_s);
        QVERIFY(cloud_.waitForRequests(int(before) + 2, 5000, kChat));
        QCOMPARE(targetOf(chats().at(before)), u"anglais"_s);
        QCOMPARE(targetOf(chats().at(before + 1)), u"espagnol"_s);
        QVERIFY(showsText(kSpanish + u" 🙂"_s));
        // The spinner stops with the Spanish reply, the English one still to come.
        QVERIFY(TestEnv::waitFor([&] { return !spinning(); }, 3000));
        QCOMPARE(finished_, received + 1);
        // Both replies in, the late one handled too.
        QVERIFY(TestEnv::waitFor([&] { return finished_ >= received + 2; }, 8000));
        TestEnv::waitFor([] { return false; }, 200);
        const QStringList texts = shown();
        QVERIFY2(texts.contains(kSpanish + u" 🙂"_s), qPrintable(texts.join(u" | "_s)));
        QVERIFY(!texts.contains(kEnglish));
        QVERIFY(!spinning());
        QVERIFY(!showsError());
        QCOMPARE(preferences().value(u"translateTarget"_s).toString(), u"espagnol"_s);
        delays_.clear();
    }

    void copying()
    {
        const QString spanish = kSpanish + u" 🙂"_s;
        // The label as the button shows it, change by change.
        auto *button = page_->findChild<QQuickItem *>(u"copyButton"_s);
        QVERIFY(button);
        labels_.clear();
        labelTimes_.clear();
        const auto watch = QQmlProperty(button, u"text"_s).connectNotifySignal(this, SLOT(noteLabel()));
        QVERIFY(watch);
        QVERIFY(reader().act(u"push button"_s, u"Copier"_s));
        QVERIFY(TestEnv::waitFor([&] { return labels_.size() >= 2; }, 5000));
        QCOMPARE(labels_, (QStringList{u"Copié"_s, u"Copier"_s}));
        qInfo("\"Copié\" shown for %lld ms", labelTimes_.at(1) - labelTimes_.at(0));
        QVERIFY(labelTimes_.at(1) - labelTimes_.at(0) >= 1400);
        QCOMPARE(QString::fromUtf8(DesktopTools::readClipboard().out), spanish);
        const CorrectionRecord first = root_->store()->fixes().constFirst();
        QCOMPARE(first.action, u"Traduire · espagnol"_s);
        QCOMPARE(first.original, kFrench);
        QCOMPARE(first.result, spanish);
        QCOMPARE(first.appName, u"Ombry Voice"_s);
        const QJsonObject saved = stored(u"fixes.json"_s).at(0).toObject();
        QCOMPARE(saved.value(u"action"_s).toString(), u"Traduire · espagnol"_s);
        QVERIFY(saved.value(u"fixes"_s).toArray().isEmpty());
        QVERIFY(showsText(u"Copier"_s));
    }

    // The five newest translations, newest first, after the copy above.
    void recentTranslations_data()
    {
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("position"); // -1: not listed
        QTest::newRow("the copy") << QString(kSpanish + u" 🙂"_s) << 0;
        QTest::newRow("newest seeded") << u"traduction 1"_s << 1;
        QTest::newRow("plain action") << u"traduction 2"_s << 2;
        QTest::newRow("fourth") << u"traduction 4"_s << 4;
        QTest::newRow("sixth is out") << u"traduction 5"_s << -1;
        QTest::newRow("correction") << u"correction récente"_s << -1;
        QTest::newRow("summary") << u"résumé ancien"_s << -1;
    }
    void recentTranslations()
    {
        QFETCH(QString, result);
        QFETCH(int, position);
        QStringList rows;
        for (const AtspiReader::Node &node : reader().all(u"list item"_s))
            if (node.showing())
                rows << node.name;
        QCOMPARE(rows.size(), 5);
        QVERIFY2(rows.indexOf(result) == position, qPrintable(rows.join(u" | "_s)));
    }

    void swapping()
    {
        const qsizetype before = chats().size();
        const QString spanish = kSpanish + u" 🙂"_s;
        QVERIFY(reader().act(u"push button"_s, u"Inverser"_s));
        QVERIFY(TestEnv::waitFor([&] { return textOf(u"text"_s, u"Texte à traduire"_s) == spanish; }));
        QVERIFY(cloud_.waitForRequests(int(before) + 1, 5000, kChat));
        QVERIFY(showsText(kBackToFrench));
        TestEnv::waitFor([] { return false; }, 900);
        QCOMPARE(chats().size(), before + 1);
        QCOMPARE(firstLine(chats().at(before)), u"Traduis ce texte en français."_s);
        QCOMPARE(messageOf(chats().at(before), 1), spanish);
        QCOMPARE(preferences().value(u"translateTarget"_s).toString(), u"français"_s);
        QCOMPARE(pickerShows(), u"Français"_s);
    }

    void screenshots()
    {
        const QStringList saved = Screenshots::inBothThemes(u"translator-tab"_s, [this] {
            const bool dark = root_->settings()->theme() == Ombry::Theme::Dark;
            window_->setColor(dark ? QColor(0x1C, 0x1C, 0x1E) : QColor(0xF5, 0xF5, 0xF7));
            TestEnv::waitFor([] { return false; }, 150);
            return Screenshots::scene(window_.get());
        });
        QCOMPARE(saved.size(), 2);
        QVERIFY(!saved.contains(QString()));
    }

    // Both panes read through one voice: either button stops what the other started.
    void readingAloud()
    {
        Reader *voice = TestEnv::own<Reader>();
        QVERIFY(voice);
        // Long enough to be still under way at the second press.
        pasteSource(QStringList(8, kFrench).join(u' '));
        QVERIFY(TestEnv::waitFor([&] { return textOf(u"text"_s, u"Texte à traduire"_s).size() > kFrench.size() * 8; }));
        QList<AtspiReader::Node> buttons;
        for (const AtspiReader::Node &node : reader().all(u"push button"_s))
            if (node.name == u"Lire à voix haute"_s && node.showing())
                buttons << node;
        QCOMPARE(buttons.size(), 2);
        const QString press = buttons.at(0).actions.value(0);
        QVERIFY(reader().act(buttons.at(0), press));
        QVERIFY(TestEnv::waitFor([&] { return voice->isSpeaking(); }, 3000));
        QVERIFY(reader().act(buttons.at(1), press));
        QVERIFY(TestEnv::waitFor([&] { return !voice->isSpeaking(); }, 3000));
        // That press only stopped: nothing starts again.
        TestEnv::waitFor([] { return false; }, 300);
        QVERIFY(!voice->isSpeaking());
    }

    void counting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("count");
        QTest::newRow("accent and emoji") << u"Été 🎉"_s << u"5 caractères"_s;
        QTest::newRow("one letter") << u"a"_s << u"1 caractères"_s;
    }
    void counting()
    {
        QFETCH(QString, text);
        QFETCH(QString, count);
        pasteSource(text);
        QVERIFY(showsText(count));
    }

    // The clear button empties both panes; nothing more is sent.
    void clearing()
    {
        TestEnv::waitFor([] { return false; }, 900);
        const qsizetype before = chats().size();
        QVERIFY(reader().act(u"push button"_s, u"Effacer"_s));
        QVERIFY(showsText(u"0 caractères"_s));
        QVERIFY(showsText(u"Détection automatique"_s));
        TestEnv::waitFor([] { return false; }, 900);
        QCOMPARE(chats().size(), before);
        QVERIFY(!reader().find(u"push button"_s, u"Effacer"_s, 0));
    }

    void dictionaryPage()
    {
        open(u"DictionaryPage.qml"_s);
        QVERIFY(reader().find(u"heading"_s, u"Dictionnaire"_s));
        for (const QString &text : {u"Mes mots"_s, u"Raccourcis vocaux"_s, u"Corrections automatiques"_s, u"Quand je dis"_s,
                                    u"Ombry Voice écrit"_s, u"Ce qui est entendu"_s, u"Ce qui doit s'écrire"_s})
            QVERIFY2(shown().contains(text), qPrintable(text));
    }

    // Return in the field adds the word trimmed, once; a refused word stays in the field.
    void addingWords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("fieldAfter");
        QTest::newRow("trimmed") << u"  Zorglub  "_s << QStringList{u"Zorglub"_s} << QString();
        QTest::newRow("duplicate") << u"Zorglub"_s << QStringList{u"Zorglub"_s} << u"Zorglub"_s;
        QTest::newRow("other case") << u"zorglub"_s << QStringList{u"Zorglub"_s, u"zorglub"_s} << QString();
        QTest::newRow("only spaces") << u"   "_s << QStringList{u"Zorglub"_s, u"zorglub"_s} << u"   "_s;
    }
    void addingWords()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, words);
        QFETCH(QString, fieldAfter);
        focus(u"text"_s, u"Nouveau mot"_s);
        QVERIFY(DesktopTools::key(u"ctrl+a"_s));
        QVERIFY(DesktopTools::key(u"BackSpace"_s));
        typeText(typed);
        QVERIFY(TestEnv::waitFor([&] { return textOf(u"text"_s, u"Nouveau mot"_s) == typed; }));
        // Only blanks disable the button; a listed word is refused when added.
        QCOMPARE(page_->findChild<QQuickItem *>(u"addWord"_s)->isEnabled(), !typed.trimmed().isEmpty());
        QVERIFY(DesktopTools::key(u"Return"_s));
        QVERIFY(TestEnv::waitFor([&] { return textOf(u"text"_s, u"Nouveau mot"_s) == fieldAfter; }));
        TestEnv::waitFor([] { return false; }, 200);
        QCOMPARE(root_->store()->words(), words);
        QStringList chips;
        for (const AtspiReader::Node &node : reader().all(u"list item"_s))
            chips << node.name;
        QCOMPARE(chips, words);
        QStringList saved;
        for (const QJsonValue &v : stored(u"words.json"_s))
            saved << v.toString();
        QCOMPARE(saved, words);
    }

    void removingAWord()
    {
        QVERIFY(reader().act(u"push button"_s, u"Retirer zorglub"_s));
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->words() == QStringList{u"Zorglub"_s}; }));
        QVERIFY(!reader().find(u"list item"_s, u"zorglub"_s, 0));
    }

    // Two new rows, two ids; typing a trigger in one go keeps the field and stores it.
    void snippets()
    {
        QVERIFY(reader().act(u"push button"_s, u"Ajouter un raccourci"_s));
        QVERIFY(reader().act(u"push button"_s, u"Ajouter un raccourci"_s));
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->snippets().size() == 2; }));
        const QJsonArray saved = stored(u"snippets.json"_s);
        QCOMPARE(saved.size(), 2);
        const QRegularExpression upper(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
        const QString first = saved.at(0)[u"id"_s].toString();
        const QString second = saved.at(1)[u"id"_s].toString();
        QVERIFY2(upper.match(first).hasMatch(), qPrintable(first));
        QVERIFY2(upper.match(second).hasMatch(), qPrintable(second));
        QVERIFY(first != second);

        int writes = 0;
        const auto counting = connect(root_->store(), &Store::fileWritten, this, [&](const QString &file) {
            writes += file == u"snippets.json"_s;
        });
        focus(u"text"_s, u"Quand je dis"_s);
        typeText(u"mon adresse"_s);
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->snippets().at(0).trigger == u"mon adresse"_s; }));
        // The field kept the focus and the whole text.
        const auto field = reader().find(u"text"_s, u"Quand je dis"_s, 0);
        QVERIFY(field);
        QCOMPARE(field->text, u"mon adresse"_s);
        QVERIFY(field->states.contains(u"focused"_s));
        QVERIFY(TestEnv::waitFor([&] { return stored(u"snippets.json"_s).at(0)[u"trigger"_s].toString() == u"mon adresse"_s; }));
        disconnect(counting);
        qInfo("snippets.json written %d times for 11 keystrokes", writes);
        QVERIFY2(writes >= 1 && writes < 11, qPrintable(QString::number(writes)));
        QCOMPARE(root_->store()->snippets().at(1).trigger, QString());

        // The text beside it, on several lines.
        focus(u"text"_s, u"Ombry Voice écrit"_s);
        typeText(u"12 rue des Lilas"_s);
        QVERIFY(DesktopTools::key(u"Return"_s));
        typeText(u"Paris"_s);
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->snippets().at(0).text == u"12 rue des Lilas\nParis"_s; }));
        QCOMPARE(root_->store()->snippets().at(0).trigger, u"mon adresse"_s);

        // The first row goes; the second stays.
        const QUuid kept = root_->store()->snippets().at(1).id;
        QVERIFY(reader().act(u"push button"_s, u"Supprimer le raccourci"_s));
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->snippets().size() == 1; }));
        QCOMPARE(root_->store()->snippets().at(0).id, kept);
        QCOMPARE(stored(u"snippets.json"_s).size(), 1);
        QVERIFY(!shown().contains(u"mon adresse"_s));
    }

    void corrections()
    {
        QVERIFY(reader().act(u"push button"_s, u"Ajouter une correction"_s));
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->corrections().size() == 1; }));
        // Accented letters come from the clipboard: the test keyboard has none.
        focus(u"text"_s, u"Ce qui est entendu"_s);
        QVERIFY(DesktopTools::seedClipboard(u"quèbec"_s));
        QVERIFY(DesktopTools::key(u"ctrl+v"_s));
        focus(u"text"_s, u"Ce qui doit s'écrire"_s);
        QVERIFY(DesktopTools::seedClipboard(u"Québec"_s));
        QVERIFY(DesktopTools::key(u"ctrl+v"_s));
        QJsonArray saved;
        QVERIFY2(TestEnv::waitFor([&] {
            saved = stored(u"corrections.json"_s);
            return saved.size() == 1 && saved.at(0)[u"heard"_s].toString() == u"quèbec"_s
                && saved.at(0)[u"written"_s].toString() == u"Québec"_s;
        }, 5000), QJsonDocument(saved).toJson().constData());
        QCOMPARE(root_->store()->applyCorrections(u"Je pars à quèbec demain"_s), u"Je pars à Québec demain"_s);
    }

    // Forty words make several rows of chips, none past the right edge, none overlapping.
    void wordsWrap()
    {
        root_->store()->setWords(fortyWords());
        // One reading of the whole page, given time: forty chips make a long tree.
        QList<QRect> chips;
        std::optional<AtspiReader::Node> list;
        QVERIFY(TestEnv::waitFor([&] {
            chips.clear();
            for (const AtspiReader::Node &node : reader().nodes(30000)) {
                if (node.role == u"list item"_s)
                    chips << node.extents;
                else if (node.role == u"list"_s && node.name == u"Mes mots"_s)
                    list = node;
            }
            return chips.size() == 40 && list;
        }, 60000));
        QSet<int> rows;
        for (qsizetype i = 0; i < chips.size(); ++i) {
            const QRect &chip = chips.at(i);
            rows.insert(chip.y());
            QVERIFY2(chip.left() >= list->extents.left() && chip.right() <= list->extents.right(),
                     qPrintable(QString::number(i)));
            for (qsizetype j = 0; j < i; ++j)
                QVERIFY(!chip.intersects(chips.at(j)));
            // In reading order: the next chip is to the right on the same row, or below.
            if (i > 0)
                QVERIFY(chip.y() > chips.at(i - 1).y() || (chip.y() == chips.at(i - 1).y() && chip.x() > chips.at(i - 1).x()));
        }
        QVERIFY2(rows.size() >= 3, qPrintable(QString::number(rows.size())));
        QVERIFY(list->extents.height() >= chips.last().bottom() - list->extents.top());

        const QStringList saved = Screenshots::inBothThemes(u"dictionary-page"_s, [this] {
            const bool dark = root_->settings()->theme() == Ombry::Theme::Dark;
            window_->setColor(dark ? QColor(0x1C, 0x1C, 0x1E) : QColor(0xF5, 0xF5, 0xF7));
            TestEnv::waitFor([] { return false; }, 150);
            return Screenshots::scene(window_.get());
        });
        QVERIFY(!saved.contains(QString()));
    }

    // "--snapshot" over a seeded data folder, in both appearances.
    void snapshots_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }
    void snapshots()
    {
        QFETCH(QString, theme);
        ScopedHome home;
        seedFolder(home.path() + u"/.local/share/Ombry Voice"_s);
        QCOMPARE(TestEnv::snapshot(home.path() + u"/shots"_s, theme, home.path()).exitCode, 0);
        for (const QString &page : {u"translator"_s, u"dictionary"_s}) {
            const QImage image(home.path() + u"/shots/"_s + page + u".png"_s);
            QCOMPARE(image.size(), QSize(1200, 900));
            QVERIFY(Screenshots::save(image, u"snapshot-seeded-"_s + page, theme == u"dark"_s).size() > 0);
        }
    }
};

OMBRY_TEST_APP_MAIN(TestTranslatorDictionary)
#include "tst_translator_dictionary.moc"

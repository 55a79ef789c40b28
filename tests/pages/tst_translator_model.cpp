#include "fakes/FakeHttpService.h"
#include "PageSeed.h"
#include "support/TestEnv.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "pages/RecentTranslations.h"
#include "pages/TranslatorModel.h"
#include "platform/Clipboard.h"

#include <QApplication>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kFrench = QStringLiteral("Bonjour à tous, comment allez-vous aujourd'hui ?");

QString systemOf(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray().at(0)[QStringLiteral("content")].toString();
}

// The target named by the first line of the translation prompt.
QString targetOf(const RecordedRequest &request)
{
    const QString first = systemOf(request).section(QLatin1Char('\n'), 0, 0);
    return first.mid(QStringLiteral("Traduis ce texte en ").size()).chopped(1);
}

CorrectionRecord fix(const QString &action, const QString &original)
{
    CorrectionRecord r;
    r.date = QDateTime::currentDateTimeUtc();
    r.appName = QStringLiteral("Ombry Voice");
    r.action = action;
    r.original = original;
    r.result = original.toUpper();
    return r;
}

} // namespace

// The text translator tab's state against a fake model service.
class TestTranslatorModel : public QObject
{
    Q_OBJECT

    FakeHttpService *cloud_ = nullptr;
    // Reply per target, and its delay.
    QHash<QString, QString> replies_;
    QHash<QString, int> delays_;
    QHash<QString, int> statuses_; // by target, 200 when absent
    int status_ = 200;

private Q_SLOTS:
    void init()
    {
        TestEnv::store()->setFixes({});
        cloud_ = new FakeHttpService(this);
        QVERIFY(cloud_->start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_->url().toUtf8());
        TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});
        replies_ = {{QStringLiteral("anglais"), QStringLiteral("Hello everyone, how are you today?")},
                    {QStringLiteral("espagnol"), QStringLiteral("Hola a todos, ¿cómo estáis hoy?")},
                    {QStringLiteral("français"), kFrench}};
        delays_.clear();
        statuses_.clear();
        status_ = 200;
        cloud_->setHandler([this](const RecordedRequest &request) {
            const QString target = targetOf(request);
            const int status = statuses_.value(target, status_);
            ScriptedReply reply = status == 200 ? ScriptedReply::json(chatCompletion(replies_.value(target)))
                                                : ScriptedReply::text("panne du service", status);
            reply.delayMs = delays_.value(target);
            return reply;
        });
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        TestEnv::settings()->setTranslateTarget(QStringLiteral("anglais"));
    }

    void cleanup()
    {
        delete cloud_;
        cloud_ = nullptr;
        qputenv("OMBRY_OPENROUTER_URL", "http://127.0.0.1:9");
    }

    void countText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << "0 caractères";
        QTest::newRow("one") << "a" << "1 caractères";
        QTest::newRow("accent and emoji") << QStringLiteral("Été 🎉") << "5 caractères";
        QTest::newRow("combining accent") << QStringLiteral("e\u0301t\u0301") << "2 caractères";
        QTest::newRow("flag") << QStringLiteral("🇫🇷") << "1 caractères";
    }
    void countText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TranslatorModel::countText(text), expected);
    }

    void sourceTitle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << QString() << "Détection automatique";
        QTest::newRow("french") << kFrench << "Détecté : Français";
        QTest::newRow("english") << "Hello everyone, how are you doing today? I hope the weather is nice."
                                 << "Détecté : Anglais";
    }
    void sourceTitle()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.setSource(text);
        QCOMPARE(tab.sourceTitle(), expected);
    }

    void typingWaitsForAPause()
    {
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        QCOMPARE(tab.target(), QStringLiteral("anglais"));
        tab.setSource(QStringLiteral("Bonjour"));
        QTest::qWait(300);
        tab.setSource(kFrench);
        QTest::qWait(500);
        QCOMPARE(cloud_->count(kChat), 0);
        QVERIFY(TestEnv::waitFor([&] { return tab.result() == replies_[QStringLiteral("anglais")]; }, 5000));
        QCOMPARE(cloud_->count(kChat), 1);
        QCOMPARE(cloud_->requests(kChat).at(0).json()[QStringLiteral("messages")].toArray().at(1)[QStringLiteral("content")].toString(),
                 kFrench);
        QVERIFY(!tab.working());
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("anglais"));
    }

    void blankTextSendsNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("spaces") << "   ";
        QTest::newRow("line breaks") << "\n \n\t";
    }
    void blankTextSendsNothing()
    {
        QFETCH(QString, text);
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return !tab.result().isEmpty(); }, 5000));
        tab.setSource(text);
        QTest::qWait(1000);
        QCOMPARE(cloud_->count(kChat), 1);
        QVERIFY(tab.result().isEmpty());
        tab.setTarget(QStringLiteral("espagnol"));
        QTest::qWait(300);
        QCOMPARE(cloud_->count(kChat), 1);
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("anglais"));
    }

    // A request overtaken by a newer one shows nothing of its own.
    void newerRequestWins_data()
    {
        QTest::addColumn<bool>("changeText");
        QTest::addColumn<int>("oldStatus"); // the overtaken request's reply
        QTest::newRow("target changed") << false << 200;
        QTest::newRow("text changed") << true << 200;
        QTest::newRow("target changed, old one fails") << false << 500;
        QTest::newRow("text changed, old one fails") << true << 500;
    }
    void newerRequestWins()
    {
        QFETCH(bool, changeText);
        QFETCH(int, oldStatus);
        delays_[QStringLiteral("anglais")] = 2000;
        statuses_[QStringLiteral("anglais")] = oldStatus;
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        QSignalSpy errors(&tab, &TranslatorModel::errorChanged);
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return cloud_->count(kChat) == 1; }, 3000));
        QVERIFY(tab.working());
        if (changeText) {
            replies_[QStringLiteral("espagnol")] = QStringLiteral("Hola");
            tab.setTarget(QStringLiteral("espagnol"));
            tab.setSource(QStringLiteral("Salut"));
        } else {
            tab.setTarget(QStringLiteral("espagnol"));
        }
        const QString spanish = replies_[QStringLiteral("espagnol")];
        QVERIFY(TestEnv::waitFor([&] { return tab.result() == spanish; }, 5000));
        QVERIFY(!tab.working());
        // The English reply arrives after the Spanish one and changes nothing.
        QTest::qWait(2200);
        QCOMPARE(tab.result(), spanish);
        QVERIFY(!tab.working());
        QVERIFY(tab.error().isEmpty());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("espagnol"));
    }

    // A request that ends while the newer text still waits for its pause: the spinner
    // stops with it, and its failure is shown; its translation of the old text is not.
    void overtakenRequestEndsBeforeTheNext_data()
    {
        QTest::addColumn<int>("oldStatus");
        QTest::newRow("old one succeeds") << 200;
        QTest::newRow("old one fails") << 500;
    }
    void overtakenRequestEndsBeforeTheNext()
    {
        QFETCH(int, oldStatus);
        delays_[QStringLiteral("anglais")] = 150;
        statuses_[QStringLiteral("anglais")] = oldStatus;
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return cloud_->count(kChat) == 1; }, 3000));
        QList<bool> spinner;
        QStringList errors;
        connect(&tab, &TranslatorModel::workingChanged, this, [&] { spinner << tab.working(); });
        connect(&tab, &TranslatorModel::errorChanged, this, [&] {
            // Only what was shown before the next request left.
            if (cloud_->count(kChat) == 1)
                errors << tab.error();
        });
        tab.setSource(QStringLiteral("Salut à tous"));
        QVERIFY(TestEnv::waitFor([&] { return cloud_->count(kChat) == 2 && !tab.working(); }, 5000));
        // Off when the first ended, on again when the second was sent, off at its end.
        QCOMPARE(spinner, (QList<bool>{false, true, false}));
        if (oldStatus == 200) {
            QVERIFY(errors.isEmpty());
        } else {
            QVERIFY(!errors.isEmpty());
            QVERIFY(!errors.first().isEmpty());
        }
    }

    void failureKeepsResult()
    {
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return !tab.result().isEmpty(); }, 5000));
        const QString before = tab.result();
        status_ = 500;
        tab.setTarget(QStringLiteral("espagnol"));
        QVERIFY(TestEnv::waitFor([&] { return !tab.error().isEmpty(); }, 8000));
        QCOMPARE(tab.result(), before);
        QVERIFY(!tab.working());
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("anglais"));
        // Clearing the text keeps the message; it goes when the next request starts.
        const QString message = tab.error();
        tab.clear();
        QVERIFY(tab.result().isEmpty());
        QCOMPARE(tab.error(), message);
        status_ = 200;
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return tab.error().isEmpty(); }, 3000));
        QVERIFY(TestEnv::waitFor([&] { return !tab.result().isEmpty(); }, 5000));
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("espagnol"));
    }

    // A stored target that is none of the nine selects no entry and is sent as it is.
    void unknownStoredTarget()
    {
        TestEnv::settings()->setTranslateTarget(QStringLiteral("breton"));
        replies_[QStringLiteral("breton")] = QStringLiteral("Demat d'an holl");
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        QCOMPARE(tab.targetIndex(), -1);
        tab.setSource(kFrench);
        QVERIFY(TestEnv::waitFor([&] { return tab.result() == replies_[QStringLiteral("breton")]; }, 5000));
        QCOMPARE(targetOf(cloud_->requests(kChat).at(0)), QStringLiteral("breton"));
        QCOMPARE(TestEnv::settings()->translateTarget(), QStringLiteral("breton"));
        tab.chooseTarget(2);
        QCOMPARE(tab.target(), QStringLiteral("espagnol"));
        QCOMPARE(tab.targetIndex(), 2);
    }

    // The record pairs the shown translation with the text and target it was made from.
    void copyRecordsWhatWasTranslated_data()
    {
        QTest::addColumn<QString>("editAfter");
        QTest::addColumn<QString>("targetAfter");
        QTest::newRow("as translated") << QString() << QString();
        QTest::newRow("text edited since") << "Bonjour à tous" << QString();
        QTest::newRow("target chosen since") << QString() << "allemand";
    }
    void copyRecordsWhatWasTranslated()
    {
        QFETCH(QString, editAfter);
        QFETCH(QString, targetAfter);
        delays_[QStringLiteral("allemand")] = 3000;
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.setSource(kFrench);
        const QString english = replies_[QStringLiteral("anglais")];
        QVERIFY(TestEnv::waitFor([&] { return tab.result() == english; }, 5000));
        if (!editAfter.isEmpty())
            tab.setSource(editAfter);
        if (!targetAfter.isEmpty())
            tab.setTarget(targetAfter);
        tab.copy();
        QCOMPARE(Clipboard::text().value_or(QString()), english);
        QVERIFY(tab.copied());
        const QList<CorrectionRecord> fixes = TestEnv::store()->fixes();
        QCOMPARE(fixes.size(), 1);
        QCOMPARE(fixes.at(0).action, QStringLiteral("Traduire · anglais"));
        QCOMPARE(fixes.at(0).original, kFrench);
        QCOMPARE(fixes.at(0).result, english);
        QCOMPARE(fixes.at(0).appName, QStringLiteral("Ombry Voice"));
        QVERIFY(TestEnv::waitFor([&] { return !tab.copied(); }, 3000));
    }

    void swap_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expectedTarget");
        QTest::newRow("french source") << kFrench << "français";
        QTest::newRow("unrecognised keeps target") << "123 456" << "anglais";
    }
    void swap()
    {
        QFETCH(QString, source);
        QFETCH(QString, expectedTarget);
        TranslatorModel tab(TestEnv::settings(), TestEnv::store(), TestEnv::keys(), nullptr);
        tab.swap(); // nothing to swap yet
        QVERIFY(tab.source().isEmpty());
        replies_[QStringLiteral("anglais")] = QStringLiteral("Hello everyone, how are you today?");
        tab.setSource(source);
        QVERIFY(TestEnv::waitFor([&] { return !tab.result().isEmpty(); }, 5000));
        const QString translated = tab.result();
        tab.swap();
        QCOMPARE(tab.source(), translated);
        QCOMPARE(tab.result(), source);
        QCOMPARE(tab.target(), expectedTarget);
    }

    // The time of a row: hour and minute of the local clock (a French session here).
    void recentTime_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("morning") << QDateTime(QDate(2026, 12, 9), QTime(9, 5, 59)) << "09:05";
        QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 1), QTime(17, 42)) << "17:42";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 7, 14), QTime(0, 0)) << "00:00";
        QTest::newRow("stored in UTC") << QDateTime(QDate(2026, 7, 14), QTime(23, 30)).toUTC() << "23:30";
    }
    void recentTime()
    {
        QFETCH(QDateTime, date);
        QFETCH(QString, expected);
        QCOMPARE(RecentTranslationsModel::timeText(date), expected);
    }

    void recentTranslations_data()
    {
        QTest::addColumn<QStringList>("actions"); // newest first
        QTest::addColumn<QStringList>("expected"); // originals shown
        QTest::newRow("empty") << QStringList{} << QStringList{};
        QTest::newRow("no translation") << QStringList{"Corriger", "Résumer"} << QStringList{};
        QTest::newRow("both kinds") << QStringList{"Traduire", "Corriger", "Traduire · anglais"} << QStringList{"0", "2"};
        QTest::newRow("case matters") << QStringList{"traduire", "Traduction"} << QStringList{};
        QTest::newRow("seven keeps five") << QStringList(7, QStringLiteral("Traduire · espagnol"))
                                          << QStringList{"0", "1", "2", "3", "4"};
    }
    void recentTranslations()
    {
        QFETCH(QStringList, actions);
        QFETCH(QStringList, expected);
        QTemporaryDir folder;
        Store store(folder.path());
        QList<CorrectionRecord> fixes;
        for (qsizetype i = 0; i < actions.size(); ++i)
            fixes.append(fix(actions.at(i), QString::number(i)));
        store.setFixes(fixes);
        RecentTranslationsModel recent(&store);
        const auto originals = [&] {
            QStringList out;
            const int role = recent.roleNames().key("original");
            for (int row = 0; row < recent.rowCount(); ++row)
                out << recent.index(row, 0).data(role).toString();
            return out;
        };
        QCOMPARE(originals(), expected);
        QCOMPARE(recent.count(), int(expected.size()));
        const int time = recent.roleNames().key("time", -1);
        QVERIFY(time >= 0);
        for (int row = 0; row < recent.rowCount(); ++row)
            QCOMPARE(recent.index(row, 0).data(time).toString(),
                     RecentTranslationsModel::timeText(recent.index(row, 0).data(recent.roleNames().key("date")).toDateTime()));

        // A new translation goes on top; the fifth drops out.
        store.addFix(fix(QStringLiteral("Traduire · anglais"), QStringLiteral("new")));
        QStringList after = QStringList{QStringLiteral("new")} + expected;
        if (after.size() > RecentTranslationsModel::limit)
            after.removeLast();
        QCOMPARE(originals(), after);
    }
};

OMBRY_PAGES_TEST_MAIN(TestTranslatorModel, QApplication)
#include "tst_translator_model.moc"

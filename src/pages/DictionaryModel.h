#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/Store.h")

class Store;
class WordsModel;
class SnippetsModel;
class CorrectionsModel;

// The dictionary page's lists over the store and its actions. Made in QML, it is
// given the store, which brings the lists.
class DictionaryModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(QObject *words READ words NOTIFY listsChanged)
    Q_PROPERTY(QObject *snippets READ snippets NOTIFY listsChanged)
    Q_PROPERTY(QObject *corrections READ corrections NOTIFY listsChanged)
    // Said when a file of the dictionary could not be read at start.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice NOTIFY unreadableNoticeChanged)

public:
    explicit DictionaryModel(QObject *parent = nullptr);
    explicit DictionaryModel(Store *store, QObject *parent = nullptr);

    Store *store() const;
    // Once, before the view completes.
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override;

    QObject *words() const;
    QObject *snippets() const;
    QObject *corrections() const;
    QString unreadableNotice() const;

    // Adds the word trimmed of spaces and tabs; false when empty or already listed.
    Q_INVOKABLE bool addWord(const QString &word);
    // Removes every entry equal to the word.
    Q_INVOKABLE void removeWord(const QString &word);
    Q_INVOKABLE void addSnippet();
    Q_INVOKABLE void removeSnippet(const QString &id);
    Q_INVOKABLE void addCorrection();
    Q_INVOKABLE void removeCorrection(const QString &id);
    // Whether the "Ajouter" button of the words card is enabled for this text.
    Q_INVOKABLE static bool canAdd(const QString &word);

Q_SIGNALS:
    void listsChanged();
    void unreadableNoticeChanged();

private:
    QPointer<Store> store_;
    bool started_ = false;
    WordsModel *words_ = nullptr;
    SnippetsModel *snippets_ = nullptr;
    CorrectionsModel *corrections_ = nullptr;
};

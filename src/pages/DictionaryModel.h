#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class WordsModel;
class SnippetsModel;
class CorrectionsModel;

// The dictionary page's lists over the shared store and its actions.
class DictionaryModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject *words READ words CONSTANT)
    Q_PROPERTY(QObject *snippets READ snippets CONSTANT)
    Q_PROPERTY(QObject *corrections READ corrections CONSTANT)
    // Said when a file of the dictionary could not be read at start.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice CONSTANT)

public:
    explicit DictionaryModel(QObject *parent = nullptr);

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

private:
    WordsModel *words_;
    SnippetsModel *snippets_;
    CorrectionsModel *corrections_;
};

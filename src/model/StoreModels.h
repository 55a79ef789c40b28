#pragma once

#include "model/StoreListModel.h"

#include <QUrl>

// The list models the pages show, each over one collection of the given store. Roles
// are named after the record's fields, "id" being the record's UUID in upper case;
// dates are QDateTime, absent optional texts empty.

// The dictation history, newest first. Extra roles: wordCount, wordsPerMinute.
class HistoryModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit HistoryModel(Store *store, QObject *parent = nullptr);

    // The recording of the dictation at this row, when it still exists.
    Q_INVOKABLE QUrl audioUrl(int row) const;

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool removeFromStore(const QString &id) override;
};

// The corrector history (corrections, rewrites, translations, voice commands), newest
// first. "fixes" is a list of maps (id, original, correction, kind, explanation); extra
// role: fixCount.
class FixHistoryModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit FixHistoryModel(Store *store, QObject *parent = nullptr);

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool removeFromStore(const QString &id) override;
};

// The personal words, in the user's order. A word is its own id; roles: id, word.
class WordsModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit WordsModel(Store *store, QObject *parent = nullptr);

    // Appends the word trimmed of spaces and tabs; false when that is empty or listed.
    Q_INVOKABLE bool add(const QString &word);

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool removeFromStore(const QString &id) override;
};

// The voice snippets, in the user's order; trigger and text are editable.
class SnippetsModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit SnippetsModel(Store *store, QObject *parent = nullptr);

    // Appends an empty snippet with a new id; returns that id.
    Q_INVOKABLE QString append();

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool write(qsizetype row, const QByteArray &role, const QString &value) override;
    bool removeFromStore(const QString &id) override;
};

// The heard-to-written corrections, in the user's order; heard and written are editable.
class CorrectionsModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit CorrectionsModel(Store *store, QObject *parent = nullptr);

    // Appends an empty correction with a new id; returns that id.
    Q_INVOKABLE QString append();

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool write(qsizetype row, const QByteArray &role, const QString &value) override;
    bool removeFromStore(const QString &id) override;
};

// The recorded meetings, newest first.
class MeetingsModel : public StoreListModel
{
    Q_OBJECT

public:
    explicit MeetingsModel(Store *store, QObject *parent = nullptr);

protected:
    qsizetype sourceCount() const override;
    QVariantList rowValues(qsizetype row) const override;
    bool removeFromStore(const QString &id) override;
};

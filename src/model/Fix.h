#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// One change that a correction made to a text.
struct Fix
{
    QUuid id = QUuid::createUuid();
    QString original;     // the replaced words joined by one space; "∅" when words were only added
    QString correction;   // the new words; "∅" when words were only removed
    QString kind;         // one of Fix::kinds()
    QString explanation;  // empty until explained
    // Where the correction stands in the corrected text (UTF-16): its words and the
    // blanks between them; for a removal, an empty range where the words were. Known
    // only to the comparison that made the fix: not stored, not compared; -1 when unknown.
    qsizetype at = -1;
    qsizetype length = 0;

    bool operator==(const Fix &other) const;

    // The seven fault kinds, in the order offered to the language model.
    static const QStringList &kinds();

    QJsonObject toJson() const;
    // All five keys are required with string values and a valid UUID.
    static std::optional<Fix> fromJson(const QJsonValue &value);
};
size_t qHash(const Fix &fix, size_t seed = 0);

// A corrected text and its fixes, in text order.
struct Analysis
{
    QString corrected;
    QList<Fix> fixes;
};

// A rewrite action, stored by its raw value.
enum class TextAction { Correct, Formal, Friendly, Concise, Clearer, Email, Summary, Translate };

QString rawValue(TextAction action);
std::optional<TextAction> textActionFromRawValue(const QString &raw);
QList<TextAction> allTextActions();

// UUID text in upper case, as every file stores it.
QString uuidText(const QUuid &id);

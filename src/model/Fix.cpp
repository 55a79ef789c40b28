#include "model/Fix.h"

#include "model/TextUtil.h"

#include <QHash>

namespace {
const char *const kActionRaw[] = {"correct", "formal", "friendly", "concise", "clearer", "email", "summary", "translate"};
}

bool Fix::operator==(const Fix &other) const
{
    return id == other.id && TextUtil::sameText(original, other.original)
           && TextUtil::sameText(correction, other.correction) && TextUtil::sameText(kind, other.kind)
           && TextUtil::sameText(explanation, other.explanation);
}

size_t qHash(const Fix &fix, size_t seed)
{
    const auto nfc = [](const QString &s) { return s.normalized(QString::NormalizationForm_C); };
    return qHashMulti(seed, fix.id, nfc(fix.original), nfc(fix.correction), nfc(fix.kind), nfc(fix.explanation));
}

const QStringList &Fix::kinds()
{
    static const QStringList list = {
        QStringLiteral("orthographe"), QStringLiteral("grammaire"), QStringLiteral("conjugaison"),
        QStringLiteral("accord"),      QStringLiteral("ponctuation"), QStringLiteral("typographie"),
        QStringLiteral("style"),
    };
    return list;
}

QJsonObject Fix::toJson() const
{
    return {
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("original"), original},
        {QStringLiteral("correction"), correction},
        {QStringLiteral("kind"), kind},
        {QStringLiteral("explanation"), explanation},
    };
}

std::optional<Fix> Fix::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    for (const char *key : {"id", "original", "correction", "kind", "explanation"})
        if (!o.value(QLatin1String(key)).isString())
            return std::nullopt;
    const QString idText = o.value(QStringLiteral("id")).toString();
    const QUuid id = QUuid::fromString(idText);
    if (id.isNull() || idText.size() != 36)
        return std::nullopt;
    Fix fix;
    fix.id = id;
    fix.original = o.value(QStringLiteral("original")).toString();
    fix.correction = o.value(QStringLiteral("correction")).toString();
    fix.kind = o.value(QStringLiteral("kind")).toString();
    fix.explanation = o.value(QStringLiteral("explanation")).toString();
    return fix;
}

QString rawValue(TextAction action)
{
    return QString::fromLatin1(kActionRaw[int(action)]);
}

std::optional<TextAction> textActionFromRawValue(const QString &raw)
{
    for (int i = 0; i < int(std::size(kActionRaw)); ++i)
        if (raw == QLatin1String(kActionRaw[i]))
            return TextAction(i);
    return std::nullopt;
}

QList<TextAction> allTextActions()
{
    QList<TextAction> out;
    for (int i = 0; i < int(std::size(kActionRaw)); ++i)
        out.append(TextAction(i));
    return out;
}

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

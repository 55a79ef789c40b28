#include "platform/KeySteps.h"

#include "platform/KeyTable.h"

#include <linux/input-event-codes.h>

#include <utility>

namespace KeySteps {
namespace {

// The keys the program posts; a paste or copy needs no other.
constexpr std::pair<quint16, quint16> kKeys[] = {
    {KeyTable::C, KEY_C},
    {KeyTable::V, KEY_V},
    {KeyTable::Insert, KEY_INSERT},
};

constexpr std::pair<quint64, quint16> kModifiers[] = {
    {KeyTable::Control, KEY_LEFTCTRL},
    {KeyTable::Shift, KEY_LEFTSHIFT},
    {KeyTable::Alt, KEY_LEFTALT},
    {KeyTable::Super, KEY_LEFTMETA},
};

} // namespace

quint16 linuxCode(quint16 key)
{
    for (const auto &[ours, code] : kKeys)
        if (ours == key)
            return code;
    return 0;
}

QList<Step> combination(quint16 key, quint64 modifiers)
{
    const quint16 code = linuxCode(key);
    if (!code)
        return {};
    QList<quint16> held;
    for (const auto &[flag, modifier] : kModifiers)
        if (modifiers & flag)
            held.append(modifier);
    QList<Step> steps;
    for (quint16 modifier : std::as_const(held))
        steps.append({modifier, true});
    steps.append({code, true});
    steps.append({code, false});
    for (auto it = held.crbegin(); it != held.crend(); ++it)
        steps.append({*it, false});
    return steps;
}

QList<quint16> allCodes()
{
    QList<quint16> codes;
    for (const auto &[flag, modifier] : kModifiers)
        codes.append(modifier);
    for (const auto &[ours, code] : kKeys)
        codes.append(code);
    return codes;
}

} // namespace KeySteps

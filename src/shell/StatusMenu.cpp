#include "shell/StatusMenu.h"

#include "model/TextUtil.h"

namespace StatusMenu {

namespace {

Entry separator()
{
    Entry e;
    e.kind = Entry::Kind::Separator;
    return e;
}

Entry item(const QString &title, const QString &symbol, Command command)
{
    Entry e;
    e.title = title;
    e.symbol = symbol;
    e.command = command;
    return e;
}

Entry choice(const QString &title, Command command, const QVariant &value, bool checked)
{
    Entry e = item(title, QString(), command);
    e.value = value;
    e.checkable = true;
    e.checked = checked;
    return e;
}

} // namespace

QString languageName(Language language)
{
    switch (language) {
    case Language::Auto:
        return QStringLiteral("Automatique (je parle plusieurs langues)");
    case Language::Fr:
        return QStringLiteral("Français");
    case Language::En:
        return QStringLiteral("Anglais");
    case Language::Es:
        return QStringLiteral("Espagnol");
    case Language::De:
        return QStringLiteral("Allemand");
    case Language::It:
        return QStringLiteral("Italien");
    }
    return {};
}

QString excerpt(const QString &text)
{
    if (TextUtil::characterCount(text) <= 60)
        return text;
    return TextUtil::firstCharacters(text, 60) + QStringLiteral("…");
}

QList<Entry> build(const Sources &s)
{
    QList<Entry> menu;
    if (s.keyMissing)
        menu << item(QStringLiteral("Clé OpenRouter manquante"), QStringLiteral("key"), Command::OpenSettings) << separator();
    if (s.lastDictation) {
        Entry heading = item(QStringLiteral("Dernière dictée"), QString(), Command::None);
        heading.enabled = false;
        menu << heading << item(excerpt(*s.lastDictation), QStringLiteral("arrow.uturn.down"), Command::PasteLast)
             << separator();
    }
    menu << item(QStringLiteral("Ouvrir Ombry Voice"), QStringLiteral("macwindow"), Command::ShowWindow) << separator();

    const bool callRunning = s.callRunning.value_or(false);
    Entry call = item(callRunning ? QStringLiteral("Arrêter les sous-titres") : QStringLiteral("Sous-titres d'appel en français"),
                      QStringLiteral("captions.bubble"), Command::ToggleCall);
    call.checkable = callRunning;
    call.checked = callRunning;
    call.enabled = s.callRunning.has_value();
    menu << call;

    const bool meetingOn = s.meeting == Meeting::Recording;
    Entry meeting = item(meetingOn ? QStringLiteral("Arrêter la réunion") : QStringLiteral("Démarrer une réunion"),
                         QStringLiteral("person.2.wave.2"), Command::ToggleMeeting);
    meeting.checkable = meetingOn;
    meeting.checked = meetingOn;
    meeting.enabled = s.meeting != Meeting::Unavailable;
    menu << meeting;

    menu << item(QStringLiteral("Corriger la sélection"), QStringLiteral("checkmark.seal"), Command::Correct)
         << item(QStringLiteral("Lire la sélection (Ctrl+Alt+R)"), QStringLiteral("speaker.wave.2"), Command::ReadAloud)
         << separator();

    Entry languages = item(QStringLiteral("Langue : ") + languageName(s.language), QStringLiteral("globe"), Command::None);
    for (Language language : allCases<Language>())
        languages.children << choice(languageName(language), Command::PickLanguage, rawValue(language),
                                     language == s.language);
    menu << languages;

    Entry microphones = item(QStringLiteral("Micro"), QStringLiteral("mic"), Command::None);
    microphones.children << choice(QStringLiteral("Micro du système"), Command::PickMicrophone, QVariant(),
                                   !s.microphoneUID.has_value());
    for (const Microphones::Device &device : s.microphones)
        microphones.children << choice(device.name, Command::PickMicrophone, device.uid, s.microphoneUID == device.uid);
    menu << microphones;

    Entry keys = item(QStringLiteral("Touche : ") + Ombry::label(s.key), QStringLiteral("keyboard"), Command::None);
    // X11 has no Fn key event: it is not offered.
    for (DictationKey key : allCases<DictationKey>())
        if (key != DictationKey::Fn)
            keys.children << choice(Ombry::label(key), Command::PickKey, rawValue(key), key == s.key);
    menu << keys << separator();

    Entry settings = item(QStringLiteral("Réglages…"), QString(), Command::OpenSettings);
    settings.shortcut = QStringLiteral("Ctrl+,");
    Entry quit = item(QStringLiteral("Quitter Ombry Voice"), QString(), Command::Quit);
    quit.shortcut = QStringLiteral("Ctrl+Q");
    menu << settings << quit;
    return menu;
}

} // namespace StatusMenu

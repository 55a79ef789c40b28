#include "shell/LoginItem.h"

#include "model/Defaults.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kFileName = QStringLiteral("ombry-voice.desktop");
const QString kDoneKey = QStringLiteral("loginItemSetOmbry");

void logResult(const QString &outcome)
{
    Log::write(QStringLiteral("démarrage auto: ") + outcome);
}

bool writeEntry(const QByteArray &text, QString *error)
{
    const QString path = LoginItem::entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("impossible de créer le dossier « %1 »").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = QStringLiteral("impossible d'écrire « %1 » (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool systemEntryExists()
{
    for (const QString &path : LoginItem::systemEntryPaths()) {
        if (QFileInfo::exists(path))
            return true;
    }
    return false;
}

} // namespace

namespace LoginItem {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
           + kFileName;
}

QStringList systemEntryPaths()
{
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    QStringList paths;
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        paths << dir + QStringLiteral("/autostart/") + kFileName;
    return paths;
}

QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString out;
    if (quote)
        out += QLatin1Char('"');
    for (const QChar c : argument) {
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
                      || c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
        out += c;
    }
    if (quote)
        out += QLatin1Char('"');
    // The key's value is itself a string value: its own escapes come last.
    QString value;
    for (const QChar c : out) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QByteArray entryText(const QString &program, bool hidden)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Ombry Voice\n"
                                  "Comment=Assistant de dictée : maintiens une touche, parle, le texte s'écrit\n")
                   + QStringLiteral("Exec=") + execArgument(program) + QLatin1Char('\n')
                   + QStringLiteral("Icon=com.corvanel.ombryvoice\n"
                                    "Terminal=false\n"
                                    "StartupNotify=false\n");
    if (hidden)
        text += QStringLiteral("Hidden=true\n");
    else
        text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

void set(bool on)
{
    QString error;
    bool done = true;
    if (on) {
        done = writeEntry(entryText(QCoreApplication::applicationFilePath()), &error);
    } else if (systemEntryExists()) {
        // Removing ours would let the system-wide entry start the program.
        done = writeEntry(entryText(QCoreApplication::applicationFilePath(), true), &error);
    } else {
        QFile file(entryPath());
        if (file.exists() && !file.remove()) {
            done = false;
            error = QStringLiteral("impossible de supprimer « %1 » (%2)").arg(entryPath(), file.errorString());
        }
    }
    logResult(done ? (on ? QStringLiteral("true") : QStringLiteral("false")) : error);
}

bool isEnabled()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return systemEntryExists();
    const QByteArray text = file.readAll();
    return !text.contains("\nHidden=true") && !text.contains("\nX-GNOME-Autostart-enabled=false");
}

void applyDefault(Defaults &defaults)
{
    if (defaults.contains(kDoneKey))
        return;
    defaults.set(kDoneKey, true);
    set(true);
}

} // namespace LoginItem

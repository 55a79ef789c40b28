#include "app/QtFrench.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace QtFrench {

bool install(QCoreApplication *app, const QString &folder)
{
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto *translator = new QTranslator(app);
    // "qt_fr" gathers the catalogues of every Qt module.
    if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qt"), QStringLiteral("_"), where)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

void choosePlatformTheme()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORMTHEME"))
        qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
}

} // namespace QtFrench

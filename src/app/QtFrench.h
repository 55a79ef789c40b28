#pragma once

#include <QString>

class QCoreApplication;

// Qt's own texts and dialogs as a French desktop shows them.
namespace QtFrench {

// Installs Qt's French catalogue (file dialogs, standard buttons, the text
// fields' menu) from `folder`, by default where the system keeps Qt's
// translations. False when it is not installed: Qt's texts stay English.
bool install(QCoreApplication *app, const QString &folder = QString());

// Before the application object: unless the user chose a platform theme, the
// desktop portal's, which keeps the desktop's own theme for everything else and
// opens the desktop's file dialog where a portal offers one (Qt's own otherwise).
void choosePlatformTheme();

} // namespace QtFrench

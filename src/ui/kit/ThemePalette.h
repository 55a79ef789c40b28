#pragma once

#include "model/SettingsTypes.h"

class AppSettings;

// The widgets' palette (menus, dialogs) in the chosen appearance; QML views use
// the Theme singleton instead.
namespace ThemePalette {

void apply(Ombry::Theme theme);
// Applies the settings' theme now and whenever it changes.
void follow(AppSettings *settings);

} // namespace ThemePalette

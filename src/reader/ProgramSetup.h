// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sets the program's title, version and icon (once, for every window and
// message box) and the substitutes for the Chinese fonts the layout names.
void configureApplication();

// Only the program's name and version (for the command line's --version,
// which needs no display).
void nameApplication();

// Loads Qt's own translations for the locale (QLocale()); false when there
// are none for it.
bool installQtTranslations();

#pragma once

// Sets the program's title, version and icon (once, for every window and
// message box) and the substitutes for the Chinese fonts the layout names.
void configureApplication();

// Loads Qt's own translations for the locale (QLocale()); false when there
// are none for it.
bool installQtTranslations();

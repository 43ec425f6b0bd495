// SPDX-License-Identifier: GPL-3.0-or-later
#include "reader/ProgramSetup.h"

#include "platform/Layout.h"
#include "reader/VisibleFocusStyle.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral(SAYRELLA_TITLE));
    QCoreApplication::setApplicationVersion(QStringLiteral(SAYRELLA_VERSION));
}

void configureApplication()
{
    nameApplication();
    // The menu entry's name: Wayland matches the window to its entry (and
    // icon) by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.sayrella.Sayrella"));
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setStyle(new VisibleFocusStyle);
    installChineseFontSubstitutes();
    installQtTranslations();
}

bool installQtTranslations()
{
    // Qt's own texts (the text area's context menu, the message box's
    // button) in the person's language, as the rest of the window is.
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

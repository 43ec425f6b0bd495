#include "reader/ProgramSetup.h"

#include "platform/Layout.h"
#include "resources/Resources.h"

#include <QApplication>

void configureApplication()
{
    QApplication::setApplicationName(QStringLiteral(SAYRELLA_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(SAYRELLA_VERSION));
    QApplication::setWindowIcon(ProgramIcon());
    installChineseFontSubstitutes();
}

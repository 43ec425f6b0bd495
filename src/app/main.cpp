#include "platform/WidgetMessageBox.h"
#include "reader/Layout.h"
#include "reader/frmMain.h"
#include "resources/Resources.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(SAYRELLA_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(SAYRELLA_VERSION));
    QApplication::setWindowIcon(ProgramIcon());
    installChineseFontSubstitutes();

    WidgetMessageBox messageBox;
    frmMain window({CreatePlatformVoice, &messageBox});
    if (!window.Form_Load())
        return 1;
    window.show();
    return app.exec();
}

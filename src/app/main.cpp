#include "platform/WidgetMessageBox.h"
#include "reader/ProgramSetup.h"
#include "reader/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication();

    WidgetMessageBox messageBox;
    frmMain window({CreatePlatformVoice, &messageBox});
    if (!window.Form_Load())
        return 1;
    window.show();
    return app.exec();
}

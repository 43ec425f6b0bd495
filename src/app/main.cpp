#include "platform/WidgetMessageBox.h"
#include "reader/ProgramSetup.h"
#include "reader/frmMain.h"
#include "settings/IniSettingsStore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication();

    WidgetMessageBox messageBox;
    IniSettingsStore settings;
    frmMain window({CreatePlatformVoice, &messageBox, &settings});
    if (!window.Form_Load())
        return 1;
    window.show();
    return app.exec();
}

#include "platform/WidgetMessageBox.h"
#include "platform/linux/HiveRegistry.h"
#include "platform/linux/LocalInstallerPlatform.h"
#include "platform/linux/LocalProcesses.h"
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
    HiveRegistry registry(HiveRegistry::installedHive());
    DetachedProcessLauncher launcher;
    LocalFileSearch files;
    LocalFileSystem fileSystem;
    LocalProcessRunner processes;
    frmMain window({CreatePlatformVoice, &messageBox, &settings, {&registry, &launcher, &files, &messageBox},
                    {&fileSystem, &processes}});
    if (!window.Form_Load())
        return 1;
    window.show();
    return app.exec();
}

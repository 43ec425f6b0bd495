// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"
#include "PlatformVoice.h"
#include "SpeechExport.h"
#include "platform/WidgetMessageBox.h"
#include "platform/linux/HiveRegistry.h"
#include "platform/linux/LocalInstallerPlatform.h"
#include "platform/linux/LocalProcesses.h"
#include "reader/ProgramSetup.h"
#include "reader/frmMain.h"
#include "settings/IniSettingsStore.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace {

// On the command line the program's output is its own: what it saved, what
// failed and why. Qt's notes about the session (a missing XDG_RUNTIME_DIR
// under cron, sudo or a container, a platform plugin's remarks) are not
// ours to print there; only a fatal message, which ends the program, is.
void keepQtQuiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "sayrella: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    CommandLine commandLine;
    qInstallMessageHandler(keepQtQuiet);
    {
        // The whole command line is read before any GUI exists: help, the
        // version and usage errors are answered on any machine, display or
        // not (a GUI application would abort first without one).
        QCoreApplication core(argc, argv);
        nameApplication();
        commandLine.parse(core.arguments());
    }
    // The window's messages go where a desktop program's do, as Qt has them.
    if (commandLine.mode() == CommandLine::Mode::Reader)
        qInstallMessageHandler(nullptr);
    if (commandLine.mode() != CommandLine::Mode::Reader) {
        // Documents in HTML or Markdown need Qt's text layout, which needs a
        // GUI application; none is shown, so no display is needed either.
        // The minimal platform sets up no font configuration; the offscreen
        // one loads all of it at exit only to tear it down, a hundredth of a
        // second at the end of every save.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "minimal");
        QGuiApplication app(argc, argv);
        nameApplication();
        commandLine.parse(app.arguments());
        return runWithoutWindow(commandLine);
    }

    QApplication app(argc, argv);
    configureApplication();
    commandLine.parse(app.arguments());

    WidgetMessageBox messageBox;
    IniSettingsStore settings;
    HiveRegistry registry(HiveRegistry::installedHive());
    DetachedProcessLauncher launcher;
    LocalFileSearch files;
    LocalFileSystem fileSystem;
    LocalProcessRunner processes;
    int status = 0;
    {
        frmMain window({CreatePlatformVoice,
                        &messageBox,
                        &settings,
                        {&registry, &launcher, &files, &messageBox},
                        {&fileSystem, &processes},
                        {},
                        {},
                        CreatePlatformSynthesis});
        if (!window.Form_Load())
            return 1;
        window.show();
        // The document replaces the sample text once read; one that cannot be
        // read is reported with the window up, and the sample text stays.
        if (!commandLine.document().isEmpty())
            window.OpenDocument(commandLine.document());
        status = app.exec();
    }
    // The window's going cancelled any document it was reading, which stops
    // at its next step. One step cannot be interrupted (Qt's import of a
    // huge page): it must not keep a process with no window running.
    if (!QThreadPool::globalInstance()->waitForDone(2000))
        std::_Exit(status);
    return status;
}

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
#include "session/MprisService.h"
#include "session/SessionInstance.h"
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

// A start that finds the session's reader gives it the request and ends:
// true when it should end, with status. One that cannot reach it says why.
bool handedOver(const CommandLine &commandLine, int &status, QDBusConnection bus = QDBusConnection::sessionBus())
{
    QString why;
    switch (SessionInstance::handOver(commandLine.readerRequest(), &why, bus)) {
    case SessionInstance::HandOver::Delivered:
        status = 0;
        return true;
    case SessionInstance::HandOver::NoReader:
        return false;
    case SessionInstance::HandOver::Failed:
        std::fprintf(stderr, "sayrella: 正在运行的朗读器没有接受请求：%s\n", qPrintable(why));
        status = 1;
        return true;
    }
    return false;
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
        // The reader already running takes the request before this start
        // pays for a GUI application. A connection of its own, closed here:
        // Qt's shared session connection would not outlive this application
        // object into the GUI one.
        if (commandLine.mode() == CommandLine::Mode::Reader) {
            int status = 0;
            bool ended = false;
            {
                const QString name = QStringLiteral("sayrella-hand-over");
                ended = handedOver(commandLine, status, QDBusConnection::connectToBus(QDBusConnection::SessionBus, name));
                QDBusConnection::disconnectFromBus(name);
            }
            if (ended)
                return status;
        }
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
    // The session's one reader: a start that finds the name taken hands its
    // request over and ends before any window. (Qt's session bus lives
    // with the application object, so this waits for the GUI one.)
    SessionInstance session;
    if (session.claim() == SessionInstance::Claim::Taken && handedOver(commandLine, status))
        return status;
    {
        frmMain window({CreatePlatformVoice,
                        &messageBox,
                        &settings,
                        {&registry, &launcher, &files, &messageBox},
                        {&fileSystem, &processes},
                        {},
                        {},
                        CreatePlatformSynthesis});
        // Requests that come while the window starts (the first run's voice
        // package being installed) wait for it.
        QList<ReaderRequest> waiting{commandLine.readerRequest()};
        bool ready = false;
        QObject::connect(&session, &SessionInstance::requested, &window, [&](const ReaderRequest &request) {
            if (ready)
                window.HandleRequest(request);
            else
                waiting.append(request);
        });
        if (!window.Form_Load())
            return 1;
        window.show();
        ready = true;
        MprisService player(window);
        QObject::connect(&window, &frmMain::playerChanged, &player, &MprisService::readerChanged);
        player.start();
        // The document replaces the sample text once read; one that cannot be
        // read is reported with the window up, and the sample text stays.
        for (const ReaderRequest &request : std::as_const(waiting))
            window.HandleRequest(request);
        status = app.exec();
    }
    // The window's going cancelled any document it was reading, which stops
    // at its next step. One step cannot be interrupted (Qt's import of a
    // huge page): it must not keep a process with no window running.
    if (!QThreadPool::globalInstance()->waitForDone(2000))
        std::_Exit(status);
    return status;
}

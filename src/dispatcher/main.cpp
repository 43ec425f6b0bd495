// SPDX-License-Identifier: GPL-3.0-or-later
// sd_sayrella: Sayrella's reading as a speech-dispatcher output module, so
// that every program speaking through speech-dispatcher (Orca, Firefox,
// Foliate, spd-say) reads Chinese as the reader does.
#include "dispatcher/SpeechModule.h"
#include "speech/helper/SpeechRenderer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN); // a server that has gone shows as a failed write
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sd_sayrella"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SAYRELLA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sayrella's speech-dispatcher output module. speech-dispatcher starts it and speaks\n"
        "to it on standard input and output; see sayrella(1), SPEECH-DISPATCHER."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("configuration"),
                                 QStringLiteral("The module's configuration file, as speech-dispatcher passes it "
                                                "(sayrella.conf; it holds comments only)."),
                                 QStringLiteral("[configuration]"));
    parser.process(app);

    // The server plays each audio event as it reads it; what waits in the
    // pipe is heard after a stop. The smallest pipe keeps that under a
    // tenth of a second (a no-op where standard output is not a pipe).
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 4096);

    SpeechModule module(STDIN_FILENO, STDOUT_FILENO, [] {
        return std::make_unique<SpeechRenderer>(HelperOptions{}, SpeechRenderer::Pace::Listening);
    });
    return module.run();
}

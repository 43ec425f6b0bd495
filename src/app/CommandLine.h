#pragma once

#include <QCommandLineParser>
#include <QString>

// The program's command line: sayrella [FILE]. --help and --version print
// and end the program before any window (or display) is needed.
class CommandLine
{
public:
    CommandLine();

    // True when the arguments only ask for help or the version: those are
    // answered with a plain QCoreApplication, so no display is needed.
    static bool asksOnlyForInformation(int argc, char *argv[]);

    // Parses the running application's arguments; prints help, the version
    // or a usage error and exits as QCommandLineParser does.
    void process();

    // The document to open at start-up; empty for the sample text.
    QString document() const;

private:
    QCommandLineParser m_parser;
};

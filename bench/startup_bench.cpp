// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time of the reader: from process start to the window's first
// paint, on a start without first-run work. Runs the program's own start-up
// code (configureApplication, frmMain with the real voice, Form_Load, show)
// in fresh child processes on the current display and prints a table.
#include "platform/WidgetMessageBox.h"
#include "reader/ProgramSetup.h"
#include "reader/frmMain.h"
#include "playback/EspeakVoice.h"
#include "settings/IniSettingsStore.h"
#include "settings/StoredSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

// Milliseconds since this process was started by the kernel (10 ms ticks).
double msSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        fields >> field; // field 22 is the start time, in clock ticks since boot
    const double startedMs = std::stod(field) * 1000.0 / sysconf(_SC_CLK_TCK);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6 - startedMs;
}

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            std::printf("%.1f\n", msSinceProcessStart());
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    bool m_done = false;
};

int child(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication();
    WidgetMessageBox messageBox;
    // Not a first run: the marker is already there.
    QTemporaryDir config;
    IniSettingsStore settings(config.path());
    StoredSettings::writeRunTimesDone(settings);
    frmMain window({[] { return std::unique_ptr<SpVoice>(std::make_unique<EspeakVoice>()); }, &messageBox, &settings, {}, {}, {}, {}, {}});
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    if (!window.Form_Load())
        return 1;
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    std::vector<double> runs;
    for (int i = 0; i < 11; ++i) {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        process.waitForFinished(30000);
        bool ok = false;
        const double ms = process.readAllStandardOutput().trimmed().toDouble(&ok);
        if (ok && i > 0) // the first run warms the file cache
            runs.push_back(ms);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("\nStart-up: process start to the reader window's first paint (%zu runs)\n", runs.size());
    if (runs.empty()) {
        std::printf("no run painted a window (is there a display?)\n");
        return 1;
    }
    std::printf("%10s %10s %10s\n", "min ms", "median ms", "max ms");
    std::printf("%10.1f %10.1f %10.1f\n", runs.front(), runs[runs.size() / 2], runs.back());
    return 0;
}

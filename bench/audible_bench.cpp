// SPDX-License-Identifier: GPL-3.0-or-later
// From the click on Speak to the first sample heard at the sound server, for
// the reader and, in the same run, for two other ways of speaking on Linux:
// espeak-ng's command line (a new process) and speech-dispatcher's spd-say
// (a running daemon of the benchmark's own) with its espeak-ng module and
// with ours. Then the processor time a minute of speech costs the
// reader (its own process and its synthesis helper) and the command line.
// Run through tools/with-test-display.sh and tools/with-test-audio.sh (make
// bench): the ear records the test sink's monitor.
#include "AudibleRecorder.h"
#include "BenchText.h"
#include "platform/MessageBox.h"
#include "reader/ProgramSetup.h"
#include "reader/frmMain.h"
#include "settings/IniSettingsStore.h"
#include "session/SessionInstance.h"
#include "settings/StoredSettings.h"
#include "speech/SpVoice.h"
#include "playback/AudioOutput.h"
#include "playback/EspeakVoice.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QPlainTextEdit>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// A benchmark has no one to click a message away: say it and go on.
class PrintedMessages : public MessageBox
{
public:
    void Show(const QString &text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
};

const QString Sentence = QStringLiteral("文字本来是有声音的。");
constexpr int Trials = 7;

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

pid_t spawn(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits, keeping the window's events flowing, until done() or the time is up.
bool waitUntil(const std::function<bool()> &done, int ms)
{
    const std::int64_t until = benchNowNs() + std::int64_t(ms) * 1'000'000;
    while (!done()) {
        if (benchNowNs() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        usleep(500);
    }
    return true;
}

// Milliseconds from starting() to the first sound, or -1 if none came.
double timeToSound(const AudibleRecorder &ear, const std::function<void()> &start, const std::function<void()> &stop)
{
    // Start only after a quiet moment, so the sound found is this trial's.
    std::int64_t quietFrom = benchNowNs();
    waitUntil([&] { return benchNowNs() - quietFrom > 400'000'000 && ear.silentSince(quietFrom); }, 5000);
    const std::int64_t t0 = benchNowNs();
    start();
    std::optional<std::int64_t> heard;
    waitUntil([&] { return bool(heard = ear.firstSoundAfter(t0)); }, 4000);
    stop();
    return heard ? (*heard - t0) / 1e6 : -1;
}

std::vector<double> trials(const AudibleRecorder &ear, const std::function<void()> &start,
                           const std::function<void()> &stop)
{
    timeToSound(ear, start, stop); // warms the caches
    std::vector<double> times;
    for (int i = 0; i < Trials; ++i) {
        const double ms = timeToSound(ear, start, stop);
        if (ms >= 0)
            times.push_back(ms);
    }
    return times;
}

void killAndReap(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool onPath(const char *program) { return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty(); }

// Processor seconds (user + system) used so far by the process or thread
// whose stat file this is.
double cpuSecondsOf(const std::string &statFile)
{
    std::ifstream stat(statFile);
    std::string line;
    std::getline(stat, line);
    if (line.empty())
        return 0;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15; ++i) {
        fields >> field;
        if (i >= 14)
            ticks += std::stol(field); // utime, stime
    }
    return double(ticks) / sysconf(_SC_CLK_TCK);
}

double processCpuSeconds(pid_t pid) { return cpuSecondsOf("/proc/" + std::to_string(pid) + "/stat"); }

// Processor seconds of each of this process's threads, by thread id, with
// its name: where the window's share goes.
std::map<std::string, std::pair<std::string, double>> threadCpuSeconds()
{
    std::map<std::string, std::pair<std::string, double>> threads;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string folder = "/proc/self/task/" + task.toStdString();
        std::ifstream comm(folder + "/comm");
        std::string name;
        std::getline(comm, name);
        threads[task.toStdString()] = {name, cpuSecondsOf(folder + "/stat")};
    }
    return threads;
}

std::vector<pid_t> childProcesses()
{
    std::vector<pid_t> children;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream file("/proc/self/task/" + task.toStdString() + "/children");
        pid_t pid = 0;
        while (file >> pid)
            children.push_back(pid);
    }
    return children;
}

// Every process below pid (its children, theirs, …).
std::vector<pid_t> descendants(pid_t pid)
{
    std::vector<pid_t> all;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const QString &task : QDir(QString::fromStdString(tasks)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream file(tasks + "/" + task.toStdString() + "/children");
        pid_t child = 0;
        while (file >> child) {
            all.push_back(child);
            const std::vector<pid_t> below = descendants(child);
            all.insert(all.end(), below.begin(), below.end());
        }
    }
    return all;
}

std::string commandOf(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// A speech-dispatcher of the benchmark's own, with the espeak-ng module and
// ours side by side, reached through SPEECHD_ADDRESS by every spd-say after
// it: both modules are measured through the same server, as a desktop has it.
class PrivateSpeechDispatcher
{
public:
    explicit PrivateSpeechDispatcher(const QString &folder) : m_folder(folder)
    {
        const std::string f = folder.toStdString();
        waitpid(spawn({"cp", "-r", "/etc/speech-dispatcher", f + "/conf"}), nullptr, 0);
        QDir().mkpath(folder + QStringLiteral("/modules"));
        QFile::link(QStringLiteral(SAYRELLA_MODULE), folder + QStringLiteral("/modules/sd_sayrella"));
        QFile::copy(QStringLiteral(SAYRELLA_MODULE_CONFIG), folder + QStringLiteral("/conf/modules/sayrella.conf"));
        QFile::link(QStringLiteral("/usr/lib/speech-dispatcher-modules/sd_espeak-ng"),
                    folder + QStringLiteral("/modules/sd_espeak-ng"));
        qputenv("SPEECHD_ADDRESS", ("unix_socket:" + f + "/sock").c_str());
        m_pid = spawn({"speech-dispatcher", "-s", "-t", "0", "-C", f + "/conf", "-m", f + "/modules", "-c",
                       "unix_socket", "-S", f + "/sock", "-L", f, "-P", f + "/pid"});
        waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/sock")); }, 10000);
    }
    ~PrivateSpeechDispatcher() { killAndReap(m_pid); }
    bool ok() const { return m_pid > 0 && QFileInfo::exists(m_folder + QStringLiteral("/sock")); }
    pid_t pid() const { return m_pid; }
    // Processor seconds so far of the module's processes (its helper included) and of the server.
    std::pair<double, double> cpuSeconds(const std::string &module) const
    {
        double ours = 0;
        for (pid_t child : descendants(m_pid))
            if (commandOf(child) == module || commandOf(child) == "sayrella-synth")
                ours += processCpuSeconds(child);
        return {ours, processCpuSeconds(m_pid)};
    }

private:
    QString m_folder;
    pid_t m_pid = -1;
};

void say(const std::vector<std::string> &args)
{
    std::vector<std::string> all{"spd-say"};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = spawn(all);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
}

void printTimes(const char *who, const std::vector<double> &times)
{
    if (times.empty()) {
        std::printf("%-34s %8s\n", who, "no sound");
        return;
    }
    std::printf("%-34s %8.1f %8.1f %8.1f %6zu\n", who, *std::min_element(times.begin(), times.end()), median(times),
                *std::max_element(times.begin(), times.end()), times.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    configureApplication();
    const QByteArray sink = qgetenv("SAYRELLA_TEST_SINK");
    if (sink.isEmpty()) {
        std::printf("run through tools/with-test-audio.sh: there is no test sink to listen to\n");
        return 1;
    }

    PrintedMessages messageBox;
    QTemporaryDir config;
    IniSettingsStore settings(config.path());
    StoredSettings::writeRunTimesDone(settings);
    frmMain window({[] { return std::unique_ptr<SpVoice>(std::make_unique<EspeakVoice>()); }, &messageBox, &settings, {}, {}, {}, {}, {}});
    if (!window.Form_Load())
        return 1;
    window.show();
    auto *speak = window.findChild<QPushButton *>(QStringLiteral("cmdSpeak"));
    auto *stop = window.findChild<QPushButton *>(QStringLiteral("cmdStop"));
    auto *text = window.findChild<QPlainTextEdit *>(QStringLiteral("TTS"));
    SpVoice *voice = window.voice();

    // The first click after the start, before anything has been said and
    // before anything records the sink (a recording keeps it awake): what a
    // person starting the reader hears first. Heard is when the server has
    // played the first word's first sample, by its own clock (the voice's
    // Word event), since no recorder may listen yet.
    {
        text->setPlainText(Sentence);
        QTest::qWait(1500); // a person takes this long at least to reach for Speak
        std::int64_t heardNs = 0;
        const auto connection = QObject::connect(voice, &SpVoice::Word, [&] {
            if (!heardNs)
                heardNs = benchNowNs();
        });
        const std::int64_t t0 = benchNowNs();
        speak->click();
        waitUntil([&] { return heardNs != 0; }, 5000);
        stop->click();
        QObject::disconnect(connection);
        std::printf("\nFirst click on Speak after the start, no warm-up, to the first word played: %s\n",
                    heardNs ? qPrintable(QStringLiteral("%1 ms").arg((heardNs - t0) / 1e6, 0, 'f', 1)) : "nothing played");
        QTest::qWait(500);
    }

    double readerShort = -1;
    double fasterPeer = -1;
    QTemporaryDir speechdFolder;
    std::optional<PrivateSpeechDispatcher> speechd;
    {
        auto ear = std::make_unique<AudibleRecorder>(sink.toStdString() + ".monitor");
        if (!ear->ok()) {
            std::printf("cannot record the monitor of %s\n", sink.constData());
            return 1;
        }
        QTest::qWait(1000); // the ear's own stream settles the sink before anything is measured
        std::printf("\nClick on Speak to the first audible sample at the sound server (%d trials each, one run)\n",
                    Trials);
        std::printf("%-34s %8s %8s %8s %6s\n", "who / text", "min ms", "p50 ms", "max ms", "heard");

        const struct
        {
            const char *name;
            qsizetype units;
        } sizes[] = {{"reader, the sentence", -1},
                     {"reader, 100 characters", 100},
                     {"reader, 10,625 characters", 10625},
                     {"reader, 1 MB (UTF-8)", 1000000 / 3},
                     {"reader, 10 MB (UTF-8)", 10000000 / 3}};
        for (const auto &size : sizes) {
            // Every text begins with the same sentence, so that only its length differs.
            text->setPlainText(size.units < 0 ? Sentence : Sentence + benchText(size.units - Sentence.size()));
            const auto times = trials(
                *ear, [&] { QTest::mouseClick(speak, Qt::LeftButton); },
                [&] { QTest::mouseClick(stop, Qt::LeftButton); });
            printTimes(size.name, times);
            if (size.units < 0)
                readerShort = median(times);
        }

        // Reading from another program: with the reader running, the key's
        // command `sayrella --speak-selection` (a process of its own, which
        // hands over on the session bus and ends) to the selection heard.
        SessionInstance session;
        if (session.claim() == SessionInstance::Claim::Owned && onPath("xclip")) {
            QObject::connect(&session, &SessionInstance::requested, &window,
                             [&](const ReaderRequest &request) { window.HandleRequest(request); });
            const std::string selected = Sentence.toStdString();
            pid_t owner = spawn({"sh", "-c", "printf '%s' \"$0\" | xclip -selection primary", selected});
            waitpid(owner, nullptr, 0);
            pid_t starter = -1;
            const auto selectionTimes = trials(
                *ear, [&] { starter = spawn({SAYRELLA_PROGRAM, "--speak-selection"}); },
                [&] {
                    QTest::mouseClick(stop, Qt::LeftButton);
                    waitUntil([&] { return waitpid(starter, nullptr, WNOHANG) == starter; }, 5000);
                });
            printTimes("sayrella --speak-selection", selectionTimes);
            if (readerShort > 0)
                std::printf("--speak-selection / click on Speak (the sentence): %.2f\n", median(selectionTimes) / readerShort);
        } else {
            std::printf("%-34s %8s\n", "sayrella --speak-selection", "no session bus or xclip");
        }

        pid_t cli = -1;
        const auto cliTimes = trials(
            *ear,
            [&] {
                cli = spawn({"espeak-ng", "-v", "cmn", Sentence.toStdString()});
            },
            [&] { killAndReap(cli); });
        printTimes("espeak-ng -v cmn (new process)", cliTimes);
        fasterPeer = median(cliTimes);

        if (onPath("spd-say") && onPath("speech-dispatcher")) {
            // A running server, as on a desktop: each module is started by
            // its first message, and the trials measure it warm.
            speechd.emplace(speechdFolder.path());
            if (!speechd->ok())
                std::printf("%-34s %8s\n", "speech-dispatcher", "did not start");
            double espeakModule = -1;
            for (const char *module : {"espeak-ng", "sayrella"}) {
                say({"-w", "-o", module, "-l", "zh", "好"});
                const auto times = trials(
                    *ear, [&] { say({"-o", module, "-l", "zh", Sentence.toStdString()}); },
                    [&] { say({"-C"}); });
                printTimes(qPrintable(QStringLiteral("spd-say -o %1 (running daemon)").arg(QLatin1String(module))), times);
                if (times.empty())
                    continue;
                if (module == std::string("espeak-ng")) {
                    espeakModule = median(times);
                    if (fasterPeer < 0 || espeakModule < fasterPeer)
                        fasterPeer = espeakModule;
                } else if (espeakModule > 0) {
                    std::printf("sayrella module / espeak-ng module: %.2f (target <= 1.20)\n",
                                median(times) / espeakModule);
                }
            }
            // A stop (spd-say -C, as Orca stops speech at a key press) to
            // the last sound heard, a second into a long text.
            for (const char *module : {"espeak-ng", "sayrella"}) {
                std::vector<double> stops;
                for (int i = 0; i < Trials; ++i) {
                    say({"-o", module, "-l", "zh", benchText(600).toStdString()});
                    QTest::qWait(1200);
                    const std::int64_t t0 = benchNowNs();
                    say({"-C"});
                    QTest::qWait(1000);
                    if (const auto last = ear->lastSoundBefore(benchNowNs()))
                        stops.push_back(std::max<double>(0, (*last - t0) / 1e6));
                }
                printTimes(qPrintable(QStringLiteral("stop heard, spd-say -o %1").arg(QLatin1String(module))), stops);
            }
        } else {
            std::printf("%-34s %8s\n", "spd-say", "not installed");
        }
        if (readerShort >= 0 && fasterPeer > 0)
            std::printf("reader / faster peer (the sentence): %.2f (target <= 0.80)\n", readerShort / fasterPeer);
    }

    // A minute or so of speech, heard to the end, by the reader (with its
    // window and highlight) and by the command line at the same speed.
    std::printf("\nProcessor time per minute of speech (user + system)\n");
    std::printf("%-34s %10s %10s %12s\n", "who", "speech s", "cpu s", "cpu s / min");
    const QString minute = benchText(280);
    text->setPlainText(minute);
    auto *espeak = qobject_cast<EspeakVoice *>(voice);
    const int underrunsBefore = espeak ? espeak->output().underruns() : 0;
    const double helperBefore = [] {
        double total = 0;
        for (pid_t child : childProcesses())
            total += processCpuSeconds(child);
        return total;
    }();
    const double selfBefore = processCpuSeconds(getpid());
    const auto threadsBefore = threadCpuSeconds();
    const std::int64_t readerStart = benchNowNs();
    // Waits in the event loop, as the program does: a polling wait would
    // be counted as the reader's own time.
    QEventLoop heard;
    QObject::connect(voice, &SpVoice::stateChanged, &heard, [&] {
        if (voice->state() == SpVoice::State::Ready)
            heard.quit();
    });
    QTimer::singleShot(300000, &heard, &QEventLoop::quit);
    QTest::mouseClick(speak, Qt::LeftButton);
    heard.exec();
    const double readerSeconds = (benchNowNs() - readerStart) / 1e9;
    const double windowCpu = processCpuSeconds(getpid()) - selfBefore;
    double helperCpu = -helperBefore;
    for (pid_t child : childProcesses())
        helperCpu += processCpuSeconds(child);
    const double readerCpu = windowCpu + helperCpu;
    std::printf("%-34s %10.1f %10.2f %12.3f\n", "reader (window + helper)", readerSeconds, readerCpu,
                readerCpu * 60 / readerSeconds);
    std::printf("%-34s %10s %10.2f %12.3f\n", "  of which the window's process", "", windowCpu,
                windowCpu * 60 / readerSeconds);
    std::printf("%-34s %10s %10.2f %12.3f\n", "  of which the synthesis helper", "", helperCpu,
                helperCpu * 60 / readerSeconds);
    for (const auto &[tid, thread] : threadCpuSeconds()) {
        const auto before = threadsBefore.find(tid);
        const double spent = thread.second - (before == threadsBefore.end() ? 0 : before->second.second);
        if (spent > 0)
            std::printf("    window thread %-18s %10s %10.2f %12.3f\n", thread.first.c_str(), "", spent,
                        spent * 60 / readerSeconds);
    }

    if (espeak)
        std::printf("    the stream ran dry %d time(s) (once is the text's end)\n",
                    espeak->output().underruns() - underrunsBefore);

    const std::int64_t cliStart = benchNowNs();
    const pid_t cli = spawn({"espeak-ng", "-v", "cmn", "-s", "280", minute.toStdString()});
    rusage usage{};
    wait4(cli, nullptr, 0, &usage);
    const double cliSeconds = (benchNowNs() - cliStart) / 1e9;
    const double cliCpu =
        usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    std::printf("%-34s %10.1f %10.2f %12.3f\n", "espeak-ng -v cmn -s 280", cliSeconds, cliCpu,
                cliCpu * 60 / cliSeconds);
    std::printf("reader / command line: %.2f (target <= 1.20)\n", (readerCpu / readerSeconds) / (cliCpu / cliSeconds));

    // The same minute through our speech-dispatcher module, heard to its end
    // (spd-say -w): the module and its helper, and apart from them what the
    // server spends playing the module's audio.
    if (speechd && speechd->ok()) {
        double moduleRate = -1;
        for (const char *module : {"sayrella", "espeak-ng"}) {
            const std::string program = std::string("sd_") + module;
            say({"-w", "-o", module, "-l", "zh", "好"});
            const auto before = speechd->cpuSeconds(program);
            const std::int64_t start = benchNowNs();
            say({"-w", "-o", module, "-l", "zh", minute.toStdString()});
            const double seconds = (benchNowNs() - start) / 1e9;
            const auto after = speechd->cpuSeconds(program);
            const double own = after.first - before.first, server = after.second - before.second;
            std::printf("%-34s %10.1f %10.2f %12.3f\n", qPrintable(QStringLiteral("%1 (module + helper)").arg(
                                                            QString::fromStdString(program))),
                        seconds, own, own * 60 / seconds);
            std::printf("%-34s %10s %10.2f %12.3f\n", "  and the server playing it", "", server, server * 60 / seconds);
            if (moduleRate < 0) {
                moduleRate = own / seconds;
                std::printf("module / reader: %.2f (target <= 1.20)\n", moduleRate / (readerCpu / readerSeconds));
            }
        }
    }
    return 0;
}

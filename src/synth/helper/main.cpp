// SPDX-License-Identifier: GPL-3.0-or-later
// sayrella-synth: the reader's synthesis helper. It alone links libespeak-ng,
// reads commands on file descriptor 3 and answers there with samples and
// words. It confines itself before the engine starts (and with it the
// engine's own thread), so that whatever the user's text does to the engine
// stays inside this process, on every thread of it.
//
//   sayrella-synth [--data FOLDER] [--voices FOLDER]... [--readings FILE] [--pinyin [--spoken]]
//
// --readings names the Mandarin phrase dictionary; without it, Mandarin voices
// read as the engine's own dictionaries have it. --pinyin reads lines on
// standard input and writes, for each, the reading a Mandarin voice is given
// (see MandarinFrontEnd::pinyinLine), confined just the same; with --spoken,
// with the tones as they are said.
#include "synth/helper/CommandChannel.h"
#include "synth/helper/EspeakEngine.h"
#include "synth/mandarin/MandarinFrontEnd.h"
#include "synth/mandarin/PolyphoneModel.h"
#include "synth/mandarin/ReadingDictionary.h"
#include "synth/mandarin/TextNormaliser.h"
#include "synth/sandbox/Sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace SynthProtocol;

#if defined(__SANITIZE_ADDRESS__)
// The leak check at exit needs to fork a tracer, which the sandbox forbids.
extern "C" int __lsan_is_turned_off() { return 1; }
#endif

namespace {

constexpr int ChannelFd = 3;

bool handle(const Frame &command, CommandChannel &channel, EspeakEngine &engine)
{
    if (command.type == Type::SetVoice) {
        QString id;
        if (!decode(command.payload, id))
            return false;
        const QString error = engine.selectVoice(id);
        return error.isEmpty() || channel.send(encode(Type::Failed, quint64(0), error));
    }
    quint64 generation = 0;
    qint32 stream = 0;
    bool markup = false;
    qint64 offset = 0;
    bool final = false;
    QString text;
    if (!decode(command.payload, generation, stream, markup, offset, final, text) || offset < 0)
        return false;
    if (generation < channel.cancelledBefore())
        return !final || channel.send(encode(Type::Done, generation, stream));
    return engine.speak({generation, stream, offset, final}, text, markup);
}

// --pinyin: a line of readings for each line read, until the input ends.
int printReadings(const MandarinFrontEnd &frontEnd, MandarinFrontEnd::Tones tones)
{
    QFile in, out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 1;
    for (;;) {
        // A pipe is not known to be at its end until a read finds nothing,
        // so the end shows as an empty read, not as atEnd() before it: an
        // input of N lines gives N lines, not N + 1.
        QByteArray line = in.readLine();
        if (line.isEmpty())
            break;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (out.write(frontEnd.pinyinLine(QString::fromUtf8(line), tones).toUtf8() + '\n') < 0)
            return 1;
    }
    return out.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN); // a reader that has gone shows as a failed write
    // The written-form patterns are matched by the interpreter: compiling
    // them to machine code cost a millisecond of every start for no measurable
    // gain in speed, and the confined helper refuses executable memory.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
    QByteArray dataPath, readingsPath;
    QByteArrayList readable;
    bool pinyin = false, spoken = false;
    int bufferMs = 100, frameMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pinyin") == 0)
            pinyin = true;
        else if (std::strcmp(argv[i], "--spoken") == 0)
            spoken = true;
        else if (i + 1 >= argc)
            break;
        else if (std::strcmp(argv[i], "--data") == 0)
            dataPath = argv[++i];
        else if (std::strcmp(argv[i], "--voices") == 0)
            readable.append(argv[++i]);
        else if (std::strcmp(argv[i], "--readings") == 0)
            readingsPath = argv[++i];
        else if (std::strcmp(argv[i], "--buffer-ms") == 0)
            bufferMs = std::clamp(std::atoi(argv[++i]), 20, 1000);
        else if (std::strcmp(argv[i], "--frame-ms") == 0)
            frameMs = std::clamp(std::atoi(argv[++i]), 0, 10000);
    }
    // Mapped before the sandbox closes; read-only afterwards.
    ReadingDictionary dictionary;
    const QString dictionaryError = readingsPath.isEmpty() ? QString() : dictionary.open(QFile::decodeName(readingsPath));
    // The reading model of polyphones lies beside the dictionary: the two
    // are made and installed together. Without it the dictionary and the
    // context rules read alone, as they did before there was a model.
    PolyphoneModel polyphones;
    if (dictionary.isOpen()) {
        const QString modelPath =
            QFileInfo(QFile::decodeName(readingsPath)).dir().filePath(QStringLiteral("mandarin-polyphones.bin"));
        if (const QString error = polyphones.open(modelPath); !error.isEmpty())
            std::fprintf(stderr, "sayrella-synth: %s\n", qPrintable(error));
    }
    const MandarinFrontEnd frontEnd(dictionary, polyphones.isOpen() ? &polyphones : nullptr);
    if (dictionary.isOpen()) {
        TextNormaliser::prepare();
        // One reading now, before the sandbox closes, so that the first text
        // does not pay for what runs once: the written-form patterns' first
        // match (their compiled code needs executable memory, refused later),
        // the dictionary's first lookups, the code's first page faults.
        (void)frontEnd.read(u"文字本来是有声音的：2008年8月8日，3.5%，OK。");
    }
    if (pinyin) {
        if (!dictionary.isOpen()) {
            std::fprintf(stderr, "sayrella-synth: %s\n",
                         qPrintable(dictionaryError.isEmpty() ? QStringLiteral("没有普通话词典（--readings）。") : dictionaryError));
            return 1;
        }
        if (!Sandbox::confine({}).complete())
            return 1;
        return printReadings(frontEnd, spoken ? MandarinFrontEnd::Tones::Spoken : MandarinFrontEnd::Tones::Dictionary);
    }

    CommandChannel channel(ChannelFd);
    readable.prepend(EspeakEngine::locateData(dataPath));
    const Sandbox::Report confinement = Sandbox::confine(readable);
    if (!confinement.complete()) {
        // A thread that escaped the confinement would be a way out of it.
        channel.send(encode(Type::StartFailed,
                            QStringLiteral("语音合成程序无法把自己的每个线程都限制在沙盒中（线程数 %1，seccomp %2）。")
                                .arg(confinement.threadsBefore)
                                .arg(confinement.seccomp ? 1 : 0)));
        return 1;
    }
    EspeakEngine engine(channel, dictionary.isOpen() ? &frontEnd : nullptr);
    const QString error = engine.initialise(dataPath, bufferMs, frameMs);
    if (!error.isEmpty()) {
        channel.send(encode(Type::StartFailed, error));
        return 1;
    }
    if (!channel.send(encode(Type::Hello, Version, qint32(engine.sampleRate()), engine.voices())))
        return 0;

    while (channel.pump(true)) {
        while (channel.hasCommand())
            if (!handle(channel.takeCommand(), channel, engine))
                return 0;
    }
    return 0;
}

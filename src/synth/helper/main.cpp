// SPDX-License-Identifier: GPL-3.0-or-later
// sayrella-synth: the reader's synthesis helper. It alone links libespeak-ng,
// reads commands on file descriptor 3 and answers there with samples and
// words. It confines itself before the engine starts (and with it the
// engine's own thread), so that whatever the user's text does to the engine
// stays inside this process, on every thread of it.
//
//   sayrella-synth [--data FOLDER] [--voices FOLDER]...
#include "synth/helper/CommandChannel.h"
#include "synth/helper/EspeakEngine.h"
#include "synth/sandbox/Sandbox.h"

#include <csignal>
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

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN); // a reader that has gone shows as a failed write
    QByteArray dataPath;
    QByteArrayList readable;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--data") == 0)
            dataPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--voices") == 0)
            readable.append(argv[i + 1]);
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
    EspeakEngine engine(channel);
    const QString error = engine.initialise(dataPath);
    if (!error.isEmpty()) {
        channel.send(encode(Type::StartFailed, error));
        return 1;
    }
    if (!channel.send(encode(Type::Hello, qint32(engine.sampleRate()), engine.voices())))
        return 0;

    while (channel.pump(true)) {
        while (channel.hasCommand())
            if (!handle(channel.takeCommand(), channel, engine))
                return 0;
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// With no sound server and no sound card the voice still starts (so the
// reader window can open), and Speak says clearly why nothing can be heard.
#include "platform/Failure.h"
#include "playback/EspeakVoice.h"

#include <QElapsedTimer>
#include <QTest>

class TestEspeakNoDevice : public QObject
{
    Q_OBJECT

private slots:
    void speakFailsWithADescription()
    {
        EspeakVoice voice;
        QVERIFY(voice.GetVoices({}, {}).Count() > 0);
        voice.setRate(3);
        voice.setVolume(50);
        voice.Pause();
        voice.Resume();
        QElapsedTimer clock;
        clock.start();
        try {
            voice.Speak(QStringLiteral("你好"), ReaderSpeakFlags);
            QFAIL("Speak cannot succeed without an audio output");
        } catch (const Failure &failure) {
            QVERIFY(failure.description().contains(QStringLiteral("音频输出")));
        }
        QVERIFY(clock.elapsed() < 5000);
        voice.Speak(QString(), SVSFPurgeBeforeSpeak); // stopping needs no device
    }
};

QTEST_GUILESS_MAIN(TestEspeakNoDevice)
#include "tst_espeaknodevice.moc"

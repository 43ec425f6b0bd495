// SPDX-License-Identifier: GPL-3.0-or-later
// espeak-ng without its data cannot start: the voice is not created, and the
// failure says why.
#include "platform/Failure.h"
#include "playback/EspeakVoice.h"

#include <QTemporaryDir>
#include <QTest>

class TestEspeakNoData : public QObject
{
    Q_OBJECT

private slots:
    void missingDataFailsWithADescription()
    {
        QTemporaryDir empty;
        EspeakVoice::Options options;
        options.dataPath = empty.path().toLocal8Bit();
        try {
            EspeakVoice voice(options);
            QFAIL("the voice must not start without its data");
        } catch (const Failure &failure) {
            QVERIFY(failure.description().contains(QStringLiteral("espeak-ng")));
            QVERIFY(failure.description().contains(empty.path()));
        }
        // A failed start leaves nothing behind: the installed data still works.
        EspeakVoice voice;
        QVERIFY(voice.GetVoices({}, {}).Count() > 0);
    }
};

QTEST_GUILESS_MAIN(TestEspeakNoData)
#include "tst_espeaknodata.moc"

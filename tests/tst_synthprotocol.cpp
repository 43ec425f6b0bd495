// SPDX-License-Identifier: GPL-3.0-or-later
// The frames between the reader and its helper: which types and lengths
// each side takes, and frames cut anywhere on the way.
#include "synth/protocol/SynthProtocol.h"

#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace SynthProtocol;

Q_DECLARE_METATYPE(SynthProtocol::Direction)

namespace {

QByteArray header(quint32 type, quint32 length)
{
    QByteArray bytes(HeaderSize, Qt::Uninitialized);
    qToLittleEndian<quint32>(type, bytes.data());
    qToLittleEndian<quint32>(length, bytes.data() + 4);
    return bytes;
}

} // namespace

class TestSynthProtocol : public QObject
{
    Q_OBJECT

private slots:
    void headerIsTakenOrRefused_data();
    void headerIsTakenOrRefused();
    void framesCutAnywhereArriveWhole();
    void payloadMustDecodeExactly();
    void pcmFrameBuiltInPlaceIsTheEncodedOne();
    void pcmViewSeesWhatDecodeGives();
};

void TestSynthProtocol::headerIsTakenOrRefused_data()
{
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<bool>("broken");
    const auto from = Direction::FromHelper, to = Direction::ToHelper;
    QTest::newRow("samples at the helper's limit") << from << quint32(Type::Pcm) << MaxFromHelper << false;
    QTest::newRow("samples one byte over it") << from << quint32(Type::Pcm) << MaxFromHelper + 1 << true;
    QTest::newRow("a long text to the helper") << to << quint32(Type::Speak) << MaxFromHelper + 1 << false;
    QTest::newRow("a text at the reader's limit") << to << quint32(Type::Speak) << MaxToHelper << false;
    QTest::newRow("a text one byte over it") << to << quint32(Type::Speak) << MaxToHelper + 1 << true;
    QTest::newRow("every type from the helper") << from << quint32(Type::Mark) << 0u << false;
    QTest::newRow("every command to the helper") << to << quint32(Type::SetPitch) << 0u << false;
    // A helper that sends commands, or a reader that sends samples, is broken.
    QTest::newRow("a command from the helper") << from << quint32(Type::Speak) << 0u << true;
    QTest::newRow("a cancel from the helper") << from << quint32(Type::Cancel) << 0u << true;
    QTest::newRow("samples to the helper") << to << quint32(Type::Pcm) << 0u << true;
    QTest::newRow("a greeting to the helper") << to << quint32(Type::Hello) << 0u << true;
    QTest::newRow("type 0") << from << 0u << 0u << true;
    QTest::newRow("type after the helper's last") << from << quint32(Type::Mark) + 1 << 0u << true;
    QTest::newRow("type after the reader's last") << to << quint32(Type::SetPitch) + 1 << 0u << true;
}

// Refused on its header alone: nothing waits for a payload that is never
// taken, however long it claims to be.
void TestSynthProtocol::headerIsTakenOrRefused()
{
    QFETCH(Direction, direction);
    QFETCH(quint32, type);
    QFETCH(quint32, length);
    QFETCH(bool, broken);
    FrameReader reader(direction);
    const QByteArray head = header(type, length);
    reader.append(head.constData(), head.size());
    if (broken) {
        QVERIFY(!reader.next());
        QVERIFY(reader.broken());
        return;
    }
    if (length > (64u << 20))
        return;
    if (length > 0) {
        QVERIFY(!reader.next()); // the payload has yet to come
        const QByteArray payload(qsizetype(length), 'x');
        reader.append(payload.constData(), payload.size());
    }
    const std::optional<Frame> frame = reader.next();
    QVERIFY(!reader.broken());
    QVERIFY(frame);
    QCOMPARE(quint32(frame->type), type);
    QCOMPARE(frame->payload.size(), qsizetype(length));
}

void TestSynthProtocol::framesCutAnywhereArriveWhole()
{
    const QByteArray stream = encode(Type::Word, quint64(7), qint32(1), qint64(0), qint64(3), qint64(2))
        + frame(Type::Pcm, QByteArray(70000, 'p')) + encode(Type::Done, quint64(7), qint32(1));
    for (const int step : {1, 7, 8, 9, 4096, 70000}) {
        // Appended and copied out, or read in place into more room than the
        // read fills and looked at where it lies.
        for (const bool inPlace : {false, true}) {
            FrameReader reader(Direction::FromHelper);
            QList<Type> types;
            for (qsizetype at = 0; at < stream.size(); at += step) {
                const qsizetype n = std::min<qsizetype>(step, stream.size() - at);
                if (inPlace) {
                    std::memcpy(reader.room(n + 100), stream.constData() + at, std::size_t(n));
                    reader.commit(n);
                    // A view stays good while the reader is not used again.
                    while (const std::optional<FrameView> view = reader.nextView()) {
                        types.append(view->type);
                        if (view->type == Type::Pcm)
                            QVERIFY(view->payload == QByteArray(70000, 'p'));
                    }
                } else {
                    reader.append(stream.constData() + at, n);
                    while (const std::optional<Frame> frame = reader.next())
                        types.append(frame->type);
                }
                QVERIFY(!reader.broken());
            }
            QCOMPARE(types, (QList<Type>{Type::Word, Type::Pcm, Type::Done}));
            QVERIFY(!reader.partial());
        }
    }
}

void TestSynthProtocol::payloadMustDecodeExactly()
{
    quint64 generation = 0;
    qint32 stream = 0;
    const QByteArray payload = encode(Type::Done, quint64(9), qint32(4)).mid(HeaderSize);
    QVERIFY(decode(payload, generation, stream));
    QCOMPARE(generation, 9u);
    QVERIFY(!decode(payload + 'x', generation, stream)); // a byte too many
    QVERIFY(!decode(payload.chopped(1), generation, stream)); // a byte too few
}

void TestSynthProtocol::pcmFrameBuiltInPlaceIsTheEncodedOne()
{
    const qint16 samples[] = {1, -2, 32767, -32768};
    const QByteArray bytes(reinterpret_cast<const char *>(samples), sizeof samples);
    QByteArray out("xy"); // appended after what is there
    appendPcm(out, 0x0102030405060708u, samples, 4);
    QCOMPARE(out, "xy" + encode(Type::Pcm, quint64(0x0102030405060708u), bytes));
}

void TestSynthProtocol::pcmViewSeesWhatDecodeGives()
{
    const QByteArray samples = encode(Type::Pcm, quint64(5), QByteArray("abcd")).mid(HeaderSize);
    const QByteArray none = encode(Type::Pcm, quint64(6), QByteArray()).mid(HeaderSize);
    for (const QByteArray &payload : {samples, none, samples + 'x', samples.chopped(1), samples.left(11)}) {
        quint64 generation = 0;
        QByteArray bytes;
        const bool decoded = decode(payload, generation, bytes);
        const std::optional<PcmView> view = pcmView(payload);
        QCOMPARE(bool(view), decoded);
        if (view) {
            QCOMPARE(view->generation, generation);
            QCOMPARE(QByteArray(view->bytes, view->size), bytes);
        }
    }
}

QTEST_GUILESS_MAIN(TestSynthProtocol)
#include "tst_synthprotocol.moc"

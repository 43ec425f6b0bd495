// SPDX-License-Identifier: GPL-3.0-or-later
// The reader on a real session bus (its own, from dbus-run-session): one
// owner of the name, requests handed over from a second connection as a
// second start makes them, and the MPRIS player's properties and
// PropertiesChanged signals as a client sees them (its commands, through
// playerctl, are the end-to-end test's).
#include "session/MprisService.h"
#include "session/SessionInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <future>

namespace {

// A second client of the bus: a connection of its own, as another process has.
QDBusConnection otherClient(const QString &name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

// The calls below are answered by this very process: a blocking call on
// the test's thread would wait for itself. They are made on another
// thread, or asynchronously, while the event loop runs.
SessionInstance::HandOver handOverFromAnotherStart(const ReaderRequest &request, QString *why = nullptr)
{
    auto done = std::async(std::launch::async, [&] {
        return SessionInstance::handOver(request, why, otherClient(QStringLiteral("second-start")));
    });
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return done.get();
}

QDBusMessage callAndWait(const QDBusConnection &client, const QDBusMessage &call)
{
    QDBusPendingCall pending = client.asyncCall(call);
    while (!pending.isFinished())
        QTest::qWait(5);
    return pending.reply();
}

class FakeReader : public ReaderRemote
{
public:
    void play() override { }
    void pause() override { }
    void playPause() override { }
    void stop() override { }
    void nextSentence() override { }
    void previousSentence() override { }
    void bringToFront() override { }
    void quitReader() override { }
    void openDocument(const QString &) override { }
    Status status() const override { return state; }
    bool canPlay() const override { return !text.isEmpty(); }
    bool canGoNext() const override { return next; }
    bool canGoPrevious() const override { return canPlay(); }
    QString title() const override { return text; }
    QString voiceName() const override { return voice; }
    qint64 positionMicroseconds() const override { return 1500000; }
    double volume() const override { return level; }
    void setVolume(double v) override { level = v; }

    Status state = Status::Stopped;
    QString text = QStringLiteral("第一句。");
    QString voice = QStringLiteral("普通话女声");
    bool next = true;
    double level = 1.0;
};

QVariant propertyOf(const QDBusConnection &client, const QString &interface, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(MprisService::ServiceName, MprisService::ObjectPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = callAndWait(client, get);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

} // namespace

// What a panel hears of the player: each PropertiesChanged, with the
// metadata reduced to its title (and its track id kept aside).
class ChangeCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QStringList trackIds;

public slots:
    void take(const QDBusMessage &message)
    {
        const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().value(1).value<QDBusArgument>());
        QVariantMap plain;
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            if (it.key() == u"Metadata") {
                const QVariantMap fields = qdbus_cast<QVariantMap>(it.value().value<QDBusArgument>());
                trackIds << fields.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
                plain.insert(it.key(), fields.value(QStringLiteral("xesam:title")));
            } else
                plain.insert(it.key(), it.value());
        }
        changes << plain;
    }
};

class TestSessionBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestsAreHandedOver_data();
    void requestsAreHandedOver();
    void oneOwnerAtATime();
    void refusedRequestsSayWhy();
    void playerProperties();
    void changesAreAnnounced();
};

void TestSessionBus::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QFAIL("no session bus: run under dbus-run-session");
}

void TestSessionBus::requestsAreHandedOver_data()
{
    QTest::addColumn<ReaderRequest>("request");
    using K = ReaderRequest::Kind;
    QTest::newRow("show") << ReaderRequest{K::Show, {}};
    QTest::newRow("a document") << ReaderRequest{K::Open, QStringLiteral("/tmp/notes.txt")};
    // Spaces, Chinese and characters that mean something in a URI.
    QTest::newRow("a document with an odd name")
        << ReaderRequest{K::Open, QStringLiteral("/tmp/我的 文档/a#b?c%20d.txt")};
    QTest::newRow("the selection") << ReaderRequest{K::SpeakSelection, {}};
    QTest::newRow("the clipboard") << ReaderRequest{K::SpeakClipboard, {}};
}

void TestSessionBus::requestsAreHandedOver()
{
    QFETCH(ReaderRequest, request);
    SessionInstance reader;
    QCOMPARE(reader.claim(), SessionInstance::Claim::Owned);
    QSignalSpy requested(&reader, &SessionInstance::requested);
    QCOMPARE(handOverFromAnotherStart(request), SessionInstance::HandOver::Delivered);
    QCOMPARE(requested.size(), 1);
    QCOMPARE(requested[0][0].value<ReaderRequest>(), request);
}

// A second reader finds the name taken; once the first is gone, no reader
// answers, and the next start owns the name.
void TestSessionBus::oneOwnerAtATime()
{
    auto first = std::make_unique<SessionInstance>();
    QCOMPARE(first->claim(), SessionInstance::Claim::Owned);
    SessionInstance second(otherClient(QStringLiteral("second-reader")));
    QCOMPARE(second.claim(), SessionInstance::Claim::Taken);
    first.reset();
    QTRY_COMPARE(handOverFromAnotherStart({}), SessionInstance::HandOver::NoReader);
    QCOMPARE(second.claim(), SessionInstance::Claim::Owned);
    SessionInstance noBus(QDBusConnection(QStringLiteral("never-connected")));
    QCOMPARE(noBus.claim(), SessionInstance::Claim::NoBus);
    QCOMPARE(SessionInstance::handOver({}, nullptr, QDBusConnection(QStringLiteral("never-connected"))),
             SessionInstance::HandOver::NoReader);
}

// What launchers may send that the reader cannot do is answered with an
// error that says why, and changes nothing.
void TestSessionBus::refusedRequestsSayWhy()
{
    SessionInstance reader;
    QCOMPARE(reader.claim(), SessionInstance::Claim::Owned);
    QSignalSpy requested(&reader, &SessionInstance::requested);
    const QDBusConnection client = otherClient(QStringLiteral("launcher"));
    QDBusMessage action = QDBusMessage::createMethodCall(SessionInstance::ServiceName, SessionInstance::ObjectPath,
                                                         QStringLiteral("org.freedesktop.Application"),
                                                         QStringLiteral("ActivateAction"));
    action << QStringLiteral("format-disk") << QVariantList() << QVariantMap();
    QDBusMessage reply = callAndWait(client, action);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QVERIFY2(reply.errorMessage().contains(QStringLiteral("format-disk")), qPrintable(reply.errorMessage()));
    QDBusMessage open = QDBusMessage::createMethodCall(SessionInstance::ServiceName, SessionInstance::ObjectPath,
                                                       QStringLiteral("org.freedesktop.Application"),
                                                       QStringLiteral("Open"));
    open << QStringList{QStringLiteral("https://example.invalid/page.html")} << QVariantMap();
    reply = callAndWait(client, open);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(requested.size(), 0);
}

void TestSessionBus::playerProperties()
{
    FakeReader reader;
    MprisService player(reader);
    QVERIFY(player.start());
    const QDBusConnection client = otherClient(QStringLiteral("panel"));
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
    QCOMPARE(propertyOf(client, root, QStringLiteral("Identity")).toString(), QStringLiteral("Sayrella"));
    QCOMPARE(propertyOf(client, root, QStringLiteral("DesktopEntry")).toString(), SessionInstance::ServiceName);
    // The player opens what the menu entry opens.
    QFile entry(QStringLiteral(SAYRELLA_DESKTOP_ENTRY));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString mimeLine = QString::fromUtf8(entry.readAll()).section(QStringLiteral("MimeType="), 1).section(u'\n', 0, 0);
    QCOMPARE(propertyOf(client, root, QStringLiteral("SupportedMimeTypes")).toStringList(),
             mimeLine.split(u';', Qt::SkipEmptyParts));
    QCOMPARE(propertyOf(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    reader.state = ReaderRemote::Status::Paused;
    QCOMPARE(propertyOf(client, playerInterface, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    QCOMPARE(propertyOf(client, playerInterface, QStringLiteral("Position")).toLongLong(), 1500000);
    QCOMPARE(propertyOf(client, playerInterface, QStringLiteral("CanSeek")).toBool(), false);
    const QVariant metadata = propertyOf(client, playerInterface, QStringLiteral("Metadata"));
    const QVariantMap fields = qdbus_cast<QVariantMap>(metadata.value<QDBusArgument>());
    QCOMPARE(fields.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("第一句。"));
    QCOMPARE(fields.value(QStringLiteral("xesam:artist")).toStringList(), QStringList{QStringLiteral("普通话女声")});
    QVERIFY(fields.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path().startsWith(u'/'));
    // Volume is written as the slider would be.
    QDBusMessage set = QDBusMessage::createMethodCall(MprisService::ServiceName, MprisService::ObjectPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Set"));
    set << playerInterface << QStringLiteral("Volume") << QVariant::fromValue(QDBusVariant(0.4));
    QCOMPARE(callAndWait(client, set).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reader.level, 0.4);
}

// Only what changed is announced, once; a new text is a new track.
void TestSessionBus::changesAreAnnounced()
{
    FakeReader reader;
    MprisService player(reader);
    QVERIFY(player.start());
    QDBusConnection client = otherClient(QStringLiteral("shell"));
    ChangeCatcher catcher;
    QVERIFY(client.connect(QString(), MprisService::ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                           QStringLiteral("PropertiesChanged"), &catcher, SLOT(take(QDBusMessage))));
    QTest::qWait(50); // the match rule in place
    reader.state = ReaderRemote::Status::Playing;
    player.readerChanged();
    player.readerChanged(); // nothing new: nothing sent
    reader.text = QStringLiteral("另一段文字。");
    reader.next = false;
    player.readerChanged();
    reader.state = ReaderRemote::Status::Stopped;
    reader.text.clear();
    player.readerChanged();
    QTRY_COMPARE(catcher.changes.size(), 3);
    QCOMPARE(catcher.changes[0], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")}}));
    QCOMPARE(catcher.changes[1], (QVariantMap{{QStringLiteral("Metadata"), QStringLiteral("另一段文字。")},
                                              {QStringLiteral("CanGoNext"), false}}));
    QCOMPARE(catcher.changes[2], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")},
                                              {QStringLiteral("Metadata"), QString()},
                                              {QStringLiteral("CanPlay"), false},
                                              {QStringLiteral("CanPause"), false},
                                              {QStringLiteral("CanGoPrevious"), false}}));
    QCOMPARE(catcher.trackIds.size(), 2);
    QVERIFY(catcher.trackIds[0] != catcher.trackIds[1]);
}

QTEST_GUILESS_MAIN(TestSessionBus)
#include "tst_sessionbus.moc"

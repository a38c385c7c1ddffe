// The desktop notice on a bus of the test's own: the call that the freedesktop notification
// service gets, and no wait where nobody serves it or there is no bus.
#include "app/desktop_notice.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

// What a notification daemon would get, message for message.
class FakeNotifications : public QDBusVirtualObject {
  public:
    QList<QDBusMessage> calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        calls << call;
        bus.send(call.createReply(uint(calls.size())));
        return true;
    }
};

TEST(DesktopNotice, TheServiceGetsTheFilesNameItsLengthAndTheProgramsEntryWithoutAWait) {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess bus;
    bus.start(daemon, {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();

    // Nobody serves the name yet, and one address has no bus: neither costs a wait.
    QElapsedTimer clock;
    clock.start();
    app::FreedesktopNotice(address)->Tell(app::ReadyNotice("/tmp/a.wav", 1000));
    app::FreedesktopNotice("unix:path=/nonexistent/bus")->Tell(app::ReadyNotice("/tmp/a.wav", 1));
    EXPECT_LT(clock.elapsed(), 2000);

    FakeNotifications service;
    QDBusConnection served = QDBusConnection::connectToBus(address, "notification-daemon");
    ASSERT_TRUE(served.registerService("org.freedesktop.Notifications"));
    ASSERT_TRUE(served.registerVirtualObject("/org/freedesktop/Notifications", &service));
    app::FreedesktopNotice(address)->Tell(
        app::ReadyNotice("/home/ann/R&B <live>/song.wav", 205000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.calls.isEmpty(); }, 5000));
    const QDBusMessage call = service.calls.front();
    EXPECT_EQ(call.interface(), "org.freedesktop.Notifications");
    EXPECT_EQ(call.member(), "Notify");
    EXPECT_EQ(call.signature(), "susssasa{sv}i");
    const QVariantList args = call.arguments();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), "Tonvera");
    EXPECT_EQ(args[2].toString(), TONVERA_APP_ID);
    EXPECT_EQ(args[3].toString(), "song.wav is ready");
    // The body may be read as markup: the folder's name stays text.
    EXPECT_EQ(args[4].toString(), "3:25 of music, written to /home/ann/R&amp;B &lt;live&gt;");
    EXPECT_EQ(qdbus_cast<QVariantMap>(args[6]).value("desktop-entry").toString(), TONVERA_APP_ID);
    EXPECT_EQ(args[7].toInt(), -1);  // shown as long as the server likes

    QDBusConnection::disconnectFromBus("tonvera-notice");
    QDBusConnection::disconnectFromBus("notification-daemon");
    bus.kill();
    bus.waitForFinished();
}

}  // namespace

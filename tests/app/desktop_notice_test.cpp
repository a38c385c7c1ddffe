// The desktop notice on a bus of the test's own: the call that the freedesktop notification
// service gets, and no wait where nobody serves it or there is no bus.
#include "app/desktop_notice.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

// What a notification daemon would show.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    std::vector<Call> calls;

  public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        calls.push_back({app, replaces, icon, summary, body, actions, hints, timeout});
        return uint(calls.size());
    }
};

class DesktopNoticeBus : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
        bus_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus_.waitForReadyRead(10000)) << "the bus did not start";
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("tonvera-notice");
        QDBusConnection::disconnectFromBus("notification-daemon");
        if (bus_.state() != QProcess::NotRunning) {
            bus_.kill();
            bus_.waitForFinished();
        }
    }
    // The service, on a connection of its own as a daemon would have it.
    void Serve(FakeNotifications& service) {
        QDBusConnection daemon = QDBusConnection::connectToBus(address_, "notification-daemon");
        ASSERT_TRUE(daemon.isConnected());
        ASSERT_TRUE(daemon.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(daemon.registerObject("/org/freedesktop/Notifications", &service,
                                          QDBusConnection::ExportAllSlots));
    }

    QProcess bus_;
    QString address_;
};

TEST_F(DesktopNoticeBus, TheServiceGetsTheFileItsLengthAndTheProgramsEntry) {
    FakeNotifications service;
    Serve(service);
    const auto notice = app::FreedesktopNotice(address_);
    notice->Tell(app::ReadyNotice("/home/ann/R&B <live>/song.wav", 205000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.calls.empty(); }, 5000));
    ASSERT_EQ(service.calls.size(), 1u);
    const FakeNotifications::Call& call = service.calls[0];
    EXPECT_EQ(call.app, "Tonvera");
    EXPECT_EQ(call.replaces, 0u);
    EXPECT_EQ(call.icon, TONVERA_APP_ID);
    EXPECT_EQ(call.summary, "song.wav is ready");
    // The body may be read as markup: the folder's name stays text.
    EXPECT_EQ(call.body, "3:25 of music, written to /home/ann/R&amp;B &lt;live&gt;");
    EXPECT_TRUE(call.actions.isEmpty());
    EXPECT_EQ(call.hints.value("desktop-entry").toString(), TONVERA_APP_ID);
    EXPECT_EQ(call.timeout, -1);  // the server's own
}

TEST_F(DesktopNoticeBus, NobodyServingTheNameOrNoBusCostsNoWait) {
    QElapsedTimer clock;
    clock.start();
    app::FreedesktopNotice(address_)->Tell(app::ReadyNotice("/tmp/a.wav", 1000));
    app::FreedesktopNotice("unix:path=/nonexistent/bus")->Tell(app::ReadyNotice("/tmp/a.wav", 1));
    EXPECT_LT(clock.elapsed(), 2000);
}

}  // namespace

#include "desktop_notice_test.moc"

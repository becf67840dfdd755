// The idle-sleep lock against a login manager of the test's own on a private system bus: what
// is asked for, and that letting go closes the lock's descriptor, which is what ends it.
#include "../support/TempDir.h"

#include "SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace vemor::testing {
namespace {

class FakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;
    int lockEnd = -1; // the read end of the last lock handed out; EOF once it is let go

    ~FakeLogin() override {
        if (lockEnd >= 0) {
            ::close(lockEnd);
        }
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        asked = {what, who, why, mode};
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        lockEnd = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        return lock;
    }
};

bool LockLetGo(int end) {
    pollfd p{end, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

class SleepInhibitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir("vemor-bus");
        const QString socket = QString::fromStdString((dir->Path() / "bus").string());
        QFile config(QString::fromStdString((dir->Path() / "bus.conf").string()));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(
            QStringLiteral("<busconfig><type>system</type><listen>unix:path=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                           "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                           "</policy></busconfig>")
                .arg(socket)
                .toUtf8());
        config.close();
        bus = new QProcess;
        // The bus goes with the test, also when a sanitizer ends it before its tear-down.
        bus->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        bus->start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config.fileName()});
        ASSERT_TRUE(bus->waitForStarted()) << "dbus-daemon: " << bus->errorString().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, 10000));
        address = "unix:path=" + socket;
        // Before anything in the process reaches for the system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("login"));
        bus->kill();
        bus->waitForFinished();
        delete bus;
        delete dir;
    }
    // The login manager appears on the bus.
    void Serve() {
        QDBusConnection login = QDBusConnection::connectToBus(address, QStringLiteral("login"));
        ASSERT_TRUE(login.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager,
                                         QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(login.registerService(QStringLiteral("org.freedesktop.login1")));
    }

    static inline TempDir* dir = nullptr;
    static inline QProcess* bus = nullptr;
    static inline QString address;
    FakeLogin manager;
    SleepInhibitor inhibitor;
};

TEST_F(SleepInhibitorTest, WithoutALoginManagerNothingIsHeldAndNothingHangs) {
    inhibitor.Hold(true);
    QTest::qWait(300);
    EXPECT_FALSE(inhibitor.Held());
    inhibitor.Hold(false);
}

TEST_F(SleepInhibitorTest, HoldsOffIdleSleepUntilLetGo) {
    Serve();
    inhibitor.Hold(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.Held(); }, 5000));
    EXPECT_EQ(manager.asked,
              (QStringList{QStringLiteral("idle"), QStringLiteral("vemor"),
                           QStringLiteral("Recording a capture"), QStringLiteral("block")}));
    inhibitor.Hold(true); // already held: no second lock
    QTest::qWait(100);
    EXPECT_FALSE(LockLetGo(manager.lockEnd));
    inhibitor.Hold(false);
    EXPECT_FALSE(inhibitor.Held());
    EXPECT_TRUE(QTest::qWaitFor([&] { return LockLetGo(manager.lockEnd); }, 5000));
}

TEST_F(SleepInhibitorTest, ALockGrantedAfterItWasLetGoIsDropped) {
    Serve();
    inhibitor.Hold(true);
    inhibitor.Hold(false); // before the answer
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.lockEnd >= 0; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return LockLetGo(manager.lockEnd); }, 5000));
    EXPECT_FALSE(inhibitor.Held());
}

} // namespace
} // namespace vemor::testing

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "SleepTest.moc"

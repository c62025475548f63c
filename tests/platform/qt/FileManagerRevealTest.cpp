// Reveal in the file manager: the recorder, the fallback without a bus, and a file manager that
// never answers.
#include "platform/qt/FileManagerReveal.h"

#include <chrono>

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::platform::qt {
namespace {

using namespace std::chrono_literals;
using namespace testsupport::literals;

struct Launch
{
    QString program;
    QStringList arguments;
};

// A file-manager object that takes every call and never answers.
class SilentFileManager final : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        calls.append(message.arguments().value(0).toStringList());
        if (answers)
            connection.send(message.createReply());
        return true;
    }
    QList<QStringList> calls;
    bool answers = false;
};

// A private session bus for one test.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
        QDBusConnection::disconnectFromBus(QStringLiteral("caller"));
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    const QString& address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

TEST(FileManagerReveal, RecorderSeesTheHostPaths)
{
    testsupport::FakeMac mac;
    FileManagerReveal reveal(QDBusConnection(QStringLiteral("none")), 5s,
                             [](const QString&, const QStringList&) { FAIL() << "launched"; });
    FileManagerReveal::Recorder recorder;
    reveal.reveal({"/Library/Caches/com.example"_mac, "/Users/me/Library/Logs/x.log"_mac});
    reveal.reveal({});
    ASSERT_EQ(recorder.reveals().size(), 1u);
    EXPECT_EQ(recorder.reveals()[0],
              (QStringList{QString::fromStdString(mac.root() + "/Library/Caches/com.example"),
                           QString::fromStdString(mac.root() + "/Users/me/Library/Logs/x.log")}));
}

TEST(FileManagerReveal, WithoutABusOpensEachParentFolderOnce)
{
    testsupport::FakeMac mac;
    std::vector<Launch> launches;
    FileManagerReveal reveal(QDBusConnection(QStringLiteral("none")), 5s,
                             [&](const QString& p, const QStringList& a) {
                                 launches.push_back({p, a});
                             });
    QSignalSpy finished(&reveal, &FileManagerReveal::finished);
    reveal.reveal({"/Library/Logs/a"_mac, "/Library/Logs/b"_mac, "/Library/Caches/c"_mac});
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].program, QStringLiteral("xdg-open"));
    EXPECT_EQ(launches[0].arguments,
              QStringList{QString::fromStdString(mac.root() + "/Library/Logs")});
    EXPECT_EQ(launches[1].arguments,
              QStringList{QString::fromStdString(mac.root() + "/Library/Caches")});
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
}

TEST(FileManagerReveal, SilentFileManagerNeitherBlocksNorStopsTheFallback)
{
    PrivateBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << "dbus-daemon did not start";
    testsupport::FakeMac mac;
    QDBusConnection peer = QDBusConnection::connectToBus(bus.address(), QStringLiteral("peer"));
    ASSERT_TRUE(peer.isConnected());
    SilentFileManager fileManager;
    ASSERT_TRUE(
        peer.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager));
    ASSERT_TRUE(peer.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    QDBusConnection caller = QDBusConnection::connectToBus(bus.address(), QStringLiteral("caller"));
    ASSERT_TRUE(caller.isConnected());

    std::vector<Launch> launches;
    FileManagerReveal reveal(caller, 300ms, [&](const QString& p, const QStringList& a) {
        launches.push_back({p, a});
    });
    QSignalSpy finished(&reveal, &FileManagerReveal::finished);
    QElapsedTimer clock;
    clock.start();
    reveal.reveal({"/Applications/Foo.app"_mac});
    EXPECT_LT(clock.elapsed(), 200) << "the GUI thread waited for the file manager";
    EXPECT_TRUE(launches.empty());

    ASSERT_TRUE(finished.wait(3000));
    EXPECT_FALSE(finished[0][0].toBool());
    ASSERT_EQ(fileManager.calls.size(), 1);
    EXPECT_EQ(fileManager.calls[0], QStringList{QStringLiteral("file://%1/Applications/Foo.app")
                                                    .arg(QString::fromStdString(mac.root()))});
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments,
              QStringList{QString::fromStdString(mac.root() + "/Applications")});
}

TEST(FileManagerReveal, AnAnswerEndsItAndAnErrorFallsBackAtOnce)
{
    PrivateBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << "dbus-daemon did not start";
    testsupport::FakeMac mac;
    QDBusConnection caller = QDBusConnection::connectToBus(bus.address(), QStringLiteral("caller"));
    ASSERT_TRUE(caller.isConnected());
    std::vector<Launch> launches;
    FileManagerReveal reveal(caller, 5s, [&](const QString& p, const QStringList& a) {
        launches.push_back({p, a});
    });
    QSignalSpy finished(&reveal, &FileManagerReveal::finished);

    // Nobody owns the name: the error reply brings the fallback, long before the time-out.
    QElapsedTimer clock;
    clock.start();
    reveal.reveal({"/Library/Logs/a"_mac});
    ASSERT_TRUE(finished.wait(3000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_EQ(launches.size(), 1u);

    QDBusConnection peer = QDBusConnection::connectToBus(bus.address(), QStringLiteral("peer"));
    SilentFileManager fileManager;
    fileManager.answers = true;
    ASSERT_TRUE(
        peer.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager));
    ASSERT_TRUE(peer.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    reveal.reveal({"/Library/Logs/a"_mac});
    ASSERT_TRUE(finished.wait(3000));
    EXPECT_TRUE(finished[1][0].toBool());
    EXPECT_EQ(launches.size(), 1u) << "no fallback after an answer";
}

} // namespace
} // namespace veldo::platform::qt

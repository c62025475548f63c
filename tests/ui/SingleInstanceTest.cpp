// One running instance: the hand-over message, the socket's name and its guards, a stale name
// taken over, a busy one left alone, peers of other users refused, and the real program started
// twice.
#include "app/ui/SingleInstance.h"

#include <future>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/ui/VeldoAppDelegate.h"
#include "base/UniqueFd.h"
#include "platform/MacRoot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/Unprivileged.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::ui {
namespace {

using platform::MacPath;
using testsupport::child;

// Sends on a thread while the event loop serves; answers send()'s errno.
int sendServed(const QString& name, const QStringList& paths)
{
    auto sent = std::async(std::launch::async, [&] { return SingleInstance::send(name, paths); });
    while (sent.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QApplication::processEvents();
    return sent.get();
}

sockaddr_un addressOf(const QString& name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return address;
}

// Connects a raw client and writes `bytes`; answers the descriptor (kept open).
base::UniqueFd rawClient(const QString& name, const QByteArray& bytes)
{
    base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(name);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return base::UniqueFd();
    if (!bytes.isEmpty())
        (void)::send(fd.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()),
                     MSG_NOSIGNAL);
    return fd;
}

// A socket bound at `name` that listens with `backlog` and never accepts.
base::UniqueFd bareListener(const QString& name, int backlog)
{
    base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(name);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd.get(), backlog) != 0)
        return base::UniqueFd();
    return fd;
}

class SingleInstanceTest : public testing::Test
{
protected:
    QString name() const { return m_folder.filePath(QStringLiteral("veldo-test")); }

    QTemporaryDir m_folder;
};

TEST_F(SingleInstanceTest, MessagesDecodeOnlyWhenWhole)
{
    const QStringList paths{QStringLiteral("/Applications/Café.app"), QString(),
                            QStringLiteral("/Users/me/x y.txt")};
    const QByteArray message = encodeInstanceMessage(paths);
    ASSERT_GT(message.size(), 4);
    EXPECT_EQ(decodeInstanceMessage(message.mid(4)), paths);
    EXPECT_EQ(decodeInstanceMessage(encodeInstanceMessage({}).mid(4)), QStringList());

    QByteArray trailing = message.mid(4);
    trailing.append('x');
    QByteArray hugeCount("\xff\xff\xff\xf0", 4);
    QByteArray oddString("\x00\x00\x00\x01\x00\x00\x00\x03xyz", 11);
    for (const QByteArray& bad : {trailing, hugeCount, oddString, message.mid(4, 9), QByteArray()})
        EXPECT_FALSE(decodeInstanceMessage(bad)) << bad.toHex().toStdString();
}

TEST_F(SingleInstanceTest, PathsReachTheServingInstanceInOrder)
{
    SingleInstance server(name());
    ASSERT_EQ(server.start({}), SingleInstance::Start::serving);
    struct stat status
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(name()).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 077, 0U);

    QSignalSpy received(&server, &SingleInstance::pathsReceived);
    const QStringList paths{QStringLiteral("/Applications/B.app"),
                            QStringLiteral("/Applications/A.app")};
    EXPECT_EQ(sendServed(name(), paths), 0);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received[0][0].toStringList(), paths);
}

TEST_F(SingleInstanceTest, BadMessagesAreDroppedAndTheServerKeepsServing)
{
    SingleInstance server(name());
    ASSERT_TRUE(server.listen(false));
    QSignalSpy received(&server, &SingleInstance::pathsReceived);
    QByteArray garbage("\x00\x00\x00\x08garbage!", 12);
    QByteArray oversized("\x00\x20\x00\x00", 4); // 2 MiB announced
    oversized.append(QByteArray(4096, 'a'));
    for (const QByteArray& bad : {garbage, oversized}) {
        base::UniqueFd client = rawClient(name(), bad);
        ASSERT_TRUE(client.valid());
        // The server closes the connection without an answer.
        char answer = 0;
        auto read =
            std::async(std::launch::async, [&] { return ::recv(client.get(), &answer, 1, 0); });
        while (read.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QApplication::processEvents();
        EXPECT_LE(read.get(), 0);
    }
    EXPECT_EQ(received.count(), 0);
    EXPECT_EQ(sendServed(name(), {QStringLiteral("/Applications/A.app")}), 0);
    EXPECT_EQ(received.count(), 1);
}

TEST_F(SingleInstanceTest, OnlyANameNobodyServesIsTakenOver)
{
    {
        // A socket left behind by an instance that crashed: connecting is refused.
        base::UniqueFd stale = bareListener(name(), 1);
        ASSERT_TRUE(stale.valid());
    }
    ASSERT_TRUE(QFile::exists(name()));
    {
        SingleInstance server(name());
        EXPECT_EQ(server.start({}), SingleInstance::Start::serving);
        EXPECT_EQ(sendServed(name(), {}), 0);
    }

    // A live server that is too busy to accept is not stale.
    QFile::remove(name());
    base::UniqueFd busy = bareListener(name(), 0);
    ASSERT_TRUE(busy.valid());
    std::vector<base::UniqueFd> queued;
    for (int i = 0; i < 4; ++i) {
        base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        const sockaddr_un address = addressOf(name());
        (void)::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        queued.push_back(std::move(fd));
    }
    SingleInstance second(name());
    EXPECT_EQ(second.start({}, std::chrono::milliseconds(200)), SingleInstance::Start::failed);
    EXPECT_FALSE(child<QLocalServer>(second, "server")->isListening());
    struct stat status
    {
    };
    EXPECT_EQ(::stat(QFile::encodeName(name()).constData(), &status), 0);
    int accepted = ::accept4(busy.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    EXPECT_GE(accepted, 0) << "the busy listener still owns the name";
    if (accepted >= 0)
        ::close(accepted);
}

TEST_F(SingleInstanceTest, APeerOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start a child of another user";
    SingleInstance server(name());
    ASSERT_TRUE(server.listen(false));
    QSignalSpy received(&server, &SingleInstance::pathsReceived);
    // Open the way to the socket; only the peer check remains.
    ASSERT_EQ(::chmod(QFile::encodeName(m_folder.path()).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(name()).constData(), 0777), 0);
    const QString socketName = name();
    auto child = std::async(std::launch::async, [socketName] {
        return testsupport::runUnprivileged([&socketName] {
            const int sent =
                SingleInstance::send(socketName, {QStringLiteral("/Applications/A.app")});
            // Connected, but never acknowledged.
            return sent == ECONNRESET || sent == EPROTO || sent == EPERM ? 0 : 1;
        });
    });
    while (child.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QApplication::processEvents();
    EXPECT_EQ(child.get(), 0);
    EXPECT_EQ(received.count(), 0);
}

TEST_F(SingleInstanceTest, TheNameHoldsTheUserAndTheMacRootInAPrivateFolder)
{
    testsupport::FakeMac mac;
    QTemporaryDir runtime;
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0700), 0);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const Result<QString> first = SingleInstance::serverName();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->startsWith(runtime.path() + QStringLiteral("/veldo-%1-").arg(::getuid())));
    testsupport::FakeMac other;
    const Result<QString> second = SingleInstance::serverName();
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);

    // A runtime folder others may enter is not used.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0755), 0);
    const Result<QString> fallback = SingleInstance::serverName();
    ASSERT_TRUE(fallback);
    EXPECT_TRUE(
        fallback->startsWith(QDir::tempPath() + QStringLiteral("/veldo-%1/").arg(::getuid())));
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST_F(SingleInstanceTest, ArgumentsBecomeMacPathsOrAreLeftOut)
{
    testsupport::FakeMac mac;
    const std::string root = mac.root();
    const auto items = VeldoAppDelegate::itemsForArguments(
        {root + "/Applications/A.app", "Applications/B.app", "../../tmp/x", "/elsewhere/C.app",
         root, std::string("\xff\xfe.app"), "-VeldoUITesting",
         root + "/Users/me/../me/missing.app"},
        root);
    const VeldoAppDelegate::OpenedItems expected{MacPath("/Applications/A.app"),
                                                 MacPath("/Applications/B.app"),
                                                 std::nullopt,
                                                 std::nullopt,
                                                 MacPath("/"),
                                                 std::nullopt,
                                                 MacPath("/Users/me/missing.app")};
    EXPECT_EQ(items, expected);
    EXPECT_EQ(VeldoAppDelegate::fromMessage(VeldoAppDelegate::toMessage(items)), expected);
}

TEST_F(SingleInstanceTest, TheProgramStartedTwiceHandsOverAndEnds)
{
    testsupport::FakeMac mac;
    QTemporaryDir runtime;
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0700), 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELDO_MAC_ROOT"), QString::fromStdString(mac.root()));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(VELDO_APP_PATH), {QStringLiteral("-VeldoUITesting")});
    ASSERT_TRUE(first.waitForStarted());
    QStringList served;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            served = QDir(runtime.path())
                         .entryList({QStringLiteral("veldo-*")}, QDir::System | QDir::Files)
                         .filter(QRegularExpression(QStringLiteral("^veldo-[0-9]+-[0-9a-f]+$")));
            return !served.isEmpty() || first.state() != QProcess::Running;
        },
        10'000));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    // It answers once its event loop runs, which a debug build on a loaded machine may reach
    // only after the second start's send time-out.
    const QString server = QDir(runtime.path()).filePath(served.front());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return SingleInstance::send(server, {}) == 0 || first.state() != QProcess::Running; },
        20'000));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(VELDO_APP_PATH),
                 {QString::fromStdString(mac.root() + "/Applications/A.app"),
                  QStringLiteral("-VeldoUITesting")});
    // It ends by itself once the running one has acknowledged (a second app would stay); the
    // wait leaves a debug build's start-up on a loaded machine room.
    ASSERT_TRUE(second.waitForFinished(20'000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    // 0: handed over, acknowledged within the send time-out.
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished();
    }
}

} // namespace
} // namespace veldo::ui

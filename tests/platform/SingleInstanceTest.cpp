#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/platform/SingleInstance.h"

namespace vael {
namespace {

constexpr auto kDelivered = SingleInstance::Forwarded::delivered;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vael-instance-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // Sends raw bytes as one message, bypassing forward()'s own checks.
    void sendRaw(const QByteArray& bytes) {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(folder_ + "/instance.sock"));
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
    }
    static void spin(int ms = 200) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    std::string folder_;
};

TEST_F(SingleInstanceTest, TheFirstStartHoldsTheLockAndLaterStartsForwardTheirLinks) {
    auto holder = SingleInstance::elect(folder_);
    ASSERT_TRUE(holder);
    EXPECT_EQ(SingleInstance::elect(folder_), nullptr);
    EXPECT_EQ(std::filesystem::status(folder_ + "/instance.sock").permissions() &
                  (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);

    QSignalSpy urls(holder.get(), &SingleInstance::urlReceived);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);
    ASSERT_EQ(SingleInstance::forward(folder_, {"vael://invite/tok-1", "https://example.org/invite#tok-2"}), kDelivered);
    ASSERT_EQ(SingleInstance::forward(folder_, {}), kDelivered);
    spin();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0][0].toString(), "vael://invite/tok-1");
    EXPECT_EQ(urls[1][0].toString(), "https://example.org/invite#tok-2");
    EXPECT_EQ(raises.size(), 1);
}

TEST_F(SingleInstanceTest, OversizedOrMalformedMessagesAreDropped) {
    auto holder = SingleInstance::elect(folder_);
    ASSERT_TRUE(holder);
    QSignalSpy urls(holder.get(), &SingleInstance::urlReceived);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);

    sendRaw(QByteArray(SingleInstance::kMaxMessage + 1, 'a'));
    sendRaw(QByteArray("vael://invite/\xff\xfe"));
    EXPECT_EQ(SingleInstance::forward(folder_, {QString(SingleInstance::kMaxMessage + 1, 'b')}),
              SingleInstance::Forwarded::tooLong);
    sendRaw(QByteArray(SingleInstance::kMaxMessage, 'c'));  // exactly at the bound
    spin();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0][0].toString().size(), SingleInstance::kMaxMessage);
    EXPECT_EQ(raises.size(), 0);
}

TEST_F(SingleInstanceTest, TheLaunchersTokenTravelsWithTheFirstMessage) {
    auto holder = SingleInstance::elect(folder_);
    ASSERT_TRUE(holder);
    QSignalSpy urls(holder.get(), &SingleInstance::urlReceived);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);
    const LaunchToken x11{"kde-launcher-42_TIME123456", {}};
    const LaunchToken wayland{{}, "c2VjcmV0LXRva2Vu"};

    ASSERT_EQ(SingleInstance::forward(folder_, {"vael://invite/tok-1", "vael://invite/tok-2"}, x11), kDelivered);
    spin();
    ASSERT_EQ(SingleInstance::forward(folder_, {}, wayland), kDelivered);
    // A token that is no launcher's (a newline, a quote) is not passed on; the raise still is.
    ASSERT_EQ(SingleInstance::forward(folder_, {}, {"bad\"id", "two\nlines"}), kDelivered);
    spin();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0][0].toString(), "vael://invite/tok-1");
    EXPECT_EQ(urls[0][1].value<LaunchToken>(), x11);
    EXPECT_EQ(urls[1][0].toString(), "vael://invite/tok-2");
    EXPECT_EQ(urls[1][1].value<LaunchToken>(), LaunchToken{});
    ASSERT_EQ(raises.size(), 2);
    EXPECT_EQ(raises[0][0].value<LaunchToken>(), wayland);
    EXPECT_EQ(raises[1][0].value<LaunchToken>(), LaunchToken{});

    // A link that only fits without the token still goes, without it.
    ASSERT_EQ(SingleInstance::forward(folder_, {QString(SingleInstance::kMaxMessage, 'c')}, x11), kDelivered);
    spin();
    ASSERT_EQ(urls.size(), 3);
    EXPECT_EQ(urls[2][0].toString().size(), SingleInstance::kMaxMessage);
    EXPECT_EQ(urls[2][1].value<LaunchToken>(), LaunchToken{});
}

TEST_F(SingleInstanceTest, SilentConnectionsAreCappedAndDroppedInTime) {
    auto holder = SingleInstance::elect(folder_, std::chrono::milliseconds(300));
    ASSERT_TRUE(holder);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);
    const auto path = QString::fromStdString(folder_ + "/instance.sock");

    // Far more silent peers than the cap: the holder keeps at most the cap open.
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < 3 * SingleInstance::kMaxConnections; ++i) {
        silent.push_back(std::make_unique<QLocalSocket>());
        silent.back()->connectToServer(path);
        ASSERT_TRUE(silent.back()->waitForConnected(1000));
    }
    spin(100);
    const auto stillOpen = [&] {
        return std::count_if(silent.begin(), silent.end(), [](const auto& socket) {
            socket->waitForReadyRead(0);
            return socket->state() == QLocalSocket::ConnectedState;
        });
    };
    EXPECT_LE(stillOpen(), SingleInstance::kMaxConnections);

    // After the limit every one of them is gone, and a real start gets through again.
    spin(600);
    EXPECT_EQ(stillOpen(), 0);
    ASSERT_EQ(SingleInstance::forward(folder_, {}), kDelivered);
    spin();
    EXPECT_EQ(raises.size(), 1);
}

TEST_F(SingleInstanceTest, ANewHolderClearsTheSocketACrashedOneLeftBehind) {
    // A bound socket file with nobody listening, as a killed holder leaves it.
    const std::string path = folder_ + "/instance.sock";
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    EXPECT_EQ(SingleInstance::forward(folder_, {}, {}, 300), SingleInstance::Forwarded::noAnswer);

    auto holder = SingleInstance::elect(folder_);
    ASSERT_TRUE(holder);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);
    ASSERT_EQ(SingleInstance::forward(folder_, {}), kDelivered);
    spin();
    EXPECT_EQ(raises.size(), 1);

    // The lock goes with the holder: the next start holds it.
    holder.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(SingleInstance::elect(folder_));
}

}  // namespace
}  // namespace vael

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

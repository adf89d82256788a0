#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "app/platform/SingleInstance.h"

namespace vael {
namespace {

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
    ASSERT_TRUE(SingleInstance::forward(folder_, {"vael://invite/tok-1", "https://example.org/invite#tok-2"}));
    ASSERT_TRUE(SingleInstance::forward(folder_, {}));
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
    EXPECT_FALSE(SingleInstance::forward(folder_, {QString(SingleInstance::kMaxMessage + 1, 'b')}));
    sendRaw(QByteArray(SingleInstance::kMaxMessage, 'c'));  // exactly at the bound
    spin();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0][0].toString().size(), SingleInstance::kMaxMessage);
    EXPECT_EQ(raises.size(), 0);
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
    EXPECT_FALSE(SingleInstance::forward(folder_, {}, 300));

    auto holder = SingleInstance::elect(folder_);
    ASSERT_TRUE(holder);
    QSignalSpy raises(holder.get(), &SingleInstance::raiseRequested);
    ASSERT_TRUE(SingleInstance::forward(folder_, {}));
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

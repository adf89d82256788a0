#include "app/platform/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vael {

namespace {

constexpr const char* kLockName = "/instance.lock";
constexpr const char* kSocketName = "/instance.sock";
constexpr const char* kBufferProperty = "vaelMessage";
constexpr const char* kOverflowProperty = "vaelOverflow";

QString socketIn(const std::string& folder) { return QString::fromStdString(folder + kSocketName); }

// Only the user's own processes may talk to the holder, whatever the socket file's mode.
bool peerIsSameUser(QLocalSocket* socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const auto fd = static_cast<int>(socket->socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

constexpr QByteArrayView kStartupIdField = "DESKTOP_STARTUP_ID=";
constexpr QByteArrayView kActivationField = "XDG_ACTIVATION_TOKEN=";

QByteArray fieldLine(QByteArrayView field, const QByteArray& token) {
    return isPlausibleToken(token) ? field.toByteArray() + token + '\n' : QByteArray();
}

// Takes the launch token lines off the front of a message.
LaunchToken takeLaunchToken(QByteArray& message) {
    LaunchToken launch;
    for (;;) {
        QByteArray* into = message.startsWith(kStartupIdField)   ? &launch.startupId
                           : message.startsWith(kActivationField) ? &launch.activationToken
                                                                  : nullptr;
        const auto end = message.indexOf('\n');
        if (!into || end < 0) return launch;
        const auto start = message.indexOf('=') + 1;
        const QByteArray token = message.mid(start, end - start);
        if (isPlausibleToken(token)) *into = token;
        message.remove(0, end + 1);
    }
}

}  // namespace

std::unique_ptr<SingleInstance> SingleInstance::elect(const std::string& folder,
                                                      std::chrono::milliseconds connectionLimit) {
    const std::string lockPath = folder + kLockName;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throw std::runtime_error("Vael could not open its instance lock in " + folder + ".");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return nullptr;
        throw std::runtime_error("Vael could not take its instance lock in " + folder + ".");
    }
    std::unique_ptr<SingleInstance> holder(new SingleInstance(fd, folder, connectionLimit));
    holder->listen();
    return holder;
}

SingleInstance::SingleInstance(int lockFd, std::string folder, std::chrono::milliseconds connectionLimit)
    : lockFd_(lockFd), folder_(std::move(folder)), connectionLimit_(connectionLimit) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

QString SingleInstance::socketPath() const { return socketIn(folder_); }

void SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // The lock says no other holder lives, so a socket file left here is a crashed holder's.
    QLocalServer::removeServer(socketPath());
    if (!server_->listen(socketPath()))
        throw std::runtime_error("Vael could not listen on " + socketPath().toStdString() + ".");
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

void SingleInstance::accept() {
    while (auto* socket = server_->nextPendingConnection()) {
        // A peer that holds connections open cannot pile up descriptors here.
        if (open_ >= kMaxConnections || !peerIsSameUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        // A forwarding start sends a few bytes and closes at once; one that lingers is dropped.
        QTimer::singleShot(connectionLimit_, socket, [socket] {
            socket->setProperty(kOverflowProperty, true);
            socket->abort();
        });
        socket->setProperty(kBufferProperty, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { finish(socket); });
        read(socket);
    }
}

void SingleInstance::read(QLocalSocket* socket) {
    if (socket->property(kOverflowProperty).toBool()) return;
    auto buffer = socket->property(kBufferProperty).toByteArray();
    const auto chunk = socket->readAll();
    if (buffer.size() + chunk.size() > kMaxMessage) {
        // Too long for any link: drop it and stop listening to this peer.
        socket->setProperty(kOverflowProperty, true);
        socket->setProperty(kBufferProperty, QByteArray());
        socket->abort();
        return;
    }
    buffer += chunk;
    socket->setProperty(kBufferProperty, buffer);
}

void SingleInstance::finish(QLocalSocket* socket) {
    read(socket);
    const bool overflow = socket->property(kOverflowProperty).toBool();
    auto message = socket->property(kBufferProperty).toByteArray();
    socket->setProperty(kBufferProperty, QByteArray());
    socket->deleteLater();
    if (overflow) return;
    const LaunchToken launch = takeLaunchToken(message);
    auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(message);
    if (decode.hasError()) return;
    if (text.isEmpty())
        emit raiseRequested(launch);
    else
        emit urlReceived(text, launch);
}

SingleInstance::Forwarded SingleInstance::forward(const std::string& folder, const QStringList& urls,
                                                  const LaunchToken& launch, int timeoutMs) {
    for (const auto& url : urls)
        if (url.toUtf8().size() > kMaxMessage) return Forwarded::tooLong;
    const QByteArray token = fieldLine(kStartupIdField, launch.startupId) + fieldLine(kActivationField, launch.activationToken);
    const QStringList messages = urls.isEmpty() ? QStringList{QString()} : urls;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        auto bytes = messages[i].toUtf8();
        if (i == 0 && bytes.size() + token.size() <= kMaxMessage) bytes.prepend(token);
        QLocalSocket socket;
        // The holder may have taken the lock a moment before it listens.
        bool connected = false;
        for (int attempt = 0; attempt < 10 && !connected; ++attempt) {
            socket.connectToServer(socketIn(folder));
            connected = socket.waitForConnected(timeoutMs / 10);
            if (!connected) QThread::msleep(timeoutMs / 20);
        }
        if (!connected) return Forwarded::noAnswer;
        if (!bytes.isEmpty()) {
            socket.write(bytes);
            if (!socket.waitForBytesWritten(timeoutMs)) return Forwarded::noAnswer;
        }
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState && !socket.waitForDisconnected(timeoutMs))
            return Forwarded::noAnswer;
    }
    return Forwarded::delivered;
}

}  // namespace vael

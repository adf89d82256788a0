#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <string>

#include "app/platform/LaunchActivation.h"

class QLocalServer;
class QLocalSocket;

namespace vael {

// One running Vael per user. An flock on "instance.lock" in the private data folder elects the
// holder, which alone serves "instance.sock" (user-only) and alone may clear a stale one. A later
// start hands its URLs, or an empty raise request, to the holder and exits.
//
// One connection carries one message: UTF-8 bytes up to the peer's close, at most kMaxMessage.
// A message starts with the sender's launch token lines ("DESKTOP_STARTUP_ID=…\n",
// "XDG_ACTIVATION_TOKEN=…\n"), if any; the rest is the URL, empty for a raise. The holder serves
// at most kMaxConnections at once and drops a connection that has not finished in time.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxMessage = 4096;
    static constexpr int kMaxConnections = 8;
    static constexpr std::chrono::milliseconds kConnectionLimit{3000};

    // Tries to become the holder for `folder` (which must exist and be private). Answers the
    // holder, or nothing when another process holds the lock. Throws std::runtime_error when the
    // lock file cannot be opened or the socket cannot be served.
    static std::unique_ptr<SingleInstance> elect(const std::string& folder,
                                                 std::chrono::milliseconds connectionLimit = kConnectionLimit);

    enum class Forwarded { delivered, tooLong, noAnswer };
    // From a later start: one message per URL, or one empty message when there are none; the
    // launch token goes with the first. A URL over the bound is not sent at all (tooLong).
    static Forwarded forward(const std::string& folder, const QStringList& urls, const LaunchToken& launch = {},
                             int timeoutMs = 3000);

    ~SingleInstance() override;

    QString socketPath() const;

signals:
    void urlReceived(const QString& url, const vael::LaunchToken& launch);
    void raiseRequested(const vael::LaunchToken& launch);

private:
    SingleInstance(int lockFd, std::string folder, std::chrono::milliseconds connectionLimit);
    void listen();
    void accept();
    void read(QLocalSocket* socket);
    void finish(QLocalSocket* socket);

    int lockFd_ = -1;
    std::string folder_;
    std::chrono::milliseconds connectionLimit_;
    QLocalServer* server_ = nullptr;
    int open_ = 0;
};

}  // namespace vael

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace vael {

// One running Vael per user. An flock on "instance.lock" in the private data folder elects the
// holder, which alone serves "instance.sock" (user-only) and alone may clear a stale one. A later
// start hands its URLs, or an empty raise request, to the holder and exits.
//
// One connection carries one message: UTF-8 bytes up to the peer's close, at most kMaxMessage.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxMessage = 4096;

    // Tries to become the holder for `folder` (which must exist and be private). Answers the
    // holder, or nothing when another process holds the lock. Throws std::runtime_error when the
    // lock file cannot be opened or the socket cannot be served.
    static std::unique_ptr<SingleInstance> elect(const std::string& folder);

    // From a later start: one message per URL, or one empty message when there are none. Answers
    // whether every message was delivered.
    static bool forward(const std::string& folder, const QStringList& urls, int timeoutMs = 3000);

    ~SingleInstance() override;

    QString socketPath() const;

signals:
    void urlReceived(const QString& url);
    void raiseRequested();

private:
    SingleInstance(int lockFd, std::string folder);
    void listen();
    void accept();
    void read(QLocalSocket* socket);
    void finish(QLocalSocket* socket);

    int lockFd_ = -1;
    std::string folder_;
    QLocalServer* server_ = nullptr;
};

}  // namespace vael

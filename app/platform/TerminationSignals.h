#pragma once

#include <QObject>

class QSocketNotifier;

namespace vael {

// SIGTERM and SIGINT (a logout, `kill`, Ctrl+C in a terminal) as a Qt signal on the main thread,
// so that they end the application the way its Quit does. The handler only writes the signal's
// number to a pipe; the main loop reads it. One at a time per process.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // Throws std::runtime_error when the pipe or the handlers cannot be set up.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Puts the default handling back.
    ~TerminationSignals() override;

signals:
    void received(int signal);

private:
    void drain();

    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vael

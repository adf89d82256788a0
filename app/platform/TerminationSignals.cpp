#include "app/platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace vael {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};
volatile std::sig_atomic_t writeFd = -1;

extern "C" void onTerminationSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(writeFd, &byte, 1);  // async-signal-safe; a full pipe already says enough
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (writeFd != -1) throw std::logic_error("termination signals are already watched");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("Vael could not watch for termination signals.");
    readFd_ = fds[0];
    writeFd = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
    delete notifier_;
    ::close(writeFd);
    writeFd = -1;
    ::close(readFd_);
}

void TerminationSignals::drain() {
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(readFd_, bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < count; ++i) emit received(bytes[i]);
}

}  // namespace vael

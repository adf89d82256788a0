#pragma once

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace vael::test {

// Lowers the process's file-size limit while it lives: a write past `bytes` then fails (EFBIG) as
// a write to a full disk does, instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0) throw std::runtime_error("getrlimit failed");
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) throw std::runtime_error("setrlimit failed");
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*handler_)(int);
};

}  // namespace vael::test

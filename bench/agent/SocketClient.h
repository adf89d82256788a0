#pragma once

// The agent's side of the socket, as the benchmarks drive it: blocking, one line out, one line back.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vael::bench {

inline int connectTo(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) std::abort();
    return fd;
}

// Sends one line and reads one answer line into buffer; answers the answer's length.
inline std::size_t roundTrip(int fd, const std::string& line, char* buffer, std::size_t size) {
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) std::abort();
    std::size_t have = 0;
    for (;;) {
        auto n = ::read(fd, buffer + have, size - have);
        if (n <= 0) std::abort();
        have += static_cast<std::size_t>(n);
        if (buffer[have - 1] == '\n') return have;
    }
}

}  // namespace vael::bench

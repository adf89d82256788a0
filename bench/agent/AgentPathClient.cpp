// An agent in a process of its own, as agents are: connects to a Unix socket, sends each line read
// from standard input once to warm up, then each again timed, and prints the median round trip in
// microseconds. Every answer must contain the text given, so an error never passes for speed.
//
//   agent_path_client SOCKET EXPECTED < lines

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "SocketClient.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: agent_path_client SOCKET EXPECTED < lines\n");
        return 2;
    }
    const std::string expected = argv[2];
    std::vector<std::string> lines;
    for (std::string line; std::getline(std::cin, line);) lines.push_back(line + "\n");
    const int fd = vael::bench::connectTo(argv[1]);
    char buffer[8192];
    std::vector<double> micros;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& line : lines) {
            const auto start = std::chrono::steady_clock::now();
            const auto have = vael::bench::roundTrip(fd, line, buffer, sizeof buffer);
            const auto took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start);
            if (std::string_view(buffer, have).find(expected) == std::string_view::npos) {
                std::fprintf(stderr, "unexpected answer: %.*s\n", static_cast<int>(have), buffer);
                return 1;
            }
            if (pass == 1) micros.push_back(took.count());
        }
    }
    ::close(fd);
    if (micros.empty()) return 1;
    std::sort(micros.begin(), micros.end());
    std::printf("%.3f\n", micros[micros.size() / 2]);
    return 0;
}

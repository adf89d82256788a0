// An agent in a process of its own that creates secrets one after another over the vault's socket,
// as an agent filling a vault does, and prints the round trips in milliseconds:
// "count median p90 max mean". Every answer must carry the created field, so an error never passes
// for speed.
//
//   agent_create_client SOCKET PREFIX COUNT

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "SocketClient.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: agent_create_client SOCKET PREFIX COUNT\n");
        return 2;
    }
    const std::string prefix = argv[2];
    const int count = std::stoi(argv[3]);
    const int fd = vael::bench::connectTo(argv[1]);
    char buffer[8192];
    std::vector<double> millis;
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const std::string line = R"({"op":"secret_create","name":")" + prefix + std::to_string(i) +
                                 R"(","value":"v","field_label":"password","kind":"password","ai_access":"injectable"})" "\n";
        const auto start = std::chrono::steady_clock::now();
        const auto have = vael::bench::roundTrip(fd, line, buffer, sizeof buffer);
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (std::string_view(buffer, have).find("\"field_label\"") == std::string_view::npos) {
            std::fprintf(stderr, "unexpected answer: %.*s\n", static_cast<int>(have), buffer);
            return 1;
        }
        millis.push_back(took);
        sum += took;
    }
    ::close(fd);
    if (millis.empty()) return 1;
    std::sort(millis.begin(), millis.end());
    const auto at = [&](double p) {
        return millis[std::min(millis.size() - 1, static_cast<std::size_t>(p * static_cast<double>(millis.size())))];
    };
    std::printf("%zu %.3f %.3f %.3f %.3f\n", millis.size(), at(0.5), at(0.9), millis.back(), sum / static_cast<double>(millis.size()));
    return 0;
}

#pragma once

#include <malloc.h>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

// What the window benches share: their clock, figures and the event loop's stall probe.
namespace vael::windowbench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline std::string spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    char text[64];
    std::snprintf(text, sizeof text, "%.1f..%.1f", values.empty() ? 0 : values.front(), values.empty() ? 0 : values.back());
    return text;
}

inline long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

inline long heapInUseKilobytes() { return static_cast<long>(mallinfo2().uordblks / 1024); }

// The longest gap between turns of the event loop while it runs.
class StallWatch {
public:
    StallWatch() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, std::chrono::duration<double, std::milli>(now - last_).count());
            last_ = now;
        });
    }
    void start() {
        longest_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    double stop() {
        timer_.stop();
        return std::max(longest_, msSince(last_));
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

}  // namespace vael::windowbench

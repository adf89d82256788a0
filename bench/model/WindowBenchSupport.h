#pragma once

#include <malloc.h>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"

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

// The n-th item of a bench vault: a password under a scattered name, every fiftieth with a code.
inline ItemRecord sampleItem(VaultCrypto& vault, const CollectionKey& key, int n) {
    ItemPayload payload;
    payload.name = "Item " + std::to_string((n * 7919) % 100000);
    payload.fields = {{"password", ItemField::Kind::password, "s3cret-" + std::to_string(n), true}};
    if (n % 50 == 0) payload.fields.push_back({"otp", ItemField::Kind::otp, "JBSWY3DPEHPK3PXP", true});
    const auto id = Uuid::random();
    return itemlayout::itemBody(id, AppModel::localCollectionID(), "login",
                                itemlayout::sealPayload(vault, payload, id, key), "injectable", 1,
                                std::chrono::system_clock::now())
        .toRecord(false);
}

}  // namespace vael::windowbench

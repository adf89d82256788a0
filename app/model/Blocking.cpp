#include "app/model/Blocking.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace vael {

namespace {

bool aWorkerThreadIsAlive() {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "Thread (pooled)") return true;
    }
    return false;
}

}  // namespace

void awaitWorkerThreadsEnded() {
    // The pool's own wait returns once a worker's run is over, before its thread-local state is torn
    // down; exit handlers running beside that teardown freed memory twice.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (aWorkerThreadIsAlive() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace vael

#pragma once

// Shared test helpers: a private temporary folder, sample records and a post queue to drain.

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "store/VaelStore.h"

namespace vael::test {

using namespace std::chrono_literals;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vael-store-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline TimePoint at(std::chrono::milliseconds sinceEpoch) {
    return TimePoint{std::chrono::duration_cast<TimePoint::duration>(sinceEpoch)};
}

// 2025-03-07 09:05:01.250 UTC plus an offset.
inline TimePoint sampleTime(std::chrono::milliseconds offset = 0ms) { return at(1741338301250ms + offset); }

inline Uuid id(int n) {
    char text[37];
    std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", n);
    return Uuid::fromText(text);
}

inline ItemRecord sampleItem(int n, const Uuid& collection = id(900)) {
    return ItemRecord{
        .id = id(n),
        .collectionId = collection,
        .type = "login",
        .nameBlob = bytesOf("name-" + std::to_string(n)),
        .contentBlob = bytesOf("content"),
        .cryptoParams = R"({"v":1})",
        .wrappedItemKey = bytesOf("item-key"),
        .aiAccess = "injectable",
        .revision = 1,
        .updatedAt = sampleTime(),
        .deleted = false,
    };
}

inline CollectionRecord sampleCollection(int n, const Uuid& org = id(800)) {
    return CollectionRecord{
        .id = id(n),
        .orgId = org,
        .parentId = std::nullopt,
        .nameBlob = bytesOf("group-" + std::to_string(n)),
        .nameWrappedKey = std::nullopt,
        .sort = 0,
        .wrappedKey = bytesOf("group-key"),
        .updatedAt = sampleTime(),
        .deleted = false,
    };
}

inline ProjectRecord sampleProject(int n) {
    return ProjectRecord{
        .id = id(n),
        .nameBlob = bytesOf("project-" + std::to_string(n)),
        .nameWrappedKey = bytesOf("name-key"),
        .sort = 0,
        .updatedAt = sampleTime(),
        .deleted = false,
    };
}

// Stands in for the application's event loop: posted work waits until the test drains it.
class PostQueue {
public:
    PostFunction post() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        };
    }
    // Runs everything posted, including work posted while draining. Answers how much ran.
    int drain() {
        int ran = 0;
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty()) return ran;
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
            ++ran;
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

class StoreTest : public ::testing::Test {
protected:
    std::string path() const { return dir.file("replica.sqlite").string(); }
    VaelStore& open() {
        store = std::make_unique<VaelStore>(path());
        return *store;
    }

    TempDir dir;
    std::unique_ptr<VaelStore> store;
};

}  // namespace vael::test

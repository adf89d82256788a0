// One server client under the overlapping calls of a session: agent writes through the engine, sync
// runs, and sharing calls straight on the client. Run it under ThreadSanitizer too.

#include <atomic>
#include <thread>

#include "SyncFixtures.h"
#include "api/APIError.h"

using namespace vael;
using namespace vael::test;
using Server = fake::FakeVaelServer;

namespace {

const Uuid kOrg = id(800);
const Uuid kGroup = id(900);

}  // namespace

TEST(ConcurrentClient, WritesSyncRunsAndSharingCallsOverlapOnOneClient) {
    constexpr int kWriters = 4;
    constexpr int kItemsPerWriter = 15;
    SyncEnv env;
    seedGroup(env.server, kOrg, kGroup);

    std::atomic<bool> writing{true};
    std::atomic<int> failures{0};
    auto guarded = [&](auto&& work) {
        try {
            work();
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
            ++failures;
        }
    };

    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            guarded([&] {
                for (int i = 0; i < kItemsPerWriter; ++i) {
                    auto body = ItemBody::fromRecord(sampleItem(1000 * (w + 1) + i, kGroup));
                    env.engine->create(body);
                    body.contentBlob = bytesOf("edited");
                    body.revision = 1;
                    try {
                        env.engine->write(body);
                    } catch (const SyncAPIError& error) {
                        // A sync run may have pulled the item in between: a conflict is an answer.
                        if (error.kind() != SyncAPIError::Kind::conflict) throw;
                    }
                    // Absent on the server: an answer too, not a failure.
                    env.engine->deleteItem(id(999'000 + w * 100 + i));
                }
            });
        });
    }
    threads.emplace_back([&] {
        guarded([&] {
            while (writing) {
                env.engine->pull();
                env.engine->replayPending();
            }
        });
    });
    threads.emplace_back([&] {
        guarded([&] {
            while (writing) {
                env.client->listMembers(kOrg);
                try {
                    env.client->fetchItem(id(1));
                } catch (const APIError& error) {
                    if (error.kind() != APIError::Kind::NotFound) throw;
                }
            }
        });
    });

    for (int w = 0; w < kWriters; ++w) threads[static_cast<std::size_t>(w)].join();
    writing = false;
    for (std::size_t t = kWriters; t < threads.size(); ++t) threads[t].join();

    EXPECT_EQ(failures.load(), 0);
    env.engine->replayPending();
    EXPECT_EQ(env.engine->pendingCount(), 0);
    EXPECT_EQ(env.server.items().size(), static_cast<std::size_t>(kWriters * kItemsPerWriter));
    for (const auto& item : env.server.items()) EXPECT_EQ(item.contentBlob, b64("edited")) << item.id.text();
}

// Two writers of one item: agent connections on their own threads, each held inside its server call
// so that the other runs exactly where a lost update or an undone deletion would happen.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "OpsFixtures.h"

using namespace vael;
using namespace vael::testing;
using Kind = ItemField::Kind;
using Op = VaultUDSRequest::Op;
using MCase = VaultUDSManagementError::Case;

namespace {

// Holds the first call of `method` until released.
class HeldCall {
public:
    HeldCall(test::ScriptedSyncAPI& api, std::string method) {
        api.onCall([this, method = std::move(method)](const test::ScriptedSyncAPI::Call& call) {
            if (call.method != method || taken_.exchange(true)) return;
            std::unique_lock lock(mutex_);
            entered_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_; });
        });
    }
    void waitUntilEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::atomic<bool> taken_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

VaultUDSRequest update(std::optional<std::string> value, std::optional<std::string> url) {
    auto r = request(Op::secretUpdate);
    r.ref = "vael://local/Deploy/token";
    r.value = std::move(value);
    r.url = std::move(url);
    return r;
}

// Runs `second` while `first` waits inside its server call, then lets `first` go on. The pause only
// gives `second` the chance to run ahead; a sound store gives the same result without it.
template <class First, class Second>
void interleave(HeldCall& held, First first, Second second) {
    std::thread one(first);
    held.waitUntilEntered();
    std::thread two(second);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    held.release();
    one.join();
    two.join();
}

}  // namespace

TEST(ItemSourceConcurrency, TwoConnectionsChangingOneItemKeepBothChanges) {
    OpsEnv env;
    auto row = env.addItem(kDefaultGroup, payload("Deploy", {field("token", Kind::token, "old")}));
    HeldCall held(*env.api, "putItem");
    interleave(
        held, [&] { env.source->updateSecret(update("new value", std::nullopt), approveAll); },
        [&] { env.source->updateSecret(update(std::nullopt, "https://b.example"), approveAll); });

    const auto stored = env.payloadOf(row.id);
    EXPECT_EQ(stored.fields.front().value, "new value");
    EXPECT_EQ(stored.url, "https://b.example");
}

TEST(ItemSourceConcurrency, AnsweredDeletionIsNeverUndoneByAnUpdateInFlight) {
    OpsEnv env;
    auto row = env.addItem(kDefaultGroup, payload("Deploy", {field("token", Kind::token, "old")}));
    HeldCall held(*env.api, "putItem");
    VaultUDSDeleteResult deleted;
    interleave(
        held, [&] { env.source->updateSecret(update("new value", std::nullopt), approveAll); },
        [&] {
            auto r = request(Op::secretDelete);
            r.ref = "vael://local/Deploy/token";
            deleted = env.source->deleteSecret(r, approveAll);
        });

    EXPECT_TRUE(deleted.deleted);
    EXPECT_TRUE(env.store->item(row.id)->deleted);
    // Any later update answers "not found" and leaves the tombstone.
    EXPECT_EQ(managementError([&] { env.source->updateSecret(update("again", std::nullopt), approveAll); }),
              MCase::notFound);
    EXPECT_TRUE(env.store->item(row.id)->deleted);
}

TEST(ItemSourceConcurrency, BrowserSaveAndAnUpdateOfOneLoginKeepBoth) {
    OpsEnv env;
    auto row = env.addItem(kDefaultGroup,
                           payload("Deploy", {field("username", Kind::username, "ann", false),
                                              field("token", Kind::password, "old")},
                                   "https://login.example.com"));
    HeldCall held(*env.api, "putItem");
    interleave(
        held,
        [&] {
            auto r = request(Op::secretUpdate);
            r.ref = "vael://local/Deploy/username";
            r.allowedHosts = std::vector<std::string>{"api.example.com"};
            env.source->updateSecret(r, approveAll);
        },
        [&] {
            auto r = request(Op::browserSave);
            r.url = "https://login.example.com";
            r.username = "ann";
            r.value = "fresh";
            env.source->browserSave(r);
        });

    const auto stored = env.payloadOf(row.id);
    EXPECT_EQ(stored.fields.back().value, "fresh");
    EXPECT_EQ(stored.allowedHosts, std::vector<std::string>{"api.example.com"});
}

// One lock per record: a record held for long never holds another, whatever their ids; writers of
// one record take turns; nothing is kept once everyone is done.
TEST(RecordWriteLocksTest, AHeldRecordHoldsNoOtherAndEntriesGoWhenDone) {
    RecordWriteLocks locks;
    const auto held = Uuid::random();
    auto lock = locks.lock(held);
    for (int i = 0; i < 256; ++i) {
        auto other = std::async(std::launch::async, [&] { return locks.lock(Uuid::random()).owns_lock(); });
        ASSERT_EQ(other.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_TRUE(other.get());
    }
    std::atomic<bool> entered{false};
    auto same = std::async(std::launch::async, [&] {
        auto second = locks.lock(held);
        entered = true;
    });
    EXPECT_EQ(same.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(entered);
    lock.unlock();
    ASSERT_EQ(same.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(entered);
    EXPECT_EQ(locks.recordsInUse(), 0u);
}

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "ItemFixtures.h"
#include "app/agent/ops/StoreVaultItemSource.h"
#include "app/model/StoreItemSourceFactory.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;
using Kind = ItemField::Kind;
using AppError = AppModel::AppError;

ItemPayload named(std::string name) {
    ItemPayload payload;
    payload.name = std::move(name);
    return payload;
}

bool raisesNotUnlocked(auto task) {
    try {
        await(std::move(task));
    } catch (const AppError& error) {
        return error.code() == AppError::Case::notUnlocked;
    }
    return false;
}

// MARK: - adding items

TEST(ItemOperations, AddItemStoresTheSealedLayoutInTheChosenGroup) {
    OpenVault v;
    const auto id = v.item("mail", std::nullopt, {{"password", Kind::password, "pw", true}}, "human_gated");
    const auto row = *v.peek->item(id);
    EXPECT_EQ(row.collectionId, AppModel::localCollectionID());
    EXPECT_EQ(row.type, "login");
    EXPECT_EQ(row.aiAccess, "human_gated");
    EXPECT_EQ(row.revision, 1);
    EXPECT_EQ(row.cryptoParams, R"({"envelope_version":1})");
    EXPECT_EQ(row.nameBlob, row.contentBlob);
    EXPECT_EQ(v.payloadOf(id).name, "mail");

    const auto work = v.group("work");
    const auto inWork = v.item("vpn", work);
    EXPECT_EQ(v.peek->item(inWork)->collectionId, work);
    EXPECT_EQ(v.payloadOf(inWork, v.keyOf(work)).name, "vpn");
    EXPECT_THROW(v.payloadOf(inWork, v.keyOf(AppModel::localCollectionID())), VaelCryptoError);
}

TEST(ItemOperations, AddItemRefusesMissingOrDeletedGroupsAndALockedVault) {
    OpenVault v;
    const auto gone = v.group("gone");
    await(v.m.deleteGroup(gone));
    for (const auto& target : {Uuid::random(), gone}) {
        EXPECT_TRUE(raisesNotUnlocked(v.m.addItem(named("x"), "login", "injectable", target)));
    }
    EXPECT_TRUE(v.peek->items(gone).empty());
    v.h.lock();
    EXPECT_TRUE(raisesNotUnlocked(v.m.addItem(named("x"), "login", "injectable")));
}

TEST(ItemOperations, AddItemFromPartsAnswersTheRealEncodedReference) {
    OpenVault v;
    const auto work = v.group("Work Stuff");
    const auto ref = await(v.m.addItem("a/b", "pass word", "pw", "injectable", std::string(""), work));
    EXPECT_EQ(ref, "vael://Work%20Stuff/a%2Fb/pass%20word");
    EXPECT_EQ(await(v.m.addItem("mail", "password", "pw", "injectable", std::string("  "))),
              "vael://local/mail/password");

    const auto rows = await(v.m.listItems());
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows) {
        const auto payload = v.payloadOf(row.id);
        if (payload.name == "a/b") {
            ASSERT_EQ(payload.fields.size(), 1u);  // an empty username adds no field
        } else {
            ASSERT_EQ(payload.fields.size(), 2u);  // a username of spaces is kept as given
            EXPECT_EQ(payload.fields[0], (ItemField{"username", Kind::username, "  ", false}));
            EXPECT_EQ(payload.fields[1], (ItemField{"password", Kind::password, "pw", true}));
        }
    }
}

// MARK: - rewriting items

TEST(ItemOperations, WebsiteRewritesKeepTypeAndGroupAndTrimTheAddress) {
    OpenVault v;
    v.connect();
    auto payload = named("server");
    payload.fields = {{"key", Kind::sshPrivateKey, "k", true}};
    const auto id = await(v.m.addItem(std::move(payload), "ssh_key", "ai_hidden", std::nullopt));
    const auto before = *v.peek->item(id);

    await(v.m.updateItemWebsite(id, std::string("  https://example.com/ \n"), true));
    auto after = *v.peek->item(id);
    EXPECT_EQ(v.payloadOf(id).url, "https://example.com/");
    EXPECT_EQ(v.payloadOf(id).strictMatch, true);
    EXPECT_EQ(after.type, "ssh_key");
    EXPECT_EQ(after.aiAccess, "ai_hidden");
    EXPECT_EQ(after.revision, before.revision + 1);  // the server's answer to the expected revision
    EXPECT_NE(after.contentBlob, before.contentBlob);
    EXPECT_EQ(after.nameBlob, after.contentBlob);

    await(v.m.updateItemWebsite(id, std::string("   "), false));
    EXPECT_FALSE(v.payloadOf(id).url);
    EXPECT_FALSE(v.payloadOf(id).strictMatch);  // absent, not false

    EXPECT_TRUE(raisesNotUnlocked(v.m.updateItemWebsite(Uuid::random(), std::nullopt, false)));
    EXPECT_TRUE(raisesNotUnlocked(v.m.setOTPField(Uuid::random(), "JBSWY3DPEHPK3PXP")));
}

// The window and an agent write one item at once: the agent's put waits on the server while the
// window saves the website; both changes stay.
TEST(ItemOperations, WindowAndAgentWritingOneItemKeepBothChanges) {
    OpenVault v;
    v.connect();
    const auto id = v.item("Deploy");
    auto agents = storeItemSourceFactory()(v.h.contexts.back());

    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false;
    std::atomic<bool> taken{false};
    v.api->duringPut = [&] {
        if (taken.exchange(true)) return;
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    };
    std::thread agent([&] {
        VaultUDSRequest r;
        r.op = VaultUDSRequest::Op::secretUpdate;
        r.ref = "vael://local/Deploy/password";
        r.value = "from the agent";
        agents->updateSecret(r, [](const std::string&) { return true; });
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return entered; });
    }
    // Gives the window's save the chance to run ahead of the agent's; the result must not depend on it.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    });
    await(v.m.updateItemWebsite(id, std::string("https://b.example"), false));
    agent.join();
    releaser.join();

    const auto stored = v.payloadOf(id);
    EXPECT_EQ(stored.fields.front().value, "from the agent");
    EXPECT_EQ(stored.url, "https://b.example");
}

// A vault that was never connected calls no server, and keeps one queued change per item.
TEST(ItemOperations, AVaultWithoutAServerAccountCallsNothingAndQueuesOneChangePerItem) {
    OpenVault v;
    const auto group = v.group("g");
    const auto kept = v.item("kept", group);
    const auto dropped = v.item("dropped");
    for (int i = 0; i < 5; ++i) await(v.m.updateItemWebsite(kept, "https://" + std::to_string(i) + ".example", false));
    await(v.m.setOTPField(dropped, "JBSWY3DPEHPK3PXP"));
    await(v.m.deleteItem(dropped));
    testing::settle();

    EXPECT_TRUE(v.api->calls().empty());
    EXPECT_EQ(v.payloadOf(kept).url, "https://4.example");
    EXPECT_TRUE(v.peek->pendingOps(dropped).empty());
    ASSERT_EQ(v.peek->pendingOps(kept).size(), 1u);
    EXPECT_EQ(v.peek->pendingOps(kept)[0].kind, PendingOpRecord::Kind::create);
}

TEST(ItemOperations, OneTimeCodeFieldReplacesTheFirstOrIsAppended) {
    OpenVault v;
    const auto two = v.item("two", std::nullopt,
                            {{"pw", Kind::password, "p", true}, {"seed", Kind::otp, "old", true}, {"b", Kind::otp, "x", true}});
    const auto none = v.item("none");
    await(v.m.setOTPField(two, "otpauth://totp/A:b?secret=JBSWY3DPEHPK3PXP"));
    await(v.m.setOTPField(none, "JBSWY3DPEHPK3PXP"));

    const auto first = v.payloadOf(two).fields;
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[1], (ItemField{"otp", Kind::otp, "otpauth://totp/A:b?secret=JBSWY3DPEHPK3PXP", true}));
    EXPECT_EQ(first[2], (ItemField{"b", Kind::otp, "x", true}));
    const auto appended = v.payloadOf(none).fields;
    ASSERT_EQ(appended.size(), 2u);
    EXPECT_EQ(appended[1], (ItemField{"otp", Kind::otp, "JBSWY3DPEHPK3PXP", true}));
}

// MARK: - listings

TEST(Listings, EmptyWithoutASession) {
    testing::ModelHarness h;
    EXPECT_TRUE(await(h.model->listItems()).empty());
    EXPECT_TRUE(await(h.model->listCodes()).empty());
    EXPECT_TRUE(await(h.model->vaultTree()).empty());
}

TEST(Listings, ItemRowsShowEveryTierInGroupOrderAndSkipItemsWithoutFields) {
    OpenVault v;
    const auto later = v.group("later");
    const auto inLater = v.item("b", later, {{"token", Kind::token, "t", true}}, "whatever");
    const auto hidden = v.item("a", std::nullopt, {{"user", Kind::username, "u", false}}, "ai_hidden");
    v.item("empty", std::nullopt, {});
    const auto rows = await(v.m.listItems());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (AppModel::ItemRow{hidden, "a", "user", "ai_hidden", AppModel::localCollectionID()}));
    EXPECT_EQ(rows[1], (AppModel::ItemRow{inLater, "b", "token", "whatever", later}));
}

TEST(Listings, CodeRowsTakeTheAccountFromTheSeedElseTheUsernameAndSortIgnoringCase) {
    OpenVault v;
    v.item("Banana", std::nullopt, {{"u", Kind::username, "bob", false}, {"o", Kind::otp, "JBSWY3DPEHPK3PXP", true}});
    v.item("apple", std::nullopt,
           {{"u", Kind::username, "ann", false}, {"o", Kind::otp, "otpauth://totp/Acme:alice?secret=JBSWY3DPEHPK3PXP", true},
            {"o2", Kind::otp, "JBSWY3DPEHPK3PXP", true}});
    v.item("cherry", std::nullopt, {{"o", Kind::otp, "not a seed", true}});
    v.item("plain");
    const auto rows = await(v.m.listCodes());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "apple");
    EXPECT_EQ(rows[0].account, "alice");
    EXPECT_EQ(rows[0].otpFieldValue, "otpauth://totp/Acme:alice?secret=JBSWY3DPEHPK3PXP");
    EXPECT_EQ(rows[1].name, "Banana");
    EXPECT_EQ(rows[1].account, "bob");
    EXPECT_EQ(rows[2].name, "cherry");
    EXPECT_FALSE(rows[2].account);
}

TEST(Listings, TreeSortsUpperCaseFirstAndFallsBackForNamesThatDoNotOpen) {
    OpenVault v;
    const auto banana = *await(v.m.createProject("Banana"));
    const auto apple = *await(v.m.createProject("apple"));
    const auto top = v.group("zeta", banana);
    const auto child = v.group("Alpha", banana, top);
    v.group("only", apple);

    // A group whose name does not open, one whose key does not open, one of an unknown project.
    auto unnamed = *v.peek->collection(top);
    unnamed.id = Uuid::fromText("00000000-0000-0000-0000-0000000000AA");  // its fallback sorts first
    unnamed.nameWrappedKey = Bytes{1, 2, 3};
    v.peek->upsertCollection(unnamed);
    auto locked = unnamed;
    locked.id = Uuid::random();
    locked.wrappedKey = Bytes{4, 5, 6};
    v.peek->upsertCollection(locked);
    auto stray = *v.peek->collection(top);
    stray.id = Uuid::random();
    stray.orgId = Uuid::random();
    v.peek->upsertCollection(stray);
    const auto strayItem = v.item("stray item", stray.id);
    auto unreadable = *v.peek->item(strayItem);
    unreadable.id = Uuid::random();
    unreadable.collectionId = locked.id;
    v.peek->upsertItem(unreadable);

    const auto tree = await(v.m.vaultTree());
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].name, "Banana");
    EXPECT_EQ(tree[1].name, "Personal");
    EXPECT_EQ(tree[2].name, "apple");
    ASSERT_EQ(tree[0].groups.size(), 3u);
    EXPECT_EQ(tree[0].groups[0].name, unnamed.id.text().substr(0, 8));
    EXPECT_EQ(tree[0].groups[1], (AppModel::GroupNode{child, "Alpha", banana, top}));
    EXPECT_EQ(tree[0].groups[2], (AppModel::GroupNode{top, "zeta", banana, std::nullopt}));
    ASSERT_EQ(tree[1].groups.size(), 1u);
    EXPECT_EQ(tree[1].groups[0].name, "local");

    // The stray group's items are listed; the locked group's are not.
    const auto rows = await(v.m.listItems());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, strayItem);
}

// MARK: - SSH keys

bool keyOpens(const std::string& folder, const SSHKeyPair& pair, const std::string& passphrase) {
    const auto file = folder + "/key";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(pair.privateKey.data()), static_cast<std::streamsize>(pair.privateKey.size()));
    }
    ::chmod(file.c_str(), 0600);
    const auto command = "/usr/bin/ssh-keygen -y -P '" + passphrase + "' -f '" + file + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(SSHKeys, CreatedForRealAndStoredInTheDefaultGroup) {
    if (::access("/usr/bin/ssh-keygen", X_OK) != 0) GTEST_SKIP() << "ssh-keygen is not installed";
    OpenVault v;
    const auto pair =
        await(v.m.createSSHKey("laptop", SSHKeyType::ed25519, SecureBytes(std::string_view("pass phrase")), "human_gated"));
    EXPECT_EQ(pair.publicKey.rfind("ssh-ed25519 ", 0), 0u);
    EXPECT_TRUE(pair.publicKey.ends_with(" laptop (vael)"));
    EXPECT_TRUE(keyOpens(v.h.home.path(), pair, "pass phrase"));
    EXPECT_FALSE(keyOpens(v.h.home.path(), pair, ""));

    const auto rows = await(v.m.listItems());
    ASSERT_EQ(rows.size(), 1u);
    const auto row = *v.peek->item(rows[0].id);
    EXPECT_EQ(row.collectionId, AppModel::localCollectionID());
    EXPECT_EQ(row.type, "ssh_key");
    EXPECT_EQ(row.aiAccess, "human_gated");
    const auto payload = v.payloadOf(row.id);
    EXPECT_EQ(payload.name, "laptop");
    EXPECT_EQ(payload.tags, std::vector<std::string>{"ssh"});
    ASSERT_EQ(payload.fields.size(), 2u);
    EXPECT_EQ(payload.fields[0], (ItemField{"private key", Kind::sshPrivateKey,
                                            std::string(reinterpret_cast<const char*>(pair.privateKey.data()),
                                                        pair.privateKey.size()),
                                            true}));
    EXPECT_EQ(payload.fields[1], (ItemField{"public key", Kind::sshPublicKey, pair.publicKey, false}));

    // Locked: the key is made, then nothing is stored.
    v.h.lock();
    EXPECT_TRUE(raisesNotUnlocked(v.m.createSSHKey("x", SSHKeyType::ed25519, SecureBytes(), "injectable")));
}

}  // namespace
}  // namespace vael

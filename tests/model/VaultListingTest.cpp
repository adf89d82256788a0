#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <QSignalSpy>

#include "model/ItemFixtures.h"
#include "app/model/VaultListing.h"
#include "app/model/window/ItemListModel.h"
#include "app/model/window/VaultWindowModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;

const std::string kCode = "otpauth://totp/Issuer:alice?secret=JBSWY3DPEHPK3PXP&issuer=Issuer";

// Writes straight into the session's store, as the agent's item source does.
struct SessionWrites {
    OpenVault& v;
    VaelStore& store() { return *v.h.contexts.back().store; }
    void reseal(const Uuid& id, const std::function<void(ItemPayload&)>& change) {
        auto record = *store().item(id);
        const auto key = v.keyOf(record.collectionId);
        auto payload = v.payloadOf(id, key);
        change(payload);
        auto body = itemlayout::itemBody(id, record.collectionId, record.type,
                                         itemlayout::sealPayload(*v.m.vault(), payload, id, key), record.aiAccess,
                                         record.revision + 1, record.updatedAt);
        store().upsertItem(body.toRecord(false));
    }
    void setTier(const Uuid& id, const std::string& tier) {
        auto record = *store().item(id);
        record.aiAccess = tier;
        store().upsertItem(record);
    }
};

// Rows read while the passphrase was typed, kept across a wrong passphrase, give way to a write made
// to the file after them.
TEST(VaultListing, RowsReadAheadOfAnUnlockGiveWayToAWriteMadeSince) {
    OpenVault v;
    v.item("Alpha");
    const auto beta = v.item("Beta");
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& entry : await(v.m.readListing(std::nullopt)).entries)
            if (entry.row) found.push_back(entry.row->name);
        return found;
    };
    v.h.lock();
    v.m.readAheadForUnlock();
    testing::settle();
    v.h.unlock("wrong passphrase");
    ASSERT_FALSE(v.m.hasSession());
    auto gone = *v.peek->item(beta);
    gone.deleted = true;
    v.peek->upsertItem(gone);
    v.h.unlock();
    ASSERT_TRUE(v.m.hasSession());
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha"});

    // Nothing written since: the same rows as a read of the store.
    v.h.lock();
    v.m.readAheadForUnlock();
    testing::settle();
    v.h.unlock();
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha"});
}

TEST(VaultListing, EachWriteLeavesWhatAFullListingGives) {
    OpenVault v;
    SessionWrites writes{v};
    const auto work = v.group("Work");
    const auto zeta = v.item("Zeta", work);
    const auto alpha = v.item("alpha", std::nullopt,
                              {{"password", ItemField::Kind::password, "p", true}, {"otp", ItemField::Kind::otp, kCode, true}});
    const auto beta = v.item("Beta");
    const auto gamma = v.item("gamma", work, {{"otp", ItemField::Kind::otp, "JBSWY3DPEHPK3PXP", true}});

    VaultListing listing;
    listing.apply(await(v.m.readListing(std::nullopt)));
    VaultWindowModel window(v.m);
    await(window.refresh());
    // The list follows with a search on; the listing keeps its search keys in step.
    ItemListModel list(window);
    window.setSearch("A");
    QSignalSpy resets(&list, &QAbstractItemModel::modelReset);
    listing.searchKeys();

    struct Case {
        std::string kind;
        std::function<void()> write;
        bool whole;  // groups or projects written: read everything again
    };
    const std::vector<Case> cases{
        {"create", [&] { v.item("Delta", work); }, false},
        {"create with a code", [&] { v.item("Aardvark", std::nullopt, {{"otp", ItemField::Kind::otp, kCode, true}}); }, false},
        {"update, same row", [&] { await(v.m.updateItemWebsite(beta, "https://example.com", false)); }, false},
        {"rename", [&] { writes.reseal(beta, [](ItemPayload& p) { p.name = "AAA first"; }); }, false},
        {"rename a code", [&] { writes.reseal(alpha, [](ItemPayload& p) { p.name = "zz last"; }); }, false},
        {"first field's label", [&] { writes.reseal(zeta, [](ItemPayload& p) { p.fields.front().label = "token"; }); }, false},
        {"fields emptied", [&] { writes.reseal(zeta, [](ItemPayload& p) { p.fields.clear(); }); }, false},
        {"tier change", [&] { writes.setTier(beta, "human_gated"); }, false},
        {"move", [&] { await(v.m.moveItem(beta, work)); }, false},
        {"code added", [&] { await(v.m.setOTPField(beta, kCode)); }, false},
        {"code changed", [&] { await(v.m.setOTPField(gamma, kCode)); }, false},
        {"code removed",
         [&] {
             writes.reseal(alpha, [](ItemPayload& p) {
                 std::erase_if(p.fields, [](const ItemField& f) { return f.kind == ItemField::Kind::otp; });
             });
         },
         false},
        {"several in one write",
         [&] {
             const auto login = [](std::string name) {
                 ItemPayload p;
                 p.name = std::move(name);
                 p.fields.push_back({"password", ItemField::Kind::password, "p", true});
                 return p;
             };
             await(v.m.addItems({login("Bravo"), login("aardvark 2"), login("Zulu"), login("Bravo")}, "login", "ai_hidden"));
         },
         false},
        {"writes between two reads", [&] {
             writes.reseal(beta, [](ItemPayload& p) { p.name = "Mid"; });
             v.item("Echo");
             await(v.m.deleteItem(zeta));
         },
         false},
        {"a burst of more rows than are shifted one by one",
         [&] {
             std::vector<ItemPayload> burst;
             for (const auto* name : {"b1", "Z9", "a5", "m3", "Bravo", "c7", "y2", "d4", "x8", "e6", "AAA first"}) {
                 auto& p = burst.emplace_back();
                 p.name = name;
                 p.fields.push_back({"password", ItemField::Kind::password, "p", true});
             }
             await(v.m.addItems(std::move(burst), "login", "injectable"));
             writes.reseal(beta, [](ItemPayload& p) { p.name = "Mid 2"; });
         },
         false},
        {"delete", [&] { await(v.m.deleteItem(gamma)); }, false},
        {"group created", [&] { v.group("Home"); }, true},
        {"group renamed", [&] { await(v.m.renameGroup(work, "Job")); }, true},
        {"write from another connection", [&] { v.sql("UPDATE items SET aiAccess = 'ai_hidden'"); }, true},
        {"group deleted", [&] { await(v.m.deleteGroup(work)); }, true},
    };
    for (const auto& c : cases) {
        c.write();
        auto read = await(v.m.readListing(listing.basis()));
        EXPECT_EQ(read.whole, c.whole) << c.kind;
        ASSERT_TRUE(listing.accepts(read)) << c.kind;
        listing.apply(std::move(read));
        await(window.refresh());
        auto rows = await(v.m.listItems());
        VaultWindowModel::sortForList(rows);  // the order the window shows
        const auto codes = await(v.m.listCodes());
        const auto tree = await(v.m.vaultTree());
        EXPECT_EQ(listing.rows(), rows) << c.kind;
        EXPECT_EQ(listing.codes(), codes) << c.kind;
        EXPECT_EQ(listing.tree(), tree) << c.kind;
        EXPECT_EQ(window.rows(), rows) << c.kind;
        EXPECT_EQ(window.codes(), codes) << c.kind;
        EXPECT_EQ(window.tree(), tree) << c.kind;
        EXPECT_EQ(list.rows(), window.visibleRows()) << c.kind;
        const auto& keys = listing.searchKeys();
        ASSERT_EQ(keys.size(), rows.size()) << c.kind;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(keys[i].name, LocalizedSearch::key(rows[i].name)) << c.kind;
            EXPECT_EQ(keys[i].fieldLabel, LocalizedSearch::key(rows[i].fieldLabel)) << c.kind;
        }
        // The sidebar's counts, kept as rows come and go, are what counting the rows gives.
        for (const std::string tier : {"injectable", "human_gated", "ai_hidden"})
            EXPECT_EQ(window.count(tier), std::count_if(rows.begin(), rows.end(), [&](const auto& r) { return r.aiAccess == tier; }))
                << c.kind << " " << tier;
        for (const auto& group : window.allGroups())
            EXPECT_EQ(window.groupCount(group.id),
                      std::count_if(rows.begin(), rows.end(), [&](const auto& r) { return r.groupID == group.id; }))
                << c.kind;
    }
    EXPECT_EQ(resets.size(), 0);
}

TEST(VaultListing, APartReadContinuesOnlyItsOwnListing) {
    OpenVault v;
    VaultListing listing;
    listing.apply(await(v.m.readListing(std::nullopt)));
    const auto start = listing.basis();
    v.item("One");
    auto first = await(v.m.readListing(start));
    ASSERT_FALSE(first.whole);
    listing.apply(std::move(first));
    v.item("Two");
    EXPECT_FALSE(listing.accepts(await(v.m.readListing(start))));  // from a mark this listing has left
    EXPECT_TRUE(listing.accepts(await(v.m.readListing(listing.basis()))));

    // Another session's store: everything again.
    await(v.m.lock());
    auto locked = await(v.m.readListing(listing.basis()));
    EXPECT_TRUE(locked.whole);
    EXPECT_FALSE(locked.basis);
    EXPECT_TRUE(locked.entries.empty());
}

TEST(VaultWindow, RefreshesOneAtATimeAndTheLastSeesEveryWrite) {
    OpenVault v;
    VaultWindowModel window(v.m);
    await(window.refresh());
    v.item("One");
    auto first = window.refresh();
    v.item("Two");
    auto second = window.refresh();  // waits for the first, then reads what it missed
    await(std::move(second));
    await(std::move(first));
    auto rows = await(v.m.listItems());
    VaultWindowModel::sortForList(rows);
    EXPECT_EQ(window.rows(), rows);
    EXPECT_EQ(window.rows().size(), 2u);
}

}  // namespace
}  // namespace vael

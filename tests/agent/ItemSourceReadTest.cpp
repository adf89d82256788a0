// Lookup and listing over a real replica: what an agent can see, and under which names.
#include <set>

#include "OpsFixtures.h"

using namespace vael;
using namespace vael::testing;
using Kind = ItemField::Kind;
using Op = VaultUDSRequest::Op;

namespace {

VaultRef ref(std::string group, std::string item, std::string fieldLabel) {
    return VaultRef{std::move(group), std::move(item), std::move(fieldLabel), VaultRef::Attribute::value};
}

std::optional<std::string> valueOf(OpsEnv& env, const VaultRef& r) {
    auto found = env.source->lookup(r);
    return found ? std::optional(found->value) : std::nullopt;
}

}  // namespace

TEST(ItemSourceLookup, MatchesWholeNamesExactly) {
    OpsEnv env;
    auto team = env.addGroup("Team");
    env.addItem(team.id, payload("GitHub",
                                 {field("username", Kind::username, "octo", false), field("password", Kind::password, "pw")},
                                 "https://github.com"),
                "injectable");
    env.addItem(team.id, payload("Caf\u00e9", {field("token", Kind::token, "espresso")}), "human_gated");

    auto found = env.source->lookup(ref("Team", "GitHub", "password"));
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (ResolvedItem{UDSAIAccess::injectable, "pw", "password", "GitHub", "https://github.com",
                                    std::nullopt, std::nullopt}));

    struct Case {
        VaultRef ref;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {ref("Team", "GitHub", "username"), "octo"},
        {ref("team", "GitHub", "password"), std::nullopt},
        {ref("Team", "github", "password"), std::nullopt},
        {ref("Team", "GitHub", "password "), std::nullopt},
        {ref("Team", "GitHub", "Password"), std::nullopt},
        {ref("Team", "Cafe\u0301", "token"), "espresso"},  // canonically equivalent
        {ref("Team", "Caf\u00e9", "missing"), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueOf(env, c.ref), c.value) << c.ref.collection << "/" << c.ref.item << "/" << c.ref.field;
    }
}

TEST(ItemSourceLookup, FallbackNamesAndGroupsThatDoNotOpen) {
    OpsEnv env;
    env.addItem(kDefaultGroup, payload("Default item", {field("f", Kind::token, "in local")}));
    auto unnamed = env.addGroup("never shown", std::nullopt, kDefaultProject, 1, /*nameKey=*/false);
    env.addItem(unnamed.id, payload("Item", {field("f", Kind::token, "in unnamed")}));
    auto garbled = env.addGroup("Garbled");
    garbled.nameWrappedKey = bytesOf("not a wrapped key");
    env.store->upsertCollection(garbled);
    env.addItem(garbled.id, payload("Item", {field("f", Kind::token, "in garbled")}));

    // A group whose key belongs to another vault is invisible everywhere.
    auto other = TestVault::shared(1).unlocked();
    auto foreignKey = other->newCollectionKey();
    auto foreign = env.addGroup("Foreign");
    foreign.wrappedKey = other->wrapCollectionKeyToSelf(foreignKey);
    env.store->upsertCollection(foreign);
    const auto foreignItem = Uuid::random();
    auto sealed = other->sealBlob(encodeItemPayload(payload("Item", {field("f", Kind::token, "foreign")})),
                                  foreignItem, foreignKey);
    env.store->upsertItem(ItemRecord{foreignItem, foreign.id, "login", sealed.blob, sealed.blob,
                                     R"({"envelope_version":1})", sealed.wrappedKey, "injectable", 1,
                                     env.clock->now(), false});

    const auto unnamedName = unnamed.id.text().substr(0, 8);
    EXPECT_EQ(valueOf(env, ref("local", "Default item", "f")), "in local");
    EXPECT_EQ(valueOf(env, ref(unnamedName, "Item", "f")), "in unnamed");
    EXPECT_EQ(valueOf(env, ref(garbled.id.text().substr(0, 8), "Item", "f")), "in garbled");
    EXPECT_EQ(valueOf(env, ref("Foreign", "Item", "f")), std::nullopt);

    std::vector<std::string> names;
    for (const auto& g : env.source->listGroups().groups) names.push_back(g.name);
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Foreign"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), unnamedName), 1);
    for (const auto& entry : env.source->list(std::nullopt, std::nullopt)) {
        EXPECT_NE(entry.ref, "vael://Foreign/Item/f");
    }
}

TEST(ItemSourceLookup, FirstMatchInStoreOrderAndUnreadableItemsSkipped) {
    OpsEnv env;
    auto first = env.addGroup("dup", std::nullopt, kDefaultProject, 1);
    auto second = env.addGroup("dup", std::nullopt, kDefaultProject, 2);
    env.addItem(second.id, payload("x", {field("f", Kind::token, "second")}));
    env.addItem(first.id, payload("x", {field("f", Kind::token, "first")}));
    EXPECT_EQ(valueOf(env, ref("dup", "x", "f")), "first");

    // An item that does not decode is passed over; the readable one of the same group is found.
    auto group = env.addGroup("mixed");
    auto broken = env.addItem(group.id, payload("y", {field("f", Kind::token, "unused")}));
    auto junk = env.vault->sealBlob(SecureBytes(std::string_view("{not json")), broken.id, env.keyOf(group.id));
    broken.contentBlob = junk.blob;
    broken.wrappedItemKey = junk.wrappedKey;
    env.store->upsertItem(broken);
    env.addItem(group.id, payload("y", {field("f", Kind::token, "readable")}));
    EXPECT_EQ(valueOf(env, ref("mixed", "y", "f")), "readable");
}

TEST(ItemSourceLookup, UnknownTierReadsAsHiddenAndIsNeverListed) {
    OpsEnv env;
    env.addItem(kDefaultGroup, payload("odd", {field("f", Kind::token, "v")}), "Injectable");
    env.addItem(kDefaultGroup, payload("hidden", {field("f", Kind::token, "v")}), "ai_hidden");
    auto found = env.source->lookup(ref("local", "odd", "f"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->aiAccess, UDSAIAccess::aiHidden);
    EXPECT_TRUE(env.source->list(std::nullopt, std::nullopt).empty());
}

TEST(ItemSourceLookup, SeesEveryWriteAtOnce) {
    OpsEnv env;
    auto item = env.addItem(kDefaultGroup, payload("before", {field("f", Kind::token, "v1")}));
    env.addItem(kDefaultGroup, payload("untouched", {field("f", Kind::token, "same")}));
    EXPECT_EQ(valueOf(env, ref("local", "before", "f")), "v1");
    EXPECT_EQ(valueOf(env, ref("local", "before", "f")), "v1");

    // A rename written by someone else (a sync, the window) is seen by the very next request.
    auto renamed = env.vault->sealBlob(encodeItemPayload(payload("after", {field("f", Kind::token, "v2")})), item.id,
                                       env.defaultKey);
    item.nameBlob = item.contentBlob = renamed.blob;
    item.wrappedItemKey = renamed.wrappedKey;
    env.store->upsertItem(item);
    EXPECT_EQ(valueOf(env, ref("local", "before", "f")), std::nullopt);
    EXPECT_EQ(valueOf(env, ref("local", "after", "f")), "v2");
    EXPECT_EQ(valueOf(env, ref("local", "untouched", "f")), "same");

    item.deleted = true;
    env.store->upsertItem(item);
    EXPECT_EQ(valueOf(env, ref("local", "after", "f")), std::nullopt);

    auto rename = request(Op::groupUpdate);
    rename.group = "local";
    rename.name = "home";
    env.source->updateGroup(rename);
    EXPECT_EQ(valueOf(env, ref("local", "untouched", "f")), std::nullopt);
    EXPECT_EQ(valueOf(env, ref("home", "untouched", "f")), "same");
}

TEST(ItemSourceList, OneEntryPerVisibleFieldSortedByReference) {
    OpsEnv env;
    auto work = env.addGroup("Work");
    env.addItem(work.id, payload("GitHub", {field("username", Kind::username, "octo", false),
                                            field("password", Kind::password, "pw")}),
                "human_gated");
    env.addItem(kDefaultGroup, payload("Zeta key", {field("token", Kind::token, "z")}), "injectable");
    env.addItem(kDefaultGroup, payload("a b/c", {field("token", Kind::token, "x")}), "injectable");
    env.addItem(kDefaultGroup, payload("Hidden", {field("token", Kind::token, "h")}), "ai_hidden");
    env.addItem(kDefaultGroup, payload("Empty", {}), "injectable");

    const std::vector<VaultUDSListEntry> expected = {
        {"vael://Work/GitHub/password", "GitHub", "password", UDSAIAccess::humanGated},
        {"vael://Work/GitHub/username", "GitHub", "username", UDSAIAccess::humanGated},
        {"vael://local/Zeta%20key/token", "Zeta key", "token", UDSAIAccess::injectable},
        {"vael://local/a%20b%2Fc/token", "a b/c", "token", UDSAIAccess::injectable},
    };
    EXPECT_EQ(env.source->list(std::nullopt, std::nullopt), expected);

    struct Case {
        std::optional<std::string> collection;
        std::optional<std::string> query;
        std::size_t count;
    };
    const Case cases[] = {
        {"Work", std::nullopt, 2}, {"work", std::nullopt, 0},    {"Nowhere", std::nullopt, 0},
        {"", "", 4},               {std::nullopt, "GITHUB", 2},  {std::nullopt, "zeta", 1},
        {"local", "hub", 0},       {std::nullopt, "password", 0},  // only names are searched
    };
    for (const auto& c : cases) {
        EXPECT_EQ(env.source->list(c.collection, c.query).size(), c.count)
            << c.collection.value_or("-") << " " << c.query.value_or("-");
    }
}

TEST(ItemSourceLocked, EveryOperationThatNeedsAKeyAnswersLocked) {
    OpsEnv env;
    env.addItem(kDefaultGroup, payload("GitHub", {field("password", Kind::password, "pw")}, "https://github.com"));
    env.vault->lock();
    EXPECT_FALSE(env.source->lookup(ref("local", "GitHub", "password")));

    auto with = [](Op op, auto&& fill) {
        auto r = request(op);
        fill(r);
        return r;
    };
    auto& s = *env.source;
    auto r = with(Op::secretGet, [](auto& q) { q.ref = "vael://local/GitHub/password"; });
    auto create = with(Op::secretCreate, [](auto& q) { q.name = "n"; q.value = "v"; });
    auto byGroup = with(Op::groupGet, [](auto& q) { q.group = "local"; q.name = "x"; });
    auto byProject = with(Op::projectGet, [](auto& q) { q.project = "Personal"; q.name = "x"; });
    auto page = with(Op::browserFill, [](auto& q) { q.url = "https://github.com"; q.id = Uuid::random().text(); });
    auto save = with(Op::browserSave, [](auto& q) { q.url = "https://github.com"; q.value = "pw"; });
    const auto before = env.footprint();
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"list", [&] { s.list(std::nullopt, std::nullopt); }},
        {"getSecret", [&] { s.getSecret(r); }},
        {"updateSecret", [&] { s.updateSecret(r, approveAll); }},
        {"deleteSecret", [&] { s.deleteSecret(r, approveAll); }},
        {"createSecret", [&] { s.createSecret(create); }},
        {"listGroups", [&] { s.listGroups(); }},
        {"createGroup", [&] { s.createGroup(create); }},
        {"getGroup", [&] { s.getGroup(byGroup); }},
        {"updateGroup", [&] { s.updateGroup(byGroup); }},
        {"deleteGroup", [&] { s.deleteGroup(byGroup, approveAll); }},
        {"listProjects", [&] { s.listProjects(); }},
        {"createProject", [&] { s.createProject(create); }},
        {"getProject", [&] { s.getProject(byProject); }},
        {"updateProject", [&] { s.updateProject(byProject); }},
        {"deleteProject", [&] { s.deleteProject(byProject, approveAll); }},
        {"browserMatch", [&] { s.browserMatch(page); }},
        {"browserFill", [&] { s.browserFill(page); }},
        {"browserTotp", [&] { s.browserTotp(page); }},
        {"browserSave", [&] { s.browserSave(save); }},
        {"captureSecret", [&] { s.captureSecret(with(Op::capture, [](auto& q) { q.url = "https://github.com"; })); }},
    };
    for (const auto& [name, call] : calls) EXPECT_TRUE(throwsLocked(call)) << name;
    EXPECT_EQ(env.footprint(), before);
    EXPECT_TRUE(env.presenter->calls().empty());

    // A page that may not be served answers an empty list before the lock is looked at.
    auto plain = with(Op::browserMatch, [](auto& q) { q.url = "http://github.com"; });
    EXPECT_TRUE(s.browserMatch(plain).items.empty());
}

TEST(ItemSourceLookup, SeesWritesOfAnotherConnectionAndMovesBetweenGroups) {
    OpsEnv env;
    auto team = env.addGroup("Team");
    auto kept = env.addItem(kDefaultGroup, payload("kept", {field("f", Kind::token, "v")}));
    auto gone = env.addItem(kDefaultGroup, payload("gone", {field("f", Kind::token, "v")}));
    EXPECT_EQ(valueOf(env, ref("local", "gone", "f")), "v");

    // A store left open by an earlier session, or any other writer of the file.
    {
        VaelStore other(env.dir.file("replica.sqlite").string());
        gone.deleted = true;
        other.upsertItem(gone);
    }
    EXPECT_EQ(valueOf(env, ref("local", "gone", "f")), std::nullopt);
    EXPECT_EQ(valueOf(env, ref("local", "kept", "f")), "v");

    // Re-sealed under the other group's key, as a pulled move arrives.
    auto moved = env.vault->sealBlob(encodeItemPayload(payload("kept", {field("f", Kind::token, "moved")})), kept.id,
                                     env.keyOf(team.id));
    kept.collectionId = team.id;
    kept.nameBlob = kept.contentBlob = moved.blob;
    kept.wrappedItemKey = moved.wrappedKey;
    env.store->upsertItem(kept);
    EXPECT_EQ(valueOf(env, ref("local", "kept", "f")), std::nullopt);
    EXPECT_EQ(valueOf(env, ref("Team", "kept", "f")), "moved");
}

// Composed and decomposed spellings are one name to a lookup, but a reference spelled like one of
// two such siblings (as a listing builds it) answers that one, never the other.
TEST(ItemSourceLookup, ExactSpellingWinsBetweenCanonicallyEqualNames) {
    const std::string composed = "Caf\u00e9", decomposed = "Cafe\u0301";
    OpsEnv env;
    for (const auto& group : {composed, decomposed}) {
        auto row = env.addGroup(group);
        for (const auto& item : {composed, decomposed}) {
            env.addItem(row.id, payload(item, {field(item, Kind::token, group + "|" + item)}));
        }
    }
    for (const auto& group : {composed, decomposed}) {
        for (const auto& item : {composed, decomposed}) {
            EXPECT_EQ(valueOf(env, ref(group, item, item)), group + "|" + item);
        }
    }
    const auto entries = env.source->list(std::nullopt, std::nullopt);
    ASSERT_EQ(entries.size(), 4u);
    for (const auto& entry : entries) {
        const auto found = env.source->lookup(VaultRef::parse(entry.ref));
        ASSERT_TRUE(found) << entry.ref;
        const auto named = VaultRef::parse(entry.ref);
        EXPECT_EQ(found->value, named.collection + "|" + named.item) << entry.ref;
    }

    // Only one spelling stored: the other still finds it.
    OpsEnv single;
    single.addItem(kDefaultGroup, payload(composed, {field("f", Kind::token, "one")}));
    EXPECT_EQ(valueOf(single, ref("local", decomposed, "f")), "one");
}

// A search opens the rows tagged with its name and the untagged ones, and tags those, so the next
// search of another name opens only its own rows; rows another writer changes lose their tags and
// are found again under what they now hold.
TEST(ItemSourceLookup, SearchesTagTheRowsTheyOpenAndFollowWritesOfOthers) {
    OpsEnv env;
    const auto alpha = env.addItem(kDefaultGroup, payload("alpha", {field("f", Kind::token, "a1")}));
    const auto beta = env.addItem(kDefaultGroup, payload("beta", {field("f", Kind::token, "b1")}));
    const std::set<Uuid> writtenByOthers{alpha.id, beta.id};
    auto untagged = [&] {
        std::set<Uuid> ids;
        for (const auto& item :
             env.store->itemsTaggedOrUntagged(kDefaultGroup, env.vault->nameTag(env.defaultKey, "no such name"))) {
            if (!item.tagged) ids.insert(item.record.id);
        }
        return ids;
    };
    EXPECT_EQ(untagged(), writtenByOthers);

    // Creating searches the name first (it must be free), which tags the rows it opens; the new row
    // is tagged as it is written.
    const auto created = env.source->createSecret([] {
        auto r = request(Op::secretCreate);
        r.name = "gamma";
        r.value = "c1";
        r.fieldLabel = "f";
        r.aiAccess = "injectable";
        return r;
    }());
    EXPECT_TRUE(untagged().empty());

    EXPECT_EQ(valueOf(env, ref("local", "alpha", "f")), "a1");
    EXPECT_EQ(valueOf(env, ref("local", "beta", "f")), "b1");
    EXPECT_EQ(valueOf(env, ref("local", "gamma", "f")), "c1");

    // A new value of a name already found, and a rename, both written by another writer.
    auto rewrite = [&](ItemRecord row, const ItemPayload& content) {
        auto sealed = env.vault->sealBlob(encodeItemPayload(content), row.id, env.defaultKey);
        row.nameBlob = row.contentBlob = sealed.blob;
        row.wrappedItemKey = sealed.wrappedKey;
        env.store->upsertItem(row);
    };
    rewrite(alpha, payload("alpha", {field("f", Kind::token, "a2")}));
    rewrite(beta, payload("delta", {field("f", Kind::token, "d1")}));
    EXPECT_EQ(untagged(), writtenByOthers);
    EXPECT_EQ(valueOf(env, ref("local", "alpha", "f")), "a2");
    EXPECT_EQ(valueOf(env, ref("local", "beta", "f")), std::nullopt);
    EXPECT_EQ(valueOf(env, ref("local", "delta", "f")), "d1");
    EXPECT_EQ(valueOf(env, ref("local", "gamma", "f")), "c1");
    EXPECT_TRUE(untagged().empty());
    EXPECT_EQ(created.name, "gamma");
}

// Groups and projects: lookups by name or id, creation, renames, deletion cascades and the
// protected defaults.
#include "OpsFixtures.h"
#include "app/agent/ops/AgentText.h"

using namespace vael;
using namespace vael::testing;
using Kind = ItemField::Kind;
using Op = VaultUDSRequest::Op;
using MCase = VaultUDSManagementError::Case;

namespace {

VaultUDSRequest groupRequest(Op op, std::optional<std::string> group, std::optional<std::string> name = {}) {
    auto r = request(op);
    r.group = std::move(group);
    r.name = std::move(name);
    return r;
}

VaultUDSRequest projectRequest(Op op, std::optional<std::string> project, std::optional<std::string> name = {}) {
    auto r = request(op);
    r.project = std::move(project);
    r.name = std::move(name);
    return r;
}

bool live(OpsEnv& env, const CollectionRecord& group) { return !env.store->collection(group.id)->deleted; }
bool live(OpsEnv& env, const ItemRecord& item) { return !env.store->item(item.id)->deleted; }

// Makes the store refuse to tombstone one item, as a full disk or a broken row would.
void refuseTombstone(OpsEnv& env, const ItemRecord& item) {
    auto db = env.raw();
    db.exec("CREATE TRIGGER refuse_tombstone BEFORE UPDATE ON items WHEN NEW.deleted = 1 AND OLD.id = '" +
            item.id.text() + "' BEGIN SELECT RAISE(ABORT, 'refused'); END");
}

}  // namespace

TEST(ItemSourceGroups, FindCreateAndList) {
    OpsEnv env;
    auto work = env.addGroup("Work", std::nullopt, kDefaultProject, 1);
    const std::string uuidName = "11111111-1111-4111-8111-111111111111";
    env.addGroup(uuidName, std::nullopt, kDefaultProject, 2);
    auto& s = *env.source;

    // A fresh parent/child pair, then the same request again: found, nothing written.
    auto child = groupRequest(Op::groupCreate, std::nullopt, " CI ");
    child.parent = "Work";
    const auto made = s.createGroup(child);
    EXPECT_EQ(made.name, "CI");
    EXPECT_EQ(made.project, "Personal");
    EXPECT_EQ(made.parent, "Work");
    EXPECT_EQ(env.store->collection(*Uuid::parse(made.id))->sort, 3);
    const auto before = env.footprint();
    EXPECT_EQ(s.createGroup(child), made);
    child.parent = work.id.text();
    EXPECT_EQ(s.createGroup(child), made);
    EXPECT_EQ(env.footprint(), before);

    // A parent is named by its name or its upper-case id text only, within the project.
    child.parent = lowercased(work.id.text());
    EXPECT_EQ(managementError([&] { s.createGroup(child); }), MCase::notFound);
    child.parent = "Work";
    child.project = "Other";
    EXPECT_EQ(managementError([&] { s.createGroup(child); }), MCase::notFound);
    EXPECT_EQ(env.footprint(), before);

    // By name, by id in either case, and a name that is itself an id text.
    struct Case {
        std::string text;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"Work", "Work"},
        {" Work\n", "Work"},
        {work.id.text(), "Work"},
        {lowercased(work.id.text()), "Work"},
        {uuidName, uuidName},  // no group has that id: found by name
        {"work", std::nullopt},
    };
    for (const auto& c : cases) {
        auto call = [&] { return s.getGroup(groupRequest(Op::groupGet, c.text)).name; };
        if (c.name) {
            EXPECT_EQ(call(), *c.name) << c.text;
        } else {
            EXPECT_EQ(managementError(call), MCase::notFound) << c.text;
        }
    }
    // By name, case-sensitive code point order.
    std::vector<std::string> names;
    for (const auto& g : s.listGroups().groups) names.push_back(g.name);
    EXPECT_EQ(names, (std::vector<std::string>{uuidName, "CI", "Work", "local"}));
    EXPECT_EQ(managementError([&] { s.getGroup(groupRequest(Op::groupGet, " ")); }), MCase::invalid);
}

TEST(ItemSourceGroups, RenameOnlyRenames) {
    OpsEnv env;
    auto parent = env.addGroup("Parent");
    auto group = env.addGroup("Old", parent.id);
    auto update = groupRequest(Op::groupUpdate, "Old", " New ");
    update.project = "Elsewhere";
    update.parent = "local";
    const auto answer = env.source->updateGroup(update);
    EXPECT_EQ(answer, (VaultUDSGroup{group.id.text(), "New", "Personal", "Parent"}));
    const auto row = env.store->collection(group.id);
    EXPECT_EQ(row->parentId, parent.id);
    EXPECT_EQ(row->orgId, kDefaultProject);
    EXPECT_EQ(env.api->methods(), std::vector<std::string>{"patchCollection"});

    // Without a name the name it is listed under is sealed again: the fallback for the default.
    EXPECT_EQ(env.source->updateGroup(groupRequest(Op::groupUpdate, "local")).name, "local");
    EXPECT_TRUE(env.store->collection(kDefaultGroup)->nameWrappedKey);
    EXPECT_EQ(env.source->getGroup(groupRequest(Op::groupGet, kDefaultGroup.text())).name, "local");
}

TEST(ItemSourceGroups, DeleteTombstonesEverythingBelowChildrenFirst) {
    OpsEnv env;
    auto top = env.addGroup("Top");
    auto child = env.addGroup("Child", top.id);
    auto grandchild = env.addGroup("Grandchild", child.id);
    auto topItem = env.addItem(top.id, payload("a", {field("f", Kind::token, "1")}));
    auto childItem = env.addItem(child.id, payload("b", {field("f", Kind::token, "2")}));
    auto deepItem = env.addItem(grandchild.id, payload("c", {field("f", Kind::token, "3")}));
    // A subgroup whose key does not open is deleted all the same.
    grandchild.wrappedKey = bytesOf("someone else's key");
    env.store->upsertCollection(grandchild);
    auto bystander = env.addItem(kDefaultGroup, payload("d", {field("f", Kind::token, "4")}));

    EXPECT_EQ(env.source->deleteGroup(groupRequest(Op::groupDelete, "Top"), approveAll), VaultUDSDeleteResult{true});
    std::vector<std::pair<std::string, Uuid>> calls;
    for (const auto& call : env.api->calls()) calls.emplace_back(call.method, *call.id);
    const std::vector<std::pair<std::string, Uuid>> expected = {
        {"deleteItem", topItem.id},           {"deleteItem", childItem.id},         {"deleteItem", deepItem.id},
        {"deleteCollection", grandchild.id},  {"deleteCollection", child.id},       {"deleteCollection", top.id},
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(live(env, bystander));
    EXPECT_EQ(env.store->item(deepItem.id)->revision, 1);
}

TEST(ItemSourceGroups, ParentCyclesAreWalkedOnce) {
    OpsEnv env({.engine = false});
    auto a = env.addGroup("A");
    auto b = env.addGroup("B", a.id);
    a.parentId = b.id;  // as a sync might deliver it
    env.store->upsertCollection(a);
    auto self = env.addGroup("Self");
    self.parentId = self.id;
    env.store->upsertCollection(self);
    auto inB = env.addItem(b.id, payload("x", {field("f", Kind::token, "1")}));

    EXPECT_TRUE(env.source->deleteGroup(groupRequest(Op::groupDelete, "A"), approveAll).deleted);
    EXPECT_FALSE(live(env, a));
    EXPECT_FALSE(live(env, b));
    EXPECT_FALSE(live(env, inB));
    EXPECT_TRUE(env.source->deleteGroup(groupRequest(Op::groupDelete, "Self"), approveAll).deleted);
    EXPECT_FALSE(live(env, self));
}

TEST(ItemSourceGroups, AFailedChildDeletionLeavesItsParentsLive) {
    OpsEnv env({.engine = false});
    auto top = env.addGroup("Top");
    auto child = env.addGroup("Child", top.id);
    auto stuck = env.addItem(child.id, payload("stuck", {field("f", Kind::token, "1")}));
    refuseTombstone(env, stuck);

    EXPECT_THROW(env.source->deleteGroup(groupRequest(Op::groupDelete, "Top"), approveAll), SQLite::Exception);
    EXPECT_TRUE(live(env, stuck));
    EXPECT_TRUE(live(env, child));
    EXPECT_TRUE(live(env, top));

    auto project = env.addProject("Doomed", 1);
    auto group = env.addGroup("In doomed", std::nullopt, project.id);
    auto other = env.addItem(group.id, payload("stuck too", {field("f", Kind::token, "1")}));
    auto db = env.raw();
    db.exec("DROP TRIGGER refuse_tombstone");
    refuseTombstone(env, other);
    EXPECT_THROW(env.source->deleteProject(projectRequest(Op::projectDelete, "Doomed"), approveAll), SQLite::Exception);
    EXPECT_FALSE(env.store->project(project.id)->deleted);
    EXPECT_TRUE(live(env, group));
}

TEST(ItemSourceGroups, FindOrCreateRaisesReadErrorsInsteadOfMakingDuplicates) {
    OpsEnv env;
    auto db = env.raw();
    db.exec("INSERT INTO collections (id, orgId, nameBlob, sort, wrappedKey, updatedAt, deleted) "
            "VALUES ('not an id', 'not an id', x'00', 9, x'00', '2025-01-01 00:00:00.000', 0)");
    const auto before = env.footprint();
    EXPECT_THROW(env.source->createSecret([] {
        auto r = request(Op::secretCreate);
        r.name = "n";
        r.value = "v";
        return r;
    }()),
                 SQLite::Exception);
    EXPECT_THROW(env.source->createGroup(groupRequest(Op::groupCreate, std::nullopt, "local")), SQLite::Exception);
    EXPECT_EQ(env.footprint(), before);
    // Listings still count a failed read as nothing there.
    EXPECT_TRUE(env.source->listGroups().groups.empty());

    db.exec("INSERT INTO projects (id, nameBlob, nameWrappedKey, sort, updatedAt, deleted) "
            "VALUES ('not an id', x'00', x'00', 9, '2025-01-01 00:00:00.000', 0)");
    const auto withBrokenProject = env.footprint();
    EXPECT_THROW(env.source->createProject(projectRequest(Op::projectCreate, std::nullopt, "Personal")),
                 SQLite::Exception);
    EXPECT_TRUE(env.source->listProjects().projects.empty());
    EXPECT_EQ(env.footprint(), withBrokenProject);
}

TEST(ItemSourceProjects, FindCreateRenameAndList) {
    OpsEnv env;
    auto& s = *env.source;
    EXPECT_EQ(s.listProjects().projects, (std::vector<VaultUDSProject>{{kDefaultProject.text(), "Personal"}}));

    const auto zulu = s.createProject(projectRequest(Op::projectCreate, std::nullopt, " Zulu "));
    const auto alpha = s.createProject(projectRequest(Op::projectCreate, std::nullopt, "alpha"));
    EXPECT_EQ(s.createProject(projectRequest(Op::projectCreate, std::nullopt, "Zulu")), zulu);
    EXPECT_EQ(s.createProject(projectRequest(Op::projectCreate, std::nullopt, lowercased(zulu.id))), zulu);
    EXPECT_EQ(env.store->project(*Uuid::parse(zulu.id))->sort, 1);
    EXPECT_EQ(env.store->project(*Uuid::parse(alpha.id))->sort, 2);
    std::vector<std::string> names;
    for (const auto& p : s.listProjects().projects) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Personal", "Zulu", "alpha"}));
    EXPECT_TRUE(env.api->calls().empty());

    EXPECT_EQ(s.getProject(projectRequest(Op::projectGet, "Zulu")), zulu);
    EXPECT_EQ(managementError([&] { s.getProject(projectRequest(Op::projectGet, "zulu")); }), MCase::notFound);
    EXPECT_EQ(managementError([&] { s.getProject(projectRequest(Op::projectGet, "")); }), MCase::invalid);
    EXPECT_EQ(s.updateProject(projectRequest(Op::projectUpdate, "Personal", "Home")).name, "Home");
    EXPECT_EQ(s.updateProject(projectRequest(Op::projectUpdate, "Home")).name, "Home");
    EXPECT_EQ(s.getProject(projectRequest(Op::projectGet, kDefaultProject.text())).name, "Home");

    // A name that does not open under the default group's key is invisible: a second one is made.
    auto hidden = env.addProject("Hidden", 3);
    hidden.nameWrappedKey = bytesOf("garbage");
    env.store->upsertProject(hidden);
    EXPECT_NE(s.createProject(projectRequest(Op::projectCreate, std::nullopt, "Hidden")).id, hidden.id.text());
}

TEST(ItemSourceProjects, DeleteWalksTheProjectsGroupsAndTombstonesItLast) {
    OpsEnv env;
    auto a = env.addProject("A", 1);
    auto b = env.addProject("B", 2);
    // Store order puts the subgroup first; it is still deleted before its parent.
    auto inner = env.addGroup("inner", std::nullopt, a.id, 1);
    auto outer = env.addGroup("outer", std::nullopt, a.id, 2);
    inner.parentId = outer.id;
    env.store->upsertCollection(inner);
    auto item = env.addItem(inner.id, payload("x", {field("f", Kind::token, "1")}));
    // Moved to B with its parent: its project id still names B, so it stays.
    auto movedAway = env.addGroup("moved", outer.id, b.id, 3);

    EXPECT_TRUE(env.source->deleteProject(projectRequest(Op::projectDelete, "A"), approveAll).deleted);
    std::vector<std::string> calls;
    for (const auto& call : env.api->calls()) calls.push_back(call.method + " " + call.id->text());
    EXPECT_EQ(calls, (std::vector<std::string>{"deleteItem " + item.id.text(), "deleteCollection " + inner.id.text(),
                                               "deleteCollection " + outer.id.text()}));
    EXPECT_TRUE(env.store->project(a.id)->deleted);
    EXPECT_TRUE(live(env, movedAway));
}

TEST(ItemSourceDefaults, TheDefaultGroupAndProjectCannotBeDeleted) {
    OpsEnv env;
    const auto before = env.footprint();
    const std::vector<std::function<void()>> refused = {
        [&] { env.source->deleteGroup(groupRequest(Op::groupDelete, kDefaultGroup.text()), approveAll); },
        [&] { env.source->deleteGroup(groupRequest(Op::groupDelete, "local"), approveAll); },
        [&] { env.source->deleteProject(projectRequest(Op::projectDelete, kDefaultProject.text()), approveAll); },
        [&] { env.source->deleteProject(projectRequest(Op::projectDelete, "Personal"), approveAll); },
    };
    for (const auto& call : refused) EXPECT_EQ(managementError(call), MCase::protectedDefault);
    EXPECT_EQ(env.footprint(), before);

    // Another group called "local" that comes first in store order is no default.
    auto impostor = env.addGroup("local", std::nullopt, kDefaultProject, -1);
    EXPECT_TRUE(env.source->deleteGroup(groupRequest(Op::groupDelete, "local"), approveAll).deleted);
    EXPECT_FALSE(live(env, impostor));
    EXPECT_FALSE(env.store->collection(kDefaultGroup)->deleted);

    // Nor is it deleted from above, should a sync ever hang it below another group or project.
    auto holder = env.addProject("Holder", 1);
    auto above = env.addGroup("Above", std::nullopt, holder.id);
    auto defaultGroup = *env.store->collection(kDefaultGroup);
    defaultGroup.parentId = above.id;
    defaultGroup.orgId = holder.id;
    env.store->upsertCollection(defaultGroup);
    const auto hung = env.footprint();
    EXPECT_EQ(managementError([&] { env.source->deleteGroup(groupRequest(Op::groupDelete, "Above"), approveAll); }),
              MCase::protectedDefault);
    EXPECT_EQ(managementError([&] { env.source->deleteProject(projectRequest(Op::projectDelete, "Holder"), approveAll); }),
              MCase::protectedDefault);
    EXPECT_EQ(env.footprint(), hung);
}

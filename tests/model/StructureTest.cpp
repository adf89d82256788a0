#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "ItemFixtures.h"
#include "app/model/StoreItemSourceFactory.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;

std::string nameOf(OpenVault& v, const Uuid& group) {
    for (const auto& project : await(v.m.vaultTree())) {
        for (const auto& node : project.groups) {
            if (node.id == group) return node.name;
        }
    }
    return "";
}

std::optional<std::string> projectName(OpenVault& v, const Uuid& id) {
    for (const auto& project : await(v.m.vaultTree())) {
        if (project.id == id) return project.name;
    }
    return std::nullopt;
}

bool live(OpenVault& v, const Uuid& group) { return !v.peek->collection(group)->deleted; }

// MARK: - renaming and creating

TEST(Structure, RenamesTrimAndLeaveTheDefaultsAlone) {
    OpenVault v;
    const auto group = v.group("old");
    const auto project = *await(v.m.createProject("proj"));
    await(v.m.renameGroup(group, "  new \n"));
    await(v.m.renameProject(project, "\tbetter "));
    EXPECT_EQ(nameOf(v, group), "new");
    EXPECT_EQ(projectName(v, project), "better");

    const auto before = *v.peek->collection(group);
    await(v.m.renameGroup(group, "   "));
    await(v.m.renameGroup(AppModel::localCollectionID(), "mine"));
    await(v.m.renameProject(AppModel::localOrgID(), "Mine"));
    EXPECT_EQ(*v.peek->collection(group), before);
    EXPECT_EQ(nameOf(v, AppModel::localCollectionID()), "local");
    EXPECT_EQ(projectName(v, AppModel::localOrgID()), "Personal");
    EXPECT_FALSE(v.m.errorMessage());
}

TEST(Structure, NewRowsCountLiveSiblingsForTheirSortPlace) {
    OpenVault v;
    // Personal plus two live and two deleted projects: three live before the new one.
    for (int i = 0; i < 4; ++i) {
        const auto id = *await(v.m.createProject("p" + std::to_string(i)));
        if (i >= 2) await(v.m.deleteProject(id));
    }
    EXPECT_EQ(v.peek->project(*await(v.m.createProject("next")))->sort, 3);

    const auto project = *await(v.m.createProject("nested"));
    const auto top = v.group("top", project);
    v.group("child", project, top);
    const auto third = v.group("third", project);
    EXPECT_EQ(v.peek->collection(third)->sort, 2);
    EXPECT_EQ(v.peek->collection(third)->orgId, project);
}

TEST(Structure, FailedCreationsAnswerNothingAndStartNoSync) {
    OpenVault v;
    v.m.setServerConnected(true);
    v.api->clear();
    ASSERT_TRUE(await(v.m.createProject("ok")));
    testing::settle();
    EXPECT_EQ(v.api->count("sync"), 1);

    v.sql("CREATE TRIGGER refuse_projects BEFORE INSERT ON projects BEGIN SELECT RAISE(ABORT, 'refused'); END;"
          "CREATE TRIGGER refuse_groups BEFORE INSERT ON collections BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    v.api->clear();
    EXPECT_FALSE(await(v.m.createProject("refused")));
    testing::settle();
    EXPECT_EQ(v.m.errorMessage(), "Couldn't create the project.");
    EXPECT_TRUE(v.api->calls().empty());

    EXPECT_FALSE(await(v.m.createGroup("refused", AppModel::localOrgID(), std::nullopt)));
    EXPECT_EQ(v.m.errorMessage(), "Couldn't create the group.");
    EXPECT_FALSE(await(v.m.createGroup("  ", AppModel::localOrgID(), std::nullopt)));
}

// MARK: - moving groups

TEST(Structure, MoveGroupRefusesItsOwnSubtreeAndTheDefaultGroup) {
    OpenVault v;
    const auto a = v.group("a");
    const auto child = v.group("child", AppModel::localOrgID(), a);
    const auto grandchild = v.group("grandchild", AppModel::localOrgID(), child);
    const auto sibling = v.group("sibling");
    const auto nephew = v.group("nephew", AppModel::localOrgID(), sibling);
    const auto before = *v.peek->collection(a);
    for (const auto& parent : {a, child, grandchild}) {
        await(v.m.moveGroup(a, AppModel::localOrgID(), parent));
        EXPECT_EQ(*v.peek->collection(a), before);
    }
    await(v.m.moveGroup(AppModel::localCollectionID(), AppModel::localOrgID(), a));
    EXPECT_FALSE(v.peek->collection(AppModel::localCollectionID())->parentId);

    await(v.m.moveGroup(a, AppModel::localOrgID(), nephew));
    EXPECT_EQ(v.peek->collection(a)->parentId, nephew);
    await(v.m.moveGroup(a, AppModel::localOrgID(), std::nullopt));
    EXPECT_FALSE(v.peek->collection(a)->parentId);
    EXPECT_FALSE(v.m.errorMessage());
}

TEST(Structure, MovingToAnotherProjectTakesTheWholeSubtree) {
    OpenVault v;
    const auto target = *await(v.m.createProject("target"));
    const auto a = v.group("a");
    const auto child = v.group("child", AppModel::localOrgID(), a);
    const auto grandchild = v.group("grandchild", AppModel::localOrgID(), child);
    const auto other = v.group("other");
    await(v.m.moveGroup(a, target, std::nullopt));
    for (const auto& id : {a, child, grandchild}) EXPECT_EQ(v.peek->collection(id)->orgId, target);
    EXPECT_EQ(v.peek->collection(grandchild)->parentId, child);
    EXPECT_EQ(v.peek->collection(other)->orgId, AppModel::localOrgID());
}

// The window moves a group between projects while an agent renames it: every round keeps both.
TEST(Structure, AWindowMoveAndAnAgentRenameOfOneGroupKeepBoth) {
    OpenVault v;
    const std::array<Uuid, 2> projects{AppModel::localOrgID(), *await(v.m.createProject("other"))};
    const auto group = v.group("g0");
    auto agents = storeItemSourceFactory()(v.h.contexts.back());
    for (int round = 1; round <= 100; ++round) {
        const auto name = "g" + std::to_string(round);
        const auto project = projects[static_cast<std::size_t>(round % 2)];
        std::thread agent([&] {
            VaultUDSRequest rename;
            rename.op = VaultUDSRequest::Op::groupUpdate;
            rename.group = group.text();
            rename.name = name;
            agents->updateGroup(rename);
        });
        await(v.m.moveGroup(group, project, std::nullopt));
        agent.join();
        ASSERT_EQ(v.peek->collection(group)->orgId, project) << "round " << round;
        ASSERT_EQ(nameOf(v, group), name) << "round " << round;
    }
}

TEST(Structure, DescendantsSurviveACycleAndAMoveIsRefusedWhenTheyCannotBeRead) {
    OpenVault v;
    const auto a = v.group("a");
    const auto b = v.group("b", AppModel::localOrgID(), a);
    auto looped = *v.peek->collection(a);
    looped.parentId = b;
    v.peek->upsertCollection(looped);
    EXPECT_EQ(v.m.descendantCollectionIDs(a), (std::unordered_set<Uuid>{a, b}));
    const auto lone = v.group("lone");
    EXPECT_EQ(v.m.descendantCollectionIDs(lone), (std::unordered_set<Uuid>{lone}));

    // A group row that does not decode makes every group read fail.
    v.sql("INSERT INTO collections (id, orgId, nameBlob, sort, wrappedKey, updatedAt, deleted) "
          "VALUES ('not an id', 'x', x'00', 0, x'00', 'never', 0)");
    EXPECT_FALSE(v.m.descendantCollectionIDs(a));
    const auto before = *v.peek->collection(lone);
    await(v.m.moveGroup(lone, AppModel::localOrgID(), a));
    await(v.m.moveGroup(lone, Uuid::random(), std::nullopt));
    EXPECT_EQ(*v.peek->collection(lone), before);
}

// MARK: - moving items

TEST(Moves, MovedItemOpensOnlyWithTheTargetKey) {
    OpenVault v;
    const auto target = v.group("target");
    const auto id = v.item("mail", std::nullopt, {{"pw", ItemField::Kind::password, "p", true}}, "ai_hidden");
    const auto before = *v.peek->item(id);
    await(v.m.moveItem(id, target));
    const auto after = *v.peek->item(id);
    EXPECT_EQ(after.collectionId, target);
    EXPECT_EQ(after.nameBlob, after.contentBlob);
    EXPECT_NE(after.contentBlob, before.contentBlob);
    EXPECT_EQ(after.type, before.type);
    EXPECT_EQ(after.aiAccess, "ai_hidden");
    EXPECT_EQ(after.cryptoParams, before.cryptoParams);
    EXPECT_EQ(v.payloadOf(id, v.keyOf(target)).name, "mail");
    EXPECT_THROW(v.payloadOf(id, v.keyOf(AppModel::localCollectionID())), VaelCryptoError);

    // To its own group, or to a deleted one: nothing happens.
    const auto gone = v.group("gone");
    await(v.m.deleteGroup(gone));
    await(v.m.moveItem(id, target));
    await(v.m.moveItem(id, gone));
    EXPECT_EQ(*v.peek->item(id), after);
    EXPECT_FALSE(v.m.errorMessage());
}

// MARK: - deletions

TEST(Deletions, GroupCascadeGoesChildrenFirstAndEndsOnACycle) {
    OpenVault v;
    v.connect();
    const auto g = v.group("g");
    const auto c = v.group("c", AppModel::localOrgID(), g);
    const auto d = v.group("d", AppModel::localOrgID(), c);
    const auto gi = v.item("gi", g), ci = v.item("ci", c), di = v.item("di", d);
    // d also claims to be g's parent: the walk must still end.
    auto looped = *v.peek->collection(g);
    looped.parentId = d;
    v.peek->upsertCollection(looped);
    v.api->clear();
    await(v.m.deleteGroup(g));
    EXPECT_EQ(v.api->calls(), (std::vector<std::string>{"delete " + gi.text(), "delete " + ci.text(),
                                                        "delete " + di.text(), "deleteGroup " + d.text(),
                                                        "deleteGroup " + c.text(), "deleteGroup " + g.text()}));
    for (const auto& item : {gi, ci, di}) EXPECT_TRUE(v.peek->item(item)->deleted);
    EXPECT_FALSE(v.m.errorMessage());

    await(v.m.deleteGroup(AppModel::localCollectionID()));
    EXPECT_TRUE(live(v, AppModel::localCollectionID()));
}

TEST(Deletions, AParentStaysWhenSomethingBelowItCouldNotBeDeleted) {
    OpenVault v;
    const auto g = v.group("g");
    const auto c = v.group("c", AppModel::localOrgID(), g);
    const auto stuck = v.item("stuck", c);
    const auto other = v.item("other", c);
    const auto sibling = v.group("sibling", AppModel::localOrgID(), g);
    v.refuseWrites("items", stuck);
    await(v.m.deleteGroup(g));
    EXPECT_EQ(v.m.errorMessage(), "Couldn't delete a secret.");
    EXPECT_FALSE(v.peek->item(stuck)->deleted);
    EXPECT_TRUE(v.peek->item(other)->deleted);
    EXPECT_FALSE(live(v, sibling));
    EXPECT_TRUE(live(v, c));
    EXPECT_TRUE(live(v, g));
}

TEST(Deletions, ProjectGoesLastWithEverythingHangingBelowItsTopGroups) {
    OpenVault v;
    const auto doomed = *await(v.m.createProject("doomed"));
    const auto kept = *await(v.m.createProject("kept"));
    const auto top = v.group("top", doomed);
    const auto foreignChild = v.group("foreign child", kept, top);   // names another project
    const auto keptTop = v.group("kept top", kept);
    const auto strayChild = v.group("stray child", doomed, keptTop);  // names the doomed project
    const auto item = v.item("x", foreignChild);
    await(v.m.deleteProject(doomed));
    EXPECT_TRUE(v.peek->project(doomed)->deleted);
    EXPECT_FALSE(live(v, top));
    EXPECT_FALSE(live(v, foreignChild));
    EXPECT_TRUE(v.peek->item(item)->deleted);
    EXPECT_TRUE(live(v, strayChild));
    EXPECT_TRUE(live(v, keptTop));

    // A group that cannot be deleted keeps its project.
    const auto stubborn = v.group("stubborn", kept);
    v.refuseWrites("collections", stubborn);
    await(v.m.deleteProject(kept));
    EXPECT_EQ(v.m.errorMessage(), "Couldn't delete the project.");
    EXPECT_FALSE(v.peek->project(kept)->deleted);
    EXPECT_FALSE(live(v, keptTop));

    await(v.m.deleteProject(AppModel::localOrgID()));
    EXPECT_FALSE(v.peek->project(AppModel::localOrgID())->deleted);
}

}  // namespace
}  // namespace vael

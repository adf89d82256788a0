#include <gtest/gtest.h>

#include <QSignalSpy>

#include "model/ItemFixtures.h"
#include "app/model/window/AddItemSheetModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;
using testing::settle;
using Kind = ItemField::Kind;
using GroupNode = AppModel::GroupNode;

const char* const kPaste =
    "https://github.com/login\n"
    "username: alice@example.org\n"
    "password: hunter2secret\n"
    "OTP secret\n"
    "JBSWY3DPEHPK3PXP\n";

AppModel::ProjectNode projectNode(OpenVault& v, const Uuid& id) {
    for (auto& project : await(v.m.vaultTree()))
        if (project.id == id) return project;
    ADD_FAILURE() << "no project " << id.text();
    return {};
}

std::vector<ItemRecord> itemsIn(OpenVault& v, const Uuid& group) { return v.peek->items(group); }

// Waits for the add the model started to end, one way or the other.
void finish(AddItemSheetModel& sheet) {
    ASSERT_TRUE(testing::spinUntil([&] { return !sheet.busy(); }));
    settle();
}

std::vector<std::string> labels(const AddItemSheetModel& sheet) {
    std::vector<std::string> out;
    for (const auto& field : sheet.draftFields()) out.push_back(field.label);
    return out;
}

// MARK: - smart paste and the two modes

TEST(AddItemSheetModel, ReparseRebuildsTheRowsAndKeepsATypedName) {
    OpenVault v;
    AddItemSheetModel sheet(v.m, std::nullopt, {});
    EXPECT_FALSE(sheet.isDraftMode());
    sheet.setName("Mine");
    sheet.setPasteText(kPaste);
    EXPECT_TRUE(sheet.isDraftMode());
    EXPECT_EQ(labels(sheet), (std::vector<std::string>{"username", "password", "otp secret"}));
    EXPECT_EQ(sheet.draftFields()[0].value, "alice@example.org");
    EXPECT_FALSE(sheet.draftFields()[0].concealed);
    EXPECT_TRUE(sheet.draftFields()[1].concealed);
    EXPECT_EQ(sheet.draftURL(), "https://github.com/login");
    EXPECT_EQ(sheet.name(), "Mine");

    // An edit is lost when the paste changes; a paste without a website keeps the one held.
    const auto firstID = sheet.draftFields()[0].id;
    sheet.setDraftValue(firstID, "edited");
    sheet.setPasteText("token = abcdefghijklmnop");
    ASSERT_EQ(sheet.draftFields().size(), 1u);
    EXPECT_NE(sheet.draftFields()[0].id, firstID);
    EXPECT_EQ(sheet.draftFields()[0].label, "token");
    EXPECT_EQ(sheet.draftURL(), "https://github.com/login");

    // Clearing the box returns to manual mode; an empty name takes the suggestion.
    sheet.setPasteText("");
    EXPECT_FALSE(sheet.isDraftMode());
    sheet.setName("");
    sheet.setPasteText(kPaste);
    EXPECT_EQ(sheet.name(), "github.com");
}

TEST(AddItemSheetModel, AddRuleFollowsTheMode) {
    OpenVault v;
    AddItemSheetModel sheet(v.m, std::nullopt, {});
    EXPECT_FALSE(sheet.canAdd());
    sheet.setValue("s3cret");
    EXPECT_FALSE(sheet.canAdd());
    sheet.setName(" ");  // spaces count as a name
    EXPECT_TRUE(sheet.canAdd());

    sheet.setPasteText(kPaste);
    EXPECT_TRUE(sheet.canAdd());
    for (const auto& field : std::vector<AddItemSheetModel::DraftField>(sheet.draftFields()))
        sheet.setDraftValue(field.id, "");
    EXPECT_FALSE(sheet.canAdd());  // the manual value no longer counts
    sheet.setDraftValue(sheet.draftFields()[2].id, "x");
    EXPECT_TRUE(sheet.canAdd());

    // Removing every row goes back to manual mode.
    while (!sheet.draftFields().empty()) sheet.removeDraft(sheet.draftFields().front().id);
    EXPECT_FALSE(sheet.isDraftMode());
    EXPECT_TRUE(sheet.canAdd());
}

TEST(AddItemSheetModel, DraftPayloadTakesKindsFromTheLabelsAsEditedAndATrimmedWebsite) {
    OpenVault v;
    AddItemSheetModel sheet(v.m, std::nullopt, {});
    sheet.setPasteText(kPaste);
    const auto rows = sheet.draftFields();
    sheet.setDraftLabel(rows[1].id, "email");  // was password
    sheet.setDraftValue(rows[0].id, "");        // dropped
    sheet.toggleConcealed(rows[2].id);
    sheet.setDraftURL("  https://github.com \n");

    const auto payload = sheet.buildPayload();
    EXPECT_EQ(payload.name, "github.com");
    EXPECT_EQ(payload.fields, (std::vector<ItemField>{{"email", Kind::username, "hunter2secret", true},
                                                      {"otp secret", Kind::otp, "JBSWY3DPEHPK3PXP", false}}));
    EXPECT_EQ(payload.url, "https://github.com");
    EXPECT_FALSE(payload.notes);
    EXPECT_TRUE(payload.tags.empty());
    EXPECT_FALSE(payload.allowedHosts);
    EXPECT_FALSE(payload.strictMatch);

    sheet.setDraftURL(" \n ");
    EXPECT_FALSE(sheet.buildPayload().url);
}

TEST(AddItemSheetModel, ManualPayloadPutsTheUsernameFirstAndIgnoresTheDraftWebsite) {
    OpenVault v;
    AddItemSheetModel sheet(v.m, std::nullopt, {});
    sheet.setPasteText("https://github.com");
    ASSERT_FALSE(sheet.isDraftMode());
    sheet.setName("GitHub");
    sheet.setFieldLabel(" api key ");
    sheet.setValue(" ghp_123 ");
    EXPECT_EQ(sheet.buildPayload().fields, (std::vector<ItemField>{{" api key ", Kind::password, " ghp_123 ", true}}));
    sheet.setUsername("alice");
    const auto payload = sheet.buildPayload();
    EXPECT_EQ(payload.fields, (std::vector<ItemField>{{"username", Kind::username, "alice", false},
                                                      {" api key ", Kind::password, " ghp_123 ", true}}));
    EXPECT_FALSE(payload.url);
}

// MARK: - folders

TEST(AddItemSheetModel, FoldersSortByPathStablyAndThePathEndsOnALoop) {
    OpenVault v;
    const Uuid p = Uuid::random(), a = Uuid::random(), b = Uuid::random(), z = Uuid::random(),
               twin1 = Uuid::random(), twin2 = Uuid::random(), x = Uuid::random(), y = Uuid::random(),
               orphan = Uuid::random();
    AppModel::ProjectNode project{p, "Client",
                                  {GroupNode{z, "Z", p, std::nullopt}, GroupNode{b, "B", p, a},
                                   GroupNode{twin1, "Same", p, std::nullopt}, GroupNode{a, "A", p, std::nullopt},
                                   GroupNode{twin2, "Same", p, std::nullopt}, GroupNode{x, "x", p, y},
                                   GroupNode{y, "y", p, x}, GroupNode{orphan, "o", p, Uuid::random()}}};
    AddItemSheetModel sheet(v.m, project, {});

    EXPECT_EQ(sheet.groupPath(project.groups[1]), "A / B");
    EXPECT_EQ(sheet.groupPath(project.groups[5]), "y / x");
    EXPECT_EQ(sheet.groupPath(project.groups[7]), "o");
    std::vector<Uuid> order;
    for (const auto& group : sheet.sortedProjectGroups()) order.push_back(group.id);
    // Upper case before lower; equal paths keep the project's order.
    EXPECT_EQ(order, (std::vector<Uuid>{a, b, twin1, twin2, z, orphan, y, x}));
    EXPECT_EQ(sheet.targetGroupID(), a);

    AddItemSheetModel loose(v.m, std::nullopt, {});
    EXPECT_TRUE(loose.sortedProjectGroups().empty());
    EXPECT_FALSE(loose.targetGroupID());
}

TEST(AddItemSheetModel, HeightFollowsModeAndProject) {
    OpenVault v;
    AddItemSheetModel loose(v.m, std::nullopt, {});
    AddItemSheetModel inProject(v.m, AppModel::ProjectNode{Uuid::random(), "P", {}}, {});
    EXPECT_EQ(loose.sheetHeight(), 524);
    EXPECT_EQ(inProject.sheetHeight(), 580);
    loose.setPasteText(kPaste);
    inProject.setPasteText(kPaste);
    EXPECT_EQ(loose.sheetHeight(), 600);
    EXPECT_EQ(inProject.sheetHeight(), 656);
}

// MARK: - adding

TEST(AddItemSheetModel, AddStoresTheItemInTheChosenFolderThenRunsTheCallbackThenCloses) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    const auto work = v.group("Work", project);
    const auto other = v.group("Other", project);
    std::vector<std::string> steps;
    AddItemSheetModel sheet(v.m, projectNode(v, project), [&]() -> QCoro::Task<> {
        steps.push_back("onAdded " + std::to_string(v.peek->items(work).size()));
        co_return;
    });
    QObject::connect(&sheet, &AddItemSheetModel::added, [&] { steps.push_back("added"); });
    EXPECT_EQ(sheet.targetGroupID(), other);
    sheet.setTargetGroupID(work);
    sheet.setName("VPN");
    sheet.setValue("pw");
    sheet.setTierID("ai_hidden");

    sheet.add();
    EXPECT_TRUE(sheet.busy());
    EXPECT_FALSE(sheet.canAdd());
    sheet.add();  // ignored while the first runs
    finish(sheet);
    EXPECT_EQ(steps, (std::vector<std::string>{"onAdded 1", "added"}));
    const auto stored = itemsIn(v, work);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].type, "login");
    EXPECT_EQ(stored[0].aiAccess, "ai_hidden");
    EXPECT_EQ(v.payloadOf(stored[0].id).fields, (std::vector<ItemField>{{"token", Kind::password, "pw", true}}));
    EXPECT_FALSE(sheet.error());
    EXPECT_EQ(v.peek->collections(project).size(), 2u);  // no "General"
}

TEST(AddItemSheetModel, WithoutAProjectTheItemGoesToTheDefaultGroup) {
    OpenVault v;
    AddItemSheetModel sheet(v.m, std::nullopt, {});
    sheet.setName("Mail");
    sheet.setValue("pw");
    sheet.add();
    finish(sheet);
    EXPECT_EQ(itemsIn(v, AppModel::localCollectionID()).size(), 1u);
    EXPECT_EQ(v.peek->collections().size(), 1u);
}

TEST(AddItemSheetModel, GeneralIsMadeOnceAcrossRetriesAndAFailedAddKeepsEveryEntry) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    AddItemSheetModel sheet(v.m, projectNode(v, project), {});
    QSignalSpy added(&sheet, &AddItemSheetModel::added);
    sheet.setPasteText(kPaste);
    sheet.setName("Git");

    v.sql("CREATE TRIGGER refuse_items BEFORE INSERT ON items BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    for (int attempt = 0; attempt < 2; ++attempt) {
        sheet.add();
        finish(sheet);
        EXPECT_EQ(sheet.error(), "Couldn't add item. Please try again.");
        EXPECT_EQ(sheet.name(), "Git");
        EXPECT_EQ(sheet.draftFields().size(), 3u);
        EXPECT_EQ(sheet.pasteText(), kPaste);
    }
    EXPECT_EQ(added.count(), 0);
    auto groups = v.peek->collections(project);
    ASSERT_EQ(groups.size(), 1u);
    const auto general = groups[0].id;
    EXPECT_EQ(projectNode(v, project).groups.at(0).name, "General");
    EXPECT_FALSE(groups[0].parentId);
    EXPECT_FALSE(sheet.targetGroupID());

    v.sql("DROP TRIGGER refuse_items;");
    sheet.add();
    finish(sheet);
    EXPECT_FALSE(sheet.error());
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(v.peek->collections(project).size(), 1u);
    EXPECT_EQ(itemsIn(v, general).size(), 1u);
}

TEST(AddItemSheetModel, AFolderThatCannotBeMadeStopsTheAddAndAVanishedOneIsMadeAgain) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    AddItemSheetModel sheet(v.m, projectNode(v, project), {});
    sheet.setName("Mail");
    sheet.setValue("pw");

    v.sql("CREATE TRIGGER refuse_groups BEFORE INSERT ON collections BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    sheet.add();
    finish(sheet);
    EXPECT_EQ(sheet.error(), "Couldn't add item. Please try again.");
    EXPECT_EQ(v.m.errorMessage(), "Couldn't create the group.");
    EXPECT_TRUE(itemsIn(v, AppModel::localCollectionID()).empty());  // never stored outside the project
    EXPECT_TRUE(v.peek->collections(project).empty());

    // The folder made by a failed attempt is deleted before the retry: the retry makes a new one.
    v.sql("DROP TRIGGER refuse_groups;"
          "CREATE TRIGGER refuse_items BEFORE INSERT ON items BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    sheet.add();
    finish(sheet);
    const auto first = v.peek->collections(project).at(0).id;
    await(v.m.deleteGroup(first));
    v.sql("DROP TRIGGER refuse_items;");
    sheet.add();
    finish(sheet);
    EXPECT_FALSE(sheet.error());
    const auto live = v.peek->collections(project);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_NE(live[0].id, first);
    EXPECT_EQ(itemsIn(v, live[0].id).size(), 1u);
}

TEST(AddItemSheetModel, AnAddOutlivesItsSheet) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    bool called = false;
    auto sheet = std::make_unique<AddItemSheetModel>(v.m, projectNode(v, project), [&]() -> QCoro::Task<> {
        called = true;
        co_return;
    });
    sheet->setName("Mail");
    sheet->setValue("pw");
    sheet->add();
    sheet.reset();
    settle();
    const auto groups = v.peek->collections(project);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(itemsIn(v, groups[0].id).size(), 1u);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace vael

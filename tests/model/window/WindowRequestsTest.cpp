#include <gtest/gtest.h>

#include <QMimeData>

#include "model/ItemFixtures.h"
#include "app/model/window/DeleteTarget.h"
#include "app/model/window/DragPayloads.h"
#include "app/model/window/StructureSheet.h"
#include "app/model/window/SyncPillText.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;

const Uuid kId = Uuid::fromText("0F8FAD5B-D9CB-469F-A165-70867728950E");
const Uuid kOther = Uuid::fromText("7C9E6679-7425-40DE-944B-E07FC1F90AE7");

// MARK: - drag payloads

TEST(DragPayloads, EncodeExactlyTheUpperCaseIdentifierAndReadItBack) {
    const DraggedItem item{kId};
    EXPECT_EQ(item.encode(), QByteArray(R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E"})"));
    EXPECT_EQ(DraggedItem::decode(item.encode()), item);
    EXPECT_EQ(DraggedGroup::decode(DraggedGroup{kOther}.encode()), DraggedGroup{kOther});
}

TEST(DragPayloads, DecodeReadsOnlyAnObjectWithAUuidText) {
    const std::string padded = R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E")";
    struct Case {
        std::string data;
        std::optional<Uuid> id;
    };
    const Case cases[] = {
        {R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e"})", kId},
        {R"({ "name":"Mail", "id" : "0F8FAD5B-D9CB-469F-A165-70867728950E", "secret":1 })", kId},
        {padded + std::string(1024 - padded.size() - 1, ' ') + "}", kId},  // exactly 1 KiB
        {padded + std::string(1024 - padded.size(), ' ') + "}", std::nullopt},
        {R"({"name":"Mail"})", std::nullopt},
        {R"({"id":null})", std::nullopt},
        {R"({"id":42})", std::nullopt},
        {R"({"id":["0F8FAD5B-D9CB-469F-A165-70867728950E"]})", std::nullopt},
        {R"({"id":"0F8FAD5BD9CB469FA16570867728950E"})", std::nullopt},
        {R"({"id":"{0F8FAD5B-D9CB-469F-A165-70867728950E}"})", std::nullopt},
        {R"({"id":" 0F8FAD5B-D9CB-469F-A165-70867728950E"})", std::nullopt},
        {R"(["0F8FAD5B-D9CB-469F-A165-70867728950E"])", std::nullopt},
        {R"("0F8FAD5B-D9CB-469F-A165-70867728950E")", std::nullopt},
        {R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E")", std::nullopt},
        {"{\"id\":\"\xff\"}", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DragPayload::decode(QByteArray::fromStdString(c.data)), c.id) << c.data;
    }
}

TEST(DragPayloads, EachKindTravelsOnlyUnderItsOwnFormat) {
    EXPECT_EQ(DraggedItem::mimeType(), "com.dastrel.vael.item-ref");
    EXPECT_EQ(DraggedGroup::mimeType(), "com.dastrel.vael.group-ref");

    QMimeData itemDrag;
    DraggedItem{kId}.writeTo(itemDrag);
    EXPECT_EQ(itemDrag.formats(), QStringList{DraggedItem::mimeType()});
    EXPECT_EQ(DraggedItem::readFrom(itemDrag), DraggedItem{kId});
    EXPECT_FALSE(DraggedGroup::readFrom(itemDrag));

    QMimeData groupDrag;
    DraggedGroup{kOther}.writeTo(groupDrag);
    EXPECT_FALSE(DraggedItem::readFrom(groupDrag));
    EXPECT_EQ(DraggedGroup::readFrom(groupDrag), DraggedGroup{kOther});

    // Text that merely looks like a payload, or a payload that does not decode, is refused.
    QMimeData text;
    text.setText(QString::fromUtf8(DraggedItem{kId}.encode()));
    EXPECT_FALSE(DraggedItem::readFrom(text));
    QMimeData broken;
    broken.setData(DraggedItem::mimeType(), R"({"id":"nope"})");
    EXPECT_FALSE(DraggedItem::readFrom(broken));
}

// MARK: - delete confirmations

TEST(DeleteTargets, TextsAndIdentifiers) {
    struct Case {
        DeleteTarget target;
        std::string id, prompt, message, action;
    };
    const Case cases[] = {
        {DeleteTarget::item(kId, "Mail"), "i-" + kId.text(), "Delete \u201CMail\u201D?",
         "This secret will be removed from the vault.", "Delete"},
        {DeleteTarget::group(kId, "Work"), "g-" + kId.text(), "Delete the \u201CWork\u201D group?",
         "The group and every secret and subgroup inside it will be deleted.", "Delete Everything"},
        {DeleteTarget::project(kId, "Client"), "p-" + kId.text(), "Delete the \u201CClient\u201D project?",
         "The project and every group and secret inside it will be deleted.", "Delete Everything"},
        {DeleteTarget::item(kId, ""), "i-" + kId.text(), "Delete \u201C\u201D?",
         "This secret will be removed from the vault.", "Delete"},
        {DeleteTarget::item(kId, " \"<b>x</b>\" "), "i-" + kId.text(), "Delete \u201C \"<b>x</b>\" \u201D?",
         "This secret will be removed from the vault.", "Delete"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.target.id(), c.id);
        EXPECT_EQ(c.target.prompt(), c.prompt);
        EXPECT_EQ(c.target.message(), c.message);
        EXPECT_EQ(c.target.actionTitle(), c.action);
    }
}

TEST(DeleteTargets, PerformDeletesTheNamedObjectEvenWhenTheTargetIsGoneMeanwhile) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    const auto group = v.group("Work", project);
    const auto inGroup = v.item("in group", group);
    const auto loose = v.item("loose");
    const auto kept = v.item("kept");

    auto target = std::make_unique<DeleteTarget>(DeleteTarget::item(loose, "loose"));
    auto task = target->perform(v.m);
    target.reset();
    await(std::move(task));
    EXPECT_TRUE(v.peek->item(loose)->deleted);

    await(DeleteTarget::project(project, "Client").perform(v.m));
    EXPECT_TRUE(v.peek->project(project)->deleted);
    EXPECT_TRUE(v.peek->collection(group)->deleted);
    EXPECT_TRUE(v.peek->item(inGroup)->deleted);
    EXPECT_FALSE(v.peek->item(kept)->deleted);

    const auto other = v.group("Other");
    await(DeleteTarget::group(other, "Other").perform(v.m));
    EXPECT_TRUE(v.peek->collection(other)->deleted);
    EXPECT_FALSE(v.m.errorMessage());
}

// MARK: - structure sheets

TEST(StructureSheets, IdentifiersTitlesAndFields) {
    struct Case {
        StructureSheet sheet;
        std::string id, title, placeholder, initial;
    };
    const Case cases[] = {
        {StructureSheet::renameProject(kId, "Client"), "rp-" + kId.text(), "Rename Project", "Project name", "Client"},
        {StructureSheet::renameGroup(kId, "Work"), "rg-" + kId.text(), "Rename Group", "Group name", "Work"},
        {StructureSheet::newGroup(kId, std::nullopt), "ng-" + kId.text() + "-root", "New Group", "Group name", ""},
        {StructureSheet::newGroup(kId, kOther), "ng-" + kId.text() + "-" + kOther.text(), "New Subgroup",
         "Group name", ""},
        {StructureSheet::newProject(), "np", "New Project", "Project name", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.sheet.id(), c.id);
        EXPECT_EQ(c.sheet.title(), c.title);
        EXPECT_EQ(c.sheet.placeholder(), c.placeholder);
        EXPECT_EQ(c.sheet.initialText(), c.initial);
    }
}

TEST(StructureSheets, SaveIsAllowedOnlyForTextThatTrimsToSomething) {
    for (const char* blank : {"", " ", "\t\n ", "\u00A0\u2003"}) EXPECT_FALSE(StructureSheet::canSave(blank)) << blank;
    for (const char* name : {"a", " a ", "\n.\n"}) EXPECT_TRUE(StructureSheet::canSave(name)) << name;
}

TEST(StructureSheets, SaveHandsTheNameToTheModel) {
    OpenVault v;
    const auto project = *await(v.m.createProject("Client"));
    await(StructureSheet::newGroup(project, std::nullopt).save(v.m, "  Work \n"));
    auto groups = v.peek->collections(project);
    ASSERT_EQ(groups.size(), 1u);
    const auto work = groups[0].id;
    await(StructureSheet::newGroup(project, work).save(v.m, "Sub"));
    await(StructureSheet::renameProject(project, "Client").save(v.m, " Renamed "));
    await(StructureSheet::newProject().save(v.m, "   "));
    await(StructureSheet::renameGroup(AppModel::localCollectionID(), "local").save(v.m, "mine"));

    const auto tree = await(v.m.vaultTree());
    ASSERT_EQ(tree.size(), 2u);  // Personal and the renamed project; the blank name made nothing
    const auto& client = tree[0].id == project ? tree[0] : tree[1];
    EXPECT_EQ(client.name, "Renamed");
    ASSERT_EQ(client.groups.size(), 2u);
    for (const auto& group : client.groups) {
        if (group.id == work) {
            EXPECT_EQ(group.name, "Work");
            EXPECT_FALSE(group.parentID);
        } else {
            EXPECT_EQ(group.name, "Sub");
            EXPECT_EQ(group.parentID, work);
        }
    }
    const auto& personal = tree[0].id == project ? tree[1] : tree[0];
    EXPECT_EQ(personal.groups.at(0).name, "local");
}

// MARK: - sync pill

TEST(SyncPill, TextsMarksAndTooltips) {
    using Tone = SyncPillText::Tone;
    const auto at = TimePoint{} + std::chrono::hours(1);
    struct Case {
        AppSyncStatus status;
        qint64 conflicts;
        std::optional<std::string> reason;
        SyncPillText pill;
    };
    const std::string host = "Vault sync with vault.example.org";
    const Case cases[] = {
        {AppSyncStatus::synced(at), 0, std::nullopt,
         {"checkmark.icloud.fill", Tone::green, "Synced", Tone::secondary, std::nullopt, host}},
        {AppSyncStatus::synced(at), 3, "ignored while synced",
         {"checkmark.icloud.fill", Tone::green, "Synced", Tone::secondary, "\u00B7 3 kept yours", host}},
        {AppSyncStatus::idle(), -1, std::nullopt,
         {"checkmark.seal.fill", Tone::green, "Connected", Tone::secondary, std::nullopt, host}},
        {AppSyncStatus::syncing(), 1, std::nullopt,
         {std::nullopt, Tone::secondary, "Syncing\u2026", Tone::secondary, "\u00B7 1 kept yours", host}},
        {AppSyncStatus::offline(), 0, std::nullopt,
         {"icloud.slash.fill", Tone::orange, "Offline", Tone::orange, std::nullopt,
          "Last sync failed: server unreachable \u2014 retrying automatically."}},
        {AppSyncStatus::offline(), 0, "",
         {"icloud.slash.fill", Tone::orange, "Offline", Tone::orange, std::nullopt,
          "Last sync failed:  \u2014 retrying automatically."}},
        {AppSyncStatus::offline(), 2, "HTTP 503",
         {"icloud.slash.fill", Tone::orange, "Offline", Tone::orange, "\u00B7 2 kept yours",
          "Last sync failed: HTTP 503 \u2014 retrying automatically."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(syncPillText(c.status, c.conflicts, c.reason, "vault.example.org"), c.pill) << c.pill.text;
    }
}

TEST(SyncPill, HostComesFromTheEndpoint) {
    EXPECT_EQ(serverHost("https://vault.example.org:8443/api/v1"), "vault.example.org");
    EXPECT_EQ(serverHost("not a url"), "");
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sqlite3.h>

#include "app/model/window/VaultListViewModel.h"
#include "store/StoreFixtures.h"

namespace vael {
namespace {

using test::id;
using test::sampleCollection;
using test::sampleItem;
using Rows = std::vector<VaultListViewModel::CollectionRow>;
using ItemRows = std::vector<VaultListViewModel::ItemRow>;

struct Replica {
    test::TempDir dir;
    std::string path = dir.file("replica.sqlite").string();
    std::shared_ptr<VaelStore> store = std::make_shared<VaelStore>(path);
    const Uuid project = id(800);
    VaultListViewModel model{store, project, [](const Bytes& blob) { return "dec:" + std::string(blob.begin(), blob.end()); }};

    void sql(const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
};

TEST(VaultListViewModel, ListsLiveGroupsOfTheProjectInSortOrderWithDecryptedNames) {
    Replica r;
    QSignalSpy changed(&r.model, &VaultListViewModel::collectionsChanged);
    r.model.loadCollections();
    EXPECT_TRUE(r.model.collections().empty());
    EXPECT_EQ(changed.count(), 0);

    auto second = sampleCollection(2);
    second.sort = 1;
    auto first = sampleCollection(1);
    first.sort = 0;
    auto gone = sampleCollection(3);
    gone.deleted = true;
    r.store->upsertCollection(second);
    r.store->upsertCollection(first);
    r.store->upsertCollection(gone);
    r.store->upsertCollection(sampleCollection(4, id(801)));

    r.model.loadCollections();
    EXPECT_EQ(r.model.collections(), (Rows{{id(1), "dec:group-1"}, {id(2), "dec:group-2"}}));
    r.model.loadCollections();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(r.model.errorMessage());
}

TEST(VaultListViewModel, ListsLiveItemsOfTheGroupInStoreOrderWithTypeAndTier) {
    Replica r;
    auto note = sampleItem(2, id(900));
    note.type = "note";
    note.aiAccess = "ai_hidden";
    auto gone = sampleItem(3, id(900));
    gone.deleted = true;
    r.store->upsertItem(note);
    r.store->upsertItem(sampleItem(1, id(900)));
    r.store->upsertItem(gone);
    r.store->upsertItem(sampleItem(4, id(901)));

    QSignalSpy changed(&r.model, &VaultListViewModel::itemsChanged);
    r.model.loadItems(id(900));
    r.model.loadItems(id(900));
    EXPECT_EQ(r.model.items(), (ItemRows{{id(1), "dec:name-1", "login", "injectable"},
                                         {id(2), "dec:name-2", "note", "ai_hidden"}}));
    EXPECT_EQ(changed.count(), 1);
    r.model.loadItems(id(901));
    EXPECT_EQ(r.model.items(), (ItemRows{{id(4), "dec:name-4", "login", "injectable"}}));
    EXPECT_EQ(changed.count(), 2);
}

TEST(VaultListViewModel, AFailedReadSetsItsSentenceAndKeepsTheLists) {
    Replica r;
    r.store->upsertCollection(sampleCollection(1));
    r.store->upsertItem(sampleItem(1, id(900)));
    r.model.loadCollections();
    r.model.loadItems(id(900));
    const auto groups = r.model.collections();
    const auto items = r.model.items();

    // A row that does not decode fails every read of its table.
    r.sql("INSERT INTO collections (id, orgId, nameBlob, sort, wrappedKey, updatedAt, deleted) "
          "VALUES ('not an id', '" + r.project.text() + "', x'00', 0, x'00', 'never', 0)");
    QSignalSpy errors(&r.model, &VaultListViewModel::errorMessageChanged);
    r.model.loadCollections();
    EXPECT_EQ(r.model.errorMessage(), "Could not read collections offline.");
    EXPECT_EQ(r.model.collections(), groups);

    r.sql("DROP TABLE items");
    r.model.loadItems(id(900));
    EXPECT_EQ(r.model.errorMessage(), "Could not read items offline.");
    EXPECT_EQ(r.model.items(), items);
    EXPECT_EQ(errors.count(), 2);

    // A later successful read leaves the sentence in place.
    r.sql("DELETE FROM collections WHERE id = 'not an id'");
    r.store->upsertCollection(sampleCollection(2));
    r.model.loadCollections();
    EXPECT_EQ(r.model.collections().size(), 2u);
    EXPECT_EQ(r.model.errorMessage(), "Could not read items offline.");
}

}  // namespace
}  // namespace vael

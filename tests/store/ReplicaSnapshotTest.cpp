#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "StoreFixtures.h"
#include "store/Migrator.h"
#include "store/ReplicaSnapshot.h"

using namespace vael;
using namespace vael::test;

namespace {

namespace fs = std::filesystem;

// Two live groups and a deleted one, each with live and deleted items.
void fill(const std::string& path) {
    VaelStore s(path);
    auto deletedGroup = sampleCollection(902);
    deletedGroup.deleted = true;
    auto first = sampleCollection(901);
    first.sort = -1;
    for (const auto& group : {sampleCollection(900), first, deletedGroup}) s.upsertCollection(group);
    for (int n = 1; n <= 9; ++n) {
        auto item = sampleItem(n, id(900 + n % 3));
        item.deleted = n == 4;
        s.upsertItem(item);
    }
}

// Every entry of a folder: its name, and its target or its mode and bytes.
std::map<std::string, std::string> folderState(const fs::path& folder) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_symlink()) {
            state[entry.path().filename()] = "-> " + fs::read_symlink(entry.path()).string();
            continue;
        }
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::ostringstream bytes;
        bytes << std::oct << (st.st_mode & 07777) << ' ' << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        state[entry.path().filename()] = bytes.str();
    }
    return state;
}

using ReplicaSnapshotTest = StoreTest;

TEST_F(ReplicaSnapshotTest, HoldsWhatTheStoreListsAndStaysCurrentUntilAWrite) {
    fill(path());
    auto snapshot = ReplicaSnapshot::read(path());
    ASSERT_TRUE(snapshot);
    // The store opening the file, as the session does once the passphrase is known good, writes nothing.
    auto& s = open();
    EXPECT_TRUE(snapshot->stillCurrent());
    EXPECT_EQ(snapshot->groups, s.collections());
    EXPECT_EQ(snapshot->items.size(), 2u);
    for (const auto& group : s.collections())
        EXPECT_EQ(snapshot->items[group.id], s.items(group.id, VaelStore::ItemOrder::unordered));
    EXPECT_TRUE(snapshot->stillCurrent());

    s.upsertItem(sampleItem(20));
    EXPECT_FALSE(snapshot->stillCurrent());
}

TEST_F(ReplicaSnapshotTest, IsNoLongerCurrentOnceAnotherFileTakesThePath) {
    fill(path());
    auto snapshot = ReplicaSnapshot::read(path());
    ASSERT_TRUE(snapshot);
    const auto other = dir.file("other.sqlite");
    fs::copy_file(path(), other);
    fs::rename(other, path());
    EXPECT_FALSE(snapshot->stillCurrent());
}

TEST_F(ReplicaSnapshotTest, LeavesTheFolderAsItFoundIt) {
    fill(path());
    const auto before = folderState(dir.file(""));
    EXPECT_TRUE(ReplicaSnapshot::read(path()));
    EXPECT_EQ(folderState(dir.file("")), before);
}

// A file the store would create, migrate, make private or refuse gives no snapshot, and stays as it was.
TEST_F(ReplicaSnapshotTest, GivesNothingForAFileTheStoreWouldChangeOrRefuse) {
    const auto privateFile = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    };
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> cases{
        {"missing", [](const std::string&) {}},
        {"empty", [&](const std::string& path) { privateFile(path, ""); }},
        {"not a database", [&](const std::string& path) { privateFile(path, std::string(8192, 'x')); }},
        {"an older schema",
         [](const std::string& path) {
             {
                 SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
                 const auto& all = replicaMigrations();
                 migrate(db, {all.at(0), all.at(1), all.at(2), all.at(3)});
             }
             fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
         }},
        {"readable by others",
         [](const std::string& path) {
             fill(path);
             fs::permissions(path, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
         }},
        {"a link to a replica",
         [](const std::string& path) {
             fill(path + ".elsewhere");
             fs::create_symlink(path + ".elsewhere", path);
         }},
    };
    int n = 0;
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        const auto folder = dir.file("case-" + std::to_string(n++));
        fs::create_directory(folder);
        const auto replica = (folder / "replica.sqlite").string();
        make(replica);
        const auto before = folderState(folder);
        EXPECT_FALSE(ReplicaSnapshot::read(replica));
        EXPECT_EQ(folderState(folder), before);
    }
}

}  // namespace

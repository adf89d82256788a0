// The rows the screens show: items, one-time codes and the tree of projects and groups. Every call
// opens what it shows afresh (the window's listing only the items written since its last read); no
// decrypted payload outlives it.

#include <QString>

#include <algorithm>
#include <thread>
#include <unordered_map>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"
#include "app/model/DisplayOrder.h"
#include "app/model/Blocking.h"
#include "app/model/ModelVault.h"
#include "crypto/TOTP.h"
#include "store/ReplicaSnapshot.h"

namespace vael {

namespace {

const ItemField* firstOfKind(const ItemPayload& payload, ItemField::Kind kind) {
    for (const auto& field : payload.fields) {
        if (field.kind == kind) return &field;
    }
    return nullptr;
}

std::string projectName(const ModelVault& work, const ProjectRecord& project) {
    try {
        return itemlayout::openName(work.vault(), project.nameBlob, project.id, project.nameWrappedKey,
                                    work.defaultKey());
    } catch (const std::exception&) {
        if (project.id == AppModel::localOrgID()) return "Personal";
        return project.id.text().substr(0, 8);
    }
}

template <class Row>
void sortByName(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return canonicallyLess(a.name, b.name); });
}

std::optional<AppModel::ItemRow> itemRowOf(const Uuid& group, const ItemRecord& item, const ItemPayload& payload) {
    if (payload.fields.empty()) return std::nullopt;
    return AppModel::ItemRow{item.id, payload.name, payload.fields.front().label, item.aiAccess, group};
}

std::optional<AppModel::CodeRow> codeRowOf(const ItemRecord& item, const ItemPayload& payload) {
    const auto* code = firstOfKind(payload, ItemField::Kind::otp);
    if (!code) return std::nullopt;
    std::optional<std::string> account;
    bool fromSeed = false;
    try {
        auto seed = TOTP::parameters(code->value);
        if (seed.account) {
            account = *seed.account;
            fromSeed = true;
        }
    } catch (const std::exception&) {
    }
    if (!fromSeed) {
        if (const auto* username = firstOfKind(payload, ItemField::Kind::username)) account = username->value;
    }
    return AppModel::CodeRow{item.id, payload.name, std::move(account), code->value};
}

std::vector<AppModel::ProjectNode> readTree(const ModelVault& work) {
    std::vector<ProjectRecord> projects;
    std::vector<CollectionRecord> groups;
    try {
        projects = work.store().projects();
    } catch (const std::exception&) {
    }
    try {
        groups = work.store().collections();
    } catch (const std::exception&) {
    }
    std::vector<AppModel::ProjectNode> nodes;
    std::unordered_map<Uuid, std::size_t> byID;
    for (const auto& project : projects) {
        auto name = projectName(work, project);
        if (auto known = byID.find(project.id); known != byID.end()) {
            nodes[known->second].name = std::move(name);
            continue;
        }
        byID.emplace(project.id, nodes.size());
        nodes.push_back(AppModel::ProjectNode{project.id, std::move(name), {}});
    }
    for (const auto& group : groups) {
        auto key = work.collectionKey(group);
        if (!key) continue;
        auto project = byID.find(group.orgId);
        if (project == byID.end()) continue;
        nodes[project->second].groups.push_back(
            AppModel::GroupNode{group.id, work.groupName(group, *key), group.orgId, group.parentId});
    }
    for (auto& node : nodes) sortByName(node.groups);
    sortByName(nodes);
    return nodes;
}

// Runs each(first, step) for items first, first + step, ... of `count`, on one thread per 256 items
// (at most 8, at most the processors).
template <class Each>
void inParallel(std::size_t count, const Each& each) {
    const std::size_t threads =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, count / 256 + 1});
    std::vector<std::jthread> workers;
    for (std::size_t t = 1; t < threads; ++t) workers.emplace_back([&each, t, threads] { each(t, threads); });
    each(0, threads);
}

AppModel::ListingEntry entryOf(const Uuid& group, std::size_t place, const ItemRecord& item,
                               const std::optional<ItemPayload>& payload) {
    AppModel::ListingEntry entry{item.id, {place, item.nameBlob}, std::nullopt, std::nullopt};
    if (!payload) return entry;
    entry.row = itemRowOf(group, item, *payload);
    entry.code = codeRowOf(item, *payload);
    return entry;
}

// What readEntries found, one place per live item: its entry unless its payload did not open and,
// when keyed, the display key of its listed row's name.
struct Entries {
    std::vector<std::optional<AppModel::ListingEntry>> entries;
    std::vector<std::optional<QCollatorSortKey>> keys;
};

// Every readable live item of every live group whose key opens, groups by sort and items in `order`,
// each payload opened and made an entry (its name keyed, with `keyed`) on one of several threads;
// `places` gets each listed group's place. The rows come from `readAhead` when given (in the store's
// unordered listing order), else from the store.
Entries readEntries(const ModelVault& work, std::unordered_map<Uuid, std::size_t>& places,
                    VaelStore::ItemOrder order = VaelStore::ItemOrder::byNameBlob, ReplicaSnapshot* readAhead = nullptr,
                    bool keyed = false) {
    struct Pending {
        const ItemRecord* item;
        std::size_t group;  // its place among the listed groups
    };
    std::vector<CollectionRecord> groups;
    try {
        groups = readAhead ? std::move(readAhead->groups) : work.store().collections();
    } catch (const std::exception&) {
    }
    std::vector<CollectionKey> keys;
    std::vector<std::vector<ItemRecord>> itemsByGroup;
    std::vector<Uuid> groupOf;
    for (const auto& group : groups) {
        auto key = work.collectionKey(group);
        if (!key) continue;
        std::vector<ItemRecord> items;
        try {
            if (!readAhead) items = work.store().items(group.id, order);
            else if (auto read = readAhead->items.find(group.id); read != readAhead->items.end())
                items = std::move(read->second);
        } catch (const std::exception&) {
        }
        places.emplace(group.id, keys.size());
        keys.push_back(std::move(*key));
        itemsByGroup.push_back(std::move(items));
        groupOf.push_back(group.id);
    }
    std::vector<Pending> pending;
    for (std::size_t g = 0; g < itemsByGroup.size(); ++g)
        for (const auto& item : itemsByGroup[g])
            if (!item.deleted) pending.push_back({&item, g});
    Entries found;
    found.entries.resize(pending.size());
    found.keys.resize(keyed ? pending.size() : 0);
    inParallel(pending.size(), [&](std::size_t first, std::size_t step) {
        // A collator of its own: one is used by one thread at a time.
        const std::optional<DisplayOrder> display = keyed ? std::make_optional<DisplayOrder>() : std::nullopt;
        for (std::size_t i = first; i < pending.size(); i += step) {
            const auto payload = work.loadPayload(ModelVault::Located{*pending[i].item, keys[pending[i].group]});
            if (!payload) continue;
            auto& entry = found.entries[i].emplace(
                entryOf(groupOf[pending[i].group], pending[i].group, *pending[i].item, payload));
            if (display && entry.row) found.keys[i] = display->key(entry.row->name);
        }
    });
    return found;
}

AppModel::ListingRead readWholeListing(const ModelVault& work, ReplicaSnapshot* readAhead = nullptr) {
    AppModel::ListingRead read;
    std::uint64_t mark = 0;
    try {
        // Taken before the reads: a commit they may or may not see is read again from the journal.
        mark = work.store().contentChangesSince(std::nullopt).mark;
    } catch (const std::exception&) {
    }
    // Rows read ahead stand for a read of the store only while nothing has written the file since:
    // checked after the mark, so a commit after the check is one the journal gives again.
    if (readAhead && !readAhead->stillCurrent()) readAhead = nullptr;
    auto places = std::make_shared<std::unordered_map<Uuid, std::size_t>>();
    // Sorted for display next, so the store need not sort them first.
    auto found = readEntries(work, *places, VaelStore::ItemOrder::unordered, readAhead, /*keyed=*/true);
    // Listed entries first, in the order the window shows them, so the main thread takes them in as
    // they are; then the others.
    const auto listed =
        DisplayOrder::orderOf(found.keys, [&](std::size_t i) -> const AppModel::ItemRow& { return *found.entries[i]->row; });
    read.entries.reserve(found.entries.size());
    for (const auto i : listed) read.entries.push_back(std::move(*found.entries[i]));
    for (auto& entry : found.entries)
        if (entry && !entry->row) read.entries.push_back(std::move(*entry));
    read.tree = readTree(work);
    read.basis = AppModel::ListingBasis{{}, work.keyEpoch(), mark, std::move(places)};
    return read;
}

// The items written since `since`; the whole listing when the journal cannot say, or groups or
// projects were written.
AppModel::ListingRead readListingSince(const ModelVault& work, const AppModel::ListingBasis& since) {
    const bool sameBasis = since.store.lock() == work.sharedStore() && since.keyEpoch == work.keyEpoch() && since.groups;
    ContentChanges changes;
    if (sameBasis) {
        try {
            changes = work.store().contentChangesSince(since.mark);
        } catch (const std::exception&) {
            changes.known = false;
        }
    }
    if (!sameBasis || !changes.known || changes.structure) return readWholeListing(work);
    AppModel::ListingRead read;
    read.whole = false;
    read.from = since.mark;
    for (const auto& item : changes.items) {
        const auto place = since.groups->find(item.collectionId);
        if (item.deleted || place == since.groups->end()) {
            read.entries.push_back({item.id, {0, item.nameBlob}, std::nullopt, std::nullopt});
            continue;
        }
        std::optional<ItemPayload> payload;
        std::optional<CollectionRecord> group;
        try {
            group = work.store().collection(item.collectionId);
        } catch (const std::exception&) {
        }
        if (group && !group->deleted) {
            if (auto key = work.collectionKey(*group)) payload = work.loadPayload(ModelVault::Located{item, *key});
        }
        read.entries.push_back(entryOf(item.collectionId, place->second, item, payload));
    }
    read.basis = since;
    read.basis->mark = changes.mark;
    return read;
}

}  // namespace

QCoro::Task<std::optional<ItemPayload>> AppModel::loadPayload(Uuid id) {
    auto work = modelVault();
    if (!work) co_return std::nullopt;
    auto job = runBlocking([work = std::move(*work), id] { return work.loadPayload(id); });
    try {
        co_return co_await job;
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::vector<AppModel::ItemRow>> AppModel::listItems() {
    std::vector<ItemRow> rows;
    auto work = modelVault();
    if (!work) co_return rows;
    auto job = runBlocking([work = std::move(*work)] {
        std::vector<ItemRow> found;
        std::unordered_map<Uuid, std::size_t> places;
        for (auto& entry : readEntries(work, places).entries)
            if (entry && entry->row) found.push_back(std::move(*entry->row));
        return found;
    });
    try {
        rows = co_await job;
    } catch (const std::exception&) {
    }
    co_return rows;
}

QCoro::Task<std::vector<AppModel::CodeRow>> AppModel::listCodes() {
    std::vector<CodeRow> rows;
    auto work = modelVault();
    if (!work) co_return rows;
    auto job = runBlocking([work = std::move(*work)] {
        std::vector<CodeRow> found;
        std::unordered_map<Uuid, std::size_t> places;
        for (auto& entry : readEntries(work, places).entries)
            if (entry && entry->code) found.push_back(std::move(*entry->code));
        return found;
    });
    try {
        rows = co_await job;
    } catch (const std::exception&) {
    }
    DisplayOrder().sort(rows);
    co_return rows;
}

QCoro::Task<std::vector<AppModel::ProjectNode>> AppModel::vaultTree() {
    std::vector<ProjectNode> tree;
    auto work = modelVault();
    if (!work) co_return tree;
    auto job = runBlocking([work = std::move(*work)] { return readTree(work); });
    try {
        tree = co_await job;
    } catch (const std::exception&) {
    }
    co_return tree;
}

Blocking<AppModel::ListingRead> AppModel::startListingRead(ModelVault work, std::optional<ListingBasis> since,
                                                          std::shared_ptr<ReplicaSnapshot> readAhead) {
    return runBlocking([work = std::move(work), since = std::move(since), readAhead = std::move(readAhead)] {
        auto found = since ? readListingSince(work, *since) : readWholeListing(work, readAhead.get());
        found.basis->store = work.sharedStore();
        return found;
    });
}

QCoro::Task<AppModel::ListingRead> AppModel::readListing(std::optional<ListingBasis> since) {
    ListingRead read;
    auto job = since ? std::nullopt : takeFirstListing();
    if (!job) {
        auto work = modelVault();
        if (!work) co_return read;
        job.emplace(startListingRead(std::move(*work), std::move(since)));
    }
    try {
        read = co_await *job;
    } catch (const std::exception&) {
        read = ListingRead{};
    }
    co_return read;
}

}  // namespace vael

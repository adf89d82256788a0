#include <gtest/gtest.h>

#include <QSignalSpy>

#include <algorithm>

#include "model/ItemFixtures.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/model/window/ItemListModel.h"
#include "app/model/window/VaultWindowModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;
using testing::settle;
using Selection = SidebarSelection;
using W = VaultWindowModel;

// ---- the pure functions ----

AppModel::GroupNode node(const Uuid& id, std::string name, std::optional<Uuid> parent = std::nullopt,
                         Uuid project = AppModel::localOrgID()) {
    return {id, std::move(name), project, parent};
}

struct Fixture {
    Uuid a = Uuid::random(), b = Uuid::random(), c = Uuid::random(), lone = Uuid::random();
    // a > b > c, and lone beside them
    std::vector<AppModel::GroupNode> groups{node(a, "a"), node(b, "b", a), node(c, "c", b), node(lone, "lone")};
    std::vector<AppModel::ItemRow> rows{
        {Uuid::random(), "GitHub", "token", "injectable", a},
        {Uuid::random(), "Bank", "password", "human_gated", c},
        {Uuid::random(), "Diary", "notes", "ai_hidden", lone},
        {Uuid::random(), "Odd", "key", "mystery", b},
    };
    std::vector<std::string> names(const std::vector<AppModel::ItemRow>& shown) const {
        std::vector<std::string> out;
        for (const auto& row : shown) out.push_back(row.name);
        return out;
    }
};

TEST(WindowFilter, SelectionThenTrimmedCaseInsensitiveSearch) {
    Fixture f;
    struct Case {
        std::optional<Selection> sidebar;
        std::string search;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {std::nullopt, "", {"GitHub", "Bank", "Diary", "Odd"}},
        {Selection::codes(), "", {"GitHub", "Bank", "Diary", "Odd"}},
        {Selection::forTier("human_gated"), "", {"Bank"}},
        {Selection::forTier("Human_gated"), "", {}},
        {Selection::forGroup(f.a), "", {"GitHub", "Bank", "Odd"}},
        {Selection::forGroup(f.lone), "", {"Diary"}},
        {Selection::forGroup(Uuid::random()), "", {}},
        {Selection::all(), " \n\t ", {"GitHub", "Bank", "Diary", "Odd"}},
        {Selection::all(), "TOK", {"GitHub"}},
        {Selection::all(), "  bank ", {"Bank"}},
        {Selection::forTier("injectable"), "bank", {}},  // search applies within the selection
        {Selection::forGroup(f.b), "git", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(f.names(W::filter(f.rows, c.sidebar, c.search, f.groups)), c.expected) << c.search;
}

// The search ignores case only, in the user's locale: marks count, and canonically equal spellings
// are the same text.
TEST(WindowFilter, SearchIgnoresCaseButNotMarks) {
    const Uuid group = Uuid::random();
    const std::vector<AppModel::ItemRow> rows{
        {Uuid::random(), "Caf\u00e9", "cl\u00e9", "injectable", group},
        {Uuid::random(), "Cafe", "key", "injectable", group},
        {Uuid::random(), "Stra\u00dfe", "Cafe\u0301 note", "injectable", group},
    };
    const std::vector<AppModel::GroupNode> groups{node(group, "g")};
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"CAF\u00c9", {"Caf\u00e9", "Stra\u00dfe"}},  // the second by its decomposed label
        {"cafe", {"Cafe"}},
        {"CL\u00c9", {"Caf\u00e9"}},
        {"cle", {}},
        {"stra\u00df", {"Stra\u00dfe"}},
    };
    for (const auto& [search, expected] : cases) {
        std::vector<std::string> names;
        for (const auto& row : W::filter(rows, std::nullopt, search, groups)) names.push_back(row.name);
        EXPECT_EQ(names, expected) << search;
    }
}

// The list's order is by name in the locale, whatever the case, and the same for any order the
// rows arrive in.
TEST(WindowFilter, ListOrderIsByNameWhateverTheArrival) {
    const Uuid group = Uuid::random();
    Uuid twinA = Uuid::random(), twinB = Uuid::random();
    if (twinB < twinA) std::swap(twinA, twinB);
    std::vector<AppModel::ItemRow> rows{
        {Uuid::random(), "zeta", "", "injectable", group},   {twinB, "Twin", "", "injectable", group},
        {Uuid::random(), "alpha", "", "injectable", group},  {Uuid::random(), "\u00c9clair", "", "injectable", group},
        {Uuid::random(), "Alpha", "", "injectable", group},  {twinA, "Twin", "", "injectable", group},
        {Uuid::random(), "beta", "", "injectable", group},
    };
    const std::vector<std::string> expected{"Alpha", "alpha", "beta", "\u00c9clair", "Twin", "Twin", "zeta"};
    for (int turn = 0; turn < 3; ++turn) {
        std::rotate(rows.begin(), rows.begin() + 2, rows.end());
        auto sorted = rows;
        W::sortForList(sorted);
        std::vector<std::string> names;
        for (const auto& row : sorted) names.push_back(row.name);
        EXPECT_EQ(names, expected);
        EXPECT_EQ(sorted[4].id, twinA);
    }
}

TEST(WindowFilter, LoopingParentsAndBrokenPathsEndTheWalks) {
    Fixture f;
    f.groups[0].parentID = f.c;  // a > b > c > a
    EXPECT_EQ(W::descendantGroupIDs(f.b, f.groups), (std::unordered_set<Uuid>{f.a, f.b, f.c}));
    EXPECT_EQ(f.names(W::filter(f.rows, Selection::forGroup(f.c), "", f.groups)),
              (std::vector<std::string>{"GitHub", "Bank", "Odd"}));
    const Uuid ghost = Uuid::random();
    EXPECT_EQ(W::descendantGroupIDs(ghost, f.groups), std::unordered_set<Uuid>{ghost});

    AppModel::ProjectNode project{AppModel::localOrgID(), "Personal", f.groups};
    EXPECT_EQ(W::groupPath(f.groups[0], project), "Personal / b / c / a");  // stops where it repeats
    project.groups[0].parentID.reset();
    EXPECT_EQ(W::groupPath(f.groups[2], project), "Personal / a / b / c");
    EXPECT_EQ(W::groupPath(node(f.lone, "orphan", Uuid::random()), project), "Personal / orphan");
}

// ---- on the real model ----

struct Window {
    OpenVault v;
    std::unique_ptr<W> w = std::make_unique<W>(v.m);

    void refresh() { await(w->refresh()); }
    void select(const Uuid& id) {
        w->setSelectedItemID(id);
        await(w->loadDetail());
    }
};

TEST(VaultWindow, DetailColumnFollowsRowsAndSelection) {
    Window t;
    EXPECT_EQ(t.w->sidebar(), Selection::all());
    EXPECT_EQ(t.w->detail(), W::Detail::empty);
    t.refresh();
    EXPECT_EQ(t.w->detail(), W::Detail::empty);  // an empty vault shows no placeholder
    EXPECT_EQ(t.w->content(), W::Content::noItems);

    const auto gh = t.v.item("GitHub");
    const auto bank = t.v.item("Bank");
    t.refresh();
    EXPECT_EQ(t.w->detail(), W::Detail::placeholder);
    t.select(gh);
    ASSERT_EQ(t.w->detail(), W::Detail::item);
    EXPECT_EQ(t.w->detailPayload()->name, "GitHub");
    EXPECT_EQ(t.w->groupName(t.w->selectedRow()->groupID), "local");

    // Hidden by the search, the item stays selected and shown.
    t.w->setSearch("bank");
    EXPECT_EQ(t.w->visibleRows().size(), 1u);
    EXPECT_EQ(t.w->detail(), W::Detail::item);

    // Changing the category clears the selection and, on the next load, the detail.
    QSignalSpy cleared(t.w.get(), &W::selectedItemIDChanged);
    t.w->setSidebar(Selection::codes());
    EXPECT_EQ(cleared.size(), 1);
    EXPECT_FALSE(t.w->selectedItemID());
    await(t.w->loadDetail());
    EXPECT_EQ(t.w->detail(), W::Detail::placeholder);

    // A deleted selection keeps its id and shows the placeholder after the next refresh.
    t.w->setSidebar(Selection::all());
    t.select(bank);
    await(t.v.m.deleteItem(bank));
    t.refresh();
    EXPECT_EQ(t.w->selectedItemID(), bank);
    EXPECT_FALSE(t.w->selectedRow());
    EXPECT_EQ(t.w->detail(), W::Detail::placeholder);
}

TEST(VaultWindow, AnOvertakenLoadIsDroppedAndALateOneOutlivesNothing) {
    Window t;
    const auto gh = t.v.item("GitHub");
    t.refresh();
    t.w->setSelectedItemID(gh);
    auto slow = t.w->loadDetail();  // waits on a worker
    t.w->setSelectedItemID(std::nullopt);
    await(t.w->loadDetail());  // done at once
    await(std::move(slow));
    EXPECT_FALSE(t.w->detailPayload());

    auto lateRefresh = t.w->refresh();
    t.w->setSelectedItemID(gh);
    auto lateLoad = t.w->loadDetail();
    t.w.reset();
    await(std::move(lateRefresh));
    await(std::move(lateLoad));
}

TEST(VaultWindow, WebsiteSaveRereadsOnSuccessAndChangesNothingOnFailure) {
    Window t;
    const auto gh = t.v.item("GitHub");
    t.refresh();
    t.select(gh);
    QSignalSpy details(t.w.get(), &W::detailChanged);
    await(t.w->saveWebsite(gh, std::string("https://github.com"), true));
    EXPECT_EQ(t.w->detailPayload()->url, "https://github.com");
    EXPECT_EQ(details.size(), 1);

    t.v.h.lock();
    EXPECT_THROW(await(t.w->saveWebsite(gh, std::string("https://example.org"), false)), AppModel::AppError);
    EXPECT_EQ(t.w->detailPayload()->url, "https://github.com");
    EXPECT_EQ(t.w->rows().size(), 1u);
    EXPECT_EQ(details.size(), 1);
}

TEST(VaultWindow, CountsTitlesAndMoveMenus) {
    Window t;
    const auto work = *await(t.v.m.createProject("Work"));
    const auto a = t.v.group("a");
    const auto b = t.v.group("b", AppModel::localOrgID(), a);
    const auto ops = t.v.group("ops", work);
    const auto gh = t.v.item("GitHub", a);
    t.v.item("Deep", b, {{"password", ItemField::Kind::password, "x", true}}, "human_gated");
    t.v.item("Odd", std::nullopt, {{"password", ItemField::Kind::password, "x", true}}, "mystery");
    t.refresh();

    EXPECT_EQ(t.w->count("injectable"), 1);
    EXPECT_EQ(t.w->count("human_gated"), 1);
    EXPECT_EQ(t.w->count("ai_hidden"), 0);
    EXPECT_EQ(t.w->groupCount(a), 2);
    EXPECT_EQ(t.w->groupCount(b), 1);
    EXPECT_EQ(t.w->groupCount(ops), 0);

    const auto tierTitle = [](const QString& id) { return id == "injectable" ? QString("AI-Usable") : QString("Gated"); };
    const std::vector<std::pair<std::optional<Selection>, QString>> titles{
        {std::nullopt, "All Items"},           {Selection::all(), "All Items"},
        {Selection::codes(), "Codes"},         {Selection::forTier("injectable"), "AI-Usable"},
        {Selection::forTier("nope"), "Gated"}, {Selection::forGroup(b), "b"},
        {Selection::forGroup(Uuid::random()), "Group"},
    };
    for (const auto& [sidebar, title] : titles) {
        t.w->setSidebar(sidebar);
        EXPECT_EQ(t.w->contentTitle(tierTitle), title);
    }
    t.w->setSidebar(Selection::forTier("ai_hidden"));
    EXPECT_EQ(t.w->content(), W::Content::nothingHere);
    t.w->setSearch(" ");
    EXPECT_EQ(t.w->content(), W::Content::noResults);
    t.w->setSidebar(Selection::codes());
    EXPECT_EQ(t.w->content(), W::Content::codes);

    std::vector<std::string> labels;
    const auto ghRow = *std::find_if(t.w->rows().begin(), t.w->rows().end(), [&](const auto& r) { return r.id == gh; });
    for (const auto& target : t.w->itemMoveTargets(ghRow)) labels.push_back(target.label);
    // Never its own group a; projects in tree order, each project's groups in its order.
    EXPECT_EQ(labels, (std::vector<std::string>{"Personal / a / b", "Personal / local", "Work / ops"}));
    labels.clear();
    const auto& personal = *t.w->projectOf(AppModel::localOrgID());
    const auto aNode = *std::find_if(personal.groups.begin(), personal.groups.end(), [&](const auto& g) { return g.id == a; });
    for (const auto& target : t.w->groupMoveTargets(aNode)) labels.push_back(target.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Personal \u2014 top level", "Personal / local", "Work \u2014 top level",
                                                "Work / ops"}));
    EXPECT_FALSE(W::canDeleteProject(personal));
    EXPECT_TRUE(W::canDeleteProject(*t.w->projectOf(work)));

    // Two requests never share an id, so each opens a fresh sheet.
    t.w->requestAddItem(std::nullopt);
    const auto first = t.w->addRequest()->id;
    t.w->requestAddItem(*t.w->projectOf(work));
    EXPECT_NE(t.w->addRequest()->id, first);
    EXPECT_EQ(t.w->addRequest()->project->id, work);
}

TEST(VaultWindowDrops, ItemsMoveInOrderAndAnEmptyDropIsRefused) {
    Window t;
    const auto g = t.v.group("g");
    const auto first = t.v.item("first");
    const auto second = t.v.item("second");
    t.refresh();
    // At the first store change only the first payload has moved.
    std::vector<bool> secondMovedAt;
    QObject::connect(&t.v.m, &AppModel::vaultRevisionChanged,
                     [&] { secondMovedAt.push_back(t.v.peek->item(second)->collectionId == g); });
    EXPECT_FALSE(t.w->dropItemsOnGroup({}, g));
    EXPECT_TRUE(t.w->dropItemsOnGroup({first, second}, g));
    settle();
    EXPECT_EQ(t.v.peek->item(first)->collectionId, g);
    EXPECT_EQ(t.v.peek->item(second)->collectionId, g);
    ASSERT_EQ(secondMovedAt.size(), 2u);
    EXPECT_FALSE(secondMovedAt[0]);

    // A failed move is the model's sentence; the next payload still moves.
    const auto h = t.v.group("h");
    t.v.refuseWrites("items", first);
    EXPECT_TRUE(t.w->dropItemsOnGroup({first, second}, h));
    settle();
    EXPECT_EQ(t.v.m.errorMessage(), "Couldn't move the item.");
    EXPECT_EQ(t.v.peek->item(first)->collectionId, g);
    EXPECT_EQ(t.v.peek->item(second)->collectionId, h);
}

TEST(VaultWindowDrops, GroupsSkipTheTargetSubtreeAndCarryTheirOwnAcrossProjects) {
    Window t;
    const auto work = *await(t.v.m.createProject("Work"));
    const auto target = t.v.group("target");
    const auto below = t.v.group("below", AppModel::localOrgID(), target);
    const auto mover = t.v.group("mover");
    const auto child = t.v.group("child", AppModel::localOrgID(), mover);
    const auto ops = t.v.group("ops", work);
    t.refresh();
    const auto nodeOf = [&](const Uuid& id) {
        for (const auto& g : t.w->allGroups())
            if (g.id == id) return g;
        return AppModel::GroupNode{};
    };

    EXPECT_FALSE(t.w->dropGroupsOnGroup({}, nodeOf(target)));
    EXPECT_TRUE(t.w->dropGroupsOnGroup({target, below, mover}, nodeOf(below)));
    settle();
    EXPECT_EQ(t.v.peek->collection(target)->parentId, std::nullopt);
    EXPECT_EQ(t.v.peek->collection(mover)->parentId, below);

    EXPECT_TRUE(t.w->dropGroupsOnGroup({mover}, nodeOf(ops)));
    settle();
    EXPECT_EQ(t.v.peek->collection(mover)->parentId, ops);
    EXPECT_EQ(t.v.peek->collection(mover)->orgId, work);
    EXPECT_EQ(t.v.peek->collection(child)->orgId, work);
    EXPECT_EQ(t.v.peek->collection(child)->parentId, mover);

    EXPECT_FALSE(t.w->dropGroupsOnProject({}, AppModel::localOrgID()));
    EXPECT_TRUE(t.w->dropGroupsOnProject({mover}, AppModel::localOrgID()));
    settle();
    EXPECT_EQ(t.v.peek->collection(mover)->orgId, AppModel::localOrgID());
    EXPECT_EQ(t.v.peek->collection(mover)->parentId, std::nullopt);
}

// ---- the list model follows the store row by row ----

struct ListRun : Window {
    ItemListModel list{*w};
    QSignalSpy resets{&list, &QAbstractItemModel::modelReset};
    QSignalSpy inserted{&list, &QAbstractItemModel::rowsInserted};
    QSignalSpy removed{&list, &QAbstractItemModel::rowsRemoved};
    QSignalSpy changed{&list, &QAbstractItemModel::dataChanged};

    // A write as the agents' store makes it, the model learning of it from the store.
    void write(const Uuid& id, const std::string& name, const std::string& tier = "injectable") {
        ItemPayload payload;
        payload.name = name;
        payload.fields = {{"password", ItemField::Kind::password, "x", true}};
        auto& context = v.h.contexts.back();
        context.store->upsertItem(itemlayout::itemBody(id, AppModel::localCollectionID(), "login",
                                                       itemlayout::sealPayload(*v.m.vault(), payload, id,
                                                                               context.defaultCollectionKey),
                                                       tier, 2, std::chrono::system_clock::now())
                                      .toRecord(false));
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& row : list.rows()) out.push_back(row.name);
        return out;
    }
    // The list holds exactly the rows a full filter pass gives.
    void expectInStep() {
        EXPECT_EQ(list.rows(), w->visibleRows());
        EXPECT_EQ(list.rowCount(), static_cast<int>(w->visibleRows().size()));
    }
    void clearSpies() {
        for (auto* spy : {&resets, &inserted, &removed, &changed}) spy->clear();
    }
    std::pair<int, int> insertedAt(int i) const { return {inserted[i][1].toInt(), inserted[i][2].toInt()}; }
    std::pair<int, int> removedAt(int i) const { return {removed[i][1].toInt(), removed[i][2].toInt()}; }
};

TEST(ItemList, StoreChangesInsertRemoveOrChangeRowsAndNeverReset) {
    ListRun t;
    const auto bank = t.v.item("Bank");
    const auto github = t.v.item("GitHub");
    const auto work = t.v.group("Work");
    t.refresh();
    EXPECT_EQ(t.names(), (std::vector<std::string>{"Bank", "GitHub"}));
    EXPECT_EQ(t.resets.size(), 0);
    t.clearSpies();

    // A new item goes in where the order puts it.
    const auto cloud = Uuid::random();
    t.write(cloud, "cloud");
    t.refresh();
    EXPECT_EQ(t.names(), (std::vector<std::string>{"Bank", "cloud", "GitHub"}));
    ASSERT_EQ(t.inserted.size(), 1);
    EXPECT_EQ(t.insertedAt(0), std::make_pair(1, 1));
    t.expectInStep();

    // Its tier changes where it stands; a rename takes it out and puts it in at its new place.
    t.clearSpies();
    t.write(cloud, "cloud", "ai_hidden");
    t.refresh();
    ASSERT_EQ(t.changed.size(), 1);
    EXPECT_EQ(t.changed[0][0].value<QModelIndex>().row(), 1);
    EXPECT_EQ(t.inserted.size() + t.removed.size(), 0);
    EXPECT_EQ(t.list.rows()[1].aiAccess, "ai_hidden");
    t.write(cloud, "Zulu", "ai_hidden");
    t.refresh();
    EXPECT_EQ(t.names(), (std::vector<std::string>{"Bank", "GitHub", "Zulu"}));
    EXPECT_EQ(t.removedAt(0), std::make_pair(1, 1));
    EXPECT_EQ(t.insertedAt(0), std::make_pair(2, 2));
    t.expectInStep();

    // Within a group's selection: moving in puts the row in, moving out and deleting take it out.
    t.w->setSidebar(Selection::forGroup(work));
    EXPECT_TRUE(t.list.rows().empty());
    t.clearSpies();
    await(t.v.m.moveItem(github, work));
    t.refresh();
    EXPECT_EQ(t.names(), std::vector<std::string>{"GitHub"});
    EXPECT_EQ(t.inserted.size(), 1);
    await(t.v.m.moveItem(bank, work));
    t.refresh();
    EXPECT_EQ(t.names(), (std::vector<std::string>{"Bank", "GitHub"}));
    await(t.v.m.moveItem(github, AppModel::localCollectionID()));
    t.refresh();
    EXPECT_EQ(t.names(), std::vector<std::string>{"Bank"});
    await(t.v.m.deleteItem(bank));
    t.refresh();
    EXPECT_TRUE(t.list.rows().empty());
    EXPECT_EQ(t.removed.size(), 2);
    EXPECT_EQ(t.resets.size(), 0);
    t.expectInStep();

    // A search lays the list out anew, over the same rows a full pass gives.
    t.w->setSidebar(Selection::all());
    t.w->setSearch("  ZU ");
    EXPECT_EQ(t.names(), std::vector<std::string>{"Zulu"});
    t.expectInStep();
}

}  // namespace
}  // namespace vael

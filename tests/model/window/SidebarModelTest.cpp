#include <gtest/gtest.h>

#include <QSignalSpy>

#include "model/ItemFixtures.h"
#include <QMimeData>

#include "app/model/window/DragPayloads.h"
#include "app/model/window/ItemListModel.h"
#include "app/model/window/SidebarModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;

const std::vector<SidebarModel::Tier> kTiers{
    {"injectable", "AI-Usable", "sparkles"}, {"human_gated", "Gated", "hand.raised"}, {"ai_hidden", "Hidden", "eye.slash"}};

// Each row as "title[badge]", nested rows indented.
void dump(const SidebarModel& model, const QModelIndex& parent, int depth, std::vector<std::string>& out) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const auto at = model.index(row, 0, parent);
        auto line = std::string(depth * 2, ' ') + at.data().toString().toStdString();
        if (const int badge = at.data(SidebarModel::BadgeRole).toInt()) line += "[" + std::to_string(badge) + "]";
        out.push_back(line);
        dump(model, at, depth + 1, out);
    }
}
std::vector<std::string> dump(const SidebarModel& model) {
    std::vector<std::string> out;
    dump(model, {}, 0, out);
    return out;
}

TEST(Sidebar, SectionsCountsAndNestedGroupsInPlainNameOrder) {
    OpenVault v;
    VaultWindowModel window(v.m);
    SidebarModel sidebar(window, kTiers);
    // Before the first refresh: no projects, so no Projects section.
    EXPECT_EQ(dump(sidebar), (std::vector<std::string>{"Vault", "  All Items", "  Codes", "AI Access", "  AI-Usable",
                                                       "  Gated", "  Hidden"}));

    const auto top = v.group("top");
    const auto lower = v.group("beta", AppModel::localOrgID(), top);
    v.group("Zed", AppModel::localOrgID(), top);
    v.item("in lower", lower);
    v.item("odd tier", std::nullopt, {{"password", ItemField::Kind::password, "x", true}}, "mystery");
    await(window.refresh());
    const auto lines = dump(sidebar);
    const std::vector<std::string> expected{"Vault",   "  All Items[2]", "  Codes",        "AI Access", "  AI-Usable[1]",
                                            "  Gated", "  Hidden",       "Projects",       "  Personal", "    local[1]",
                                            "    top[1]", "      Zed",   "      beta[1]"};
    EXPECT_EQ(lines, expected);

    // Headers carry no selection and cannot be chosen; rows map to and from their selection.
    const auto projects = sidebar.index(2, 0);
    const auto personal = sidebar.index(0, 0, projects);
    EXPECT_FALSE(sidebar.flags(personal) & Qt::ItemIsSelectable);
    EXPECT_FALSE(sidebar.selectionAt(personal));
    EXPECT_EQ(sidebar.projectAt(personal)->id, AppModel::localOrgID());
    for (const auto& selection : {SidebarSelection::all(), SidebarSelection::codes(),
                                  SidebarSelection::forTier("ai_hidden"), SidebarSelection::forGroup(lower)})
        EXPECT_EQ(sidebar.selectionAt(sidebar.indexOf(selection)), selection);
}

TEST(Sidebar, AReloadWithTheSameRowsOnlyUpdatesCounts) {
    OpenVault v;
    VaultWindowModel window(v.m);
    SidebarModel sidebar(window, kTiers);
    const auto group = v.group("g");
    await(window.refresh());
    QSignalSpy resets(&sidebar, &SidebarModel::modelReset);
    QSignalSpy changes(&sidebar, &SidebarModel::dataChanged);
    v.item("one", group);
    await(window.refresh());
    EXPECT_EQ(resets.size(), 0);
    EXPECT_GT(changes.size(), 0);
    EXPECT_EQ(sidebar.indexOf(SidebarSelection::forGroup(group)).data(SidebarModel::BadgeRole).toInt(), 1);
    EXPECT_EQ(sidebar.indexOf(SidebarSelection::forGroup(group)).data(Qt::AccessibleTextRole).toString(), "g, 1 item");
    v.item("two", group);
    await(window.refresh());
    EXPECT_EQ(sidebar.indexOf(SidebarSelection::forGroup(group)).data(Qt::AccessibleTextRole).toString(), "g, 2 items");

    sidebar.setGroupOpen(group, true);
    v.group("new", AppModel::localOrgID(), group);
    await(window.refresh());
    EXPECT_EQ(resets.size(), 1);
    EXPECT_TRUE(sidebar.isGroupOpen(group));
}

TEST(Sidebar, DropsTakeOnlyWhatDecodesAndWhatTheRowAccepts) {
    OpenVault v;
    VaultWindowModel window(v.m);
    SidebarModel sidebar(window, kTiers);
    ItemListModel list(window);
    const auto a = v.group("a");
    const auto b = v.group("b");
    const auto item = v.item("one");
    await(window.refresh());
    const auto groupA = sidebar.indexOf(SidebarSelection::forGroup(a));
    const auto personal = sidebar.index(0, 0, sidebar.index(2, 0));

    // A dragged row carries its reference, and a group row takes it.
    std::unique_ptr<QMimeData> dragged(list.mimeData({list.index(0)}));
    ASSERT_TRUE(dragged);
    EXPECT_FALSE(sidebar.canDropMimeData(dragged.get(), Qt::MoveAction, -1, -1, personal));  // no items on projects
    EXPECT_FALSE(sidebar.canDropMimeData(dragged.get(), Qt::MoveAction, 0, 0, groupA));      // between rows
    EXPECT_TRUE(sidebar.dropMimeData(dragged.get(), Qt::MoveAction, -1, -1, groupA));
    testing::settle();
    EXPECT_EQ(v.peek->item(item)->collectionId, a);

    // Bytes that do not decode are refused and move nothing.
    QMimeData broken;
    broken.setData(DraggedItem::mimeType(), R"({"id":"not a uuid"})");
    EXPECT_FALSE(sidebar.dropMimeData(&broken, Qt::MoveAction, -1, -1, sidebar.indexOf(SidebarSelection::forGroup(b))));
    testing::settle();
    EXPECT_EQ(v.peek->item(item)->collectionId, a);

    // A group dragged onto a project header becomes one of its top-level groups.
    const auto b2 = v.group("child", AppModel::localOrgID(), b);
    await(window.refresh());
    std::unique_ptr<QMimeData> child(sidebar.mimeData({sidebar.indexOf(SidebarSelection::forGroup(b2))}));
    EXPECT_TRUE(sidebar.dropMimeData(child.get(), Qt::MoveAction, -1, -1, sidebar.index(0, 0, sidebar.index(2, 0))));
    testing::settle();
    EXPECT_EQ(v.peek->collection(b2)->parentId, std::nullopt);
}

TEST(ItemList, FollowsTheFilterInModelOrder) {
    OpenVault v;
    VaultWindowModel window(v.m);
    ItemListModel list(window);
    const auto gated = v.item("Bank", std::nullopt, {{"password", ItemField::Kind::password, "x", true}}, "human_gated");
    v.item("GitHub", std::nullopt, {{"token", ItemField::Kind::password, "x", true}});
    await(window.refresh());
    ASSERT_EQ(list.rowCount(), 2);
    window.setSidebar(SidebarSelection::forTier("human_gated"));
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.rowAt(list.index(0))->id, gated);
    EXPECT_EQ(list.index(0).data(ItemListModel::TierRole).toString(), "human_gated");
    window.setSidebar(SidebarSelection::all());
    window.setSearch("tok");
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.index(0).data().toString(), "GitHub");
    EXPECT_EQ(list.index(0).data(ItemListModel::SubtitleRole).toString(), "token");
}

}  // namespace
}  // namespace vael

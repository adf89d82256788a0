#include <gtest/gtest.h>

#include <cmath>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/ItemUiFixtures.h"
#include "app/ui/window/AddItemSheet.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/window/SidebarColumn.h"
#include "app/ui/window/StructureEditSheet.h"
#include "app/ui/window/ItemListColumn.h"
#include "app/ui/window/SidebarColumn.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/SyncStatusPill.h"
#include "app/model/window/SidebarModel.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/ui/window/VaultItemRowDelegate.h"
#include "app/ui/window/VaultToolbar.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"
#include "app/model/window/VaultWindowModel.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using testing::await;
using testing::child;
using testing::OpenVault;
using testing::settle;

// The sheets open over this, as they do over the vault window.
struct Host {
    QWidget window;
    Host() {
        window.resize(900, 640);
        window.show();
    }
};

// MARK: - structure sheet

TEST(StructureEditSheet, BlankNameKeepsSaveOffAndReturnThenWritesNothing) {
    OpenVault v;
    Host host;
    QPointer<StructureEditSheet> sheet = new StructureEditSheet(StructureSheet::newProject(), v.m, &host.window);
    sheet->open();
    EXPECT_EQ(sheet->width(), 380);
    auto* field = child<QLineEdit>(sheet, "structureSheet.name");
    auto* save = child<QPushButton>(sheet, "structureSheet.save");
    EXPECT_EQ(field->placeholderText(), "Project name");
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClicks(field, "  \t");
    EXPECT_FALSE(save->isEnabled());

    QTest::keyClick(field, Qt::Key_Return);
    settle();
    EXPECT_TRUE(sheet.isNull());  // closed at once and deleted
    EXPECT_EQ(await(v.m.vaultTree()).size(), 1u);
    EXPECT_FALSE(v.m.errorMessage());
}

TEST(StructureEditSheet, RenameOpensWithTheNameAndSavesTheTrimmedText) {
    OpenVault v;
    Host host;
    const auto group = v.group("Work");
    QPointer<StructureEditSheet> sheet =
        new StructureEditSheet(StructureSheet::renameGroup(group, "Work"), v.m, &host.window);
    sheet->open();
    EXPECT_EQ(child<QLabel>(sheet, "structureSheet.title")->text(), "Rename Group");
    auto* field = child<QLineEdit>(sheet, "structureSheet.name");
    EXPECT_EQ(field->text(), "Work");
    EXPECT_EQ(field->placeholderText(), "Group name");
    field->setText(" Office ");
    QTest::mouseClick(child<QPushButton>(sheet, "structureSheet.save"), Qt::LeftButton);
    EXPECT_TRUE(sheet.isNull() || !sheet->isVisible());
    settle();
    const auto tree = await(v.m.vaultTree());
    for (const auto& node : tree.at(0).groups) {
        if (node.id == group) {
            EXPECT_EQ(node.name, "Office");
        }
    }
}

// MARK: - new-item sheet

const char* const kPaste =
    "https://github.com/login\n"
    "username: alice@example.org\n"
    "password: hunter2secret\n";

TEST(AddItemSheet, PasteThenAddStoresTheItemAndCloses) {
    OpenVault v;
    Host host;
    const auto project = *await(v.m.createProject("Client"));
    const auto b = v.group("B", project);
    const auto a = v.group("A", project);
    v.group("Sub", project, b);
    AppModel::ProjectNode node;
    for (auto& p : await(v.m.vaultTree()))
        if (p.id == project) node = p;
    int reloads = 0;
    QPointer<AddItemSheet> sheet = new AddItemSheet(v.m, node, [&]() -> QCoro::Task<> {
        ++reloads;
        co_return;
    }, &host.window);
    sheet->open();
    EXPECT_EQ(sheet->size(), QSize(460, 580));
    auto* folder = child<QComboBox>(sheet, "addItem.folder");
    ASSERT_EQ(folder->count(), 3);
    EXPECT_EQ(folder->itemText(0), "A");
    EXPECT_EQ(folder->itemText(2), "B / Sub");
    EXPECT_EQ(sheet->model().targetGroupID(), a);
    EXPECT_FALSE(child<QPushButton>(sheet, "addItem.add")->isEnabled());

    child<QPlainTextEdit>(sheet, "addItem.smartPaste")->setPlainText(kPaste);
    EXPECT_EQ(sheet->size(), QSize(460, 656));
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.name")->text(), "github.com");
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.website")->text(), "https://github.com/login");
    const auto values = sheet->findChildren<QLineEdit*>("addItem.draftValue");
    ASSERT_EQ(values.size(), 2);
    EXPECT_EQ(values[0]->echoMode(), QLineEdit::Normal);    // the username
    EXPECT_EQ(values[1]->echoMode(), QLineEdit::Password);  // the password, masked
    QTest::mouseClick(sheet->findChildren<QToolButton*>("addItem.draftReveal")[1], Qt::LeftButton);
    EXPECT_EQ(values[1]->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.draftLabel")->width(), 110);

    folder->setCurrentIndex(1);
    QTest::mouseClick(child<QPushButton>(sheet, "addItem.add"), Qt::LeftButton);
    EXPECT_TRUE(child<QWidget>(sheet, "addItem.busy")->isVisible());
    EXPECT_FALSE(child<QPushButton>(sheet, "addItem.add")->isEnabled());
    ASSERT_TRUE(testing::spinUntil([&] { return sheet.isNull(); }));
    settle();
    EXPECT_EQ(reloads, 1);
    const auto stored = v.peek->items(b);
    ASSERT_EQ(stored.size(), 1u);
    const auto payload = v.payloadOf(stored[0].id);
    EXPECT_EQ(payload.name, "github.com");
    EXPECT_EQ(payload.fields.size(), 2u);
    EXPECT_FALSE(payload.fields[1].concealed);
}

TEST(AddItemSheet, AFailedAddShowsTheSentenceAndKeepsTheEntries) {
    OpenVault v;
    Host host;
    QPointer<AddItemSheet> sheet = new AddItemSheet(v.m, std::nullopt, {}, &host.window);
    sheet->open();
    EXPECT_EQ(sheet->size(), QSize(460, 524));
    EXPECT_EQ(sheet->findChild<QWidget*>("addItem.locationSection"), nullptr);
    QTest::keyClicks(child<QLineEdit>(sheet, "addItem.name"), "Mail");
    QTest::keyClicks(child<QLineEdit>(sheet, "addItem.value"), "pw");
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.value")->echoMode(), QLineEdit::Password);
    v.sql("CREATE TRIGGER refuse_items BEFORE INSERT ON items BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    QTest::keyClick(child<QLineEdit>(sheet, "addItem.value"), Qt::Key_Return);  // the default action
    ASSERT_TRUE(testing::spinUntil([&] { return !sheet->model().busy(); }));
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(child<ErrorLabel>(sheet, "addItem.error")->message(), "Couldn't add item. Please try again.");
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.name")->text(), "Mail");
    EXPECT_EQ(child<QLineEdit>(sheet, "addItem.value")->text(), "pw");
    EXPECT_TRUE(child<QPushButton>(sheet, "addItem.add")->isEnabled());

    // Cancel while an add runs: the add ends in the model, the sheet is gone at once.
    v.sql("DROP TRIGGER refuse_items;");
    QTest::mouseClick(child<QPushButton>(sheet, "addItem.add"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(sheet, "addItem.cancel"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(v.peek->items(AppModel::localCollectionID()).size(), 1u);
}

// MARK: - toolbar

TEST(VaultToolbar, SwapsOnTheConnectionAndTakesItsShortcutsOnlyInsideThePage) {
    OpenVault v;
    // The page sits in a window beside other widgets, as the vault page sits in the main window.
    QWidget window;
    auto* page = new QWidget(&window);
    auto* outside = new QLineEdit(&window);
    auto* toolbar = new VaultToolbar(v.m, page);
    auto* body = new QLineEdit(page);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(toolbar);
    pageLayout->addWidget(body);
    auto* windowLayout = new QVBoxLayout(&window);
    windowLayout->addWidget(page);
    windowLayout->addWidget(outside);
    window.resize(1000, 160);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    auto* connect = child<QWidget>(toolbar, "toolbar.connect");
    auto* sharing = child<QWidget>(toolbar, "toolbar.sharing");
    EXPECT_TRUE(connect->isVisible());
    EXPECT_FALSE(sharing->isVisible());
    EXPECT_FALSE(toolbar->syncPill()->isVisible());
    EXPECT_EQ(connect->toolTip(), "Connect this vault to the Vael server");
    EXPECT_EQ(child<QToolButton>(toolbar, "toolbar.addItem")->toolTip(), "Add item (Ctrl+N) \u2014 more in the menu");
    EXPECT_EQ(child<QToolButton>(toolbar, "toolbar.addItem")->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(child<QWidget>(toolbar, "toolbar.lock")->accessibleName(), "Lock");
    EXPECT_EQ(child<QWidget>(toolbar, "toolbar.lock")->accessibleDescription(), "Lock the vault (Ctrl+L)");
    EXPECT_EQ(child<QLineEdit>(toolbar, "toolbar.search")->placeholderText(), "Search items");

    v.m.setServerConnected(true);
    settle();  // the toolbar lays its buttons out again
    EXPECT_FALSE(connect->isVisible());
    EXPECT_TRUE(sharing->isVisible());
    EXPECT_TRUE(toolbar->syncPill()->isVisible());
    EXPECT_EQ(toolbar->syncPill()->toolTip().toStdString(), "Vault sync with " + serverHost(v.m.serverEndpoint()));

    QSignalSpy newItem(toolbar, &VaultToolbar::newItemRequested);
    QSignalSpy sharingAsked(toolbar, &VaultToolbar::sharingRequested);
    QTest::mouseClick(child<QToolButton>(toolbar, "toolbar.addItem"), Qt::LeftButton, {}, QPoint(8, 8));
    QTest::mouseClick(sharing, Qt::LeftButton);
    EXPECT_EQ(newItem.count(), 1);
    EXPECT_EQ(sharingAsked.count(), 1);
    const auto entries = child<QToolButton>(toolbar, "toolbar.addItem")->menu()->actions();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[1]->text(), "New 2FA Code\u2026");
    EXPECT_TRUE(entries[3]->isSeparator());

    // Outside the page the shortcuts do nothing.
    outside->setFocus();
    QTest::keyClick(outside, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(outside, Qt::Key_L, Qt::ControlModifier);
    settle();
    EXPECT_EQ(newItem.count(), 1);
    EXPECT_TRUE(v.m.hasSession());

    body->setFocus();
    QTest::keyClick(body, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(newItem.count(), 2);
    QTest::keyClick(body, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(testing::spinUntil([&] { return v.m.phase() == AppModel::Phase::locked; }));
    EXPECT_FALSE(v.m.hasSession());
    settle();
    EXPECT_FALSE(toolbar->syncPill()->isVisible());  // the lock ends the connection
}

// A toolbar alone on an active page.
class VaultToolbarPage : public ::testing::Test {
protected:
    void SetUp() override {
        (new QVBoxLayout(&page))->addWidget(toolbar);
        page.resize(1000, 80);
        page.show();
        page.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    }

    OpenVault v;
    QWidget page;
    VaultToolbar* toolbar = new VaultToolbar(v.m, &page);
};

// Each toolbar button is named by its label, described by its help, and reached by Tab in the
// order it shows.
TEST_F(VaultToolbarPage, ButtonsAreNamedByTheirLabelAndTakeTabInOrder) {
    const struct {
        const char* object;
        QString name;
        QString description;
    } buttons[] = {
        {"toolbar.connect", "Connect", "Connect this vault to the Vael server"},
        {"toolbar.newProject", "New Project", "New project"},
        {"toolbar.addItem", "Add Item", "Add item (Ctrl+N) \u2014 more in the menu"},
        {"toolbar.lock", "Lock", "Lock the vault (Ctrl+L)"},
        {"toolbar.search", "Search items", ""},
    };
    child<QWidget>(toolbar, buttons[0].object)->setFocus(Qt::TabFocusReason);
    for (const auto& b : buttons) {
        auto* widget = child<QWidget>(toolbar, b.object);
        EXPECT_EQ(widget->accessibleName(), b.name);
        EXPECT_EQ(widget->accessibleDescription(), b.description) << b.object;
        EXPECT_EQ(QApplication::focusWidget(), widget) << b.object;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

// The add menu's entries are reachable without a mouse: Down on the focused control opens the menu,
// whose last entry imports; Space stays the control's own click.
TEST_F(VaultToolbarPage, AddMenuOpensFromTheKeyboard) {
    auto* add = child<QToolButton>(toolbar, "toolbar.addItem");
    add->setFocus(Qt::TabFocusReason);
    QSignalSpy newItem(toolbar, &VaultToolbar::newItemRequested);
    QSignalSpy import(toolbar, &VaultToolbar::importRequested);

    QTest::keyClick(add, Qt::Key_Space);
    EXPECT_EQ(newItem.count(), 1);
    bool shown = false;
    // The menu runs its own loop: the keys that pick its last entry come from inside it.
    QTimer::singleShot(0, add, [&] {
        auto* menu = add->menu();
        shown = menu->isVisible();
        QTest::keyClick(menu, Qt::Key_Up);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::keyClick(add, Qt::Key_Down);
    settle();
    EXPECT_TRUE(shown);
    EXPECT_EQ(import.count(), 1);
    EXPECT_EQ(newItem.count(), 1);
}

// The sidebar's "+" are buttons: named, in the Tab chain after the tree, and a click on one leaves
// the row under it as it was.
TEST(SidebarColumn, PlusButtonsAreNamedFocusableAndLeaveTheRowAlone) {
    OpenVault v;
    ASSERT_TRUE(await(v.m.createProject("Acme & <b>Co</b>")).has_value());
    VaultWindowModel window(v.m);
    await(window.refresh());
    SidebarColumn column(window);
    column.resize(240, 500);
    column.show();
    column.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&column));
    settle();
    auto* newProject = child<QToolButton>(&column, "sidebar.newProject");
    auto* addTo = child<QToolButton>(&column, "sidebar.addToProject");
    ASSERT_TRUE(newProject && addTo);
    EXPECT_EQ(newProject->accessibleName(), "New project");
    EXPECT_EQ(addTo->accessibleName(), "Add to Acme & <b>Co</b>");
    EXPECT_EQ(addTo->toolTip(), "<qt>Add to Acme &amp; &lt;b&gt;Co&lt;/b&gt;</qt>");
    EXPECT_TRUE(newProject->isVisible());
    EXPECT_TRUE(addTo->isVisible());
    testing::snapshot(column, "sidebar-plus-buttons");
    // A screen reader finds both in the tree it walks, with their names.
    for (const char* name : {"New project", "Add to Acme & <b>Co</b>"}) {
        auto* found = testing::reachableAccessible(&column, name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found->role(), QAccessible::Button) << name;
    }

    column.tree()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(column.tree(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), newProject);
    QTest::keyClick(newProject, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), addTo);

    auto* delegate = static_cast<SidebarDelegate*>(column.tree()->itemDelegate());
    QSignalSpy asked(delegate, &SidebarDelegate::plusClicked);
    QModelIndex project;
    for (int row = 0; row < column.tree()->model()->rowCount(); ++row) {
        const auto section = column.tree()->model()->index(row, 0);
        for (int inner = 0; inner < column.tree()->model()->rowCount(section); ++inner) {
            const auto index = column.tree()->model()->index(inner, 0, section);
            if (index.data().toString() == "Acme & <b>Co</b>") project = index;
        }
    }
    ASSERT_TRUE(project.isValid());
    const bool open = column.tree()->isExpanded(project);
    QObject::connect(delegate, &SidebarDelegate::plusClicked, &column, [] {
        // The project's add menu pops up; close it so the test goes on.
        QTimer::singleShot(0, [] {
            if (auto* popup = QApplication::activePopupWidget()) popup->close();
        });
    });
    QTest::keyClick(addTo, Qt::Key_Space);
    settle();
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.front().front().value<QModelIndex>(), project);
    EXPECT_EQ(column.tree()->isExpanded(project), open);
}

// A misspelt symbol would draw the theme's missing-image icon.
// MARK: - sidebar

// The sidebar over a vault's window model, shown and filled; rows are found by their text.
struct ShownSidebar {
    VaultWindowModel window;
    SidebarColumn column{window};
    QTreeView* tree = column.tree();
    explicit ShownSidebar(AppModel& app) : window(app) {
        column.resize(240, 500);
        column.show();
        await(window.refresh());
        settle();
    }
    QModelIndex find(const QString& text) const {
        auto* model = tree->model();
        const auto hits = model->match(model->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchRecursive | Qt::MatchExactly);
        return hits.isEmpty() ? QModelIndex() : hits.front();
    }
};

// Projects and groups start closed; what the user opens stays open through refreshes that rebuild
// the rows; the "+" opens its menu without toggling its project.
TEST(SidebarColumn, DisclosuresStartClosedAndKeepTheUsersChoice) {
    OpenVault v;
    const auto top = v.group("top");
    v.group("beta", AppModel::localOrgID(), top);
    ShownSidebar shown(v.m);
    auto& window = shown.window;
    auto& column = shown.column;
    auto* tree = shown.tree;
    const auto find = [&](const QString& text) { return shown.find(text); };
    const auto personal = find("Personal");
    ASSERT_TRUE(personal.isValid());
    EXPECT_TRUE(tree->isExpanded(personal.parent()));  // the section
    EXPECT_FALSE(tree->isExpanded(personal));
    EXPECT_FALSE(tree->isExpanded(find("top")));
    EXPECT_FALSE(window.isProjectExpanded(AppModel::localOrgID()));

    // A click on the name opens the project; the user opens "top".
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(personal).center() - QPoint(40, 0));
    EXPECT_TRUE(window.isProjectExpanded(AppModel::localOrgID()));
    tree->expand(find("top"));

    // A new group rebuilds the rows: the choices stay, the new group starts closed.
    const auto other = v.group("other");
    v.group("inner", AppModel::localOrgID(), other);
    await(window.refresh());
    settle();
    ASSERT_TRUE(find("other").isValid());
    EXPECT_TRUE(tree->isExpanded(find("Personal")));
    EXPECT_TRUE(tree->isExpanded(find("top")));
    EXPECT_FALSE(tree->isExpanded(find("other")));

    // The "+" only opens the add menu.
    const QRect row = tree->visualRect(find("Personal"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, SidebarDelegate::plusRect(row).center());
    settle();
    EXPECT_TRUE(tree->isExpanded(find("Personal")));
    EXPECT_TRUE(window.isProjectExpanded(AppModel::localOrgID()));
    auto* menu = column.findChild<QMenu*>();
    ASSERT_TRUE(menu);
    menu->close();
}

// A group made in a closed project (or below a closed group) is shown: its path opens. Groups
// that arrive otherwise leave the disclosures as they are.
TEST(SidebarColumn, ANewGroupOpensItsWayIntoView) {
    OpenVault v;
    const auto top = v.group("top");
    ShownSidebar shown(v.m);
    auto& window = shown.window;
    auto* tree = shown.tree;
    const auto find = [&](const QString& text) { return shown.find(text); };
    const auto project = AppModel::localOrgID();
    ASSERT_FALSE(window.isProjectExpanded(project));

    v.group("synced elsewhere");
    await(window.refresh());
    settle();
    EXPECT_FALSE(window.isProjectExpanded(project));

    window.requestStructure(StructureSheet::newGroup(project, top));
    await(window.structureSheet()->save(v.m, "inner"));
    window.clearStructureSheet();
    await(window.refresh());
    settle();
    EXPECT_TRUE(window.isProjectExpanded(project));
    EXPECT_TRUE(tree->isExpanded(find("Personal")));
    EXPECT_TRUE(tree->isExpanded(find("top")));
    EXPECT_TRUE(tree->visualRect(find("inner")).isValid());
}

// The list reads each row out with its tier, in the locale's name order.
TEST(ItemListColumn, RowsReadOutTheirTierInNameOrder) {
    OpenVault v;
    v.item("zeta");
    v.item("Bank", std::nullopt, {{"password", ItemField::Kind::password, "x", true}}, "human_gated");
    v.item("alpha");
    VaultWindowModel window(v.m);
    ScreenFactory screens(v.m);
    ItemListColumn column(window, screens);
    await(window.refresh());
    auto* list = column.findChild<QListView*>("itemList");
    ASSERT_TRUE(list);
    auto* model = list->model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(0, 0).data().toString(), "alpha");
    EXPECT_EQ(model->index(1, 0).data().toString(), "Bank");
    EXPECT_EQ(model->index(2, 0).data().toString(), "zeta");
    EXPECT_EQ(model->index(1, 0).data(Qt::AccessibleTextRole).toString(), "Bank, password, AI access: Gated");
}

TEST(SyncStatusPill, EveryMarkIsInTheCatalogue) {
    for (const auto& status : {AppSyncStatus::synced({}), AppSyncStatus::idle(), AppSyncStatus::offline()}) {
        EXPECT_TRUE(SymbolCatalog::knows(*syncPillText(status, 0, std::nullopt, "").symbol));
    }
}

// A server's reason reaches the tooltip and the screen reader on one line, in its own order, and
// of a readable length.
TEST(SyncStatusPill, AServersReasonShowsOnOneLine) {
    SyncStatusPill pill;
    pill.setContent(syncPillText(AppSyncStatus::offline(), 0, "down\nfor \u202Erepairs\u200B", ""));
    const QString expected = QString::fromUtf8("Last sync failed: down for repairs \u2014 retrying automatically.");
    EXPECT_EQ(pill.toolTip(), expected);
    EXPECT_EQ(pill.accessibleDescription(), expected);
    pill.setContent(syncPillText(AppSyncStatus::offline(), 0, std::string(5000, 'x'), ""));
    EXPECT_LT(pill.toolTip().size(), 300);
    EXPECT_TRUE(pill.toolTip().endsWith(QChar(0x2026)));
}

// MARK: - item row

TEST(VaultItemRowDelegate, RowShowsOneLineEachAndReadsOutTheTier) {
    QStandardItemModel model;
    auto* item = new QStandardItem(QString(300, QChar(u'M')));
    item->setData("username", VaultItemRowDelegate::FieldLabelRole);
    item->setData("not a tier", VaultItemRowDelegate::TierRole);
    model.appendRow(item);
    QListView list;
    VaultItemRowDelegate delegate;
    list.setItemDelegate(&delegate);
    list.setModel(&model);
    list.resize(320, 200);
    list.show();
    const auto rowHeight = list.visualRect(model.index(0, 0)).height();
    EXPECT_GE(rowHeight, VaultItemRowDelegate::kGlyphSize + 2 * VaultItemRowDelegate::kVerticalPadding);
    EXPECT_LT(rowHeight, 60);  // a long name does not wrap
    EXPECT_FALSE(list.grab().isNull());

    // Selected, on the brand colour: the glyph keeps the base colour under it, light and dark.
    for (const QPalette& base : {testing::lightPalette(), testing::darkPalette()}) {
        QPalette branded = base;
        branded.setColor(QPalette::Highlight, VaelTheme::brand());
        branded.setColor(QPalette::HighlightedText, Qt::white);
        list.setPalette(branded);
        list.setCurrentIndex(model.index(0, 0));
        const QRect rowRect = list.visualRect(model.index(0, 0));
        const QImage shot = list.viewport()->grab().toImage();
        const QPoint glyphCorner(rowRect.left() + 6 + 3, rowRect.center().y());
        const QColor seen = shot.pixelColor(glyphCorner * shot.devicePixelRatio());
        const auto distance = [&](const QColor& c) {
            return std::pow(seen.red() - c.red(), 2) + std::pow(seen.green() - c.green(), 2) + std::pow(seen.blue() - c.blue(), 2);
        };
        EXPECT_LT(distance(base.color(QPalette::Base)), distance(VaelTheme::brand()));
        testing::snapshot(list, VaelTheme::isDark(base) ? "item-row-selected-dark" : "item-row-selected-light");
    }

    const AppModel::ItemRow row{Uuid::random(), "Mail", "password", "unknown", Uuid::random()};
    EXPECT_EQ(VaultItemRowDelegate::rowAccessibleText(row), "Mail, password, AI access: Gated");
}

}  // namespace
}  // namespace vael

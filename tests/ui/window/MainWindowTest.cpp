#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <QDialog>
#include <QApplication>
#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QHelpEvent>
#include <QMenu>
#include <QClipboard>
#include <QPixmapCache>
#include <QTest>

#include <future>
#include <fstream>
#include <thread>

#include "app/ui/design/VaelTheme.h"
#include "ui/ItemUiFixtures.h"
#include "ui/ScriptedFileChooser.h"
#include "ui/UiFixtures.h"
#include "model/ItemFixtures.h"
#include "app/model/window/VaultWindowModel.h"
#include "app/model/window/ItemListModel.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/ui/design/VaelComponents.h"
#include "app/model/window/DeleteTarget.h"
#include "app/ui/items/AddTOTPSheet.h"
#include "app/ui/items/CaptureHost.h"
#include "app/ui/items/ItemDetailView.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/items/ImportSheet.h"
#include "app/model/items/ImportSheetModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/SidebarColumn.h"
#include "app/ui/window/SyncStatusPill.h"
#include "app/ui/window/VaultItemRowDelegate.h"
#include "app/ui/window/VaultMenus.h"
#include "app/ui/window/VaultScreen.h"

namespace vael {
namespace {

using testing::await;
using testing::child;
using testing::settle;
using testing::spinUntil;

// The live factory, noting what the window asked for.
class RecordingScreens final : public ScreenFactory {
public:
    using ScreenFactory::ScreenFactory;
    std::vector<std::string> calls;
    std::vector<std::string> detailGroups;

    QWidget* unlock() override { return note("unlock", ScreenFactory::unlock()); }
    QWidget* onboarding() override { return note("onboarding", ScreenFactory::onboarding()); }
    QWidget* detail(const ItemPayload& payload, const std::string& aiAccess, WebsiteSave save,
                    const std::string& groupName) override {
        detailGroups.push_back(groupName);
        calls.push_back("detail " + payload.name + " " + aiAccess);
        return ScreenFactory::detail(payload, aiAccess, std::move(save), groupName);
    }
    QDialog* addCode(std::optional<AppModel::ItemRow> target, OnAdded onAdded, QWidget* parent) override {
        calls.push_back("addCode " + (target ? target->name : std::string("-")));
        return ScreenFactory::addCode(std::move(target), std::move(onAdded), parent);
    }
    QDialog* capture(const LiveCredentialCapturePresenter::Pending& request, QWidget* parent) override {
        calls.push_back("capture " + request.origin);
        return ScreenFactory::capture(request, parent);
    }

private:
    QWidget* note(const std::string& call, QWidget* page) {
        calls.push_back(call);
        return page;
    }
};

struct WindowRun {
    testing::OpenVault v;
    RecordingScreens screens{v.m};
    MainWindow window{v.m, screens, /*hasTray=*/false};

    VaultScreen* vault() const { return qobject_cast<VaultScreen*>(window.page()); }
};

TEST(MainWindowRun, UnlockBannerCaptureAndLock) {
    WindowRun t;
    const auto item = t.v.item("GitHub");
    t.v.h.lock();
    t.window.show();
    settle();
    // The design's sizes, within the screen (the offscreen one is smaller than they are).
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_EQ(t.window.minimumSize(), QSize(940, 600).boundedTo(room));
    EXPECT_EQ(t.window.size(), QSize(1040, 680).boundedTo(room));
    EXPECT_EQ(t.window.screen(), MainWindow::Screen::unlock);  // bootstrap found the vault
    EXPECT_EQ(t.screens.calls, std::vector<std::string>{"unlock"});

    // Unlock: a fresh vault page, filled by its first refresh.
    t.v.h.unlock();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && t.vault()->isReady() && !t.vault()->window().rows().empty(); }));
    auto* list = child<QListView>(t.vault(), "itemList");
    EXPECT_EQ(t.window.focusWidget(), list) << (t.window.focusWidget() ? t.window.focusWidget()->objectName().toStdString() : "none");
    list->setCurrentIndex(list->model()->index(0, 0));
    ASSERT_TRUE(spinUntil([&] { return !t.screens.detailGroups.empty(); }));
    EXPECT_EQ(t.screens.calls.back(), "detail GitHub injectable");
    EXPECT_EQ(t.screens.detailGroups.back(), "local");
    EXPECT_EQ(t.vault()->window().selectedItemID(), item);

    // The model's failure shows until the banner is closed, which clears it.
    auto* banner = child<QWidget>(t.vault(), "errorBanner");
    EXPECT_TRUE(banner->isHidden());
    t.v.m.setErrorMessage("Couldn't move the item.");
    EXPECT_FALSE(banner->isHidden());
    EXPECT_EQ(child<QLabel>(banner, "errorBannerText")->text(), "Couldn't move the item.");
    child<QToolButton>(banner, "errorBannerClose")->click();
    EXPECT_FALSE(t.v.m.errorMessage());
    EXPECT_TRUE(banner->isHidden());

    // An item's "Add 2FA Code…" opens one sheet for that row; closing it clears the request.
    t.vault()->window().requestAddTOTP(t.vault()->window().rows().front());
    EXPECT_EQ(t.screens.calls.back(), "addCode GitHub");
    auto* codeSheet = t.vault()->findChild<AddTOTPSheet*>();
    ASSERT_TRUE(codeSheet);
    codeSheet->reject();
    settle();
    EXPECT_FALSE(t.vault()->window().totpRequest());

    // An agent's capture request opens its sheet over the page; dismissing it answers that request
    // with nothing.
    auto answer = std::async(std::launch::async, [&] {
        return t.v.m.liveCapture()->present("https://example.org", std::string("Example"));
    });
    CaptureHost* host = t.window.findChild<CaptureHost*>();
    ASSERT_TRUE(spinUntil([&] { return host->sheet() != nullptr; }));
    EXPECT_EQ(t.screens.calls.back(), "capture https://example.org");
    host->sheet()->reject();
    ASSERT_TRUE(spinUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_FALSE(answer.get());
    EXPECT_FALSE(t.v.m.liveCapture()->pending());

    // Locking drops the vault page and its state, and the page's sentence with it.
    QPointer<QWidget> page = t.window.page();
    t.v.m.setErrorMessage("The server is unreachable \u2014 you can still unlock with your passphrase offline.");
    QCoro::waitFor(t.v.m.lock());
    settle();
    EXPECT_EQ(t.window.screen(), MainWindow::Screen::unlock);
    EXPECT_FALSE(page);
    EXPECT_FALSE(t.v.m.errorMessage());
    EXPECT_EQ(t.screens.calls.back(), "unlock");
}

TEST(MainWindowRun, ARevealedValueLeavesThePaneTheMomentTheVaultLocks) {
    WindowRun t;
    t.v.item("Bank", std::nullopt,
             {{"username", ItemField::Kind::username, "ada-lovelace", false},
              {"password", ItemField::Kind::password, "pa55/word", true},
              {"otp", ItemField::Kind::otp, "JBSWY3DPEHPK3PXP", true}});
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && !t.vault()->window().rows().empty(); }));
    auto* list = child<QListView>(t.vault(), "itemList");
    list->setCurrentIndex(list->model()->index(0, 0));
    ItemDetailView* pane = nullptr;
    ASSERT_TRUE(spinUntil([&] { return (pane = t.vault()->findChild<ItemDetailView*>()) != nullptr; }));
    auto* password = child<ElidedLabel>(child(pane, "field.1"), "fieldValue");
    child<QPushButton>(child(pane, "field.1"), "reveal")->click();
    ASSERT_TRUE(spinUntil([&] { return password->fullText() == "pa55/word"; }));
    const QString code = child<QLabel>(child(pane, "field.2"), "codeValue")->text();
    ASSERT_FALSE(code.isEmpty());

    // What the widgets hold the moment the lock is announced, before the old page is deleted.
    std::vector<QString> held;
    bool modelHoldsValues = true;
    QObject::connect(&t.v.m, &AppModel::phaseChanged, pane, [&, pane] {
        for (auto* label : pane->findChildren<QLabel*>()) {
            held.insert(held.end(), {label->text(), label->accessibleName(), label->toolTip()});
            if (auto* elided = dynamic_cast<ElidedLabel*>(label)) held.push_back(elided->fullText());
        }
        modelHoldsValues = false;
        for (const auto& field : pane->viewModel()->payload().fields) modelHoldsValues |= !field.value.empty();
    });
    QCoro::waitFor(t.v.m.lock());
    ASSERT_FALSE(held.empty());
    for (const auto& text : held) {
        for (const QString& value : {QString("pa55/word"), QString("ada-lovelace"), code}) {
            EXPECT_FALSE(text.contains(value)) << text.toStdString();
        }
    }
    EXPECT_FALSE(modelHoldsValues);
}

// What a label that reads `text` as Qt would (markup if it looks like markup) shows.
QString rendered(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

TEST(MainWindowRun, NamesChosenByAgentsShowAsPlainTextOnOneLine) {
    WindowRun t;
    const std::string markup = "<h1 style=\"color:red\">VAEL SECURITY</h1><img src=\"/tmp/x.png\">";
    const std::string reversed = "Prod \u202Elive\u202C\nkey";
    const std::string ampersand = "R&D \u2066vault\u2069";
    await(t.v.m.createProject(markup));
    const auto group = t.v.group(reversed);
    t.v.group(ampersand);
    t.v.item(reversed, group);
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && !t.vault()->window().rows().empty(); }));

    // The sidebar's "+" of the project says "Add to" and the name, as text.
    auto* tree = child<QTreeView>(t.vault(), "sidebar");
    QModelIndex project;
    for (int r = 0; r < tree->model()->rowCount() && !project.isValid(); ++r) {
        const auto section = tree->model()->index(r, 0);
        for (int p = 0; p < tree->model()->rowCount(section); ++p) {
            const auto at = tree->model()->index(p, 0, section);
            if (at.data().toString().toStdString() == markup) project = at;
        }
    }
    ASSERT_TRUE(project.isValid());
    tree->scrollTo(project);
    settle();
    QStyleOptionViewItem option;
    option.rect = tree->visualRect(project);
    const QPoint plus = SidebarDelegate::plusRect(option.rect).center();
    QHelpEvent help(QEvent::ToolTip, plus, tree->viewport()->mapToGlobal(plus));
    ASSERT_TRUE(tree->itemDelegate()->helpEvent(&help, tree, option, project));
    EXPECT_EQ(rendered(QToolTip::text()).toStdString(), "Add to " + markup);
    QToolTip::hideText();
    // The sidebar reads the group out as it shows it.
    const auto hits = tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, QString::fromStdString(reversed), 1,
                                           Qt::MatchRecursive | Qt::MatchExactly);
    ASSERT_EQ(hits.size(), 1);
    EXPECT_TRUE(hits.front().data(Qt::AccessibleTextRole).toString().startsWith("Prod live key"));

    // List row, detail title and menus: one line, no reordering, "&" as itself.
    const auto row = t.vault()->window().rows().front();
    EXPECT_EQ(VaultItemRowDelegate::rowAccessibleText(row).toStdString(), "Prod live key, password, AI access: AI-Usable");
    auto* list = child<QListView>(t.vault(), "itemList");
    list->setCurrentIndex(list->model()->index(0, 0));
    ItemDetailView* pane = nullptr;
    ASSERT_TRUE(spinUntil([&] { return (pane = t.vault()->findChild<ItemDetailView*>()) != nullptr; }));
    // The title may break over lines where the pane is narrow; what it shows is the cleaned name.
    EXPECT_EQ(child<ElidedLabel>(pane, "itemName")->fullText(), "Prod live key");
    settle();
    testing::snapshot(t.window, "hostile-names");
    std::unique_ptr<QMenu> menu(VaultMenus::item(t.vault()->window(), row, nullptr));
    QStringList moves;
    for (auto* action : child<QMenu>(menu.get(), "itemMoveMenu")->actions()) moves << action->text();
    EXPECT_TRUE(moves.join("|").contains("R&&D vault")) << moves.join("|").toStdString();
    EXPECT_FALSE(moves.join("|").contains(QChar(0x2066)));

    // A server's error text in the sync pill's tooltip.
    SyncStatusPill pill;
    SyncPillText content;
    content.text = "Sync failed";
    content.tooltip = "Last sync failed: <b>call</b> <a href=\"x\">support</a> & <img src=\"/tmp/x.png\">";
    pill.setContent(content);
    EXPECT_EQ(rendered(pill.toolTip()).toStdString(), content.tooltip);
}

// An import under way outlives its page: an invite link swapping the page mid-run leaves the sheet
// to finish and report every row; a lock ends it.
TEST(MainWindowRun, AnImportFinishesWhenThePageIsReplaced) {
    WindowRun t;
    t.window.show();
    settle();
    ASSERT_TRUE(t.vault());
    const auto path = t.v.h.home.path() + "/export.csv";
    {
        std::ofstream out(path);
        out << "name,username,password\n";
        for (int i = 1; i <= 20; ++i) out << "site " << i << ",user,secret\n";
    }
    auto chooser = std::make_shared<testing::ScriptedFileChooser>();
    chooser->answer(QString::fromStdString(path));
    QPointer<ImportSheet> sheet = new ImportSheet(t.v.m, t.vault(), chooser);
    sheet->open();
    child<QPushButton>(sheet, "chooseFile")->click();
    settle();
    child<QPushButton>(sheet, "importRun")->click();
    ASSERT_TRUE(spinUntil([&] { return sheet->model().progress() >= 2; }));
    QPointer<QWidget> page = t.window.page();
    t.v.m.handleInviteURL("vael://invite/abc123");
    ASSERT_TRUE(spinUntil([&] { return t.window.screen() == MainWindow::Screen::invite; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(page);
    ASSERT_TRUE(spinUntil([&] { return !sheet || sheet->model().result().has_value(); }));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->model().result(), (ImportSheetModel::Result{20, 0}));
    EXPECT_EQ(child<QLabel>(sheet, "importResult")->text(), "Imported 20 items into your vault.");
    EXPECT_EQ(await(t.v.m.listItems()).size(), 20u);

    QCoro::waitFor(t.v.m.lock());
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet);
}

TEST(MainWindowRun, ACaptureSheetClosesWhenItsRequestIsAnsweredElsewhere) {
    WindowRun t;
    t.window.show();
    settle();
    auto first = std::async(std::launch::async, [&] { return t.v.m.liveCapture()->present("first", std::nullopt); });
    CaptureHost* host = t.window.findChild<CaptureHost*>();
    ASSERT_TRUE(spinUntil([&] { return host->sheet() != nullptr; }));
    QPointer<QDialog> sheet = host->sheet();
    auto second = std::async(std::launch::async, [&] { return t.v.m.liveCapture()->present("second", std::nullopt); });
    // The lock answers every waiting request; the open sheet goes with its request, answering nothing more.
    QCoro::waitFor(t.v.m.lock());
    ASSERT_TRUE(spinUntil([&] { return !sheet; }));
    EXPECT_FALSE(first.get());
    EXPECT_FALSE(second.get());
    EXPECT_FALSE(host->sheet());
}

TEST(MainWindowRun, DeletionsAreAskedFirstAndDismissingDeletesNothing) {
    WindowRun t;
    const auto item = t.v.item("GitHub");
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && !t.vault()->window().rows().empty(); }));
    auto& window = t.vault()->window();
    const auto row = window.rows().front();

    window.requestDelete(DeleteTarget::item(row.id, row.name));
    auto* dialog = child<QMessageBox>(t.vault(), "deleteConfirmation");
    EXPECT_EQ(dialog->text().toStdString(), window.deleteTarget()->prompt());
    // The warning is the dialog's; Cancel is the default and plain, the action red.
    EXPECT_FALSE(dialog->iconPixmap().isNull());
    auto* cancel = child<QPushButton>(dialog, "deleteCancel");
    auto* destroy = child<QPushButton>(dialog, "deleteConfirm");
    EXPECT_TRUE(cancel->icon().isNull());
    EXPECT_TRUE(cancel->isDefault());
    EXPECT_FALSE(destroy->autoDefault());
    EXPECT_EQ(destroy->palette().color(QPalette::ButtonText), systemColor(SystemColor::red, destroy->palette()));
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    testing::snapshot(*dialog, "delete-confirmation");
    dialog->reject();
    settle();
    EXPECT_FALSE(window.deleteTarget());
    EXPECT_FALSE(t.v.peek->item(item)->deleted);

    window.requestDelete(DeleteTarget::item(row.id, row.name));
    child<QPushButton>(t.vault(), "deleteConfirm")->click();
    ASSERT_TRUE(spinUntil([&] { return t.v.peek->item(item)->deleted; }));
    ASSERT_TRUE(spinUntil([&] { return window.rows().empty(); }));
    EXPECT_FALSE(window.deleteTarget());
}

// ---- the detail pane follows its item ----

// Writes that reach the store the way an agent's or a sync pull's do: straight into the store the
// agents write through, the model learning of them from it.
struct StoreWrites {
    testing::OpenVault& v;
    VaelStore& store() { return *v.h.contexts.back().store; }
    Uuid create(const std::string& name) {
        ItemPayload payload;
        payload.name = name;
        payload.fields = {{"token", ItemField::Kind::password, "t0ken", true}};
        const auto id = Uuid::random();
        const auto& key = v.h.contexts.back().defaultCollectionKey;
        store().upsertItem(itemlayout::itemBody(id, AppModel::localCollectionID(), "login",
                                                itemlayout::sealPayload(*v.m.vault(), payload, id, key), "injectable", 1,
                                                std::chrono::system_clock::now())
                               .toRecord(false));
        return id;
    }
    void setTier(const Uuid& id, const std::string& tier) {
        auto record = *store().item(id);
        record.aiAccess = tier;
        record.revision += 1;
        store().upsertItem(record);
    }
};

struct DetailRun : WindowRun {
    QListView* list() const { return child<QListView>(vault(), "itemList"); }
    ItemListModel* rows() const { return qobject_cast<ItemListModel*>(list()->model()); }
    void click(const Uuid& id) {
        const auto at = rows()->indexOf(id);
        ASSERT_TRUE(at.isValid());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(at).center());
    }
    // The pane on show, if the detail column shows one.
    ItemDetailView* pane() const {
        auto* column = child<QStackedWidget>(vault(), "detailColumn");
        return qobject_cast<ItemDetailView*>(column->currentWidget());
    }
    std::string shownName() const { return pane() ? child<QLabel>(pane(), "itemName")->text().toStdString() : "-"; }
    // The selected item is the list's current, highlighted row.
    bool highlighted(const Uuid& id) const {
        const auto at = rows()->indexOf(id);
        return at.isValid() && list()->currentIndex() == at && list()->selectionModel()->isSelected(at);
    }
    std::optional<AppModel::ItemRow> row(const Uuid& id) const {
        for (const auto& row : vault()->window().rows())
            if (row.id == id) return row;
        return std::nullopt;
    }
    QString handoff() {
        QGuiApplication::clipboard()->clear();
        child<QAbstractButton>(pane(), "copyForAI")->click();
        return QGuiApplication::clipboard()->text();
    }
};

TEST(MainWindowDetail, WritesElsewhereNeverCloseThePaneAndAClickAlwaysShowsTheRow) {
    DetailRun t;
    StoreWrites agent{t.v};
    const auto deploy = t.v.item("deploy key");
    const auto other = t.v.item("GitHub", std::nullopt,
                                {{"password", ItemField::Kind::password, "p", true},
                                 {"otp", ItemField::Kind::otp, "JBSWY3DPEHPK3PXP", true}});
    const auto work = t.v.group("Work");
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && t.vault()->window().rows().size() == 2; }));
    auto& window = t.vault()->window();
    // A code chosen in the codes category first, then an item without one in all items.
    window.setSidebar(SidebarSelection::codes());
    window.setSelectedItemID(other);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "GitHub"; }));
    window.setSidebar(SidebarSelection::all());
    settle();
    t.click(deploy);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "deploy key"; }));
    QPointer<ItemDetailView> pane = t.pane();

    // An agent's create, another item's move, a delete: the pane stays on its item, its row stays
    // the highlighted one.
    const auto aardvark = agent.create("Aardvark");  // lands above the shown row
    ASSERT_TRUE(spinUntil([&] { return window.rows().size() == 3; }));
    settle();
    EXPECT_EQ(t.shownName(), "deploy key");
    EXPECT_TRUE(t.highlighted(deploy));
    window.moveItem(other, work);
    ASSERT_TRUE(spinUntil([&] { return t.row(other) && t.row(other)->groupID == work; }));
    settle();
    EXPECT_EQ(t.shownName(), "deploy key");
    EXPECT_TRUE(t.highlighted(deploy));
    await(t.v.m.deleteItem(other));
    ASSERT_TRUE(spinUntil([&] { return window.rows().size() == 2; }));
    settle();
    EXPECT_EQ(t.shownName(), "deploy key");
    EXPECT_TRUE(t.highlighted(deploy));
    EXPECT_EQ(t.pane(), pane);  // the same pane, its own state kept

    // A click on the shown row keeps it shown; another row and back shows each in turn.
    t.click(deploy);
    settle();
    EXPECT_EQ(t.shownName(), "deploy key");
    t.click(aardvark);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "Aardvark"; }));
    t.click(deploy);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "deploy key"; }));

    // Another category clears the selection; back in all items, a click on the row that stayed
    // current shows it again.
    window.setSidebar(SidebarSelection::codes());
    window.setSidebar(SidebarSelection::all());
    settle();
    EXPECT_FALSE(window.selectedItemID());
    t.click(deploy);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "deploy key"; }));
    EXPECT_TRUE(t.highlighted(deploy));

    // Its own deletion closes it.
    await(t.v.m.deleteItem(deploy));
    ASSERT_TRUE(spinUntil([&] { return !t.pane(); }));
    EXPECT_EQ(child<QStackedWidget>(t.vault(), "detailColumn")->currentWidget()->objectName(), "detailPlaceholder");
}

TEST(MainWindowDetail, ThePaneShowsItsItemsGroupAndTierAsTheyAreNow) {
    DetailRun t;
    StoreWrites agent{t.v};
    const auto github = t.v.item("GitHub");
    const auto work = t.v.group("Work");
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && t.vault()->window().rows().size() == 1; }));
    auto& window = t.vault()->window();
    t.click(github);
    ASSERT_TRUE(spinUntil([&] { return t.shownName() == "GitHub"; }));
    const auto reference = [&] { return child<ElidedLabel>(t.pane(), "reference")->fullText(); };
    EXPECT_EQ(reference(), "vael://local/GitHub/password");

    // Moved by the window's own "Move to…": the reference and the hand-off text name the new group,
    // also once another "GitHub" stands in the old one.
    window.moveItem(github, work);
    ASSERT_TRUE(spinUntil([&] { return reference() == "vael://Work/GitHub/password"; }));
    t.v.item("GitHub");
    ASSERT_TRUE(spinUntil([&] { return window.rows().size() == 2; }));
    settle();
    EXPECT_EQ(reference(), "vael://Work/GitHub/password");
    EXPECT_TRUE(t.handoff().contains("  ref: vael://Work/GitHub/password"));
    EXPECT_TRUE(t.highlighted(github));

    // Its tier changed in the store (a sync pull, an agent with approval): badge and hand-off follow.
    agent.setTier(github, "ai_hidden");
    ASSERT_TRUE(spinUntil([&] { return t.row(github) && t.row(github)->aiAccess == "ai_hidden"; }));
    ASSERT_TRUE(spinUntil([&] { return child<TierBadge>(t.pane(), "tierBadge")->accessibleName() == "AI access: Hidden"; }));
    settle();
    testing::snapshot(t.window, "detail-after-move-and-tier-change");
    const QString text = t.handoff();
    EXPECT_TRUE(text.contains("ai_access: ai_hidden (invisible to agents")) << text.toStdString();
    EXPECT_FALSE(text.contains("injectable"));
    EXPECT_EQ(t.shownName(), "GitHub");
}

TEST(MainWindowDetail, AfterUnlockTheShownItemIsTheHighlightedRow) {
    DetailRun t;
    t.v.item("Alpha");
    t.v.item("Beta");
    t.v.h.lock();
    t.window.show();
    settle();
    t.v.h.unlock();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && t.vault()->window().rows().size() == 2; }));
    ASSERT_TRUE(spinUntil([&] { return t.pane() != nullptr; }));
    const auto& selected = t.vault()->window().selectedItemID();
    ASSERT_TRUE(selected);
    EXPECT_TRUE(t.highlighted(*selected));
    EXPECT_EQ(t.shownName(), t.row(*selected)->name);
}

// Rows draw their glyph and badge from pictures kept between paints: what they show is what a paint
// from nothing shows, at every size, light and dark.
TEST(MainWindowDetail, ItemRowsLookTheSameFromKeptPictures) {
    DetailRun t;
    t.v.item("Bank", std::nullopt, {{"username", ItemField::Kind::username, "ada", false}});
    t.v.item("deploy key", std::nullopt, {{"ssh key", ItemField::Kind::password, "k", true}}, "human_gated");
    t.v.item("Diary", std::nullopt, {{"notes", ItemField::Kind::text, "n", false}}, "ai_hidden");
    t.v.item("GitHub");
    t.window.show();
    ASSERT_TRUE(spinUntil([&] { return t.vault() && t.vault()->window().rows().size() == 4; }));
    t.click(t.vault()->window().rows()[1].id);
    settle();
    auto* list = t.list();
    for (const bool dark : {false, true}) {
        QPalette palette = dark ? testing::darkPalette() : testing::lightPalette();
        palette.setColor(QPalette::Highlight, VaelTheme::brand());
        palette.setColor(QPalette::HighlightedText, Qt::white);
        for (const int points : {10, 14, 16}) {
            QFont font = list->font();
            font.setPointSize(points);
            list->setFont(font);
            list->setPalette(palette);
            settle();
            const QImage kept = list->grab().toImage();
            QPixmapCache::clear();
            const QImage fresh = list->grab().toImage();
            EXPECT_EQ(kept, fresh) << points << (dark ? " dark" : " light");
            testing::snapshot(*list, QStringLiteral("item-rows-%1pt-%2").arg(points).arg(dark ? "dark" : "light"));
        }
    }
}

// ---- Where the keyboard lands: focus after a lock, Tab through the columns, Escape and Delete ----

// The window, shown and active, so that shortcuts reach it.
struct ActiveWindowRun : WindowRun {
    ActiveWindowRun() {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    bool onVault() { return spinUntil([&] { return vault() && !vault()->window().rows().empty(); }); }
};

TEST(MainWindowKeys, EveryLockLeavesThePassphraseFieldReadyToType) {
    ActiveWindowRun t;
    t.v.item("GitHub");
    ASSERT_TRUE(t.onVault());
    const std::pair<const char*, std::function<void()>> locks[] = {
        {"Ctrl+L", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier); }},
        {"the toolbar's Lock", [&] { child<QToolButton>(t.vault(), "toolbar.lock")->click(); }},
        {"auto-lock", [&] { t.v.h.timers->advance(std::chrono::minutes(AppModel::kDefaultAutoLockMinutes + 1)); }},
        {"a screen lock", [&] { t.v.m.lockForSystemEvent(); }},
    };
    for (const auto& [name, lock] : locks) {
        lock();
        ASSERT_TRUE(spinUntil([&] { return t.window.screen() == MainWindow::Screen::unlock; })) << name;
        settle();
        auto* field = child<QLineEdit>(t.window.page(), "unlock.passphrase");
        EXPECT_EQ(QApplication::focusWidget(), field) << name;
        QTest::keyClicks(QApplication::focusWidget(), testing::kPassphrase);
        EXPECT_EQ(field->text(), testing::kPassphrase) << name;
        EXPECT_TRUE(child<QPushButton>(t.window.page(), "unlock.unlock")->isEnabled()) << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(t.onVault()) << name;
    }
}

// Tab runs in the order the columns are seen: from the list on to the detail, then the toolbar,
// the sidebar and back to the list.
TEST(MainWindowKeys, TabVisitsEveryColumnInTurn) {
    ActiveWindowRun t;
    t.v.item("GitHub", std::nullopt, {{"password", ItemField::Kind::password, "x", true}});
    ASSERT_TRUE(t.onVault());
    auto* list = child<QListView>(t.vault(), "itemList");
    list->setCurrentIndex(list->model()->index(0, 0));
    ASSERT_TRUE(spinUntil([&] { return !t.screens.detailGroups.empty(); }));
    settle();
    list->setFocus();
    const auto region = [&](QWidget* w) -> std::string {
        for (; w; w = w->parentWidget()) {
            const auto name = w->objectName();
            if (name == "toolbar" || name == "sidebarColumn" || name == "listColumn" || name == "detailColumn")
                return name.toStdString();
        }
        return "elsewhere";
    };
    std::vector<std::string> visited{"listColumn"};
    for (int step = 0; step < 60; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const auto at = region(QApplication::focusWidget());
        if (at != visited.back()) visited.push_back(at);
        if (QApplication::focusWidget() == list) break;
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"listColumn", "detailColumn", "toolbar", "sidebarColumn", "listColumn"}));
}

TEST(MainWindowKeys, EscapeAndDeleteDoWhatTheyShow) {
    ActiveWindowRun t;
    t.v.item("GitHub");
    ASSERT_TRUE(t.onVault());
    auto& window = t.vault()->window();

    // Escape in the search field clears it.
    auto* search = child<QLineEdit>(t.vault(), "toolbar.search");
    search->setFocus();
    QTest::keyClicks(search, "git");
    EXPECT_EQ(window.search(), "git");
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(window.search(), "");

    // Delete on the selected row asks what its menu's "Delete" asks.
    auto* list = child<QListView>(t.vault(), "itemList");
    list->setFocus();
    list->setCurrentIndex(list->model()->index(0, 0));
    ASSERT_TRUE(spinUntil([&] { return window.selectedRow().has_value(); }));
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_TRUE(window.deleteTarget());
    EXPECT_EQ(*window.deleteTarget(), DeleteTarget::item(window.selectedRow()->id, "GitHub"));
    auto* dialog = child<QMessageBox>(t.vault(), "deleteConfirmation");
    dialog->reject();
    settle();

    // Escape closes the codes window.
    t.window.findChild<QAction*>("codesWindowAction")->trigger();
    QPointer<QWidget> codes = t.window.findChild<QWidget*>("codesWindow");
    ASSERT_TRUE(codes);
    ASSERT_TRUE(QTest::qWaitForWindowActive(codes));
    QTest::keyClick(codes, Qt::Key_Escape);
    ASSERT_TRUE(spinUntil([&] { return !codes || !codes->isVisible(); }));
}

}  // namespace
}  // namespace vael

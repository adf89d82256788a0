#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <iostream>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

#include "ui/ItemUiFixtures.h"
#include "ui/LayoutAudit.h"
#include "ui/ScriptedFileChooser.h"
#include "app/ui/items/AddTOTPSheet.h"
#include "app/ui/items/CodesList.h"
#include "app/model/items/ImportSheetModel.h"
#include "app/ui/items/ImportSheet.h"
#include "app/ui/items/ItemDetailView.h"
#include "app/ui/items/MenuBarCodesView.h"
#include "app/model/items/SSHKeySheetModel.h"
#include "app/ui/items/SSHKeySheet.h"
#include "app/ui/sharing/NewInviteSheet.h"
#include "app/ui/shell/SettingsView.h"
#include "app/ui/shell/ConnectAccountView.h"
#include "app/ui/shell/OnboardingView.h"
#include "app/ui/shell/UnlockScreen.h"
#include "app/model/shell/OnboardingViewModel.h"
#include "app/ui/items/CredentialCaptureSheet.h"
#include "app/ui/window/AddItemSheet.h"
#include "app/ui/window/StructureEditSheet.h"
#include "app/ui/window/VaultMenus.h"
#include "app/ui/window/VaultToolbar.h"
#include "app/model/window/DeleteTarget.h"
#include "app/ui/design/VaelTheme.h"
#include "custody/ScriptedBiometricGate.h"
#include "model/ItemFixtures.h"
#include "model/ScriptedInviteAPI.h"

#include <fstream>

namespace vael {
namespace {

using namespace vael::testing;

const std::string kSeed = "JBSWY3DPEHPK3PXP";

// What every screen is built over: an open vault with a few codes, scripted time.
struct Scene {
    OpenVault v;
    ScriptedTimerSource timers;
    FollowingClock clock{timers, unixTime(1'000'000'014)};
    std::vector<AppModel::CodeRow> codes{
        {Uuid::random(), "A rather long service name that keeps going", std::string("someone.with.a.long.address@example.com"), kSeed},
        {Uuid::random(), "Beta", std::string(""), "otpauth://totp/x?secret=GEZDGNBVGY3TQOJQ&digits=8"},
        {Uuid::random(), "Gamma", std::nullopt, "not a seed!"},
    };
};

// The tier blurb takes the header's width under "Copy for AI", not a sliver beside it.
TEST(ItemDetailView, TheTierBlurbRunsUnderCopyForAI) {
    Scene s;
    const auto id = s.v.item("Mail", s.v.group("Work"), {{"password", ItemField::Kind::password, "x", true}});
    ItemDetailView pane(new ItemDetailViewModel(s.v.payloadOf(id), std::make_shared<test::ScriptedBiometricGate>(false)),
                        "injectable", {}, "Work", s.timers, s.clock);
    pane.resize(340, 600);
    pane.show();
    settle();
    auto* header = child(&pane, "itemDetail.header");
    auto* blurb = child(&pane, "tierBlurb");
    auto* button = child(&pane, "copyForAI");
    EXPECT_GE(blurb->geometry().right(), header->width() - 2);
    EXPECT_FALSE(blurb->geometry().intersects(button->geometry()));
    EXPECT_GE(button->width(), button->sizeHint().width());
}

struct Screen {
    const char* name;
    QSize size;  // empty: the screen's own size
    std::function<QWidget*(Scene&)> build;
    const char* firstFocus = nullptr;  // the control focused when it opens
    bool mayScroll = false;            // a page of widgets that scrolls by design (lists always may)
    bool placeholdersMayCut = false;   // a known fault this table does not hold against the screen yet
};

QWidget* inWindow(QWidget* content) {
    auto* window = new QWidget;
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    return window;
}

// "New Invite" over a scripted server with two folders; `created` presses "Create Invite" first.
QWidget* newInviteSheet(Scene& s, bool created) {
    auto api = std::make_shared<ScriptedInviteAPI>();
    std::vector<SharingFolder> folders{{Uuid::random(), "Infrastructure and operations"}, {Uuid::random(), "Personal"}};
    auto vm = std::make_shared<NewInviteViewModel>(api, AppModel::localOrgID(), "https://vault.example.com", "owner",
                                                   "Personal", "You", folders);
    auto* sheet = new NewInviteSheet(vm, s.timers);
    if (created) {
        sheet->findChild<QCheckBox*>()->setChecked(true);
        vm->create();
        spinUntil([&] { return vm->inviteLink().has_value(); });
    }
    return sheet;
}

const std::vector<Screen>& screens() {
    static const std::vector<Screen> all = {
        {"codes list", {420, 300},
         [](Scene& s) { return new CodesList(s.codes, false, true, s.timers, s.clock); }, nullptr, true},
        {"codes list, narrow", {300, 300},
         [](Scene& s) { return new CodesList(s.codes, false, true, s.timers, s.clock); }, nullptr, true},
        {"codes list, compact", {320, 300},
         [](Scene& s) { return new CodesList(s.codes, true, false, s.timers, s.clock); }, nullptr, true},
        {"menu-bar codes, locked", {}, [](Scene& s) {
             s.v.h.lock();
             return inWindow(new MenuBarCodesView(s.v.m));
         }, nullptr, true},
        {"menu-bar codes, unlocked", {}, [](Scene& s) { return inWindow(new MenuBarCodesView(s.v.m)); }, nullptr, true},
        {"settings", {}, [](Scene& s) -> QWidget* {
             // As the window hosts it: at the size it asks for (the offscreen screen is small).
             auto* settings = new SettingsView(s.v.m);
             settings->resize(settings->sizeHint());
             return settings;
         },
         "settings.autoLock"},
        {"new item sheet", {}, [](Scene& s) { return new AddItemSheet(s.v.m, std::nullopt, {}, nullptr); }, "addItem.name"},
        {"add-code sheet", {}, [](Scene& s) {
             return new AddTOTPSheet(s.v.m, std::nullopt, {}, nullptr, nullptr, std::make_shared<ScriptedFileChooser>());
         },
         "seed"},
        {"SSH key sheet", {}, [](Scene& s) { return new SSHKeySheet(s.v.m, nullptr, std::make_shared<ScriptedFileChooser>()); },
         "sshKeyName"},
        {"SSH key sheet, created", {}, [](Scene& s) -> QWidget* {
             auto* sheet = new SSHKeySheet(s.v.m, nullptr, std::make_shared<ScriptedFileChooser>());
             sheet->findChild<QLineEdit*>("sshKeyName")->setText("Acme Deploy");
             emit sheet->findChild<QLineEdit*>("sshKeyName")->textEdited("Acme Deploy");
             sheet->findChild<QPushButton*>("sshKeyGenerate")->click();
             spinUntil([&] { return sheet->model().generated().has_value(); });
             return sheet;
         },
         "sshKeyDone"},
        {"item detail at the window's narrowest", {340, 640}, [](Scene& s) -> QWidget* {
             const auto id = s.v.item("A service with a long name", s.v.group("Work"),
                                      {{"username", ItemField::Kind::username, "ada@example.com", false},
                                       {"password", ItemField::Kind::password, "pa55/word", true}});
             return new ItemDetailView(new ItemDetailViewModel(s.v.payloadOf(id), std::make_shared<test::ScriptedBiometricGate>(false)),
                                       "human_gated", {}, "Work", s.timers, s.clock);
         },
         // At 340 px the website's example address is cut at 14 pt and more: the pane has no
         // narrower layout for it yet.
         nullptr, true, true},
        {"new project sheet", {}, [](Scene& s) { return new StructureEditSheet(StructureSheet::newProject(), s.v.m, nullptr); },
         "structureSheet.name"},
        {"delete confirmation", {}, [](Scene&) -> QWidget* {
             return VaultMenus::deleteConfirmation(DeleteTarget::group(Uuid::random(), "Infrastructure"), nullptr);
         }},
        {"import sheet", {}, [](Scene& s) { return new ImportSheet(s.v.m, nullptr, std::make_shared<ScriptedFileChooser>()); },
         "chooseFile"},
        {"import sheet, preview", {}, [](Scene& s) -> QWidget* {
             const auto path = s.v.h.home.path() + "/export.csv";
             std::ofstream(path) << "name,username,password\n"
                                 << std::string(30, 'L') << " a service whose name goes on and on,ada@example.com,x\n"
                                    "Beta,bob,y\n";
             auto chooser = std::make_shared<ScriptedFileChooser>();
             chooser->answer(QString::fromStdString(path));
             auto* sheet = new ImportSheet(s.v.m, nullptr, chooser);
             sheet->findChild<QPushButton*>("chooseFile")->click();
             spinUntil([&] { return sheet->model().parsed().has_value(); });
             return sheet;
         },
         "importRun"},
        {"new invite sheet", {}, [](Scene& s) { return newInviteSheet(s, false); }},
        {"new invite sheet, link", {}, [](Scene& s) { return newInviteSheet(s, true); }},
        {"unlock screen", {}, [](Scene& s) -> QWidget* {
             s.v.h.lock();
             s.v.m.bootstrap();
             return new UnlockScreen(s.v.m);
         },
         "unlock.passphrase"},
        {"onboarding", {}, [](Scene& s) -> QWidget* {
             return new OnboardingView(s.v.m, new OnboardingViewModel(s.v.m.passphraseCost()), {});
         }},
        {"connect sheet", {}, [](Scene& s) -> QWidget* { return new ConnectAccountView(s.v.m); }},
        {"capture sheet", {}, [](Scene& s) -> QWidget* {
             return new CredentialCaptureSheet({Uuid::random(), "https://login.a-service-with-a-long-name.example.com",
                                                std::string("A service with a long name")},
                                               s.v.m.liveCapture());
         }},
        {"toolbar", {900, 60}, [](Scene& s) {
             auto* page = new QWidget;
             (new QVBoxLayout(page))->addWidget(new VaultToolbar(s.v.m, page));
             return page;
         }},
    };
    return all;
}

// The application palette for as long as it lives.
class AppPalette {
public:
    explicit AppPalette(const QPalette& palette) : saved_(QApplication::palette()) { QApplication::setPalette(palette); }
    ~AppPalette() { QApplication::setPalette(saved_); }
    AppPalette(const AppPalette&) = delete;
    AppPalette& operator=(const AppPalette&) = delete;

private:
    QPalette saved_;
};

// A desktop's dark palette, every role set, as a dark theme gives one.
QPalette desktopDark() {
    QPalette palette = darkPalette();
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(52, 52, 52));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(30, 30, 30));
    palette.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    palette.setColor(QPalette::Light, QColor(75, 75, 75));
    palette.setColor(QPalette::Midlight, QColor(62, 62, 62));
    palette.setColor(QPalette::Mid, QColor(40, 40, 40));
    palette.setColor(QPalette::Dark, QColor(20, 20, 20));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::ToolTipBase, QColor(52, 52, 52));
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Highlight, VaelTheme::brand());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

class ScreenLayout : public ::testing::TestWithParam<std::tuple<std::size_t, qreal, bool>> {};

TEST_P(ScreenLayout, EveryChildShowsWhole) {
    const auto& [index, points, dark] = GetParam();
    const auto& screen = screens()[index];
    const AppFontSize font(points);
    const AppPalette palette(dark ? desktopDark() : lightPalette());
    Scene scene;
    std::unique_ptr<QWidget> widget(screen.build(scene));
    if (!screen.size.isEmpty()) widget->resize(screen.size);
    widget->show();
    settle();
    const QStringList faults = layoutFaults(widget.get(), screen.mayScroll, screen.placeholdersMayCut);
    EXPECT_TRUE(faults.isEmpty()) << screen.name << " at " << points << " pt:\n  " << faults.join("\n  ").toStdString();
    snapshot(*widget, QString("layout-%1-%2pt-%3")
                          .arg(QString(screen.name).replace(' ', '-').remove(',').remove('\''))
                          .arg(points)
                          .arg(dark ? "dark" : "light"));
}

INSTANTIATE_TEST_SUITE_P(AtTenFourteenAndSixteenPointsLightAndDark, ScreenLayout,
                         ::testing::Combine(::testing::Range<std::size_t>(0, screens().size()),
                                            ::testing::Values(10.0, 14.0, 16.0), ::testing::Bool()));

// Focus opens on the screen's first control; Tab visits only named controls, top to bottom and
// leading to trailing, wrapping once.
class ScreenFocus : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ScreenFocus, OpensOnItsFirstControlAndTabsInVisualOrder) {
    const auto& screen = screens()[GetParam()];
    Scene scene;
    std::unique_ptr<QWidget> widget(screen.build(scene));
    widget->resize(screen.size.isEmpty() ? widget->size() : screen.size.expandedTo({900, 0}));
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get()));
    settle();
    auto* start = QApplication::focusWidget();
    if (screen.firstFocus) {
        ASSERT_NE(start, nullptr) << screen.name;
        EXPECT_EQ(start->objectName(), screen.firstFocus) << screen.name;
    }
    if (!start) {
        QTest::keyClick(widget.get(), Qt::Key_Tab);
        start = QApplication::focusWidget();
    }
    if (!start) return;
    const auto at = [&](QWidget* w) { return w->mapTo(widget.get(), QPoint(0, 0)); };
    int backwards = 0;
    QWidget* previous = start;
    for (int step = 0; step < 40; ++step) {
        QTest::keyClick(previous, Qt::Key_Tab);
        auto* next = QApplication::focusWidget();
        ASSERT_NE(next, nullptr) << screen.name;
        EXPECT_FALSE(next->accessibleName().isEmpty()) << screen.name << ": " << widgetPath(next, widget.get()).toStdString();
        const QPoint from = at(previous);
        const QPoint to = at(next);
        const bool sameLine = to.y() < from.y() + previous->height() && from.y() < to.y() + next->height();
        if (sameLine ? to.x() < from.x() : to.y() < from.y()) ++backwards;
        previous = next;
        if (next == start) break;
    }
    EXPECT_EQ(previous, start) << screen.name << ": Tab never comes back";
    EXPECT_LE(backwards, 1) << screen.name << ": Tab runs against the visual order";
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, ScreenFocus, ::testing::Range<std::size_t>(0, screens().size()));

}  // namespace
}  // namespace vael

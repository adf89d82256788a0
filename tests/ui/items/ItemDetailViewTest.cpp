#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "ui/ItemUiFixtures.h"
#include "app/items/TOTPDisplay.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/items/CodeRowView.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/items/RollingCodeLabel.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/items/ItemDetailView.h"
#include "crypto/TOTP.h"
#include "custody/ScriptedBiometricGate.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using namespace vael::testing;

const std::string kMask = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";
const std::string kSeed = "JBSWY3DPEHPK3PXP";

QString clipboardText() { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); }

QWidget* fieldRow(QWidget& pane, int index) { return child(&pane, QString("field.%1").arg(index)); }

TEST(ItemDetailView, RevealsWithApprovalThenCopiesTheValue) {
    OpenVault v;
    const auto work = v.group("Work");
    const auto id = v.item("Mail", work,
                           {{"username", ItemField::Kind::username, "ada", false},
                            {"password", ItemField::Kind::password, "pa55/word", true}});
    auto gate = std::make_shared<test::ScriptedBiometricGate>(false);
    ScriptedTimerSource timers;
    SystemClock clock;
    ItemDetailView pane(new ItemDetailViewModel(v.payloadOf(id), gate), "injectable", {}, "Work", timers, clock);
    pane.resize(700, 700);
    pane.show();

    auto* password = fieldRow(pane, 1);
    auto* value = child<ElidedLabel>(password, "fieldValue");
    EXPECT_EQ(value->fullText().toStdString(), kMask);
    EXPECT_EQ(value->textFormat(), Qt::PlainText);
    auto* reveal = child<QPushButton>(password, "reveal");
    auto* copy = child<CopyButton>(password, "copyField");
    EXPECT_TRUE(reveal->isVisible());
    EXPECT_FALSE(copy->isVisible());
    EXPECT_EQ(reveal->toolTip(), "Reveal with approval");
    // A plain field is shown, with its copy button, from the start.
    EXPECT_EQ(child<ElidedLabel>(fieldRow(pane, 0), "fieldValue")->fullText(), "ada");
    EXPECT_FALSE(child<QPushButton>(fieldRow(pane, 0), "reveal")->isVisible());

    // Refused: masked, silently.
    reveal->click();
    ASSERT_TRUE(spinUntil([&] { return gate->calls() == 1; }));
    settle();
    EXPECT_EQ(value->fullText().toStdString(), kMask);
    EXPECT_TRUE(reveal->isVisible());

    gate->setDefaultAnswer(true);
    reveal->click();
    ASSERT_TRUE(spinUntil([&] { return copy->isVisible(); }));
    EXPECT_EQ(value->fullText(), "pa55/word");
    EXPECT_FALSE(reveal->isVisible());
    EXPECT_EQ(gate->reasons(), (std::vector<std::string>{"Reveal password", "Reveal password"}));
    EXPECT_EQ(copy->accessibleName(), "Copy password");
    copy->click();
    EXPECT_EQ(clipboardText(), "pa55/word");

    // The reference and the hand-off text name the item's own group.
    EXPECT_EQ(pane.reference(), "vael://Work/Mail/username");
    child<QPushButton>(&pane, "copyForAI")->click();
    EXPECT_TRUE(clipboardText().contains("  ref: vael://Work/Mail/password"));
    EXPECT_FALSE(clipboardText().contains("pa55"));
    child<CopyButton>(&pane, "copyReference")->click();
    EXPECT_EQ(clipboardText(), "vael://Work/Mail/username");
    snapshot(pane, "item-detail");

    // Moved and made hidden: header, reference and hand-off follow; the revealed value stays.
    pane.setPlacement("ai_hidden", "Home");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the old header and card
    EXPECT_EQ(child<TierBadge>(&pane, "tierBadge")->accessibleName(), "AI access: Hidden");
    EXPECT_EQ(child<ElidedLabel>(&pane, "reference")->fullText(), "vael://Home/Mail/username");
    child<QPushButton>(&pane, "copyForAI")->click();
    EXPECT_TRUE(clipboardText().contains("ai_access: ai_hidden (invisible to agents"));
    EXPECT_TRUE(clipboardText().contains("  ref: vael://Home/Mail/password"));
    EXPECT_EQ(child<ElidedLabel>(fieldRow(pane, 1), "fieldValue")->fullText(), "pa55/word");
}

TEST(ItemDetailView, ANewModelOrClosingOverwritesWhatTheOldOneRevealed) {
    ItemPayload payload;
    payload.name = "Mail";
    payload.fields = {{"password", ItemField::Kind::password, "pa55/word", true}};
    auto gate = std::make_shared<test::ScriptedBiometricGate>(true);
    ScriptedTimerSource timers;
    SystemClock clock;
    auto pane = std::make_unique<ItemDetailView>(new ItemDetailViewModel(payload, gate), "injectable",
                                                 ItemDetailView::WebsiteSave{}, "Work", timers, clock);
    pane->show();
    QPointer<ItemDetailViewModel> first = pane->viewModel();
    child<QPushButton>(fieldRow(*pane, 0), "reveal")->click();
    auto* value = child<ElidedLabel>(fieldRow(*pane, 0), "fieldValue");
    ASSERT_TRUE(spinUntil([&] { return value->fullText() == "pa55/word"; }));

    // A reload: the old model and the row that showed its value let go of it at once.
    pane->setViewModel(new ItemDetailViewModel(payload, gate));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->forgotten());
    EXPECT_TRUE(first->payload().fields[0].value.empty());
    EXPECT_FALSE(value->fullText().contains("pa55") || value->text().contains("pa55") ||
                 value->accessibleName().contains("pa55"));

    // Closing: the current model's values go before the pane does.
    QPointer<ItemDetailViewModel> second = pane->viewModel();
    bool emptied = false;
    QObject::connect(second, &ItemDetailViewModel::valuesForgotten, [&] { emptied = true; });
    pane.reset();
    EXPECT_TRUE(emptied);
}

// With nobody to ask (no polkit agent, no system bus) the pane says why; the value stays masked.
TEST(ItemDetailView, ARevealWithNobodyToAskSaysWhyInThePane) {
    class NobodyGate final : public BiometricGate {
    public:
        bool authenticate(const std::string&) override { return false; }
        Answer check(const std::string&) override { return Answer::unavailable; }
    };
    OpenVault v;
    const auto id = v.item("Mail", std::nullopt, {{"password", ItemField::Kind::password, "pa55/word", true}});
    ScriptedTimerSource timers;
    SystemClock clock;
    ItemDetailView pane(new ItemDetailViewModel(v.payloadOf(id), std::make_shared<NobodyGate>()), "injectable", {},
                        "local", timers, clock);
    pane.resize(700, 700);
    pane.show();
    auto* note = child<ErrorLabel>(&pane, "presenceNote");
    EXPECT_FALSE(note->isVisible());
    child<QPushButton>(fieldRow(pane, 0), "reveal")->click();
    ASSERT_TRUE(spinUntil([&] { return note->isVisible(); }));
    EXPECT_EQ(note->message(), "No authentication agent is running, so Vael cannot confirm it's you.");
    EXPECT_EQ(child<ElidedLabel>(fieldRow(pane, 0), "fieldValue")->fullText().toStdString(), kMask);
}

// A page-long name is cut to a readable title of a few lines; the stored name stays whole.
TEST(ItemDetailView, APageLongNameMakesAShortTitle) {
    OpenVault v;
    const std::string page(10'800, 'N');
    const auto id = v.item(page);
    ScriptedTimerSource timers;
    SystemClock clock;
    ItemDetailView pane(new ItemDetailViewModel(v.payloadOf(id), std::make_shared<test::ScriptedBiometricGate>(true)),
                        "injectable", {}, "local", timers, clock);
    pane.resize(700, 700);
    pane.show();
    settle();
    auto* title = child<ElidedLabel>(&pane, "itemName");
    EXPECT_TRUE(title->fullText().endsWith(QChar(0x2026)));
    EXPECT_LE(title->fullText().size(), 121);
    EXPECT_EQ(title->accessibleName(), title->fullText());
    EXPECT_LE(title->height(), title->fontMetrics().lineSpacing() * 3 + 4);
    EXPECT_EQ(v.payloadOf(id).name, page);
}

// A code that changes is the label's text at once, in the pane and in a codes row alike; on screen
// it rolls in only when motion is on, and the first code shown never rolls.
TEST(LiveCode, ANewCodeLandsAtOnceAndRollsOnlyWithMotion) {
    ItemPayload payload;
    payload.name = "GitHub";
    payload.fields = {{"otp", ItemField::Kind::otp, kSeed, true}};
    const std::int64_t start = 1'000'000'019;  // one second before a boundary
    const auto shown = [](std::int64_t at) {
        return QString::fromStdString(TOTPDisplay::grouped(TOTP::code(kSeed, unixTime(at))));
    };
    using Build = std::function<std::unique_ptr<QWidget>(TimerSource&, const Clock&)>;
    const std::pair<const char*, Build> surfaces[] = {
        {"detail pane",
         [&](TimerSource& timers, const Clock& clock) -> std::unique_ptr<QWidget> {
             return std::make_unique<ItemDetailView>(
                 new ItemDetailViewModel(payload, std::make_shared<test::ScriptedBiometricGate>(false)), "injectable",
                 ItemDetailView::WebsiteSave{}, "local", timers, clock);
         }},
        {"codes row",
         [&](TimerSource& timers, const Clock& clock) -> std::unique_ptr<QWidget> {
             return std::make_unique<CodeRowView>(AppModel::CodeRow{Uuid::random(), "GitHub", std::nullopt, kSeed},
                                                  clock.now(), false, timers, clock);
         }},
    };
    for (const auto& [surface, build] : surfaces) {
        for (const bool reduce : {true, false}) {
            MotionPreference::ScopedPreference motion(reduce);
            ScriptedTimerSource timers;
            FollowingClock clock(timers, unixTime(start));
            auto widget = build(timers, clock);
            widget->show();
            auto* code = child<RollingCodeLabel>(widget.get(), "codeValue");
            EXPECT_EQ(code->text(), shown(start)) << surface;
            EXPECT_FALSE(code->isRolling()) << surface;
            timers.advance(1s);
            // A row shows the date its list ticks to.
            if (auto* row = dynamic_cast<CodeRowView*>(widget.get())) row->setDate(clock.now());
            EXPECT_EQ(code->text(), shown(start + 1)) << surface;
            EXPECT_EQ(code->accessibleName(), shown(start + 1)) << surface;
            EXPECT_EQ(code->isRolling(), !reduce) << surface << reduce;
            ASSERT_NE(shown(start + 1), shown(start));
        }
    }
}

TEST(ItemDetailView, OneTimeCodesTickAcrossThePeriodAndABadSeedSaysSo) {
    ItemPayload payload;
    payload.name = "GitHub";
    payload.fields = {{"otp", ItemField::Kind::otp, kSeed, true}, {"backup otp", ItemField::Kind::otp, "not a seed!", true}};
    ScriptedTimerSource timers;
    // Two seconds before a 30-second boundary.
    const std::int64_t start = 1'000'000'018;
    FollowingClock clock(timers, unixTime(start));
    ItemDetailView pane(new ItemDetailViewModel(payload, std::make_shared<test::ScriptedBiometricGate>(false)),
                        "human_gated", {}, "local", timers, clock);
    pane.show();

    auto* good = fieldRow(pane, 0);
    auto* code = child<QLabel>(good, "codeValue");
    const auto shown = [](std::int64_t at) {
        return QString::fromStdString(TOTPDisplay::grouped(TOTP::code(kSeed, unixTime(at))));
    };
    EXPECT_EQ(code->text(), shown(start));
    EXPECT_EQ(child<CountdownRing>(good, "countdownRing")->countdown().remaining, 2);
    timers.advance(1s);
    EXPECT_EQ(code->text(), shown(start));
    timers.advance(1s);
    EXPECT_EQ(code->text(), shown(start + 2));
    EXPECT_NE(shown(start + 2), shown(start));
    EXPECT_EQ(child<CountdownRing>(good, "countdownRing")->countdown().remaining, 30);
    // The copy reads the clock at the tap, ungrouped.
    child<CopyButton>(good, "copyCode")->click();
    EXPECT_EQ(clipboardText().toStdString(), TOTP::code(kSeed, unixTime(start + 2)));
    // The seed itself is never on screen, and no approval is asked for the code.
    EXPECT_EQ(pane.findChildren<QPushButton*>("reveal").size(), 0);

    auto* bad = fieldRow(pane, 1);
    EXPECT_TRUE(child(bad, "invalidSeed")->isVisible());
    EXPECT_FALSE(child(bad, "countdownRing")->isVisible());
    EXPECT_FALSE(child(bad, "copyCode")->isVisible());
    EXPECT_TRUE(code->isVisible());
    pane.resize(700, 560);
    settle();
    snapshot(pane, "item-detail-codes");
}

TEST(ItemDetailView, SavesTheWebsiteAndKeepsItsStateAcrossReloads) {
    OpenVault v;
    const auto id = v.item("Bank");
    auto gate = std::make_shared<test::ScriptedBiometricGate>(false);
    ScriptedTimerSource timers;
    SystemClock clock;
    ItemDetailView* paneHandle = nullptr;
    // As the window does it: store, then hand the pane a model of the stored payload.
    auto save = [&](std::optional<std::string> url, bool strict) -> QCoro::Task<> {
        auto storing = v.m.updateItemWebsite(id, std::move(url), strict);
        co_await storing;
        paneHandle->setViewModel(new ItemDetailViewModel(v.payloadOf(id), gate));
    };
    ItemDetailView pane(new ItemDetailViewModel(v.payloadOf(id), gate), "injectable", save, "local", timers, clock);
    paneHandle = &pane;
    pane.show();
    auto* website = child<QLineEdit>(&pane, "website");
    auto* strict = child<QCheckBox>(&pane, "strictMatch");
    auto* saveButton = child<QPushButton>(&pane, "saveWebsite");
    auto* caption = child<QLabel>(&pane, "websiteCaption");
    EXPECT_EQ(website->placeholderText(), "https://example.com/login");
    EXPECT_FALSE(strict->isChecked());

    // Spaces alone change nothing; the switch alone does.
    website->setText("   ");
    EXPECT_FALSE(pane.websiteDirty());
    EXPECT_FALSE(saveButton->isVisible());
    strict->setChecked(true);
    EXPECT_TRUE(saveButton->isVisible());

    website->setText("  https://bank.example/login ");
    saveButton->click();
    ASSERT_TRUE(spinUntil([&] { return pane.websiteSaved(); }));
    const auto stored = v.payloadOf(id);
    EXPECT_EQ(stored.url, "https://bank.example/login");
    EXPECT_EQ(stored.strictMatch, true);
    EXPECT_FALSE(saveButton->isVisible());
    EXPECT_TRUE(child(&pane, "websiteSaved")->isVisible());
    EXPECT_EQ(website->text(), "  https://bank.example/login ");
    EXPECT_EQ(caption->text(), "The browser extension offers this login only on matching sites.");

    // Locked: the failure shows, and what was typed stays.
    v.h.lock();
    website->setText("https://other.example");
    strict->setChecked(false);
    EXPECT_TRUE(saveButton->isVisible());
    auto saving = pane.saveWebsite();
    ASSERT_TRUE(spinUntil([&] { return pane.websiteError().has_value(); }));
    EXPECT_EQ(caption->text(), "Couldn't save: The vault is locked.");
    EXPECT_EQ(website->text(), "https://other.example");
    EXPECT_FALSE(strict->isChecked());
    EXPECT_TRUE(saveButton->isVisible());
}

}  // namespace
}  // namespace vael

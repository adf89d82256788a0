#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>

#include "ui/ItemUiFixtures.h"
#include "app/items/TOTPDisplay.h"
#include "app/ui/items/CodeRowView.h"
#include "app/ui/items/CodesList.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/design/VaelTheme.h"
#include "crypto/TOTP.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using namespace vael::testing;

const std::string kThirty = "JBSWY3DPEHPK3PXP";
const std::string kSixty = "otpauth://totp/x?secret=GEZDGNBVGY3TQOJQ&period=60";

std::size_t activeTimers(const ScriptedTimerSource& timers) {
    return std::count_if(timers.timers().begin(), timers.timers().end(), [](auto* t) { return t->isActive(); });
}

TEST(CodesList, OneTickRedrawsEveryRowAtOnce) {
    ScriptedTimerSource timers;
    // 6 s before a 60-second boundary, so 6 s also before a 30-second one.
    const std::int64_t start = 1'000'000'014;
    FollowingClock clock(timers, unixTime(start));
    const std::vector<AppModel::CodeRow> codes = {
        {Uuid::random(), "Alpha", std::string("alice@example.com"), kThirty},
        {Uuid::random(), "Beta", std::string(""), kSixty},
        {Uuid::random(), "Gamma", std::nullopt, "not a seed!"},
    };
    CodesList list(codes, false, true, timers, clock);
    list.resize(420, 300);
    list.show();
    ASSERT_EQ(list.rows().size(), 3u);
    EXPECT_EQ(activeTimers(timers), 1u);

    const auto shownCodes = [&] {
        std::vector<QString> shown;
        for (auto* row : list.rows()) shown.push_back(child<QLabel>(row, "codeValue")->text());
        return shown;
    };
    const auto expected = [&](std::int64_t at) {
        return std::vector<QString>{QString::fromStdString(TOTPDisplay::grouped(TOTP::code(kThirty, unixTime(at)))),
                                    QString::fromStdString(TOTPDisplay::grouped(TOTP::code(kSixty, unixTime(at)))),
                                    QString()};
    };
    EXPECT_EQ(shownCodes(), expected(start));
    // Orange at 5 s left, not at 6, whatever the period.
    auto* first = child<CountdownRing>(list.rows()[0], "countdownRing");
    auto* second = child<CountdownRing>(list.rows()[1], "countdownRing");
    const QColor orange = systemColor(SystemColor::orange, first->palette());
    EXPECT_NE(first->arcColor(), orange);
    EXPECT_NE(second->arcColor(), orange);
    timers.advance(1s);
    EXPECT_EQ(first->arcColor(), orange);
    EXPECT_EQ(second->arcColor(), orange);
    EXPECT_EQ(first->accessibleName(), "5 seconds until the code changes");
    timers.advance(5s);
    EXPECT_EQ(shownCodes(), expected(start + 6));
    EXPECT_NE(expected(start + 6), expected(start));

    // An empty account shows only the name; a bad seed only "Invalid seed".
    EXPECT_TRUE(child(list.rows()[0], "codeAccount")->isVisible());
    EXPECT_FALSE(child(list.rows()[1], "codeAccount")->isVisible());
    EXPECT_TRUE(child(list.rows()[2], "invalidSeed")->isVisible());
    EXPECT_FALSE(child(list.rows()[2], "copyCode")->isVisible());
    snapshot(list, "codes-list");

    // Selection by id, told once per change.
    QSignalSpy selections(&list, &CodesList::selectionChanged);
    list.setSelection(codes[1].id);
    list.setSelection(codes[1].id);
    ASSERT_EQ(selections.count(), 1);
    EXPECT_EQ(list.selection(), codes[1].id);

    // No rows: "No codes yet" and no tick.
    list.setCodes({});
    EXPECT_FALSE(list.isTicking());
    EXPECT_EQ(activeTimers(timers), 0u);
    EXPECT_TRUE(child(&list, "emptyState.title")->isVisible());
    EXPECT_EQ(list.selection(), std::nullopt);
}

TEST(CodesList, CompactRowsHaveNoIcon) {
    ScriptedTimerSource timers;
    SystemClock clock;
    CodesList list({{Uuid::random(), "Alpha", std::nullopt, kThirty}}, true, false, timers, clock);
    ASSERT_EQ(list.rows().size(), 1u);
    EXPECT_EQ(list.rows()[0]->findChild<QWidget*>("codeGlyph"), nullptr);
    CodesList full({{Uuid::random(), "Alpha", std::nullopt, kThirty}}, false, false, timers, clock);
    EXPECT_NE(full.rows()[0]->findChild<QWidget*>("codeGlyph"), nullptr);
    EXPECT_LT(list.rows()[0]->sizeHint().height(), full.rows()[0]->sizeHint().height());
}

TEST(CodesList, RowsAreMadeWhenShownAndOnlyForCodesThatCameOrMoved) {
    ScriptedTimerSource timers;
    SystemClock clock;
    const AppModel::CodeRow a{Uuid::random(), "Alpha", std::nullopt, kThirty};
    const AppModel::CodeRow b{Uuid::random(), "Beta", std::nullopt, kSixty};
    const AppModel::CodeRow c{Uuid::random(), "Gamma", std::nullopt, kThirty};
    CodesList list({a, b}, false, true, timers, clock);
    QSignalSpy selections(&list, &CodesList::selectionChanged);
    list.setSelection(b.id);  // hidden: taken without making rows
    EXPECT_EQ(list.selection(), b.id);
    EXPECT_TRUE(list.findChildren<QLabel*>("codeValue").empty());
    list.resize(420, 300);
    list.show();
    ASSERT_EQ(list.findChildren<QLabel*>("codeValue").size(), 2u);
    const auto before = list.rows();

    const auto ids = [&] {
        std::vector<Uuid> shown;
        for (auto* row : list.rows()) shown.push_back(row->row().id);
        return shown;
    };
    list.setCodes({a, c, b});  // one came: one row made, the others kept
    EXPECT_EQ(ids(), (std::vector<Uuid>{a.id, c.id, b.id}));
    EXPECT_EQ(list.rows()[0], before[0]);
    EXPECT_EQ(list.rows()[2], before[1]);
    EXPECT_EQ(list.selection(), b.id);
    list.setCodes({c, b});  // one went
    EXPECT_EQ(ids(), (std::vector<Uuid>{c.id, b.id}));
    EXPECT_EQ(list.rows()[1], before[1]);
    list.setCodes({b, c});  // moved
    EXPECT_EQ(ids(), (std::vector<Uuid>{b.id, c.id}));
    EXPECT_EQ(list.selection(), b.id);

    // Hidden again, the selected code goes: told at once, rows made later.
    list.hide();
    list.setCodes({c});
    EXPECT_EQ(list.selection(), std::nullopt);
    EXPECT_EQ(selections.count(), 2);
    EXPECT_EQ(ids(), std::vector<Uuid>{c.id});
}

}  // namespace
}  // namespace vael

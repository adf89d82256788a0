#include <gtest/gtest.h>

#include <cmath>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include "ui/ItemUiFixtures.h"
#include "app/items/TOTPDisplay.h"
#include "app/ui/items/CodeRowView.h"
#include "app/ui/items/CodesList.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/widgets/CopyButton.h"
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
    // Under reduced motion the arc stands at once where it belongs; the number is 8 points.
    EXPECT_DOUBLE_EQ(first->shownFraction(), first->countdown().fraction);
    EXPECT_DOUBLE_EQ(CountdownRing::numberFont(first->font()).pointSizeF(), 8.0);
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

// A screen reader hears each row's name, account, code and seconds left; Tab reaches every copy
// button in row order; Ctrl+C on the current row copies its code.
TEST(CodesList, RowsReadOutTheirCodeAndCopyFromTheKeyboard) {
    ScriptedTimerSource timers;
    const std::int64_t start = 1'000'000'014;
    FollowingClock clock(timers, unixTime(start));
    CodesList list({{Uuid::random(), "Alpha", std::string("alice@example.com"), kThirty},
                    {Uuid::random(), "Beta", std::nullopt, "not a seed!"},
                    {Uuid::random(), "Gamma", std::nullopt, kSixty}},
                   false, true, timers, clock);
    list.resize(420, 300);
    list.show();
    list.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    const auto code = [&](const std::string& seed) {
        return QString::fromStdString(TOTPDisplay::grouped(TOTP::code(seed, clock.now())));
    };
    auto* rows = child<QListWidget>(&list, "codesList.rows");
    const auto spoken = [&](int i) { return rows->item(i)->data(Qt::AccessibleTextRole).toString(); };
    const struct {
        int row;
        QString text;
    } cases[] = {
        {0, "Alpha, alice@example.com, " + code(kThirty) + ", 6 seconds until the code changes"},
        {1, "Beta, Invalid seed"},
        {2, "Gamma, " + code(kSixty) + ", 6 seconds until the code changes"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spoken(c.row), c.text);
        EXPECT_EQ(list.rows()[c.row]->accessibleName(), c.text);
    }
    timers.advance(1s);
    EXPECT_TRUE(spoken(0).endsWith(", 5 seconds until the code changes")) << spoken(0).toStdString();

    // Tab from the list goes through the copy buttons of the rows that have a code.
    rows->setFocus();
    QTest::keyClick(rows, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), list.rows()[0]->copyButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), list.rows()[2]->copyButton());
    EXPECT_EQ(list.rows()[2]->copyButton()->accessibleName(), "Copy code for Gamma");
    // A screen reader walking the tree reaches every row and its copy button.
    for (const QString& name : {QStringLiteral("Copy code for Alpha"), QStringLiteral("Copy code for Gamma"), cases[1].text}) {
        auto* found = reachableAccessible(&list, name);
        ASSERT_TRUE(found) << name.toStdString();
    }
    EXPECT_EQ(reachableAccessible(&list, "Copy code for Alpha")->role(), QAccessible::Button);

    QGuiApplication::clipboard()->setText("before");
    rows->setFocus();
    rows->setCurrentRow(2);
    QTest::keySequence(rows, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), code(kSixty).remove(' '));
    EXPECT_TRUE(list.rows()[2]->copyButton()->isCopied());
    // A row without a code copies nothing.
    QGuiApplication::clipboard()->setText("before");
    rows->setCurrentRow(1);
    QTest::keySequence(rows, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

double luminance(const QColor& c) {
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(const QColor& a, const QColor& b) {
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// On the brand highlight a selected row's code, names and ring keep their contrast, light and dark.
TEST(CodesList, ASelectedRowKeepsItsContrast) {
    for (const bool dark : {false, true}) {
        ScriptedTimerSource timers;
        // 20 s before the code changes: the ring is in its normal colour, not the last seconds' orange.
        FollowingClock clock(timers, unixTime(1'000'000'000));
        const auto id = Uuid::random();
        CodesList list({{id, "Alpha", std::string("alice@example.com"), kThirty}}, false, true, timers, clock);
        QPalette branded = dark ? darkPalette() : lightPalette();
        branded.setColor(QPalette::Highlight, VaelTheme::brand());
        branded.setColor(QPalette::HighlightedText, Qt::white);
        list.setPalette(branded);
        list.resize(420, 120);
        list.show();
        list.setSelection(id);
        auto* row = list.rows()[0];
        const QColor brand = VaelTheme::brand();
        for (const char* name : {"codeValue", "codeName", "codeAccount"}) {
            const QColor text = child<QWidget>(row, name)->palette().color(child<QWidget>(row, name)->foregroundRole());
            EXPECT_GE(contrast(text, brand), 4.5) << name << (dark ? " dark" : " light");
        }
        EXPECT_GE(contrast(child<CountdownRing>(row, "countdownRing")->arcColor(), brand), 3.0);
        snapshot(list, dark ? "codes-selected-dark" : "codes-selected-light");
        list.setSelection(std::nullopt);
        EXPECT_EQ(child<QWidget>(row, "codeValue")->palette().color(QPalette::WindowText),
                  branded.color(QPalette::WindowText));
    }
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

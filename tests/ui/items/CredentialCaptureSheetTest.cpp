#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <future>

#include "ui/ItemUiFixtures.h"
#include "ui/UiFixtures.h"
#include "app/ui/items/CredentialCaptureSheet.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {
namespace {

using testing::child;
using Answer = std::optional<CapturedCredential>;

// An open presenter with agent requests waiting on their own threads.
struct Requests {
    std::shared_ptr<LiveCredentialCapturePresenter> presenter = std::make_shared<LiveCredentialCapturePresenter>();
    std::vector<std::future<Answer>> answers;

    Requests() { presenter->open(); }
    ~Requests() { presenter->close(); }

    void ask(std::string origin, std::optional<std::string> name) {
        answers.push_back(std::async(std::launch::async, [this, origin, name] { return presenter->present(origin, name); }));
        ASSERT_TRUE(testing::spinUntil([&] { return presenter->pending().has_value(); }));
        testing::settle();
    }
    static bool waiting(std::future<Answer>& answer) {
        return answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::timeout;
    }
};

TEST(CredentialCaptureSheet, SavesWhatWasTypedForItsOwnRequest) {
    Requests r;
    r.ask("https://a.example/login\u202E\u0007", "A");
    r.ask("https://b.example", std::nullopt);
    const auto first = *r.presenter->pending();
    QPointer<CredentialCaptureSheet> sheet = new CredentialCaptureSheet(first, r.presenter);
    sheet->show();

    EXPECT_EQ(sheet->width(), 420);
    // Only the host, under a line that says who asks.
    EXPECT_EQ(child<QLabel>(sheet, "captureAsker")->text(), "An AI agent asks you to save a login for this site:");
    EXPECT_EQ(child<QLabel>(sheet, "captureOrigin")->text(), "a.example");
    EXPECT_EQ(child<QLabel>(sheet, "captureOrigin")->textFormat(), Qt::PlainText);
    testing::snapshot(*sheet, "capture-sheet");
    EXPECT_EQ(child<QLineEdit>(sheet, "captureName")->text(), "A");
    EXPECT_EQ(child<QLineEdit>(sheet, "capturePassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLineEdit>(sheet, "captureOTPSecret")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QComboBox>(sheet, "captureTier")->currentText(), TierStyle::humanGated().title);
    auto* save = child<QPushButton>(sheet, "captureSave");
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClicks(child<QLineEdit>(sheet, "capturePassword"), "  ");
    EXPECT_TRUE(save->isEnabled());
    child<QLineEdit>(sheet, "captureName")->clear();
    child<QComboBox>(sheet, "captureTier")->setCurrentIndex(0);
    QTest::keyClick(sheet, Qt::Key_Return);

    CapturedCredential expected{"A", std::nullopt, "  ", std::nullopt, UDSAIAccess::injectable, std::nullopt};
    EXPECT_EQ(r.answers[0].get(), Answer(expected));
    EXPECT_FALSE(sheet && sheet->isVisible());
    // Its closing answers nothing more: the next request still waits.
    ASSERT_TRUE(testing::spinUntil([&] { return r.presenter->pending().has_value(); }));
    testing::settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_TRUE(Requests::waiting(r.answers[1]));
    ASSERT_TRUE(r.presenter->pending());
    EXPECT_EQ(r.presenter->pending()->origin, "https://b.example");
}

TEST(CredentialCaptureSheet, DismissingAnAnsweredRequestsSheetLeavesTheNextWaiting) {
    Requests r;
    r.ask("https://a.example", std::nullopt);
    r.ask("https://b.example", std::nullopt);
    const auto first = *r.presenter->pending();
    QPointer<CredentialCaptureSheet> sheet = new CredentialCaptureSheet(first, r.presenter);
    sheet->show();
    r.presenter->cancel(first.id);  // answered elsewhere while the sheet still shows
    EXPECT_EQ(r.answers[0].get(), Answer());
    ASSERT_TRUE(testing::spinUntil([&] { return r.presenter->pending() && !(*r.presenter->pending() == first); }));

    sheet->close();
    testing::settle();
    EXPECT_TRUE(Requests::waiting(r.answers[1]));

    // Escape answers the agent with nothing, like Cancel.
    QPointer<CredentialCaptureSheet> second = new CredentialCaptureSheet(*r.presenter->pending(), r.presenter);
    second->show();
    EXPECT_TRUE(child<QLineEdit>(second, "captureName")->text().isEmpty());
    QTest::keyClick(second, Qt::Key_Escape);
    EXPECT_EQ(r.answers[1].get(), Answer());
    EXPECT_FALSE(second && second->isVisible());
}

}  // namespace
}  // namespace vael

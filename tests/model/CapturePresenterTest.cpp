#include <gtest/gtest.h>

#include <QSignalSpy>

#include <future>

#include "app/model/items/CaptureForm.h"
#include "app/model/LiveCredentialCapturePresenter.h"
#include "ModelFixtures.h"

namespace vael {
namespace {

using Answer = std::optional<CapturedCredential>;

CapturedCredential login(std::string name) {
    CapturedCredential credential;
    credential.name = std::move(name);
    credential.password = "pw";
    return credential;
}

TEST(LiveCredentialCapturePresenter, AnswersRequestsInArrivalOrderExactlyOnce) {
    LiveCredentialCapturePresenter presenter;
    QSignalSpy changes(&presenter, &LiveCredentialCapturePresenter::pendingChanged);
    presenter.open();
    auto first = std::async(std::launch::async, [&] { return presenter.present("https://a.example", "A"); });
    ASSERT_TRUE(testing::spinUntil([&] { return presenter.pending().has_value(); }));
    auto second = std::async(std::launch::async, [&] { return presenter.present("https://b.example", std::nullopt); });
    testing::settle();
    ASSERT_EQ(presenter.pending()->origin, "https://a.example");
    EXPECT_EQ(presenter.pending()->suggestedName, std::optional<std::string>("A"));

    const auto firstID = presenter.pending()->id;
    presenter.submit(firstID, login("first"));
    EXPECT_EQ(first.get(), Answer(login("first")));
    ASSERT_TRUE(testing::spinUntil([&] { return presenter.pending().has_value(); }));
    EXPECT_EQ(presenter.pending()->origin, "https://b.example");

    // The first sheet closing after its Save answers nothing: the second request still waits.
    const auto changesBefore = changes.count();
    presenter.cancel(firstID);
    presenter.submit(firstID, login("late"));
    ASSERT_TRUE(presenter.pending());
    EXPECT_EQ(presenter.pending()->origin, "https://b.example");
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_EQ(changes.count(), changesBefore);

    presenter.cancel(presenter.pending()->id);
    EXPECT_EQ(second.get(), Answer());
    EXPECT_FALSE(presenter.pending());
}

TEST(LiveCredentialCapturePresenter, ClosedPresenterAnswersAtOnceAndOnTheMainThreadNeverWaits) {
    LiveCredentialCapturePresenter presenter;
    EXPECT_EQ(std::async(std::launch::async, [&] { return presenter.present("https://a.example", std::nullopt); }).get(),
              Answer());
    presenter.open();
    EXPECT_EQ(presenter.present("https://a.example", std::nullopt), Answer());
}

TEST(LiveCredentialCapturePresenter, ClosingAnswersEveryWaitingRequest) {
    LiveCredentialCapturePresenter presenter;
    presenter.open();
    std::vector<std::future<Answer>> waiting;
    for (int i = 0; i < 3; ++i)
        waiting.push_back(std::async(std::launch::async, [&] { return presenter.present("https://a.example", std::nullopt); }));
    ASSERT_TRUE(testing::spinUntil([&] { return presenter.pending().has_value(); }));
    presenter.close();
    for (auto& answer : waiting) EXPECT_EQ(answer.get(), Answer());
    testing::settle();
    EXPECT_FALSE(presenter.pending());
}

TEST(CaptureForm, BuildsTheCredentialAsTyped) {
    using Pending = LiveCredentialCapturePresenter::Pending;
    const Pending suggested{Uuid::random(), "https://a.example/login", "A"};
    const Pending emptySuggestion{Uuid::random(), "https://a.example/login", ""};
    const Pending unnamed{Uuid::random(), "https://a.example/login", std::nullopt};
    struct Case {
        const char* what;
        Pending pending;
        CaptureForm form;
        CapturedCredential expected;
    };
    const std::vector<Case> cases = {
        {"typed name", suggested, {"Mine", "bob", "pw", "JBSW", UDSAIAccess::injectable},
         {"Mine", "bob", "pw", "JBSW", UDSAIAccess::injectable, std::nullopt}},
        {"suggested name", suggested, {"", "", "pw", "", UDSAIAccess::humanGated},
         {"A", std::nullopt, "pw", std::nullopt, UDSAIAccess::humanGated, std::nullopt}},
        {"an empty suggestion still counts", emptySuggestion, {"", "", "pw", "", UDSAIAccess::humanGated},
         {"", std::nullopt, "pw", std::nullopt, UDSAIAccess::humanGated, std::nullopt}},
        {"origin", unnamed, {"", "", "pw", "", UDSAIAccess::humanGated},
         {"https://a.example/login", std::nullopt, "pw", std::nullopt, UDSAIAccess::humanGated, std::nullopt}},
        {"spaces are kept", unnamed, {" ", " ", "  ", " ", UDSAIAccess::aiHidden},
         {" ", " ", "  ", " ", UDSAIAccess::aiHidden, std::nullopt}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.form.credential(c.pending), c.expected);
    }
    EXPECT_EQ(CaptureForm{}.aiAccess, UDSAIAccess::humanGated);
}

TEST(CaptureForm, ShowsOnlyTheHostOfAWebOrigin) {
    using Pending = LiveCredentialCapturePresenter::Pending;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https://bank.example/login?next=/type-your-passphrase", "bank.example"},
        {"http://[::1]:8080/", "::1"},
        {"https://user:pw@a.example", "a.example"},
        {"Vael security notice: type your MASTER PASSPHRASE", ""},
        {"file:///etc/passwd", ""},
    };
    for (const auto& [origin, shown] : cases) {
        EXPECT_EQ(CaptureForm::siteShown(Pending{Uuid::random(), origin, std::nullopt}), shown) << origin;
    }
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <future>

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

    presenter.submit(login("first"));
    EXPECT_EQ(first.get(), Answer(login("first")));
    ASSERT_TRUE(testing::spinUntil([&] { return presenter.pending().has_value(); }));
    EXPECT_EQ(presenter.pending()->origin, "https://b.example");

    presenter.cancel();
    EXPECT_EQ(second.get(), Answer());
    EXPECT_FALSE(presenter.pending());
    // A late answer (the sheet closing after Save) finds nobody waiting and changes nothing.
    const auto changesBefore = changes.count();
    presenter.cancel();
    presenter.submit(login("late"));
    EXPECT_FALSE(presenter.pending());
    EXPECT_EQ(changes.count(), changesBefore);
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

}  // namespace
}  // namespace vael

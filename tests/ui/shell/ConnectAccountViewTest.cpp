#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "ui/UiFixtures.h"
#include "app/ui/shell/ConnectAccountView.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "model/ServerFixtures.h"

namespace vael {
namespace {

using testing::child;
using testing::spinUntil;

TEST(ConnectAccountView, ATakenHandleKeepsTheSheetOpenAndSuccessClosesIt) {
    testing::ServerHarness s;
    s.h.create();
    s.server.addAccount(fake::FakeVaelServer::Account{Uuid::random(), "taken", "x", "ed", "w", "", {}, {}});
    QWidget window;
    window.show();
    QPointer<ConnectAccountView> sheet = new ConnectAccountView(s.model(), &window);
    sheet->open();

    auto* handle = child<QLineEdit>(sheet, "connect.handle");
    auto* connect = child<QPushButton>(sheet, "connect.connect");
    EXPECT_EQ(handle->text(), ConnectAccountView::loginName());
    EXPECT_TRUE(child<QWidget>(sheet, "connect.explanation")
                    ->property("text")
                    .toString()
                    .contains(QUrl(QString::fromStdString(s.model().serverEndpoint())).host()));
    handle->clear();
    EXPECT_FALSE(connect->isEnabled());

    QTest::keyClicks(handle, "taken");
    connect->click();
    EXPECT_TRUE(sheet->isBusy());
    EXPECT_EQ(connect->accessibleName(), "Connecting\u2026");
    EXPECT_FALSE(connect->isEnabled());
    ASSERT_TRUE(spinUntil([&] { return !sheet->isBusy(); }));
    EXPECT_EQ(child<ErrorLabel>(sheet, "connect.error")->message(), "That handle is already taken.");
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(handle->text(), "taken");
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_EQ(connect->accessibleName(), "Connect");

    handle->setText("ana");
    QTest::keyClick(handle, Qt::Key_Return);  // the default action
    ASSERT_TRUE(spinUntil([&] { return sheet.isNull(); }));
    EXPECT_TRUE(s.model().isServerConnected());
    EXPECT_TRUE(s.model().isPasskeyEnrolled());
    EXPECT_FALSE(s.model().errorMessage());
}

// The sheet's failure goes with the sheet: nothing stale on the page below or the lock screen.
TEST(ConnectAccountView, ClosingTheSheetTakesItsFailureAlong) {
    testing::ServerHarness s;
    s.h.create();
    s.server.addAccount(fake::FakeVaelServer::Account{Uuid::random(), "taken", "x", "ed", "w", "", {}, {}});
    QWidget window;
    window.show();
    QPointer<ConnectAccountView> sheet = new ConnectAccountView(s.model(), &window);
    sheet->open();
    child<QLineEdit>(sheet, "connect.handle")->setText("taken");
    child<QPushButton>(sheet, "connect.connect")->click();
    ASSERT_TRUE(spinUntil([&] { return !sheet->isBusy(); }));
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("That handle is already taken."));
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_FALSE(s.model().errorMessage());

    // Someone else's sentence set meanwhile stays.
    sheet = new ConnectAccountView(s.model(), &window);
    sheet->open();
    child<QLineEdit>(sheet, "connect.handle")->setText("taken");
    child<QPushButton>(sheet, "connect.connect")->click();
    ASSERT_TRUE(spinUntil([&] { return !sheet->isBusy(); }));
    s.model().setErrorMessage("Couldn't move the item.");
    delete sheet.data();
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("Couldn't move the item."));
}

TEST(ConnectAccountView, CancelClosesAtOnceWhileTheAttemptGoesOn) {
    testing::ServerHarness s;
    s.h.create();
    QWidget window;
    window.show();
    QPointer<ConnectAccountView> sheet = new ConnectAccountView(s.model(), &window);
    sheet->open();
    child<QLineEdit>(sheet, "connect.handle")->setText("ana");
    child<QPushButton>(sheet, "connect.connect")->click();
    QTest::keyClick(sheet, Qt::Key_Escape);
    ASSERT_TRUE(spinUntil([&] { return sheet.isNull(); }));
    ASSERT_TRUE(spinUntil([&] { return s.model().isServerConnected(); }));
}

// Kept as designed: an attempt that fails while the vault already reports a connection still closes.
TEST(ConnectAccountView, AFailureWhileAlreadyConnectedStillCloses) {
    testing::ServerHarness s;
    s.h.create();
    s.connect("ana");
    ASSERT_TRUE(s.model().isServerConnected());
    QWidget window;
    window.show();
    QPointer<ConnectAccountView> sheet = new ConnectAccountView(s.model(), &window);
    sheet->open();
    child<QLineEdit>(sheet, "connect.handle")->setText("ana");  // taken by now
    child<QPushButton>(sheet, "connect.connect")->click();
    ASSERT_TRUE(spinUntil([&] { return sheet.isNull(); }));
    EXPECT_EQ(s.model().errorMessage(), std::optional<std::string>("That handle is already taken."));
}

}  // namespace
}  // namespace vael

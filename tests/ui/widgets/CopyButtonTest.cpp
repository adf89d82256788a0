#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

#include "ui/UiFixtures.h"
#include "app/ui/widgets/CopyButton.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedTimerSource;

QString clipboardText() { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); }

TEST(CopyButton, WritesTheValueOfTheMomentAndReplacesEveryFormat) {
    ScriptedTimerSource timers;
    auto* before = new QMimeData;
    before->setHtml("<b>old</b>");
    before->setData("application/x-other", "x");
    QGuiApplication::clipboard()->setMimeData(before, QClipboard::Clipboard);

    int taps = 0;
    CopyButton button(
        "Copy code", [&] { return QString("value %1").arg(++taps); }, timers);
    EXPECT_EQ(taps, 0);  // nothing is read while the button is built
    EXPECT_EQ(button.accessibleName(), "Copy code");
    EXPECT_EQ(button.toolTip(), "Copy code");

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clipboardText(), "value 1");
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasHtml());
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat("application/x-other"));
    EXPECT_TRUE(button.isCopied());
    EXPECT_EQ(button.accessibleName(), "Copied");
    EXPECT_EQ(button.toolTip(), "Copied");

    // The copied state ends; the text stays.
    timers.advance(1400ms);
    EXPECT_FALSE(button.isCopied());
    EXPECT_EQ(button.accessibleName(), "Copy code");
    timers.advance(1h);
    EXPECT_EQ(clipboardText(), "value 1");
}

TEST(CopyButton, TheEmptyTextIsWrittenToo) {
    ScriptedTimerSource timers;
    QGuiApplication::clipboard()->setText("before", QClipboard::Clipboard);
    CopyButton button(
        "Copy", [] { return QString(); }, timers);
    button.click();
    EXPECT_TRUE(clipboardText().isEmpty());
    EXPECT_TRUE(button.isCopied());
}

TEST(CopyButton, TwoTapsASecondApartEndAtOnePointFourFromTheFirst) {
    ScriptedTimerSource timers;
    int taps = 0;
    AICopyButton button([&] { return QString("handoff %1").arg(++taps); }, timers);
    EXPECT_EQ(button.text(), "Copy for AI");
    button.click();
    timers.advance(1000ms);
    button.click();
    EXPECT_EQ(clipboardText(), "handoff 2");
    EXPECT_EQ(button.text(), "Copied");
    timers.advance(399ms);
    EXPECT_TRUE(button.isCopied());
    timers.advance(1ms);  // 1.4 s after the first tap
    EXPECT_FALSE(button.isCopied());
    EXPECT_EQ(button.text(), "Copy for AI");
    EXPECT_EQ(button.accessibleName(), "Copy for AI");
    timers.advance(1s);  // the second tap's timer ends without a change
    EXPECT_FALSE(button.isCopied());
    EXPECT_EQ(clipboardText(), "handoff 2");
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "ui/UiFixtures.h"
#include "app/ui/shell/SettingsView.h"
#include "model/ServerFixtures.h"

namespace vael {
namespace {

using testing::child;

TEST(SettingsView, AutoLockChoicesAndTheKillSwitchEditTheModel) {
    testing::ModelHarness h;
    h.create();
    SettingsView view(*h.model);
    view.show();
    auto* autoLock = child<QComboBox>(&view, "settings.autoLock");
    ASSERT_EQ(autoLock->count(), 4);
    EXPECT_EQ(autoLock->currentText(), "After 1 hour");  // the default 60
    const std::pair<const char*, qint64> choices[] = {
        {"Never", 0}, {"After 15 minutes", 15}, {"After 1 hour", 60}, {"After 4 hours", 240}};
    for (int i = 0; i < 4; ++i) {
        autoLock->setCurrentIndex(i);
        emit autoLock->activated(i);
        EXPECT_EQ(autoLock->itemText(i), choices[i].first);
        EXPECT_EQ(h.model->autoLockMinutes(), choices[i].second) << choices[i].first;
    }
    h.model->setAutoLockMinutes(7);  // stored elsewhere, none of the choices
    EXPECT_EQ(autoLock->currentIndex(), -1);

    auto* killSwitch = child<QCheckBox>(&view, "settings.killSwitch");
    EXPECT_FALSE(killSwitch->isChecked());
    killSwitch->click();
    EXPECT_TRUE(h.model->killSwitchEnabled());
    EXPECT_TRUE(h.model->killSwitch()->value());
    h.model->setKillSwitchEnabled(false);
    EXPECT_FALSE(killSwitch->isChecked());
    EXPECT_EQ(child<QLabel>(&view, "settings.version")->text(), SettingsView::versionText());
}

TEST(SettingsView, FollowsEnrolmentAndConnectionWhileOpen) {
    testing::ServerHarness s;
    s.h.create();
    SettingsView view(s.model());
    view.show();
    auto* keyRow = child<QWidget>(&view, "settings.securityKeyRow");
    auto* status = child<QLabel>(&view, "settings.serverStatus");
    EXPECT_FALSE(keyRow->isVisibleTo(&view));
    EXPECT_EQ(status->text(), "Local only");
    s.connect("ana");
    EXPECT_TRUE(keyRow->isVisibleTo(&view));
    EXPECT_EQ(status->text(), "Connected");
    s.h.lock();
    EXPECT_EQ(status->text(), "Local only");
    EXPECT_TRUE(keyRow->isVisibleTo(&view));
}

TEST(SettingsView, VersionFallsBackToOnePointZero) {
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(SettingsView::versionText(), "Version 1.0");
    QCoreApplication::setApplicationVersion("2.3.4");
    EXPECT_EQ(SettingsView::versionText(), "Version 2.3.4");
    QCoreApplication::setApplicationVersion(saved);
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/ui/widgets/FileChooser.h"

namespace vael {
namespace {

// The folder dialog opens in the folder asked for, even a hidden one, says what to choose inside
// itself, and takes a folder path typed in.
TEST(LiveFileChooser, TheFolderDialogShowsItsMessageAndTakesATypedPath) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath(".ssh"));
    ASSERT_TRUE(QDir(home.path()).mkpath("keys"));
    const QString ssh = home.path() + "/.ssh";
    auto dialog = LiveFileChooser::folderDialog(nullptr, "Install SSH Key", "Choose the folder for id_x and id_x.pub.",
                                                ssh, "Install");
    dialog->show();
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(ssh).canonicalPath());
    EXPECT_EQ(dialog->windowTitle(), "Install SSH Key");
    auto* message = dialog->findChild<QLabel*>("folderDialog.message");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), "Choose the folder for id_x and id_x.pub.");
    EXPECT_TRUE(message->isVisible());

    auto* typed = dialog->findChild<QLineEdit*>("fileNameEdit");
    auto* accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
    ASSERT_TRUE(typed && accept);
    EXPECT_EQ(accept->text(), "Install");
    typed->clear();
    QTest::keyClicks(typed, home.path() + "/keys");
    EXPECT_TRUE(accept->isEnabled());
}

}  // namespace
}  // namespace vael

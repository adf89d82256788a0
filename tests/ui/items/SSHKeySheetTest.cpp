#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ui/ScriptedFileChooser.h"
#include "ui/UiFixtures.h"
#include "app/model/items/SSHKeySheetModel.h"
#include "app/ui/items/SSHKeySheet.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/design/VaelComponents.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using testing::child;
using testing::OpenVault;
using testing::ScriptedFileChooser;

struct SheetHarness {
    OpenVault v;
    std::shared_ptr<ScriptedFileChooser> chooser = std::make_shared<ScriptedFileChooser>();
    QPointer<SSHKeySheet> sheet = new SSHKeySheet(v.m, nullptr, chooser);

    SheetHarness() { sheet->show(); }
    ~SheetHarness() { delete sheet.data(); }
};

TEST(SSHKeySheet, TheFormGatesGenerateAndTheGlyphFollowsTheTier) {
    SheetHarness s;
    EXPECT_EQ(s.sheet->size(), QSize(480, 500));
    auto* generate = child<QPushButton>(s.sheet, "sshKeyGenerate");
    EXPECT_FALSE(generate->isEnabled());
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyName"), "  ");
    EXPECT_FALSE(generate->isEnabled());
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyName"), "deploy");
    EXPECT_TRUE(generate->isEnabled());
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyPassphrase"), "abcd");
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyPassphraseConfirm"), "abcd");
    EXPECT_FALSE(generate->isEnabled());

    auto* glyph = child<ItemGlyph>(s.sheet, "sshKeyGlyph");
    child<QAbstractButton>(s.sheet, "tierChip.injectable")->click();
    EXPECT_EQ(s.sheet->model().tierID(), "injectable");
    // The glyph's square is its tint at 16 %: compare a pixel of it with a glyph of that tier.
    ItemGlyph expected("key.horizontal.fill", TierStyle::injectable().tint, 34);
    expected.resize(glyph->size());
    const QPoint inside(4, glyph->height() / 2);
    EXPECT_EQ(glyph->grab().toImage().pixelColor(inside), expected.grab().toImage().pixelColor(inside));
}

TEST(SSHKeySheet, AFailedRunKeepsTheFormWithTheToolsMessage) {
    SheetHarness s;
    const auto script = s.v.h.home.path() + "/keygen";
    std::ofstream(script) << "#!/bin/sh\necho 'unknown key type' >&2\nexit 1\n";
    ::chmod(script.c_str(), 0700);
    s.v.m.setSSHKeyOptions(SSHKeyGenerator::Options{script, std::nullopt});
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyName"), "deploy");
    QTest::keyClick(s.sheet, Qt::Key_Return);
    ASSERT_TRUE(testing::spinUntil([&] { return !s.sheet->model().busy(); }));
    EXPECT_EQ(child<QWidget>(s.sheet, "sshKeyFormError")->accessibleName(), "ssh-keygen failed: unknown key type");
    EXPECT_TRUE(child<QWidget>(s.sheet, "sshKeyForm")->isVisible());
    EXPECT_EQ(child<QLineEdit>(s.sheet, "sshKeyName")->text(), "deploy");
}

TEST(SSHKeySheet, GeneratesShowsCopiesAndInstalls) {
    if (::access("/usr/bin/ssh-keygen", X_OK) != 0) GTEST_SKIP() << "ssh-keygen is not installed";
    SheetHarness s;
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyName"), "Acme Deploy");
    child<QPushButton>(s.sheet, "sshKeyGenerate")->click();
    EXPECT_TRUE(child<QPushButton>(s.sheet, "sshKeyCancel")->isEnabled());
    ASSERT_TRUE(testing::spinUntil([&] { return s.sheet->model().generated().has_value(); }));
    testing::settle();

    const auto key = QString::fromStdString(s.sheet->model().generated()->publicKey);
    // 480 x 420, or taller where the font needs it.
    EXPECT_EQ(s.sheet->width(), 480);
    EXPECT_GE(s.sheet->height(), 420);
    EXPECT_EQ(child<QLabel>(s.sheet, "sshKeyTitle")->text(), "SSH Key Created");
    // A sheet's heading, the size of the other sheets' headings.
    EXPECT_EQ(child<QLabel>(s.sheet, "sshKeyTitle")->font().pointSizeF(),
              VaelFont::style(TextStyle::title3, QFont::DemiBold).pointSizeF());
    const auto shown = child<QLabel>(s.sheet, "sshKeyPublic")->text();
    EXPECT_EQ(child<QLabel>(s.sheet, "sshKeyPublic")->accessibleName(), key);  // whole, for screen readers
    EXPECT_LE(shown.count('\n'), 2);
    EXPECT_EQ(QString(shown).remove('\n'), key);
    child<QAbstractButton>(s.sheet, "sshKeyCopyPublic")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), key);
    EXPECT_EQ(child<QLabel>(s.sheet, "sshKeyInstallCaption")->text(),
              "Writes id_acme_deploy and id_acme_deploy.pub with SSH-safe permissions into a folder you choose.");

    s.chooser->answer(QString::fromStdString(s.v.h.home.path()));
    child<QPushButton>(s.sheet, "sshKeyInstall")->click();
    ASSERT_EQ(s.chooser->folders.size(), 1u);
    EXPECT_EQ(s.chooser->folders[0].title, "Install SSH Key");
    EXPECT_EQ(s.chooser->folders[0].message, s.sheet->model().installPanelMessage());
    EXPECT_EQ(s.chooser->folders[0].filtersOrStartFolder, SSHKeySheetModel::installStartFolder());
    EXPECT_EQ(s.chooser->folders[0].acceptLabel, "Install");
    EXPECT_FALSE(child<QPushButton>(s.sheet, "sshKeyInstall")->isVisible());
    EXPECT_EQ(child<QLabel>(s.sheet, "sshKeyInstalled")->text(), "Installed at " + *s.sheet->model().installedPath());
    EXPECT_TRUE(testing::fileExists(s.v.h.home.path() + "/id_acme_deploy.pub"));

    QTest::keyClick(s.sheet, Qt::Key_Return);
    EXPECT_FALSE(s.sheet && s.sheet->isVisible());
}

TEST(SSHKeySheet, ClosingWhileGeneratingStillStoresTheKey) {
    if (::access("/usr/bin/ssh-keygen", X_OK) != 0) GTEST_SKIP() << "ssh-keygen is not installed";
    SheetHarness s;
    QTest::keyClicks(child<QLineEdit>(s.sheet, "sshKeyName"), "deploy");
    child<QPushButton>(s.sheet, "sshKeyGenerate")->click();
    ASSERT_TRUE(s.sheet->model().busy());
    child<QPushButton>(s.sheet, "sshKeyCancel")->click();
    ASSERT_TRUE(testing::spinUntil([&] { return s.sheet.isNull(); }));
    ASSERT_TRUE(testing::spinUntil([&] { return !s.v.peek->items(AppModel::localCollectionID()).empty(); }));
    testing::settle();
    EXPECT_EQ(s.v.peek->items(AppModel::localCollectionID()).size(), 1u);
}

TEST(SSHKeySheet, LongKeysLoseTheirMiddle) {
    EXPECT_EQ(SSHKeySheet::keyInLines("abcdefgh", 4), "abcd\nefgh");
    EXPECT_EQ(SSHKeySheet::keyInLines("abcdefghijkl", 4), "abcd\nefgh\nijkl");
    EXPECT_EQ(SSHKeySheet::keyInLines("abcdefghijklm", 4), "abcd\nef\u2026i\njklm");
}

}  // namespace
}  // namespace vael

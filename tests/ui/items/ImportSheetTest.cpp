#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <fstream>

#include "ui/ScriptedFileChooser.h"
#include "ui/UiFixtures.h"
#include "app/model/items/ImportSheetModel.h"
#include "app/ui/items/ImportSheet.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using testing::child;
using testing::OpenVault;
using testing::ScriptedFileChooser;

QString exportFile(const OpenVault& v, const std::string& name, const std::string& text) {
    const auto path = v.h.home.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return QString::fromStdString(path);
}

std::string exportOf(int rows) {
    std::string text = "name,username,password,otp\n";
    for (int i = 1; i <= rows; ++i) {
        const auto n = std::to_string(i);
        text += "site " + n + ",user" + n + ",secret-" + n + ",JBSWY3DP" + n + "\n";
    }
    return text;
}

struct SheetHarness {
    OpenVault v;
    std::shared_ptr<ScriptedFileChooser> chooser = std::make_shared<ScriptedFileChooser>();
    QPointer<ImportSheet> sheet = new ImportSheet(v.m, nullptr, chooser);

    SheetHarness() { sheet->show(); }
    ~SheetHarness() { delete sheet.data(); }

    void choose(const QString& path) {
        chooser->answer(path);
        child<QPushButton>(sheet, "chooseFile")->click();
        testing::settle();
    }
};

TEST(ImportSheet, PreviewsNamesAndLabelsThenImportsWithoutLettingGo) {
    SheetHarness s;
    s.choose(exportFile(s.v, "export.csv", exportOf(7)));
    ASSERT_EQ(s.chooser->files.size(), 1u);
    EXPECT_EQ(s.chooser->files[0].filtersOrStartFolder, "Password exports (*.csv *.txt)");

    EXPECT_EQ(child<QLabel>(s.sheet, "summaryFile")->text(), "export.csv");
    EXPECT_EQ(child<QLabel>(s.sheet, "summaryItems")->text(), "7");
    EXPECT_EQ(s.sheet->findChild<QLabel*>("summarySkipped"), nullptr);
    EXPECT_EQ(child<QLabel>(s.sheet, "previewRow.0.label")->text(), "site 1");
    EXPECT_EQ(child<QLabel>(s.sheet, "previewRow.5")->text(), "username \u00B7 password \u00B7 otp");
    EXPECT_EQ(s.sheet->findChild<QLabel*>("previewRow.6"), nullptr);
    EXPECT_EQ(child<QLabel>(s.sheet, "previewMore")->text(), "\u2026and 1 more");
    for (const auto* label : s.sheet->findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains("secret-") || label->text().contains("JBSWY3DP")) << label->text().toStdString();
    }

    auto* cancel = child<QPushButton>(s.sheet, "importCancel");
    auto* import = child<QPushButton>(s.sheet, "importRun");
    auto* counter = child<QLabel>(s.sheet, "importProgressText");
    EXPECT_TRUE(import->isDefault());
    std::vector<QString> counts;
    QObject::connect(&s.sheet->model(), &ImportSheetModel::progressChanged, [&] { counts.push_back(counter->text()); });
    import->click();
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(import->isEnabled());
    EXPECT_EQ(counter->text(), "0/7");
    EXPECT_TRUE(child<QProgressBar>(s.sheet, "importProgress")->isVisible());
    // Neither Escape nor the close button ends a running import.
    QTest::keyClick(s.sheet, Qt::Key_Escape);
    s.sheet->close();
    EXPECT_TRUE(s.sheet->isVisible());

    ASSERT_TRUE(testing::spinUntil([&] { return s.sheet->model().result().has_value(); }));
    testing::settle();
    // Seven rows are one batch: the counter moves once, when they are stored.
    EXPECT_EQ(counts, (std::vector<QString>{"7/7"}));
    EXPECT_EQ(child<QLabel>(s.sheet, "importResult")->text(), "Imported 7 items into your vault.");
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_FALSE(import->isVisible());
    auto* done = child<QPushButton>(s.sheet, "importDone");
    EXPECT_TRUE(done->isVisible());
    EXPECT_TRUE(done->isDefault());
    QTest::keyClick(s.sheet, Qt::Key_Return);
    EXPECT_FALSE(s.sheet && s.sheet->isVisible());
}

TEST(ImportSheet, AnUnreadableFileKeepsTheChooserWithItsMessage) {
    SheetHarness s;
    s.choose(exportFile(s.v, "latin1.csv", "name,password\ncaf\xE9,pw\n"));
    EXPECT_TRUE(s.sheet->findChild<QWidget*>("chooseSection"));
    EXPECT_EQ(child<QWidget>(s.sheet, "importError")->accessibleName(), "Couldn't read that file.");
    EXPECT_FALSE(child<QPushButton>(s.sheet, "importRun")->isVisible());

    s.choose(exportFile(s.v, "export.csv", "url,password\n,pw\n,\n"));
    EXPECT_EQ(s.sheet->findChild<QWidget*>("importError"), nullptr);
    EXPECT_EQ(child<QLabel>(s.sheet, "summarySkipped")->text(), "1");
    // Escape closes the sheet while nothing runs.
    QTest::keyClick(s.sheet, Qt::Key_Escape);
    EXPECT_FALSE(s.sheet && s.sheet->isVisible());
}

}  // namespace
}  // namespace vael

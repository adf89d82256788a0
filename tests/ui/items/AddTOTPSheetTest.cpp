#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "ui/ItemUiFixtures.h"
#include "ui/ScriptedFileChooser.h"
#include "app/ui/items/AddTOTPSheet.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "model/ItemFixtures.h"

namespace vael {
namespace {

using namespace vael::testing;
using ScanError = QRScan::ScanError;

const std::string kLink = "otpauth://totp/ACME:alice?secret=JBSWY3DPEHPK3PXP&issuer=ACME";

class ScriptedScanner final : public QRScanner {
public:
    std::function<std::string()> screen = [] { return std::string(); };
    std::vector<std::string> files;
    QCoro::Task<std::string> onScreen() override { co_return screen(); }
    std::string inFile(const std::string& path) override {
        files.push_back(path);
        if (path.ends_with("setup.png")) return kLink;
        throw ScanError(ScanError::Case::noQRFound);
    }
};

// As a desktop delivers a drop: the drag enters, then drops on whoever accepted it.
void drop(QWidget& target, QMimeData* mime) {
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &event);
    delete mime;
}

TEST(AddTOTPSheet, ANewItemNeedsASeedAndANameThenSavesAndCloses) {
    OpenVault v;
    const auto existing = v.item("Existing");
    auto scanner = std::make_shared<ScriptedScanner>();
    auto chooser = std::make_shared<ScriptedFileChooser>();
    int added = 0;
    QPointer<AddTOTPSheet> sheet = new AddTOTPSheet(
        v.m, std::nullopt,
        [&]() -> QCoro::Task<> {
            ++added;
            co_return;
        },
        nullptr, scanner, chooser);
    sheet->open();
    settle();
    EXPECT_EQ(sheet->size(), QSize(460, 470));

    auto* seed = child<QPlainTextEdit>(sheet, "seed");
    auto* add = child<QPushButton>(sheet, "addCode");
    auto* picker = child<QComboBox>(sheet, "itemPicker");
    auto* name = child<QLineEdit>(sheet, "name");
    EXPECT_TRUE(add->isDefault());
    EXPECT_FALSE(add->isEnabled());
    ASSERT_EQ(picker->count(), 2);
    EXPECT_EQ(picker->itemText(0), "New item");
    EXPECT_EQ(picker->itemText(1), "Existing");

    // Not a seed: the orange line, no preview, Add Code off.
    seed->setPlainText("nonsense!");
    EXPECT_TRUE(child(sheet, "invalidSeedPreview")->isVisible());
    EXPECT_FALSE(child(sheet, "preview")->isVisible());
    EXPECT_FALSE(add->isEnabled());

    // A failed scan says why and keeps the seed.
    scanner->screen = [] () -> std::string { throw ScanError(ScanError::Case::screenCaptureDenied); };
    child<QPushButton>(sheet, "scanScreen")->click();
    ASSERT_TRUE(spinUntil([&] { return !sheet->model().scanning(); }));
    EXPECT_EQ(child<ErrorLabel>(sheet, "sheetError")->message().toStdString(),
              AddTOTPSheetModel::kScreenCaptureDenied);
    EXPECT_EQ(seed->toPlainText(), "nonsense!");
    QTest::keyClick(seed, Qt::Key_Return);  // no code to add: Return does nothing
    EXPECT_EQ(seed->toPlainText(), "nonsense!");
    EXPECT_EQ(added, 0);

    // A chosen image fills the seed and the name; the filter offers PNG.
    chooser->answer(QString("/pictures/setup.png"));
    child<QPushButton>(sheet, "fromImage")->click();
    ASSERT_EQ(chooser->files.size(), 1u);
    EXPECT_TRUE(chooser->files[0].filtersOrStartFolder.contains("*.png"));
    EXPECT_EQ(chooser->files[0].startFolder, FileChooser::picturesFolder());  // never the working folder
    EXPECT_EQ(seed->toPlainText().toStdString(), kLink);
    EXPECT_EQ(name->text(), "ACME");
    EXPECT_FALSE(child<ErrorLabel>(sheet, "sheetError")->isVisible());
    EXPECT_TRUE(child(sheet, "preview")->isVisible());
    EXPECT_TRUE(add->isEnabled());
    settle();
    snapshot(*sheet, "add-code-sheet");

    // Shift+Return in the seed breaks the line; the sheet's default action stays unrun.
    seed->setFocus();
    seed->moveCursor(QTextCursor::End);
    QTest::keyClick(seed, Qt::Key_Return, Qt::ShiftModifier);
    settle();
    EXPECT_EQ(seed->toPlainText().toStdString(), kLink + "\n");
    EXPECT_EQ(added, 0);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(add->isEnabled());  // judged without the line break

    // Picking an item hides the name.
    picker->setCurrentIndex(1);
    EXPECT_EQ(sheet->model().targetItemID(), existing);
    EXPECT_FALSE(name->isVisible());
    picker->setCurrentIndex(0);
    EXPECT_TRUE(name->isVisible());

    // Return in the seed is "Add Code".
    QTest::keyClick(seed, Qt::Key_Return);
    ASSERT_TRUE(spinUntil([&] { return added == 1; }));
    settle();
    EXPECT_TRUE(!sheet || !sheet->isVisible());
    const auto rows = await(v.m.listItems());
    EXPECT_EQ(rows.size(), 2u);
}

// The link's label is anyone's text: the preview shows it on one line, without bidi controls,
// and a page of it neither widens the sheet nor reaches the screen reader whole.
TEST(AddTOTPSheet, ThePreviewCaptionShowsTheLinkLabelPlainAndBounded) {
    OpenVault v;
    QPointer<AddTOTPSheet> sheet = new AddTOTPSheet(v.m, std::nullopt, []() -> QCoro::Task<> { co_return; });
    sheet->open();
    settle();
    const QSize size = sheet->size();
    auto* seed = child<QPlainTextEdit>(sheet, "seed");
    auto* caption = child<ElidedLabel>(sheet, "previewCaption");
    seed->setPlainText("otpauth://totp/Evil%E2%80%AEcorp%0Anext:bob%E2%80%8B?secret=JBSWY3DPEHPK3PXP&issuer=Evil%E2%80%AEcorp%0Anext");
    settle();
    EXPECT_EQ(caption->fullText(), QString::fromUtf8("Evilcorp next \u00b7 bob"));
    EXPECT_EQ(caption->accessibleName(), caption->fullText());
    EXPECT_EQ(caption->textFormat(), Qt::PlainText);

    const std::string page(10'000, 'W');
    seed->setPlainText(QString::fromStdString("otpauth://totp/" + page + ":bob?secret=JBSWY3DPEHPK3PXP&issuer=" + page));
    settle();
    EXPECT_TRUE(caption->fullText().endsWith(QChar(0x2026)));
    EXPECT_LE(caption->fullText().size(), static_cast<qsizetype>(kShownNameCharacters + 1));
    EXPECT_EQ(sheet->size(), size);
    snapshot(*sheet, "add-code-long-label");
    sheet->close();
}

TEST(AddTOTPSheet, ReadsTheFirstDroppedFileAndIgnoresDropsWithoutOne) {
    OpenVault v;
    const auto id = v.item("Target");
    std::optional<AppModel::ItemRow> target;
    for (auto& row : await(v.m.listItems()))
        if (row.id == id) target = row;
    auto scanner = std::make_shared<ScriptedScanner>();
    QPointer<AddTOTPSheet> sheet = new AddTOTPSheet(v.m, target, {}, nullptr, scanner);
    sheet->open();
    EXPECT_EQ(child<QLabel>(sheet, "targetName")->text(), "Target");
    EXPECT_EQ(sheet->findChild<QComboBox*>("itemPicker"), nullptr);

    auto* image = new QMimeData;
    image->setImageData(QImage(4, 4, QImage::Format_RGB32));
    drop(*sheet, image);
    auto* remote = new QMimeData;
    remote->setUrls({QUrl("https://example.com/setup.png")});
    drop(*sheet, remote);
    EXPECT_TRUE(scanner->files.empty());
    EXPECT_FALSE(child<ErrorLabel>(sheet, "sheetError")->isVisible());

    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile("/tmp/other.png"), QUrl::fromLocalFile("/tmp/setup.png")});
    drop(*sheet, files);
    EXPECT_EQ(scanner->files, std::vector<std::string>{"/tmp/other.png"});
    EXPECT_EQ(child<ErrorLabel>(sheet, "sheetError")->message().toStdString(), AddTOTPSheetModel::kImageNoQR);

    files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile("/tmp/setup.png")});
    drop(*sheet, files);
    EXPECT_EQ(child<QPlainTextEdit>(sheet, "seed")->toPlainText().toStdString(), kLink);
    // With a target only a valid seed is needed.
    EXPECT_TRUE(child<QPushButton>(sheet, "addCode")->isEnabled());
    sheet->reject();
    settle();
}

}  // namespace
}  // namespace vael

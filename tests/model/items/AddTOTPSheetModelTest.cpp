#include <gtest/gtest.h>

#include <QSignalSpy>

#include <functional>

#include "model/ItemFixtures.h"
#include "app/model/items/AddTOTPSheetModel.h"

using namespace vael;
using namespace vael::testing;
using ScanError = QRScan::ScanError;

namespace {

const std::string kLink = "otpauth://totp/ACME:alice?secret=JBSWY3DPEHPK3PXP&issuer=ACME";
const std::string kAccountOnly = "otpauth://totp/bob?secret=JBSWY3DPEHPK3PXP";
const std::string kBare = "JBSWY3DPEHPK3PXP";

class ScriptedScanner final : public QRScanner {
public:
    std::function<std::string()> screen = [] { return std::string(); };
    std::function<std::string(const std::string&)> file = [](const std::string&) { return std::string(); };
    std::vector<std::string> files;

    QCoro::Task<std::string> onScreen() override { co_return screen(); }
    std::string inFile(const std::string& path) override {
        files.push_back(path);
        return file(path);
    }
};

struct Sheet {
    OpenVault& vault;
    std::shared_ptr<ScriptedScanner> scanner = std::make_shared<ScriptedScanner>();
    int added = 0;
    std::unique_ptr<AddTOTPSheetModel> model;

    explicit Sheet(OpenVault& v, std::optional<AppModel::ItemRow> target = std::nullopt) : vault(v) {
        model = std::make_unique<AddTOTPSheetModel>(
            v.m, std::move(target),
            [this]() -> QCoro::Task<> {
                ++added;
                co_return;
            },
            scanner);
    }
    AddTOTPSheetModel& operator*() { return *model; }
    AddTOTPSheetModel* operator->() { return model.get(); }
};

std::optional<AppModel::ItemRow> rowOf(OpenVault& v, const Uuid& id) {
    for (auto& row : await(v.m.listItems()))
        if (row.id == id) return row;
    return std::nullopt;
}

const ItemField* otpField(const ItemPayload& payload) {
    for (const auto& field : payload.fields)
        if (field.kind == ItemField::Kind::otp) return &field;
    return nullptr;
}

}  // namespace

TEST(AddTOTPSheetModel, SavesToTheTargetThePickedItemOrANewLoginItem) {
    OpenVault v;
    const auto first = v.item("First");
    const auto second = v.item("Second");

    {  // The request's target: its field is set, whatever the name says.
        Sheet sheet(v, rowOf(v, first));
        EXPECT_FALSE(sheet->needsName());
        sheet->setSeedText("  " + kBare + "\n");
        EXPECT_TRUE(sheet->canSave());
        QSignalSpy saved(sheet.model.get(), &AddTOTPSheetModel::saved);
        await(sheet->save());
        EXPECT_EQ(saved.count(), 1);
        EXPECT_EQ(sheet.added, 1);
        EXPECT_FALSE(sheet->busy());
        const auto payload = v.payloadOf(first);
        ASSERT_TRUE(otpField(payload));
        EXPECT_EQ(otpField(payload)->value, kBare);  // trimmed
    }
    {  // The picked item: no new item, the typed name unused.
        Sheet sheet(v);
        await(sheet->loadRows());
        ASSERT_EQ(sheet->rows().size(), 2u);
        sheet->setSeedText(kLink);
        sheet->setTargetItemID(second);
        EXPECT_FALSE(sheet->needsName());
        await(sheet->save());
        EXPECT_EQ(sheet.added, 1);
        ASSERT_TRUE(otpField(v.payloadOf(second)));
        EXPECT_EQ(otpField(v.payloadOf(second))->value, kLink);
        EXPECT_EQ(await(v.m.listItems()).size(), 2u);
    }
    {  // A new login item in the default group, named as typed: spaces are a name.
        Sheet sheet(v);
        sheet->setSeedText(kBare);
        EXPECT_TRUE(sheet->needsName());
        EXPECT_FALSE(sheet->canSave());
        sheet->setName("  ");
        EXPECT_TRUE(sheet->canSave());
        await(sheet->save());
        EXPECT_EQ(sheet.added, 1);
        const auto rows = await(v.m.listItems());
        ASSERT_EQ(rows.size(), 3u);
        const auto created = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.name == "  "; });
        ASSERT_NE(created, rows.end());
        EXPECT_EQ(created->aiAccess, "human_gated");
        EXPECT_EQ(created->groupID, AppModel::localCollectionID());
        EXPECT_EQ(v.peek->item(created->id)->type, "login");
        const auto payload = v.payloadOf(created->id);
        ASSERT_EQ(payload.fields.size(), 1u);
        EXPECT_EQ(payload.fields[0], (ItemField{"otp", ItemField::Kind::otp, kBare, true}));
    }
}

TEST(AddTOTPSheetModel, FillsAnEmptyNameFromTheSeedOnly) {
    OpenVault v;
    Sheet sheet(v);
    sheet->setSeedText(kLink);
    EXPECT_EQ(sheet->name(), "ACME");
    EXPECT_EQ(sheet->previewCaption(), "ACME \u00b7 alice");
    // A name filled from an earlier seed stays.
    sheet->setSeedText(kAccountOnly);
    EXPECT_EQ(sheet->name(), "ACME");
    // Cleared, it is filled again: from the account when there is no issuer.
    sheet->setName("");
    sheet->setSeedText(kAccountOnly + " ");
    EXPECT_EQ(sheet->name(), "bob");
    // Neither issuer nor account: stays empty and a new item cannot be saved.
    sheet->setName("");
    sheet->setSeedText(kBare);
    EXPECT_EQ(sheet->name(), "");
    EXPECT_EQ(sheet->previewCaption(), "");
    EXPECT_FALSE(sheet->canSave());
    // A name typed before the seed is kept.
    Sheet typed(v);
    typed->setName("Mine");
    typed->setSeedText(kLink);
    EXPECT_EQ(typed->name(), "Mine");
    // The link's label is outside text: a right-to-left override or a line break never becomes the name.
    Sheet spoofed(v);
    spoofed->setSeedText("otpauth://totp/x?secret=JBSWY3DPEHPK3PXP&issuer=%E2%80%AEnoc.lave%0ABank");
    EXPECT_EQ(spoofed->name(), "noc.lave Bank");
}

TEST(AddTOTPSheetModel, JudgesTheTrimmedSeedAndPreviewsTheTextAsTyped) {
    OpenVault v;
    Sheet sheet(v);
    EXPECT_FALSE(sheet->showsInvalidSeed());
    sheet->setSeedText(" \n ");
    EXPECT_FALSE(sheet->parsed());
    EXPECT_FALSE(sheet->showsInvalidSeed());
    sheet->setSeedText("not a seed!");
    EXPECT_FALSE(sheet->parsed());
    EXPECT_TRUE(sheet->showsInvalidSeed());
    sheet->setName("x");
    EXPECT_FALSE(sheet->canSave());
    sheet->setSeedText("\t" + kBare + "\n");
    ASSERT_TRUE(sheet->parsed());
    EXPECT_TRUE(sheet->canSave());
    // RFC 6238's 59 s vector for this secret, grouped.
    const auto code = sheet->previewCode(TimePoint(std::chrono::seconds(59)));
    ASSERT_TRUE(code);
    EXPECT_EQ(code->size(), 7u);
    EXPECT_EQ((*code)[3], ' ');
}

TEST(AddTOTPSheetModel, ScanAndImageFailuresShowTheirSentenceAndKeepTheSeed) {
    OpenVault v;
    Sheet sheet(v);
    struct Case {
        std::function<void()> fail;
        std::string_view screen;
        std::string_view image;
    };
    const std::vector<Case> cases = {
        {[] { throw ScanError(ScanError::Case::screenCaptureDenied); }, AddTOTPSheetModel::kScreenCaptureDenied,
         AddTOTPSheetModel::kImageNoQR},
        {[] { throw ScanError(ScanError::Case::notAnOTPAuthCode); }, AddTOTPSheetModel::kScreenNotOTPAuth,
         AddTOTPSheetModel::kImageNotOTPAuth},
        {[] { throw ScanError(ScanError::Case::noQRFound); }, AddTOTPSheetModel::kScreenNoQR,
         AddTOTPSheetModel::kImageNoQR},
        {[] { throw std::runtime_error("detector"); }, AddTOTPSheetModel::kScreenNoQR, AddTOTPSheetModel::kImageNoQR},
    };
    sheet->setSeedText("typed");
    for (const auto& c : cases) {
        sheet.scanner->screen = [&] { c.fail(); return std::string(); };
        sheet.scanner->file = [&](const std::string&) { c.fail(); return std::string(); };
        await(sheet->scanScreen());
        EXPECT_EQ(sheet->error(), std::string(c.screen));
        EXPECT_FALSE(sheet->scanning());
        sheet->readImage("/tmp/shot.png");
        EXPECT_EQ(sheet->error(), std::string(c.image));
        EXPECT_EQ(sheet->seedText(), "typed");
    }
    EXPECT_EQ(sheet.scanner->files.back(), "/tmp/shot.png");

    // A hit replaces the seed and clears the message.
    sheet.scanner->file = [](const std::string&) { return kLink; };
    sheet->readImage("/tmp/shot.png");
    EXPECT_EQ(sheet->seedText(), kLink);
    EXPECT_EQ(sheet->error(), std::nullopt);
    sheet.scanner->screen = [] { return kAccountOnly; };
    sheet->setName("");
    await(sheet->scanScreen());
    EXPECT_EQ(sheet->seedText(), kAccountOnly);
    EXPECT_EQ(sheet->name(), "bob");
}

TEST(AddTOTPSheetModel, AFailedSaveKeepsEveryFieldAndEditingTheSeedClearsTheMessage) {
    OpenVault v;
    Sheet sheet(v);
    sheet->setSeedText(kLink);
    sheet->setName("Typed");
    v.h.lock();
    QSignalSpy saved(sheet.model.get(), &AddTOTPSheetModel::saved);
    await(sheet->save());
    EXPECT_EQ(sheet->error(), std::string(AddTOTPSheetModel::kSaveFailed));
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(sheet.added, 0);
    EXPECT_FALSE(sheet->busy());
    EXPECT_TRUE(sheet->canSave());
    EXPECT_EQ(sheet->seedText(), kLink);
    EXPECT_EQ(sheet->name(), "Typed");
    sheet->setSeedText(kLink + " ");
    EXPECT_EQ(sheet->error(), std::nullopt);
}

TEST(AddTOTPSheetModel, ASaveStartedBeforeTheSheetClosedStillStoresAndReloads) {
    OpenVault v;
    const auto item = v.item("Target");
    int added = 0;
    auto sheet = std::make_unique<AddTOTPSheetModel>(
        v.m, rowOf(v, item),
        [&]() -> QCoro::Task<> {
            ++added;
            co_return;
        },
        std::make_shared<ScriptedScanner>());
    sheet->setSeedText(kBare);
    auto saving = sheet->save();
    EXPECT_TRUE(sheet->busy());
    sheet.reset();
    ASSERT_TRUE(spinUntil([&] { return added == 1; }));
    ASSERT_TRUE(otpField(v.payloadOf(item)));
}

#include <gtest/gtest.h>

#include <QObject>

#include <filesystem>
#include <fstream>

#include "model/ItemFixtures.h"
#include "app/model/items/ImportSheetModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;
using Result = ImportSheetModel::Result;

// A file of the test's home holding `text` exactly.
QString fileWith(const OpenVault& v, const std::string& name, const std::string& text) {
    const auto path = v.h.home.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return QString::fromStdString(path);
}

std::string exportOf(int rows) {
    std::string text = "name,url,username,password\n";
    for (int i = 1; i <= rows; ++i) {
        const auto n = std::to_string(i);
        text += "site " + n + ",https://s" + n + ".example.com,user" + n + ",secret-" + n + "\n";
    }
    return text;
}

TEST(ImportSheetModel, ReadsOnlyUtf8ExportsWithinTheLimit) {
    OpenVault v;
    ImportSheetModel model(v.m);
    const std::string unreadable(ImportSheetModel::kUnreadable);
    const auto tooLarge = v.h.home.path() + "/large.csv";
    std::ofstream(tooLarge) << "name,password\n";
    std::filesystem::resize_file(tooLarge, ImportSheetModel::kMaxFileBytes + 1);

    const std::vector<std::pair<QString, std::string>> refused = {
        {fileWith(v, "latin1.csv", "name,password\ncaf\xE9,pw\n"), unreadable},
        {QString::fromStdString(tooLarge), unreadable},
        {QString::fromStdString(v.h.home.path() + "/missing.csv"), unreadable},
        {fileWith(v, "header.csv", "name,password\n"), "No importable rows found in this file."},
        {fileWith(v, "other.csv", "email,pass\na,b\n"),
         "This doesn't look like a password export \u2014 no username/password columns in the header."},
    };
    for (const auto& [path, message] : refused) {
        SCOPED_TRACE(path.toStdString());
        await(model.handlePicked(path));
        EXPECT_EQ(model.error(), message);
        EXPECT_FALSE(model.parsed());
    }

    // The byte-order mark many exports start with is dropped, so the first header cell still matches.
    await(model.handlePicked(fileWith(v, "marked.csv", "\xEF\xBB\xBFpassword,username\npw,bob\n")));
    EXPECT_FALSE(model.error());
    ASSERT_TRUE(model.parsed());
    EXPECT_EQ(model.fileName(), "marked.csv");
    EXPECT_EQ(model.preview(), (std::vector<ImportSheetModel::PreviewRow>{{"Imported item", "username \u00B7 password"}}));

    // A later failure keeps what was parsed; a cancelled picker only clears the message.
    await(model.handlePicked(fileWith(v, "latin1.csv", "\xFF")));
    EXPECT_EQ(model.error(), unreadable);
    EXPECT_EQ(model.fileName(), "marked.csv");
    EXPECT_TRUE(model.parsed());
    await(model.handlePicked(std::nullopt));
    EXPECT_FALSE(model.error());
    EXPECT_TRUE(model.parsed());
}

TEST(ImportSheetModel, ReadsOnAWorkerAndRefusesTooManyRows) {
    OpenVault v;
    ImportSheetModel model(v.m);
    // Nothing is known until the worker answers; a second pick meanwhile is ignored.
    auto reading = model.handlePicked(fileWith(v, "export.csv", exportOf(2)));
    EXPECT_FALSE(model.parsed());
    await(model.handlePicked(fileWith(v, "other.csv", exportOf(3))));
    await(std::move(reading));
    EXPECT_EQ(model.fileName(), "export.csv");
    EXPECT_EQ(model.total(), 2);

    await(model.handlePicked(fileWith(v, "huge.csv", exportOf(static_cast<int>(CSVImport::kMaxRows) + 1))));
    EXPECT_EQ(model.error(), "This file has more than 50,000 rows \u2014 more than Vael imports at once. Split it "
                             "into smaller files and import each.");
    EXPECT_EQ(model.fileName(), "export.csv");
}

TEST(ImportSheetModel, PreviewsSixItemsByNameAndLabelsOnly) {
    OpenVault v;
    for (int rows : {6, 7}) {
        ImportSheetModel model(v.m);
        await(model.handlePicked(fileWith(v, "export.csv", exportOf(rows))));
        const auto preview = model.preview();
        ASSERT_EQ(preview.size(), 6u);
        EXPECT_EQ(preview[5], (ImportSheetModel::PreviewRow{"site 6", "username \u00B7 password"}));
        EXPECT_EQ(model.moreLine(), rows == 6 ? QString() : QStringLiteral("\u2026and 1 more"));
    }
}

constexpr int kBatch = static_cast<int>(ImportSheetModel::kBatchRows);

// The names of the items whose creation is queued, in queue order.
std::vector<std::string> queuedNames(OpenVault& v) {
    std::vector<std::string> names;
    for (const auto& op : v.peek->pendingOps()) {
        EXPECT_EQ(op.kind, PendingOpRecord::Kind::create);
        names.push_back(v.payloadOf(op.itemId).name);
    }
    return names;
}

TEST(ImportSheetModel, AddsEveryItemInTurnAsAHiddenLogin) {
    OpenVault v;
    ImportSheetModel model(v.m);
    await(model.handlePicked(fileWith(v, "export.csv", exportOf(kBatch + 3))));
    // At each step exactly as many items are stored as were attempted: one batch at a time.
    std::vector<std::pair<int, std::size_t>> steps;
    QObject::connect(&model, &ImportSheetModel::progressChanged, [&] {
        steps.emplace_back(model.progress(), v.peek->items(AppModel::localCollectionID()).size());
    });
    auto running = model.runImport();
    EXPECT_TRUE(model.busy());
    EXPECT_EQ(model.progress(), 0);
    await(std::move(running));

    EXPECT_EQ(steps, (std::vector<std::pair<int, std::size_t>>{{kBatch, kBatch}, {kBatch + 3, kBatch + 3}}));
    EXPECT_FALSE(model.busy());
    EXPECT_EQ(model.result(), (Result{kBatch + 3, 0}));
    EXPECT_EQ(ImportSheetModel::resultText(*model.result()), "Imported 253 items into your vault.");
    for (const auto& row : v.peek->items(AppModel::localCollectionID())) {
        EXPECT_EQ(row.type, "login");
        EXPECT_EQ(row.aiAccess, "ai_hidden");
        EXPECT_EQ(v.payloadOf(row.id).tags, std::vector<std::string>{"imported"});
    }
    // Without a server account each item keeps its one queued creation, in the file's order.
    std::vector<std::string> expected;
    for (int i = 1; i <= kBatch + 3; ++i) expected.push_back("site " + std::to_string(i));
    EXPECT_EQ(queuedNames(v), expected);
}

TEST(ImportSheetModel, ARefusedRowInABatchIsCountedAloneAndTheRestAreSaved) {
    OpenVault v;
    ImportSheetModel model(v.m);
    // One row of the second batch carries a long password; the replica refuses that row alone.
    const int rows = kBatch + 20;
    const int refused = kBatch + 8;
    auto text = exportOf(rows);
    const auto secret = "secret-" + std::to_string(refused) + "\n";
    text.replace(text.find("," + secret), secret.size() + 1, "," + std::string(4000, 'x') + "\n");
    await(model.handlePicked(fileWith(v, "export.csv", text)));
    v.sql("CREATE TRIGGER refuse_long BEFORE INSERT ON items WHEN length(NEW.contentBlob) > 2000 "
          "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    await(model.runImport());

    EXPECT_EQ(model.result(), (Result{rows - 1, 1}));
    EXPECT_EQ(model.progress(), rows);
    EXPECT_EQ(v.peek->items(AppModel::localCollectionID()).size(), static_cast<std::size_t>(rows - 1));
    // Every other row is stored with its queued creation, in the file's order; none for the refused one.
    std::vector<std::string> expected;
    for (int i = 1; i <= rows; ++i)
        if (i != refused) expected.push_back("site " + std::to_string(i));
    EXPECT_EQ(queuedNames(v), expected);
}

TEST(ImportSheetModel, AConnectedVaultSendsEachCreationAfterItsBatchIsStored) {
    OpenVault v;
    v.connect();
    ImportSheetModel model(v.m);
    await(model.handlePicked(fileWith(v, "export.csv", exportOf(kBatch + 2))));
    await(model.runImport());

    EXPECT_EQ(model.result(), (Result{kBatch + 2, 0}));
    // Each creation taken by the server left the queue; they reached it in the file's order.
    EXPECT_TRUE(v.peek->pendingOps().empty());
    std::vector<std::string> sent;
    for (const auto& call : v.api->calls())
        if (call.starts_with("create ")) sent.push_back(v.payloadOf(Uuid::parse(call.substr(7)).value()).name);
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(kBatch + 2));
    for (int i = 0; i < kBatch + 2; ++i) EXPECT_EQ(sent[static_cast<std::size_t>(i)], "site " + std::to_string(i + 1));
}

TEST(ImportSheetModel, ALockMidRunCountsTheRestAsFailed) {
    OpenVault v;
    ImportSheetModel model(v.m);
    await(model.handlePicked(fileWith(v, "export.csv", exportOf(kBatch + 3))));
    std::optional<QCoro::Task<>> locking;
    QObject::connect(&model, &ImportSheetModel::progressChanged, [&] {
        if (model.progress() == kBatch) locking.emplace(v.m.lock());
    });
    await(model.runImport());
    await(std::move(*locking));

    EXPECT_EQ(model.result(), (Result{kBatch, 3}));
    EXPECT_EQ(model.progress(), kBatch + 3);
    EXPECT_EQ(ImportSheetModel::resultText(*model.result()), "Imported 250 items \u2014 3 failed and were left out.");
    EXPECT_EQ(v.peek->items(AppModel::localCollectionID()).size(), static_cast<std::size_t>(kBatch));
}

TEST(ImportSheetModel, StopsWhenTheSheetIsGone) {
    OpenVault v;
    auto* model = new ImportSheetModel(v.m);
    await(model->handlePicked(fileWith(v, "export.csv", exportOf(3 * kBatch))));
    QObject::connect(model, &ImportSheetModel::progressChanged, model, [model] {
        if (model->progress() == kBatch) model->deleteLater();
    });
    auto running = model->runImport();
    ASSERT_TRUE(testing::spinUntil([&] { return running.isReady(); }));
    testing::settle();
    // The batch under way when the sheet went still lands; nothing after it.
    EXPECT_EQ(v.peek->items(AppModel::localCollectionID()).size(), static_cast<std::size_t>(2 * kBatch));
}

}  // namespace
}  // namespace vael

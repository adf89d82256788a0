#include "app/model/items/ImportSheetModel.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <sodium.h>

#include "app/model/AppModel.h"
#include "app/model/Blocking.h"

namespace vael {

namespace {

// The file's text without one leading byte-order mark, or nothing when it cannot be read, is too
// large or is not UTF-8.
std::optional<QByteArray> readExport(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // Read one byte past the limit: the size a file reports is not trusted (devices, growing files).
    QByteArray bytes = file.read(ImportSheetModel::kMaxFileBytes + 1);
    if (bytes.size() > ImportSheetModel::kMaxFileBytes || file.error() != QFileDevice::NoError) {
        sodium_memzero(bytes.data(), static_cast<std::size_t>(bytes.size()));
        return std::nullopt;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    if (!QByteArrayView(bytes).isValidUtf8()) {
        sodium_memzero(bytes.data(), static_cast<std::size_t>(bytes.size()));
        return std::nullopt;
    }
    return bytes;
}

// What a worker makes of a picked file: its payloads, or the sentence that says why not.
struct Reading {
    std::optional<CSVImport::ParsedFile> parsed;
    std::optional<std::string> error;
};

Reading readAndParse(const QString& path) {
    auto text = readExport(path);
    if (!text) return {std::nullopt, std::string(ImportSheetModel::kUnreadable)};
    Reading reading;
    try {
        reading.parsed = CSVImport::payloads(std::string_view(text->constData(), static_cast<std::size_t>(text->size())));
    } catch (const CSVImport::ImportError& error) {
        reading.error = error.what();
    } catch (...) {
        reading.error = std::string(ImportSheetModel::kUnreadable);
    }
    sodium_memzero(text->data(), static_cast<std::size_t>(text->size()));
    return reading;
}

}  // namespace

ImportSheetModel::ImportSheetModel(AppModel& app, QObject* parent) : QObject(parent), app_(app) {}

ImportSheetModel::~ImportSheetModel() = default;

std::vector<ImportSheetModel::PreviewRow> ImportSheetModel::preview() const {
    std::vector<PreviewRow> rows;
    if (!parsed_) return rows;
    for (const auto& payload : parsed_->payloads) {
        if (rows.size() == kPreviewRows) break;
        PreviewRow row{payload.name, {}};
        for (const auto& field : payload.fields) {
            if (!row.fieldLabels.empty()) row.fieldLabels += " \u00B7 ";
            row.fieldLabels += field.label;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString ImportSheetModel::moreLine() const {
    const int more = total() - static_cast<int>(kPreviewRows);
    return more > 0 ? QStringLiteral("\u2026and %1 more").arg(more) : QString();
}

QString ImportSheetModel::resultText(const Result& result) {
    if (result.failed == 0) return QStringLiteral("Imported %1 items into your vault.").arg(result.imported);
    return QStringLiteral("Imported %1 items \u2014 %2 failed and were left out.").arg(result.imported).arg(result.failed);
}

QCoro::Task<> ImportSheetModel::handlePicked(std::optional<QString> path) {
    if (reading_) co_return;  // one file at a time
    setError(std::nullopt);
    if (!path) co_return;
    // A large file takes a while to read and parse: never on the interface thread.
    reading_ = true;
    QPointer<ImportSheetModel> self(this);
    auto work = runBlocking([path = *path] { return readAndParse(path); });
    auto reading = co_await work;
    if (!self) co_return;
    reading_ = false;
    if (reading.error) {
        setError(std::move(reading.error));
        co_return;
    }
    // Both are set before either is announced: the preview shows them together.
    const auto name = QFileInfo(*path).fileName();
    const bool newFile = reading.parsed != parsed_;
    const bool newName = name != fileName_;
    parsed_ = std::move(reading.parsed);
    fileName_ = name;
    if (newFile) emit parsedChanged();
    if (newName) emit fileNameChanged();
}

QCoro::Task<> ImportSheetModel::runImport() {
    if (!parsed_ || busy_ || result_) co_return;
    QPointer<ImportSheetModel> self(this);
    setBusy(true);
    setError(std::nullopt);
    setProgress(0);
    const auto payloads = parsed_->payloads;
    AppModel& app = app_;
    Result result;
    for (std::size_t start = 0; start < payloads.size(); start += kBatchRows) {
        const auto end = std::min(payloads.size(), start + kBatchRows);
        bool added = false;
        try {
            auto adding = app.addItems({payloads.begin() + static_cast<std::ptrdiff_t>(start),
                                        payloads.begin() + static_cast<std::ptrdiff_t>(end)},
                                       "login", "ai_hidden");
            co_await adding;
            added = true;
        } catch (...) {
            // Tried again one by one below.
        }
        // The sheet is gone (a lock replaced the window): every later add would fail too.
        if (!self) co_return;
        if (added) {
            result.imported += static_cast<int>(end - start);
            setProgress(progress_ + static_cast<int>(end - start));
            continue;
        }
        for (auto row = start; row < end; ++row) {
            bool one = false;
            try {
                auto adding = app.addItem(payloads[row], "login", "ai_hidden", std::nullopt);
                co_await adding;
                one = true;
            } catch (...) {
                // Counted; the next item is still tried.
            }
            if (!self) co_return;
            ++(one ? result.imported : result.failed);
            setProgress(progress_ + 1);
        }
    }
    result_ = result;
    emit resultChanged();
    setBusy(false);
}

void ImportSheetModel::setError(std::optional<std::string> error) {
    if (error == error_) return;
    error_ = std::move(error);
    emit errorChanged();
}

void ImportSheetModel::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    emit busyChanged();
}

void ImportSheetModel::setProgress(int progress) {
    if (progress == progress_) return;
    progress_ = progress;
    emit progressChanged();
}

}  // namespace vael

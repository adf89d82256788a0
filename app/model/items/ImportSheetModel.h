#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/items/CSVImport.h"

namespace vael {

class AppModel;

// The import sheet's state: one chosen CSV export, parsed and previewed, then added item by item as
// hidden-tier logins of the default group. A failed add is counted and the run goes on; nothing
// already added is undone.
class ImportSheetModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<vael::CSVImport::ParsedFile> parsed READ parsed NOTIFY parsedChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY fileNameChanged)
    Q_PROPERTY(std::optional<std::string> error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(std::optional<vael::ImportSheetModel::Result> result READ result NOTIFY resultChanged)

public:
    struct Result {
        int imported = 0;
        int failed = 0;
        bool operator==(const Result&) const = default;
    };
    struct PreviewRow {
        std::string name;
        std::string fieldLabels;  // the labels joined by " · "; never a value
        bool operator==(const PreviewRow&) const = default;
    };

    // Password exports are far smaller; the whole text is held in memory.
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
    static constexpr std::size_t kPreviewRows = 6;
    // Rows stored per write: one transaction and one repaint of the window each.
    static constexpr std::size_t kBatchRows = 250;
    static constexpr std::string_view kUnreadable = "Couldn't read that file.";

    explicit ImportSheetModel(AppModel& app, QObject* parent = nullptr);
    ~ImportSheetModel() override;

    const std::optional<CSVImport::ParsedFile>& parsed() const { return parsed_; }
    const QString& fileName() const { return fileName_; }
    const std::optional<std::string>& error() const { return error_; }
    bool busy() const { return busy_; }
    int progress() const { return progress_; }
    const std::optional<Result>& result() const { return result_; }
    int total() const { return parsed_ ? static_cast<int>(parsed_->payloads.size()) : 0; }

    // The first six payloads; "…and N more" when there are more, else empty.
    std::vector<PreviewRow> preview() const;
    QString moreLine() const;
    static QString resultText(const Result& result);

    // The picker's answer; nothing when it was cancelled. The file is read and parsed on a worker;
    // a pick while one is being read is ignored. A failure keeps what was parsed before.
    QCoro::Task<> handlePicked(std::optional<QString> path);
    // Adds the parsed payloads in order, kBatchRows to a write; a batch that fails is tried again
    // item by item, so each failure is counted alone. Stops when this model is gone.
    QCoro::Task<> runImport();

signals:
    void parsedChanged();
    void fileNameChanged();
    void errorChanged();
    void busyChanged();
    void progressChanged();
    void resultChanged();

private:
    void setError(std::optional<std::string> error);
    void setBusy(bool busy);
    void setProgress(int progress);

    AppModel& app_;
    std::optional<CSVImport::ParsedFile> parsed_;
    QString fileName_;
    std::optional<std::string> error_;
    bool busy_ = false;
    bool reading_ = false;
    int progress_ = 0;
    std::optional<Result> result_;
};

}  // namespace vael

#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/AppModel.h"
#include "app/model/QRScanner.h"
#include "crypto/TOTP.h"

namespace vael {

// The add-code sheet's state and operations: a seed typed, pasted, scanned from the screen or read
// from an image, checked live, then stored as the one-time-code field of an item or as a new login
// item. Dates come from the model's wall clock. Main thread only. A save or scan already started
// runs to its end when the sheet goes away.
class AddTOTPSheetModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::string seedText READ seedText WRITE setSeedText NOTIFY seedTextChanged)
    Q_PROPERTY(std::string name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(std::optional<vael::Uuid> targetItemID READ targetItemID WRITE setTargetItemID NOTIFY targetItemIDChanged)
    Q_PROPERTY(std::vector<vael::AppModel::ItemRow> rows READ rows NOTIFY rowsChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool scanning READ scanning NOTIFY scanningChanged)
    Q_PROPERTY(std::optional<std::string> error READ error NOTIFY errorChanged)
    Q_PROPERTY(std::optional<vael::OTPAuthURI> parsed READ parsed NOTIFY parsedChanged)
    Q_PROPERTY(bool needsName READ needsName NOTIFY needsNameChanged)
    Q_PROPERTY(bool canSave READ canSave NOTIFY canSaveChanged)

public:
    using OnAdded = std::function<QCoro::Task<>()>;

    static constexpr std::string_view kScreenCaptureDenied =
        "This desktop doesn't let Vael capture the screen \u2014 save a screenshot and use From Image\u2026 instead.";
    static constexpr std::string_view kScreenNotOTPAuth = "Found a QR code, but it isn't an authenticator setup code.";
    static constexpr std::string_view kScreenNoQR = "No QR code visible on screen \u2014 open the setup page first.";
    static constexpr std::string_view kImageNotOTPAuth = "That QR code isn't an authenticator setup code.";
    static constexpr std::string_view kImageNoQR = "Couldn't find a QR code in that image.";
    static constexpr std::string_view kSaveFailed = "Couldn't save the code. Please try again.";

    // `target` fixes the item that receives the code; without one the user picks an item or names a
    // new one. `onAdded` runs after a successful save, before saved() is emitted.
    AddTOTPSheetModel(AppModel& app, std::optional<AppModel::ItemRow> target, OnAdded onAdded,
                      std::shared_ptr<QRScanner> scanner, QObject* parent = nullptr);

    const std::optional<AppModel::ItemRow>& target() const { return target_; }
    const std::string& seedText() const { return seedText_; }
    // A change clears the error, then fills an empty name from the new seed.
    void setSeedText(std::string text);
    const std::string& name() const { return name_; }
    void setName(std::string name);
    const std::optional<Uuid>& targetItemID() const { return targetItemID_; }
    void setTargetItemID(std::optional<Uuid> id);
    const std::vector<AppModel::ItemRow>& rows() const { return rows_; }
    bool busy() const { return busy_; }
    bool scanning() const { return scanning_; }
    const std::optional<std::string>& error() const { return error_; }

    // The seed trimmed of white space, when it parses and gives a code now.
    const std::optional<OTPAuthURI>& parsed() const { return parsed_; }
    // A new item is to be made: no target and nothing picked.
    bool needsName() const { return !target_ && !targetItemID_; }
    // A valid seed, no save under way, and a name when one is needed ("" only: spaces are a name).
    bool canSave() const;

    // The preview: the code of the seed as typed at `date`, grouped, when it can be computed; the
    // issuer and account joined by " · "; whether to say the seed is not valid.
    std::optional<std::string> previewCode(TimePoint date) const;
    std::string previewCaption() const;
    bool showsInvalidSeed() const;

    // The picker's items (nothing is loaded when there is a target). Never raises.
    QCoro::Task<> loadRows();
    // Fills an empty name from the seed's issuer, else its account.
    void prefillName();
    // Looks for a link on the displays; a failure keeps the seed and sets the error.
    QCoro::Task<> scanScreen();
    // Reads a link from an image file, on the calling thread.
    void readImage(const std::string& path);
    // Stores the trimmed seed. Never raises: a failure sets the error and keeps every field.
    QCoro::Task<> save();

signals:
    void seedTextChanged();
    void nameChanged();
    void targetItemIDChanged();
    void rowsChanged();
    void busyChanged();
    void scanningChanged();
    void errorChanged();
    void parsedChanged();
    void needsNameChanged();
    void canSaveChanged();
    // A save succeeded and onAdded has run: the sheet closes.
    void saved();

private:
    // Recomputes the derived values and tells of those that changed.
    void derive();
    void setError(std::optional<std::string> error);
    void setBusy(bool busy);
    void setScanning(bool scanning);

    AppModel& app_;
    const std::optional<AppModel::ItemRow> target_;
    OnAdded onAdded_;
    std::shared_ptr<QRScanner> scanner_;

    std::string seedText_;
    std::string name_;
    std::optional<Uuid> targetItemID_;
    std::vector<AppModel::ItemRow> rows_;
    bool busy_ = false;
    bool scanning_ = false;
    std::optional<std::string> error_;

    std::optional<OTPAuthURI> parsed_;
    bool needsName_ = true;
    bool canSave_ = false;
};

}  // namespace vael

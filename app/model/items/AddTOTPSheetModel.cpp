#include "app/model/items/AddTOTPSheetModel.h"

#include <QPointer>

#include <algorithm>

#include "app/agent/UnicodeText.h"
#include "app/agent/ops/AgentText.h"
#include "app/items/TOTPDisplay.h"

namespace vael {

namespace {

bool sameSeed(const std::optional<OTPAuthURI>& a, const std::optional<OTPAuthURI>& b) {
    if (!a || !b) return a.has_value() == b.has_value();
    return a->issuer == b->issuer && a->account == b->account && a->algorithm == b->algorithm &&
           a->digits == b->digits && a->period == b->period &&
           std::equal(a->secret.begin(), a->secret.end(), b->secret.begin(), b->secret.end());
}

const std::string* nonEmpty(const std::optional<std::string>& text) {
    return text && !text->empty() ? &*text : nullptr;
}

}  // namespace

AddTOTPSheetModel::AddTOTPSheetModel(AppModel& app, std::optional<AppModel::ItemRow> target, OnAdded onAdded,
                                     std::shared_ptr<QRScanner> scanner, QObject* parent)
    : QObject(parent),
      app_(app),
      target_(std::move(target)),
      onAdded_(std::move(onAdded)),
      scanner_(std::move(scanner)) {
    needsName_ = needsName();
}

void AddTOTPSheetModel::setSeedText(std::string text) {
    if (text == seedText_) return;
    seedText_ = std::move(text);
    emit seedTextChanged();
    setError(std::nullopt);
    derive();
    prefillName();
}

void AddTOTPSheetModel::setName(std::string name) {
    if (name == name_) return;
    name_ = std::move(name);
    emit nameChanged();
    derive();
}

void AddTOTPSheetModel::setTargetItemID(std::optional<Uuid> id) {
    if (id == targetItemID_) return;
    targetItemID_ = id;
    emit targetItemIDChanged();
    derive();
}

bool AddTOTPSheetModel::canSave() const { return parsed_ && !busy_ && !(needsName() && name_.empty()); }

void AddTOTPSheetModel::derive() {
    std::optional<OTPAuthURI> parsed;
    const auto seed = trimWhitespace(seedText_);
    if (!seed.empty()) {
        try {
            auto link = TOTP::parameters(seed);
            (void)TOTP::code(seed, app_.clock().now());
            parsed = std::move(link);
        } catch (const std::exception&) {
        }
    }
    const bool parsedChanges = !sameSeed(parsed, parsed_);
    parsed_ = std::move(parsed);
    if (parsedChanges) emit parsedChanged();

    if (needsName() != needsName_) {
        needsName_ = needsName();
        emit needsNameChanged();
    }
    if (canSave() != canSave_) {
        canSave_ = canSave();
        emit canSaveChanged();
    }
}

void AddTOTPSheetModel::setError(std::optional<std::string> error) {
    if (error == error_) return;
    error_ = std::move(error);
    emit errorChanged();
}

void AddTOTPSheetModel::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    emit busyChanged();
    derive();
}

void AddTOTPSheetModel::setScanning(bool scanning) {
    if (scanning == scanning_) return;
    scanning_ = scanning;
    emit scanningChanged();
}

std::optional<std::string> AddTOTPSheetModel::previewCode(TimePoint date) const {
    if (!parsed_) return std::nullopt;
    auto code = TOTPDisplay::codeAt(seedText_, date);
    if (!code) return std::nullopt;
    return TOTPDisplay::grouped(*code);
}

std::string AddTOTPSheetModel::previewCaption() const {
    if (!parsed_) return {};
    const auto* issuer = nonEmpty(parsed_->issuer);
    const auto* account = nonEmpty(parsed_->account);
    if (issuer && account) return *issuer + " \u00b7 " + *account;
    if (issuer) return *issuer;
    if (account) return *account;
    return {};
}

bool AddTOTPSheetModel::showsInvalidSeed() const { return !parsed_ && !trimWhitespace(seedText_).empty(); }

// The link's label is outside text: the name it suggests passes the display filter, so a
// bidirectional control or a line break in it is never saved as the item's name.
void AddTOTPSheetModel::prefillName() {
    if (!name_.empty() || !parsed_) return;
    if (const auto* issuer = nonEmpty(parsed_->issuer)) {
        setName(displayLine(*issuer));
    } else if (const auto* account = nonEmpty(parsed_->account)) {
        setName(displayLine(*account));
    }
}

QCoro::Task<> AddTOTPSheetModel::loadRows() {
    if (target_) co_return;
    QPointer<AddTOTPSheetModel> self(this);
    auto listing = app_.listItems();
    auto rows = co_await listing;
    if (!self || rows == rows_) co_return;
    rows_ = std::move(rows);
    emit rowsChanged();
}

QCoro::Task<> AddTOTPSheetModel::scanScreen() {
    if (scanning_) co_return;
    setScanning(true);
    setError(std::nullopt);
    QPointer<AddTOTPSheetModel> self(this);
    auto scanner = scanner_;
    std::optional<std::string> payload;
    std::string_view failure = kScreenNoQR;
    try {
        auto scan = scanner->onScreen();
        payload = co_await scan;
    } catch (const QRScan::ScanError& error) {
        if (error.code() == QRScan::ScanError::Case::screenCaptureDenied) failure = kScreenCaptureDenied;
        if (error.code() == QRScan::ScanError::Case::notAnOTPAuthCode) failure = kScreenNotOTPAuth;
    } catch (...) {
    }
    if (!self) co_return;
    if (payload) {
        setSeedText(std::move(*payload));
    } else {
        setError(std::string(failure));
    }
    setScanning(false);
}

void AddTOTPSheetModel::readImage(const std::string& path) {
    try {
        setSeedText(scanner_->inFile(path));
        setError(std::nullopt);
    } catch (const QRScan::ScanError& error) {
        setError(std::string(error.code() == QRScan::ScanError::Case::notAnOTPAuthCode ? kImageNotOTPAuth : kImageNoQR));
    } catch (...) {
        setError(std::string(kImageNoQR));
    }
}

QCoro::Task<> AddTOTPSheetModel::save() {
    if (!parsed_ || busy_) co_return;
    auto seed = trimWhitespace(seedText_);
    setBusy(true);
    setError(std::nullopt);
    // Everything the write needs is taken now: the sheet may close before it ends, and the write
    // and onAdded still run.
    QPointer<AddTOTPSheetModel> self(this);
    auto onAdded = onAdded_;
    const auto destination = target_ ? std::optional<Uuid>(target_->id) : targetItemID_;
    bool stored = false;
    try {
        if (destination) {
            auto writing = app_.setOTPField(*destination, std::move(seed));
            co_await writing;
        } else {
            ItemPayload payload;
            payload.name = name_;
            payload.fields.push_back(ItemField{"otp", ItemField::Kind::otp, std::move(seed), true});
            auto writing = app_.addItem(std::move(payload), "login", "human_gated", std::nullopt);
            co_await writing;
        }
        stored = true;
    } catch (...) {
    }
    if (!stored) {
        if (self) {
            setError(std::string(kSaveFailed));
            setBusy(false);
        }
        co_return;
    }
    if (onAdded) {
        try {
            auto adding = onAdded();
            co_await adding;
        } catch (...) {
            // The code is stored; a failed reload of the window's lists is the window's to show.
        }
    }
    if (!self) co_return;
    emit saved();
    if (self) setBusy(false);
}

}  // namespace vael

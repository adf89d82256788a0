#include "app/custody/TrustedKeyStore.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/custody/PrivateFiles.h"
#include "core/Log.h"

namespace vael {

namespace {

constexpr std::string_view kLogCategory = "custody.trusted-keys";

// "20250307T090501Z": sorts by time and is safe in a file name.
std::string compactUtc(TimePoint time) {
    using namespace std::chrono;
    const auto secs = floor<seconds>(time);
    const auto day = floor<days>(secs);
    const year_month_day ymd{day};
    const hh_mm_ss hms{secs - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02u%02uT%02ld%02ld%02ldZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                  static_cast<long>(hms.seconds().count()));
    return buffer;
}

}  // namespace

bool TrustedKeyStore::trustOnFirstUse(const std::string& fingerprint, const Uuid& accountID) {
    if (auto pinned = pinnedFingerprint(accountID)) return *pinned == fingerprint;
    if (!pinsKnown()) return false;
    pin(fingerprint, accountID);
    return true;
}

std::string encodeTrustedKeyPins(const TrustedKeyPins& pins) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const auto& [account, fingerprint] : pins) object[account.text()] = fingerprint;
    // Fingerprints come from the server: replace invalid UTF-8 rather than fail the write.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<TrustedKeyPins> decodeTrustedKeyPins(std::string_view json) {
    const auto value = nlohmann::json::parse(json, nullptr, false);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    TrustedKeyPins pins;
    for (const auto& [key, fingerprint] : value.items()) {
        const auto account = Uuid::parse(key);
        if (!account || !fingerprint.is_string()) return std::nullopt;
        pins[*account] = fingerprint.get<std::string>();
    }
    return pins;
}

std::optional<std::string> InMemoryTrustedKeyStore::pinnedFingerprint(const Uuid& accountID) const {
    std::lock_guard lock(mutex_);
    const auto found = pins_.find(accountID);
    if (found == pins_.end()) return std::nullopt;
    return found->second;
}

void InMemoryTrustedKeyStore::pin(const std::string& fingerprint, const Uuid& accountID) {
    std::lock_guard lock(mutex_);
    pins_[accountID] = fingerprint;
}

FileTrustedKeyStore::FileTrustedKeyStore(std::string path)
    : FileTrustedKeyStore(std::move(path), std::make_shared<SystemClock>()) {}

FileTrustedKeyStore::FileTrustedKeyStore(std::string path, std::shared_ptr<const Clock> clock)
    : path_(std::move(path)), clock_(std::move(clock)) {
    std::lock_guard lock(mutex_);
    readIfNeeded();
}

bool FileTrustedKeyStore::readIfNeeded() const {
    if (read_) return true;
    std::optional<std::string> contents;
    try {
        contents = readPrivateFile(path_);
    } catch (const PrivateFileError& error) {
        if (!warnedUnreadable_)
            logMessage(LogLevel::Warning, kLogCategory,
                       std::string(error.what()) + " Until it can be read, no new key is trusted.");
        warnedUnreadable_ = true;
        return false;
    }
    read_ = true;
    TrustedKeyPins stored;
    if (contents && !contents->empty()) {
        if (auto pins = decodeTrustedKeyPins(*contents)) {
            stored = std::move(*pins);
        } else {
            logMessage(LogLevel::Warning, kLogCategory,
                       path_ + " is damaged; it is read as holding no pins and will be kept aside before the next pin.");
            keepAsideBeforeWrite_ = true;
        }
    }
    // Pins made while the file could not be read are the newer ones.
    const bool madeMeanwhile = !pins_.empty();
    for (auto& [account, fingerprint] : pins_) stored[account] = std::move(fingerprint);
    pins_ = std::move(stored);
    if (madeMeanwhile) save();
    return true;
}

void FileTrustedKeyStore::save() const {
    try {
        if (keepAsideBeforeWrite_) {
            if (auto aside = keepFileAside(path_, "damaged-" + compactUtc(clock_->now())))
                logMessage(LogLevel::Warning, kLogCategory, "Kept the unreadable " + path_ + " as " + *aside + ".");
            keepAsideBeforeWrite_ = false;
        }
        writePrivateFileAtomically(path_, encodeTrustedKeyPins(pins_));
    } catch (const PrivateFileError& error) {
        // The pin stays in memory for this run; the old file stays as it was.
        logMessage(LogLevel::Warning, kLogCategory, error.what());
    }
}

std::optional<std::string> FileTrustedKeyStore::pinnedFingerprint(const Uuid& accountID) const {
    std::lock_guard lock(mutex_);
    readIfNeeded();
    const auto found = pins_.find(accountID);
    if (found == pins_.end()) return std::nullopt;
    return found->second;
}

void FileTrustedKeyStore::pin(const std::string& fingerprint, const Uuid& accountID) {
    std::lock_guard lock(mutex_);
    const bool known = readIfNeeded();
    pins_[accountID] = fingerprint;
    // A file never read is never overwritten: the pin waits in memory until it reads.
    if (known) save();
}

bool FileTrustedKeyStore::pinsKnown() const {
    std::lock_guard lock(mutex_);
    return readIfNeeded();
}

}  // namespace vael

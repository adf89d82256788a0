#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/Clock.h"
#include "core/Uuid.h"

namespace vael {

// Pinned key fingerprints of other accounts, one per account, with trust on first use.
class TrustedKeyStore {
public:
    virtual ~TrustedKeyStore() = default;

    virtual std::optional<std::string> pinnedFingerprint(const Uuid& accountID) const = 0;
    // Replaces any earlier pin of the account.
    virtual void pin(const std::string& fingerprint, const Uuid& accountID) = 0;

    // The first fingerprint seen for an account is pinned and trusted; later ones must match it
    // exactly. A mismatch never replaces the pin.
    bool trustOnFirstUse(const std::string& fingerprint, const Uuid& accountID);
};

using TrustedKeyPins = std::map<Uuid, std::string>;

// The pin file's JSON: one object whose keys are upper-case account identifiers and whose values
// are the fingerprints. Anything else reads as nothing.
std::string encodeTrustedKeyPins(const TrustedKeyPins& pins);
std::optional<TrustedKeyPins> decodeTrustedKeyPins(std::string_view json);

class InMemoryTrustedKeyStore final : public TrustedKeyStore {
public:
    std::optional<std::string> pinnedFingerprint(const Uuid& accountID) const override;
    void pin(const std::string& fingerprint, const Uuid& accountID) override;

private:
    mutable std::mutex mutex_;
    TrustedKeyPins pins_;
};

// Pins kept in "trusted-keys.json", loaded once and written whole after each change. Nothing is
// raised: a file that cannot be read gives no pins, a failed write keeps the pin in memory only.
// A file that exists but does not read is kept aside ("<name>.damaged-<UTC time>") before it is
// first overwritten, so that no earlier pin is silently lost.
class FileTrustedKeyStore final : public TrustedKeyStore {
public:
    explicit FileTrustedKeyStore(std::string path);
    FileTrustedKeyStore(std::string path, std::shared_ptr<const Clock> clock);

    const std::string& path() const { return path_; }

    std::optional<std::string> pinnedFingerprint(const Uuid& accountID) const override;
    void pin(const std::string& fingerprint, const Uuid& accountID) override;

private:
    void load();

    std::string path_;
    std::shared_ptr<const Clock> clock_;
    mutable std::mutex mutex_;
    TrustedKeyPins pins_;
    bool keepAsideBeforeWrite_ = false;
};

}  // namespace vael

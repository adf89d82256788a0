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
    // Whether every earlier pin is known. When not, no fingerprint is new for certain: a substitute
    // key could pass for a first one.
    virtual bool pinsKnown() const { return true; }

    // The first fingerprint seen for an account is pinned and trusted; later ones must match it
    // exactly. A mismatch never replaces the pin. While the pins are not known, only a pinned
    // fingerprint is trusted.
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

// Pins kept in "trusted-keys.json", read once and written whole after each change. Nothing is
// raised. A file that cannot be read safely (its folder open to others, not a file, an I/O error)
// leaves the pins unknown: it is read again before each use, it is never overwritten unread, and
// pins made meanwhile wait in memory until it reads, then join its pins. A failed write keeps the
// pin in memory only. A file whose content is damaged reads as no pins and is kept aside
// ("<name>.damaged-<UTC time>") before it is first overwritten, so that no earlier pin is lost.
class FileTrustedKeyStore final : public TrustedKeyStore {
public:
    explicit FileTrustedKeyStore(std::string path);
    FileTrustedKeyStore(std::string path, std::shared_ptr<const Clock> clock);

    const std::string& path() const { return path_; }

    std::optional<std::string> pinnedFingerprint(const Uuid& accountID) const override;
    void pin(const std::string& fingerprint, const Uuid& accountID) override;
    bool pinsKnown() const override;

private:
    // Under the lock: reads the file unless it was read already; true when the pins are known.
    bool readIfNeeded() const;
    void save() const;

    std::string path_;
    std::shared_ptr<const Clock> clock_;
    mutable std::mutex mutex_;
    // Before the file was read: only the pins made since.
    mutable TrustedKeyPins pins_;
    mutable bool read_ = false;
    mutable bool warnedUnreadable_ = false;
    mutable bool keepAsideBeforeWrite_ = false;
};

}  // namespace vael

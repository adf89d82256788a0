#pragma once

// Shared by the item source's operation files only.

#include <sodium.h>

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/agent/ops/ItemLayout.h"
#include "app/agent/ops/StoreVaultItemSource.h"

namespace vael {

// The opened group and project names that every operation starts from; kept between calls only when
// it was built without a failed read.
struct StoreVaultItemSource::Snapshot {
    bool kept = false;
    std::vector<ProjectContext> projects;
    std::vector<CollectionContext> collections;
    std::vector<std::string> collectionNames;  // canonical forms, in the order of `collections`
};

template <class Read>
auto StoreVaultItemSource::read(Reads& reads, Read&& call) const -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception&) {
        if (reads.policy == OnReadFailure::raise) throw;
        reads.failed = true;
        return {};
    }
}

namespace itemsource {

inline constexpr std::string_view kEnvelopeParams = itemlayout::kCryptoParams;

[[noreturn]] inline void fail(VaultUDSManagementError::Case c) { throw VaultUDSManagementError(c); }

// Trimmed of white space and line breaks; `fallback` when absent or blank.
std::string trimmedOr(const std::optional<std::string>& value, std::string_view fallback);
// Trimmed; absent or blank is an invalid request.
std::string required(const std::optional<std::string>& value);
// Trimmed entries without the blank ones; nothing when none is left.
std::optional<std::vector<std::string>> cleanList(const std::optional<std::vector<std::string>>& list);
// The stored tier text; an unknown text reads as the most restrictive tier.
UDSAIAccess tierOf(std::string_view stored);
std::optional<std::size_t> firstOfKind(const ItemPayload& payload, ItemField::Kind kind);
// What create, get, update and the browser save answer for one field of an item; never its value.
VaultUDSSecretMetadata metadata(const Uuid& id, const std::string& group, const ItemPayload& payload,
                                const ItemField& field, UDSAIAccess tier);

// A copy of a secret that is wiped when it goes away.
class SecretText {
public:
    explicit SecretText(std::string text) : text_(std::move(text)) {}
    ~SecretText() { wipe(text_); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }

    static void wipe(std::string& text) {
        if (!text.empty()) sodium_memzero(text.data(), text.size());
        text.clear();
    }

private:
    std::string text_;
};

}  // namespace itemsource

}  // namespace vael

#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "crypto/SecretJson.h"

namespace vael {

// An item's AI access tier.
enum class UDSAIAccess { injectable, humanGated, aiHidden };
// The resolver's verdict on a resolve or preview.
enum class UDSDecision { allowed, needsApproval, refused };

std::string_view toText(UDSAIAccess tier);
std::optional<UDSAIAccess> aiAccessFromText(std::string_view text);
std::string_view toText(UDSDecision decision);
std::optional<UDSDecision> decisionFromText(std::string_view text);

// Answer to resolve and preview.
struct VaultUDSResponse {
    UDSDecision decision = UDSDecision::refused;
    UDSAIAccess aiAccess = UDSAIAccess::aiHidden;
    std::optional<std::string> value;
    std::optional<std::string> type;
    std::optional<std::int64_t> length;
    std::optional<std::string> last4;
    std::optional<std::string> url;
    std::optional<std::vector<std::string>> allowedHosts;
    std::optional<std::vector<std::string>> allowedCommands;

    // Decision "refused", tier "ai_hidden", nothing else.
    static VaultUDSResponse refusal() { return {}; }

    bool operator==(const VaultUDSResponse&) const = default;
};

// One secret field of a list answer (the answer is a bare array of these).
struct VaultUDSListEntry {
    std::string ref;
    std::string name;
    std::string type;
    UDSAIAccess aiAccess = UDSAIAccess::aiHidden;

    bool operator==(const VaultUDSListEntry&) const = default;
};

// Answer to capture, secret_create, secret_get, secret_update and browser_save.
struct VaultUDSSecretMetadata {
    std::string id;
    std::string ref;
    std::string name;
    std::string fieldLabel;
    std::string kind;
    UDSAIAccess aiAccess = UDSAIAccess::aiHidden;
    std::string group;
    std::optional<std::string> url;
    std::optional<std::vector<std::string>> allowedHosts;
    std::optional<std::vector<std::string>> allowedCommands;

    bool operator==(const VaultUDSSecretMetadata&) const = default;
};

// One login offered to a web page.
struct VaultUDSBrowserItem {
    std::string id;
    std::string name;
    std::optional<std::string> username;
    std::optional<std::string> url;
    std::string group;
    bool strict = false;
    bool hasOtp = false;

    bool operator==(const VaultUDSBrowserItem&) const = default;
};

struct VaultUDSBrowserMatches {
    std::vector<VaultUDSBrowserItem> items;
    bool operator==(const VaultUDSBrowserMatches&) const = default;
};

struct VaultUDSBrowserFill {
    std::optional<std::string> username;
    std::string password;
    std::optional<std::string> totp;
    bool operator==(const VaultUDSBrowserFill&) const = default;
};

struct VaultUDSBrowserTotp {
    std::string code;
    std::int64_t remaining = 0;
    bool operator==(const VaultUDSBrowserTotp&) const = default;
};

struct VaultUDSDeleteResult {
    bool deleted = false;
    bool operator==(const VaultUDSDeleteResult&) const = default;
};

struct VaultUDSGroup {
    std::string id;
    std::string name;
    std::string project;
    std::optional<std::string> parent;
    bool operator==(const VaultUDSGroup&) const = default;
};

struct VaultUDSGroupList {
    std::vector<VaultUDSGroup> groups;
    bool operator==(const VaultUDSGroupList&) const = default;
};

struct VaultUDSProject {
    std::string id;
    std::string name;
    bool operator==(const VaultUDSProject&) const = default;
};

struct VaultUDSProjectList {
    std::vector<VaultUDSProject> projects;
    bool operator==(const VaultUDSProjectList&) const = default;
};

// The answer of a failed list, management or browser operation: the single key "error".
struct VaultUDSErrorEnvelope {
    std::string error;
    bool operator==(const VaultUDSErrorEnvelope&) const = default;
};

// What an item source's lookup answers for a reference. Never goes on the wire.
struct ResolvedItem {
    UDSAIAccess aiAccess = UDSAIAccess::aiHidden;
    std::string value;
    std::string type;
    std::string name;
    std::optional<std::string> url;
    std::optional<std::vector<std::string>> allowedHosts;
    std::optional<std::vector<std::string>> allowedCommands;

    bool operator==(const ResolvedItem&) const = default;
};

// A failure of a management or browser operation that the agent is meant to understand.
class VaultUDSManagementError : public std::runtime_error {
public:
    // conflict: the change was not written because what it was based on changed meanwhile.
    enum class Case { unsupported, notFound, invalid, protectedDefault, cancelled, alreadyExists, conflict };

    explicit VaultUDSManagementError(Case c);
    // A name canonically equal to a sibling's: the message names it.
    static VaultUDSManagementError alreadyExists(const std::string& name);
    // An invalid argument whose message says what is wrong with it.
    static VaultUDSManagementError invalidBecause(std::string_view why);
    Case code() const { return case_; }

private:
    VaultUDSManagementError(Case c, const std::string& message);
    Case case_;
};

// Writing answers: keys in their fixed order, absent optionals left out (never null).
void to_json(nlohmann::ordered_json& j, const VaultUDSResponse& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSListEntry& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSSecretMetadata& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSBrowserItem& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSBrowserMatches& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSBrowserFill& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSBrowserTotp& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSDeleteResult& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSGroup& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSGroupList& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSProject& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSProjectList& v);
void to_json(nlohmann::ordered_json& j, const VaultUDSErrorEnvelope& v);

// Appends one answer to `out` as compact JSON (no line feed; slashes as they are). Throws
// nlohmann's type_error when a text is not valid UTF-8; `out` may then hold part of the answer.
// Secret texts ("value", "password", "totp") are wiped from the intermediate document.
void appendCompact(std::string& out, nlohmann::ordered_json& json);
// The same into a buffer that wipes every allocation it gives back, for answers that carry values.
void appendCompact(cryptodetail::SecretString& out, nlohmann::ordered_json& json);
template <class T, class Out>
void appendAnswer(Out& out, const T& value) {
    nlohmann::ordered_json json(value);
    appendCompact(out, json);
}

// Wipes the values an answer hands out (a resolved value, a password, a username or one-time code
// of a fill, a code); answers of other kinds hold none.
template <class T>
void wipeValues(T&) {}
void wipeValues(VaultUDSResponse& answer);
void wipeValues(VaultUDSBrowserFill& answer);
void wipeValues(VaultUDSBrowserTotp& answer);
template <class T>
std::string encodeAnswer(const T& value) {
    std::string out;
    appendAnswer(out, value);
    return out;
}

// Reading answers back (agents and tests): "always" keys must be present with their type,
// "if present" keys may be absent or null, unknown keys are ignored, an unknown tier or decision
// text fails. Nothing on failure.
template <class T>
std::optional<T> decodeAnswer(const nlohmann::json& json);
template <class T>
std::optional<T> decodeAnswerLine(std::string_view line) {
    auto json = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    return decodeAnswer<T>(json);
}

template <>
std::optional<VaultUDSResponse> decodeAnswer<VaultUDSResponse>(const nlohmann::json& json);
template <>
std::optional<VaultUDSListEntry> decodeAnswer<VaultUDSListEntry>(const nlohmann::json& json);
template <>
std::optional<std::vector<VaultUDSListEntry>> decodeAnswer<std::vector<VaultUDSListEntry>>(const nlohmann::json& json);
template <>
std::optional<VaultUDSSecretMetadata> decodeAnswer<VaultUDSSecretMetadata>(const nlohmann::json& json);
template <>
std::optional<VaultUDSBrowserItem> decodeAnswer<VaultUDSBrowserItem>(const nlohmann::json& json);
template <>
std::optional<VaultUDSBrowserMatches> decodeAnswer<VaultUDSBrowserMatches>(const nlohmann::json& json);
template <>
std::optional<VaultUDSBrowserFill> decodeAnswer<VaultUDSBrowserFill>(const nlohmann::json& json);
template <>
std::optional<VaultUDSBrowserTotp> decodeAnswer<VaultUDSBrowserTotp>(const nlohmann::json& json);
template <>
std::optional<VaultUDSDeleteResult> decodeAnswer<VaultUDSDeleteResult>(const nlohmann::json& json);
template <>
std::optional<VaultUDSGroup> decodeAnswer<VaultUDSGroup>(const nlohmann::json& json);
template <>
std::optional<VaultUDSGroupList> decodeAnswer<VaultUDSGroupList>(const nlohmann::json& json);
template <>
std::optional<VaultUDSProject> decodeAnswer<VaultUDSProject>(const nlohmann::json& json);
template <>
std::optional<VaultUDSProjectList> decodeAnswer<VaultUDSProjectList>(const nlohmann::json& json);
template <>
std::optional<VaultUDSErrorEnvelope> decodeAnswer<VaultUDSErrorEnvelope>(const nlohmann::json& json);

}  // namespace vael

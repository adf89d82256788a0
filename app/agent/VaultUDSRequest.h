#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vael {

// One decoded agent request: the operation and every argument any operation can take. Each
// operation picks the arguments it needs.
struct VaultUDSRequest {
    enum class Op {
        resolve,
        preview,
        list,
        capture,
        secretCreate,
        secretGet,
        secretUpdate,
        secretDelete,
        groupList,
        groupCreate,
        groupGet,
        groupUpdate,
        groupDelete,
        projectList,
        projectCreate,
        projectGet,
        projectUpdate,
        projectDelete,
        browserMatch,
        browserFill,
        browserTotp,
        browserSave,
    };

    Op op = Op::resolve;
    std::optional<std::string> ref;
    std::optional<std::string> id;
    std::optional<bool> approved;
    std::optional<std::string> collection;
    std::optional<std::string> query;
    std::optional<std::string> name;
    std::optional<std::string> fieldLabel;
    std::optional<std::string> value;
    std::optional<std::string> kind;
    std::optional<std::string> aiAccess;  // plain text: the operation that reads it validates it
    std::optional<std::string> username;
    std::optional<std::string> group;
    std::optional<std::string> project;
    std::optional<std::string> parent;
    std::optional<std::string> url;
    std::optional<std::vector<std::string>> allowedHosts;
    std::optional<std::vector<std::string>> allowedCommands;

    bool operator==(const VaultUDSRequest&) const = default;
};

inline constexpr std::size_t kVaultUDSOpCount = 22;

std::string_view toText(VaultUDSRequest::Op op);
// Exact, case-sensitive match of the wire text; anything else is no operation.
std::optional<VaultUDSRequest::Op> opFromText(std::string_view text);

// Strict decoding of one request line (without its line feed): the top level must be an object
// with a known "op"; a null is an absent argument, a value of another JSON type fails the whole
// line, unknown keys are ignored. Trailing white space (a carriage return) is allowed.
std::optional<VaultUDSRequest> decodeRequest(std::string_view line);

// The request as one compact JSON object: "op", then each present argument. Absent ones are left out.
std::string encodeRequest(const VaultUDSRequest& request);

}  // namespace vael

#include "app/agent/VaultUDSRequest.h"

#include <array>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace vael {

namespace {

using Op = VaultUDSRequest::Op;

constexpr std::array<std::string_view, kVaultUDSOpCount> kOpTexts = {
    "resolve",        "preview",        "list",          "capture",        "secret_create", "secret_get",
    "secret_update",  "secret_delete",  "group_list",    "group_create",   "group_get",     "group_update",
    "group_delete",   "project_list",   "project_create", "project_get",   "project_update", "project_delete",
    "browser_match",  "browser_fill",   "browser_totp",  "browser_save",
};

enum class Field : std::uint8_t {
    op, ref, id, approved, collection, query, name, value, kind, username, group, project, parent, url,
    fieldLabel, aiAccess, allowedHosts, allowedCommands, none,
};

constexpr std::array<std::string_view, static_cast<std::size_t>(Field::none)> kKeys = {
    "op",      "ref",     "id",     "approved", "collection",  "query",     "name",          "value",
    "kind",    "username", "group", "project",  "parent",      "url",       "field_label",   "ai_access",
    "allowed_hosts", "allowed_commands",
};

using json = nlohmann::json;

// Reads the request straight from the parser's events: no document is built, and every text is
// moved out of the parser instead of copied. A repeated key replaces what came before it, as in a
// document, so only the last value of each key must have the right type.
class RequestReader final : public nlohmann::json_sax<json> {
public:
    std::optional<VaultUDSRequest> result() {
        if (!started_ || !opSeen_ || bad_ != 0) return std::nullopt;
        return std::move(request_);
    }

    bool null() override {
        if (depth_ == 0) return false;
        if (depth_ == 1) current_ = Field::none;  // null is an absent argument
        else if (inArray()) failArray();
        return true;
    }
    bool boolean(bool flag) override {
        if (depth_ == 0) return false;
        if (depth_ == 1) {
            if (current_ == Field::approved) request_.approved = flag;
            else markBad(current_);
            current_ = Field::none;
        } else if (inArray()) {
            failArray();
        }
        return true;
    }
    bool number_integer(number_integer_t) override { return otherScalar(); }
    bool number_unsigned(number_unsigned_t) override { return otherScalar(); }
    bool number_float(number_float_t, const string_t&) override { return otherScalar(); }
    bool binary(binary_t&) override { return false; }

    bool string(string_t& text) override {
        if (depth_ == 0) return false;
        if (depth_ == 1) {
            if (current_ == Field::op) {
                if (auto op = opFromText(text)) {
                    request_.op = *op;
                    opSeen_ = true;
                } else {
                    markBad(Field::op);
                }
            } else if (auto* field = textField(current_)) {
                *field = std::move(text);
            } else {
                markBad(current_);
            }
            current_ = Field::none;
        } else if (inArray()) {
            items_.push_back(std::move(text));
        }
        return true;
    }

    bool start_object(std::size_t) override {
        if (depth_ == 0) {
            if (started_) return false;
            started_ = true;
        } else if (depth_ == 1) {
            markBad(current_);
            current_ = Field::none;
        } else if (inArray()) {
            failArray();
        }
        ++depth_;
        return true;
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool key(string_t& name) override {
        if (depth_ == 1) {
            current_ = fieldFor(name);
            reset(current_);
        }
        return true;
    }
    bool start_array(std::size_t) override {
        if (depth_ == 0) return false;
        if (depth_ == 1) {
            if (current_ == Field::allowedHosts || current_ == Field::allowedCommands) {
                arrayField_ = current_;
                items_.clear();
            } else {
                markBad(current_);
            }
            current_ = Field::none;
        } else if (inArray()) {
            failArray();
        }
        ++depth_;
        return true;
    }
    bool end_array() override {
        --depth_;
        if (depth_ == 1 && arrayField_ != Field::none) {
            auto& field = arrayField_ == Field::allowedHosts ? request_.allowedHosts : request_.allowedCommands;
            field = std::move(items_);
            items_ = {};
            arrayField_ = Field::none;
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    static Field fieldFor(std::string_view name) {
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            if (kKeys[i] == name) return static_cast<Field>(i);
        }
        return Field::none;
    }

    std::optional<std::string>* textField(Field field) {
        switch (field) {
            case Field::ref: return &request_.ref;
            case Field::id: return &request_.id;
            case Field::collection: return &request_.collection;
            case Field::query: return &request_.query;
            case Field::name: return &request_.name;
            case Field::value: return &request_.value;
            case Field::kind: return &request_.kind;
            case Field::username: return &request_.username;
            case Field::group: return &request_.group;
            case Field::project: return &request_.project;
            case Field::parent: return &request_.parent;
            case Field::url: return &request_.url;
            case Field::fieldLabel: return &request_.fieldLabel;
            case Field::aiAccess: return &request_.aiAccess;
            default: return nullptr;
        }
    }

    void reset(Field field) {
        if (field == Field::none) return;
        bad_ &= ~(1u << static_cast<unsigned>(field));
        if (auto* text = textField(field)) text->reset();
        switch (field) {
            case Field::op: opSeen_ = false; break;
            case Field::approved: request_.approved.reset(); break;
            case Field::allowedHosts: request_.allowedHosts.reset(); break;
            case Field::allowedCommands: request_.allowedCommands.reset(); break;
            default: break;
        }
    }

    void markBad(Field field) {
        if (field != Field::none) bad_ |= 1u << static_cast<unsigned>(field);
    }

    bool otherScalar() {
        if (depth_ == 0) return false;
        if (depth_ == 1) {
            markBad(current_);
            current_ = Field::none;
        } else if (inArray()) {
            failArray();
        }
        return true;
    }

    // An element of a texts array is being read.
    bool inArray() const { return depth_ == 2 && arrayField_ != Field::none; }
    void failArray() {
        markBad(arrayField_);
        arrayField_ = Field::none;
        items_.clear();
    }

    VaultUDSRequest request_;
    std::vector<std::string> items_;
    std::uint32_t bad_ = 0;
    int depth_ = 0;
    Field current_ = Field::none;
    Field arrayField_ = Field::none;
    bool started_ = false;
    bool opSeen_ = false;
};

}  // namespace

std::string_view toText(Op op) { return kOpTexts[static_cast<std::size_t>(op)]; }

std::optional<Op> opFromText(std::string_view text) {
    for (std::size_t i = 0; i < kOpTexts.size(); ++i) {
        if (kOpTexts[i] == text) return static_cast<Op>(i);
    }
    return std::nullopt;
}

std::optional<VaultUDSRequest> decodeRequest(std::string_view line) {
    // The JSON reader takes a NUL byte for the end of its input and would ignore what follows.
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    RequestReader reader;
    if (!json::sax_parse(line.begin(), line.end(), &reader)) return std::nullopt;
    return reader.result();
}

std::string encodeRequest(const VaultUDSRequest& request) {
    nlohmann::ordered_json object;
    object["op"] = toText(request.op);
    auto put = [&](const char* key, const auto& field) {
        if (field) object[key] = *field;
    };
    put("ref", request.ref);
    put("id", request.id);
    put("approved", request.approved);
    put("collection", request.collection);
    put("query", request.query);
    put("name", request.name);
    put("value", request.value);
    put("kind", request.kind);
    put("username", request.username);
    put("group", request.group);
    put("project", request.project);
    put("parent", request.parent);
    put("url", request.url);
    put("field_label", request.fieldLabel);
    put("ai_access", request.aiAccess);
    put("allowed_hosts", request.allowedHosts);
    put("allowed_commands", request.allowedCommands);
    return object.dump();
}

}  // namespace vael

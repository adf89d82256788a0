#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vael {

// A secret reference, vael://<group>/<item>/<field>[?attribute=type|value|otp], each name
// percent-encoded. Parsing is a pure function of the text.
struct VaultRef {
    enum class Attribute { type, value, otp };

    class ParseError : public std::runtime_error {
    public:
        enum class Case { badScheme, badPath, badAttribute };
        explicit ParseError(Case c);
        Case code() const { return case_; }

    private:
        Case case_;
    };

    std::string collection;
    std::string item;
    std::string field;
    Attribute attribute = Attribute::value;

    // Throws ParseError.
    static VaultRef parse(std::string_view text);

    // The text form; the attribute query is written only when the attribute is not `value`.
    std::string text() const;
    // The reference to a field as item lists hand it out (no attribute query).
    static std::string make(std::string_view collection, std::string_view item, std::string_view field);

    bool operator==(const VaultRef&) const = default;
};

std::string_view toText(VaultRef::Attribute attribute);
std::optional<VaultRef::Attribute> attributeFromText(std::string_view text);

}  // namespace vael

#pragma once

// Smart paste: a block of pasted text (a provider's credentials page, a note, a few copied lines)
// turned into a suggested item: a name, a website and labelled fields, each marked concealed or not.
// Pure functions; any text gives a draft.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/ItemPayload.h"

namespace vael::SmartPaste {

struct Draft {
    // The registrable domain of `url`, when there is one.
    std::optional<std::string> name;
    // The first line that passed the URL test, as it stood after trimming.
    std::optional<std::string> url;
    // In the order of their lines; kinds are username, password, token or otp, and every field but
    // a username is concealed. Labels are unique.
    std::vector<ItemField> fields;

    bool operator==(const Draft&) const = default;
};

Draft parse(std::string_view text);

// The kind for a field label: username, password, otp or else a generic secret (token).
ItemField::Kind kind(std::string_view label);

}  // namespace vael::SmartPaste

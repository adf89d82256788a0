#include "store/PendingOp.h"

#include <array>
#include <utility>

namespace vael {

namespace {

using Kind = PendingOpRecord::Kind;

constexpr std::array<std::pair<Kind, std::string_view>, 6> kKindTexts{{
    {Kind::put, "put"},
    {Kind::delete_, "delete"},
    {Kind::create, "create"},
    {Kind::createCollection, "createCollection"},
    {Kind::putCollection, "putCollection"},
    {Kind::deleteCollection, "deleteCollection"},
}};

}  // namespace

std::string_view toText(PendingOpRecord::Kind kind) {
    for (const auto& [k, text] : kKindTexts)
        if (k == kind) return text;
    return {};
}

std::optional<PendingOpRecord::Kind> pendingOpKindFromText(std::string_view text) {
    for (const auto& [k, kindText] : kKindTexts)
        if (kindText == text) return k;
    return std::nullopt;
}

}  // namespace vael

#include "app/model/items/AccessTierViewModel.h"

#include <algorithm>

namespace vael {

const std::vector<std::string>& AccessTierViewModel::tiers() {
    static const std::vector<std::string> ids{"injectable", "human_gated", "ai_hidden"};
    return ids;
}

bool AccessTierViewModel::isTier(std::string_view id) {
    return std::find(tiers().begin(), tiers().end(), id) != tiers().end();
}

AccessTierViewModel::AccessTierViewModel(std::string_view current, QObject* parent)
    : QObject(parent), original_(isTier(current) ? std::string(current) : "human_gated"), selected_(original_) {}

void AccessTierViewModel::select(std::string_view id) {
    if (!isTier(id) || id == selected_) return;
    selected_ = std::string(id);
    emit selectedChanged();
}

}  // namespace vael

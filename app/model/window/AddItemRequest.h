#pragma once

#include <optional>

#include "app/model/AppModel.h"
#include "core/Uuid.h"

namespace vael {

// A one-shot request for the new-item sheet; a fresh id opens a fresh sheet. No project when it
// comes from the toolbar.
struct AddItemRequest {
    Uuid id;
    std::optional<AppModel::ProjectNode> project;
};

}  // namespace vael

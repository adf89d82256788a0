#pragma once

#include <optional>

#include "app/model/AppModel.h"
#include "core/Uuid.h"

namespace vael {

// A one-shot request for the add-code sheet; a fresh id opens a fresh sheet. No target when it
// comes from the toolbar.
struct AddTOTPRequest {
    Uuid id;
    std::optional<AppModel::ItemRow> target;
};

}  // namespace vael

#pragma once

#include <optional>

#include "app/model/AppModel.h"
#include "core/Uuid.h"

namespace vael {

// What opens one add-code sheet: a fresh id per request, and the item to receive the code when the
// request came from that item (else the sheet lets the user choose).
struct AddTOTPRequest { Uuid id; std::optional<AppModel::ItemRow> target; };

}  // namespace vael

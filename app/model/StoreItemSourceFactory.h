#pragma once

#include <memory>

#include "app/model/SessionSeams.h"
#include "core/Clock.h"

namespace vael {

// The item source every real session serves agents from: the replica itself, through the
// session's vault-crypto object, sync engine and capture presenter.
ItemSourceFactory storeItemSourceFactory(std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>());

}  // namespace vael

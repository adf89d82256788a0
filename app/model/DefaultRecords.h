#pragma once

#include <string>

#include "core/Clock.h"
#include "core/Uuid.h"
#include "crypto/VaultCrypto.h"
#include "store/VaelStore.h"

namespace vael {

inline constexpr std::string_view kDefaultCollectionName = "local";
inline constexpr std::string_view kDefaultProjectName = "Personal";

// The default group's open key. A default group that is only a tombstone, or was moved out of
// the default project, is brought back live with its own key; a store without the row gets one (a
// new key, its name sealed, no name key). Then the default project is ensured. Blocking; raises store and crypto
// errors as they come.
CollectionKey ensureDefaultCollection(VaelStore& store, VaultCrypto& vault, const Clock& clock);

// Writes the default project, its name sealed under the default group's key, unless a row with
// its id exists (tombstoned or not).
void ensureDefaultProject(VaelStore& store, VaultCrypto& vault, const CollectionKey& collectionKey,
                          const Clock& clock);

}  // namespace vael

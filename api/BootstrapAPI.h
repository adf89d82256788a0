#pragma once

#include <optional>

#include "api/Records.h"
#include "core/Bytes.h"
#include "core/Uuid.h"

namespace vael {

// Creating a vault's first project and group on the server. A name's wrapped key, when given, travels
// beside the sealed name, so other devices and members can open it. An existing object is
// APIError::conflict.
class BootstrapAPI {
public:
    virtual ~BootstrapAPI() = default;

    virtual OrgDTO createOrg(const std::optional<Uuid>& id, const Bytes& nameBlob,
                             const std::optional<Bytes>& nameWrappedKey) = 0;
    virtual CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id,
                                           const std::optional<Uuid>& parentId, const Bytes& nameBlob,
                                           const std::optional<Bytes>& nameWrappedKey, const Bytes& wrappedKey) = 0;
};

}  // namespace vael

#include "app/model/StoreItemSourceFactory.h"

#include "app/agent/ops/StoreVaultItemSource.h"

namespace vael {

ItemSourceFactory storeItemSourceFactory(std::shared_ptr<const Clock> clock) {
    return [clock = std::move(clock)](const ItemSourceContext& context) -> std::shared_ptr<VaultItemSource> {
        StoreVaultItemSource::Defaults defaults{context.defaultProjectID, context.defaultProjectName,
                                                context.defaultCollectionID, context.defaultCollectionName,
                                                context.defaultCollectionKey};
        return std::make_shared<StoreVaultItemSource>(context.store, context.vault, std::move(defaults),
                                                      context.syncEngine, context.capturePresenter, clock);
    };
}

}  // namespace vael

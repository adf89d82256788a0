#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/agent/VaultItemSource.h"
#include "core/Uuid.h"
#include "crypto/VaultCrypto.h"
#include "store/SyncEngine.h"
#include "store/VaelStore.h"

namespace vael {

// What a session's agent item source is built from.
struct ItemSourceContext {
    std::shared_ptr<VaelStore> store;
    std::shared_ptr<VaultCrypto> vault;
    Uuid defaultProjectID;
    std::string defaultProjectName;
    Uuid defaultCollectionID;
    std::string defaultCollectionName;
    CollectionKey defaultCollectionKey;
    std::shared_ptr<SyncEngine> syncEngine;
    std::shared_ptr<CredentialCapturePresenter> capturePresenter;
};

// Builds the item source of one session; may throw, which fails the session opening.
using ItemSourceFactory = std::function<std::shared_ptr<VaultItemSource>(const ItemSourceContext&)>;

// User input seen anywhere in the application (clicks, key presses, scrolling); moves and releases
// do not count. Lives on the main thread.
class InputMonitor {
public:
    virtual ~InputMonitor() = default;
    // onInput runs on the main thread for each input; a second start replaces the first.
    virtual void start(std::function<void()> onInput) = 0;
    virtual void stop() = 0;
};

// Sleep, screen lock and screensaver: each must lock the vault. The handler gets a `done` function
// to call once the lock has finished, so that sleep can wait for it; it is called exactly once.
class SystemLockEventSource {
public:
    virtual ~SystemLockEventSource() = default;
    // Called once; events then reach onLockEvent on the main thread.
    virtual void subscribe(std::function<void(std::function<void()> done)> onLockEvent) = 0;
};

}  // namespace vael

#pragma once

// A server client that passes every call on to a target that can be swapped (a live client, or one
// pointed at a closed port), after running a hook that may act in between or throw in the client's place.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "api/SyncClientAPI.h"

namespace vael::test {

class RelayClient final : public SyncClientAPI {
public:
    explicit RelayClient(std::shared_ptr<SyncClientAPI> target) : target_(std::move(target)) {}

    void setTarget(std::shared_ptr<SyncClientAPI> target) {
        std::lock_guard lock(mutex_);
        target_ = std::move(target);
    }
    // Runs before each call, without the relay's lock, with the client method's name.
    void onCall(std::function<void(const std::string&)> hook) {
        std::lock_guard lock(mutex_);
        hook_ = std::move(hook);
    }

    CollectionDTO createCollection(const Uuid& orgId, const std::optional<Uuid>& id,
                                   const std::optional<Uuid>& parentId, const Bytes& nameBlob,
                                   const std::optional<Bytes>& nameWrappedKey, const Bytes& wrappedKey) override {
        return next("createCollection")->createCollection(orgId, id, parentId, nameBlob, nameWrappedKey, wrappedKey);
    }
    void patchCollection(const Uuid& id, const Bytes& nameBlob, const std::optional<Bytes>& nameWrappedKey,
                         const std::optional<Uuid>& parentId, std::int64_t sort) override {
        next("patchCollection")->patchCollection(id, nameBlob, nameWrappedKey, parentId, sort);
    }
    void deleteCollection(const Uuid& id) override { next("deleteCollection")->deleteCollection(id); }
    ItemDTO fetchItem(const Uuid& id) override { return next("fetchItem")->fetchItem(id); }
    ItemDTO createItem(const Uuid& collectionId, const ItemWriteBody& body) override {
        return next("createItem")->createItem(collectionId, body);
    }
    ItemDTO putItem(const Uuid& id, const ItemWriteBody& body, std::int64_t expectedRevision) override {
        return next("putItem")->putItem(id, body, expectedRevision);
    }
    void deleteItem(const Uuid& id) override { next("deleteItem")->deleteItem(id); }
    SyncResponseDTO sync(const std::optional<TimePoint>& since) override { return next("sync")->sync(since); }

private:
    std::shared_ptr<SyncClientAPI> next(const std::string& operation) {
        std::function<void(const std::string&)> hook;
        std::shared_ptr<SyncClientAPI> target;
        {
            std::lock_guard lock(mutex_);
            hook = hook_;
            target = target_;
        }
        if (hook) hook(operation);
        return target;
    }

    std::mutex mutex_;
    std::shared_ptr<SyncClientAPI> target_;
    std::function<void(const std::string&)> hook_;
};

}  // namespace vael::test

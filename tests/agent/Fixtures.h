#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "app/agent/VaultItemSource.h"
#include "app/custody/BiometricGate.h"

namespace vael::testing {

// An in-memory vault: fields by (group, item, field label), canned management answers, and a
// record of which operations were called. Safe to call from several connection threads.
class FixtureItemSource : public VaultItemSource {
public:
    void add(std::string group, std::string item, std::string field, ResolvedItem resolved) {
        std::lock_guard lock(mutex_);
        items_[{std::move(group), std::move(item), std::move(field)}] = std::move(resolved);
    }
    void setEntries(std::vector<VaultUDSListEntry> entries) {
        std::lock_guard lock(mutex_);
        entries_ = std::move(entries);
    }
    // Every management or browser operation throws this from now on.
    void failWith(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(error);
    }
    void setSecret(VaultUDSSecretMetadata secret) {
        std::lock_guard lock(mutex_);
        secret_ = std::move(secret);
    }
    void setGroup(VaultUDSGroup group) {
        std::lock_guard lock(mutex_);
        group_ = std::move(group);
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::optional<ResolvedItem> lookup(const VaultRef& ref) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("lookup");
        auto it = items_.find({ref.collection, ref.item, ref.field});
        if (it == items_.end()) return std::nullopt;
        return it->second;
    }
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>& collection,
                                        const std::optional<std::string>& query) override {
        std::lock_guard lock(mutex_);
        calls_.push_back("list " + collection.value_or("-") + " " + query.value_or("-"));
        if (failure_) std::rethrow_exception(failure_);
        return entries_;
    }
    VaultUDSSecretMetadata getSecret(const VaultUDSRequest&) override { return answer("getSecret", secret_); }
    VaultUDSSecretMetadata createSecret(const VaultUDSRequest&) override { return answer("createSecret", secret_); }
    // The four ask the approval they are handed with the request's name, and go on only on a yes.
    VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request, const ApproveChange& approve) override {
        record("updateSecret");
        if (!approve(request.name.value_or("-"))) throw VaultUDSManagementError(VaultUDSManagementError::Case::cancelled);
        return answer("updated", secret_);
    }
    VaultUDSDeleteResult deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve) override {
        record("deleteSecret");
        if (!approve(request.name.value_or("-"))) throw VaultUDSManagementError(VaultUDSManagementError::Case::cancelled);
        return answer("deleted", deleted_);
    }
    VaultUDSGroupList listGroups() override { return answer("listGroups", VaultUDSGroupList{{group_}}); }
    VaultUDSGroup getGroup(const VaultUDSRequest&) override { return answer("getGroup", group_); }
    VaultUDSDeleteResult deleteGroup(const VaultUDSRequest& request, const ApproveChange& approve) override {
        answer("deleteGroup", deleted_);  // a failing source fails before it asks
        if (!approve(request.group.value_or("-"))) throw VaultUDSManagementError(VaultUDSManagementError::Case::cancelled);
        return answer("deleted", deleted_);
    }
    VaultUDSProjectList listProjects() override {
        return answer("listProjects", VaultUDSProjectList{{VaultUDSProject{"P", "Personal"}}});
    }
    VaultUDSProject getProject(const VaultUDSRequest&) override {
        return answer("getProject", VaultUDSProject{"P", "Personal"});
    }
    VaultUDSDeleteResult deleteProject(const VaultUDSRequest& request, const ApproveChange& approve) override {
        answer("deleteProject", deleted_);
        if (!approve(request.project.value_or("-"))) throw VaultUDSManagementError(VaultUDSManagementError::Case::cancelled);
        return answer("deleted", deleted_);
    }
    VaultUDSBrowserFill browserFill(const VaultUDSRequest&) override {
        return answer("browserFill", VaultUDSBrowserFill{std::nullopt, "pw/1", std::nullopt});
    }

private:
    void record(const char* op) {
        std::lock_guard lock(mutex_);
        calls_.push_back(op);
    }
    template <class T>
    T answer(const char* op, const T& value) {
        std::lock_guard lock(mutex_);
        calls_.push_back(op);
        if (failure_) std::rethrow_exception(failure_);
        return value;
    }

    mutable std::mutex mutex_;
    std::map<std::tuple<std::string, std::string, std::string>, ResolvedItem> items_;
    std::vector<VaultUDSListEntry> entries_;
    std::exception_ptr failure_;
    VaultUDSSecretMetadata secret_{"ID", "vael://local/a/b", "a", "b", "password", UDSAIAccess::humanGated, "local"};
    VaultUDSGroup group_{"G", "local", "Personal", std::nullopt};
    VaultUDSDeleteResult deleted_{true};
    std::vector<std::string> calls_;
};

// Answers from a script (then `fallback`), records every reason, and can hold callers until
// released so that a test can act while a prompt is open.
class ScriptedGate : public BiometricGate {
public:
    explicit ScriptedGate(bool fallback = false) : fallback_(fallback) {}

    bool authenticate(const std::string& reason) override {
        std::unique_lock lock(mutex_);
        reasons_.push_back(reason);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holding_; });
        if (script_.empty()) return fallback_;
        bool answer = script_.front();
        script_.pop_front();
        return answer;
    }

    void script(std::initializer_list<bool> answers) {
        std::lock_guard lock(mutex_);
        script_.insert(script_.end(), answers);
    }
    void hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    // Blocks until `count` prompts have been asked in all.
    void waitForPrompts(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return reasons_.size() >= count; });
    }
    std::vector<std::string> reasons() const {
        std::lock_guard lock(mutex_);
        return reasons_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<bool> script_;
    bool fallback_;
    bool holding_ = false;
    std::vector<std::string> reasons_;
};

}  // namespace vael::testing

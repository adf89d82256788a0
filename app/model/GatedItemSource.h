#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/agent/VaultItemSource.h"
#include "app/agent/ops/StoreVaultItemSource.h"
#include "app/model/DefaultGroupGate.h"

namespace vael {

// The session's item source behind the default group's gate: while a rotation switches keys, agent
// requests wait, and none runs with the key being retired. A request gives its pass back while the
// owner is asked, so an open prompt never holds a rotation; the item source reads again after the
// answer.
class GatedItemSource final : public VaultItemSource {
public:
    GatedItemSource(std::shared_ptr<VaultItemSource> inner, std::shared_ptr<DefaultGroupGate> gate)
        : inner_(std::move(inner)), store_(std::dynamic_pointer_cast<StoreVaultItemSource>(inner_)),
          gate_(std::move(gate)) {}

    const std::shared_ptr<VaultItemSource>& inner() const { return inner_; }

    std::optional<ResolvedItem> lookup(const VaultRef& ref) override {
        auto pass = gate_->enter();
        return inner_->lookup(ref);
    }
    std::vector<VaultUDSListEntry> list(const std::optional<std::string>& collection, const std::optional<std::string>& query) override {
        auto pass = gate_->enter();
        return inner_->list(collection, query);
    }
    VaultUDSSecretMetadata captureSecret(const VaultUDSRequest& request) override {
        std::optional<DefaultGroupGate::Pass> pass(gate_->enter());
        if (!store_) return inner_->captureSecret(request);
        return store_->captureSecret(request, [&pass, gate = gate_](const std::function<void()>& ask) {
            pass.reset();
            ask();
            pass.emplace(gate->enter());
        });
    }
    VaultUDSSecretMetadata createSecret(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->createSecret(request);
    }
    VaultUDSSecretMetadata getSecret(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->getSecret(request);
    }
    VaultUDSSecretMetadata updateSecret(const VaultUDSRequest& request, const ApproveChange& approve) override {
        std::optional<DefaultGroupGate::Pass> pass(gate_->enter());
        return inner_->updateSecret(request, askWithoutPass(pass, approve));
    }
    VaultUDSDeleteResult deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve) override {
        std::optional<DefaultGroupGate::Pass> pass(gate_->enter());
        return inner_->deleteSecret(request, askWithoutPass(pass, approve));
    }
    VaultUDSGroupList listGroups() override {
        auto pass = gate_->enter();
        return inner_->listGroups();
    }
    VaultUDSGroup createGroup(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->createGroup(request);
    }
    VaultUDSGroup getGroup(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->getGroup(request);
    }
    VaultUDSGroup updateGroup(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->updateGroup(request);
    }
    VaultUDSDeleteResult deleteGroup(const VaultUDSRequest& request, const ApproveChange& approve) override {
        std::optional<DefaultGroupGate::Pass> pass(gate_->enter());
        return inner_->deleteGroup(request, askWithoutPass(pass, approve));
    }
    VaultUDSProject createProject(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->createProject(request);
    }
    VaultUDSProjectList listProjects() override {
        auto pass = gate_->enter();
        return inner_->listProjects();
    }
    VaultUDSProject getProject(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->getProject(request);
    }
    VaultUDSProject updateProject(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->updateProject(request);
    }
    VaultUDSDeleteResult deleteProject(const VaultUDSRequest& request, const ApproveChange& approve) override {
        std::optional<DefaultGroupGate::Pass> pass(gate_->enter());
        return inner_->deleteProject(request, askWithoutPass(pass, approve));
    }
    VaultUDSBrowserMatches browserMatch(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->browserMatch(request);
    }
    VaultUDSBrowserFill browserFill(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->browserFill(request);
    }
    VaultUDSBrowserTotp browserTotp(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->browserTotp(request);
    }
    VaultUDSSecretMetadata browserSave(const VaultUDSRequest& request) override {
        auto pass = gate_->enter();
        return inner_->browserSave(request);
    }

private:
    ApproveChange askWithoutPass(std::optional<DefaultGroupGate::Pass>& pass, const ApproveChange& approve) const {
        return [&pass, &approve, gate = gate_](const std::string& reason) {
            pass.reset();
            const bool yes = approve(reason);
            pass.emplace(gate->enter());
            return yes;
        };
    }

    std::shared_ptr<VaultItemSource> inner_;
    // The capture sheet is asked through it, so that no pass is held while the sheet is open.
    std::shared_ptr<StoreVaultItemSource> store_;
    std::shared_ptr<DefaultGroupGate> gate_;
};

}  // namespace vael

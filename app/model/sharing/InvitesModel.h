#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "api/InviteAPI.h"
#include "core/Uuid.h"

namespace vael {

// The members screen's invite list. A failed listing keeps the last list and says so: an unreachable
// server must not read as a project without invites.
class InvitesModel final : public QObject, public std::enable_shared_from_this<InvitesModel> {
    Q_OBJECT

public:
    static constexpr const char* kLoadFailed = "Could not load invites.";

    InvitesModel(std::shared_ptr<InviteAPI> api, Uuid orgId);

    const std::vector<InviteDTO>& invites() const { return invites_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    QCoro::Task<> reload();
    // Revokes, then reloads whether or not the revoke went through; a failed revoke says nothing.
    QCoro::Task<> revoke(std::string inviteId);

signals:
    void invitesChanged();
    void errorMessageChanged();

private:
    std::shared_ptr<InviteAPI> api_;
    Uuid orgId_;
    std::vector<InviteDTO> invites_;
    std::optional<std::string> errorMessage_;
};

}  // namespace vael

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

// The project's members as the server lists them, with role changes and removal. Lives on the main
// thread; every server call runs on a worker. Failures become one sentence, never the error's text.
class MembersViewModel final : public QObject, public std::enable_shared_from_this<MembersViewModel> {
    Q_OBJECT

public:
    struct Member {
        Uuid accountId;
        std::string role;
        std::string fingerprint;  // as the server reports it
        bool operator==(const Member&) const = default;
    };

    static constexpr const char* kLoadFailed = "Could not load members.";
    static constexpr const char* kRoleFailed = "Could not change the role.";
    static constexpr const char* kRemoveFailed = "Could not remove the member.";

    static const std::vector<std::string>& assignableRoles();

    // A model that never reaches a server.
    explicit MembersViewModel(std::vector<Member> members = {});
    MembersViewModel(std::shared_ptr<InviteAPI> api, Uuid orgId, std::vector<Member> members = {});

    const std::vector<Member>& members() const { return members_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    bool isLoading() const { return isLoading_; }

    QCoro::Task<> load();
    QCoro::Task<> setRole(Uuid accountId, std::string role);
    void setRole(int index, const std::string& role);  // locally only
    QCoro::Task<> remove(Uuid accountId);

signals:
    void membersChanged();
    void errorMessageChanged();
    void isLoadingChanged();

private:
    void setMembers(std::vector<Member> members);
    void setErrorMessage(std::optional<std::string> message);
    void setLoading(bool loading);

    std::shared_ptr<InviteAPI> api_;
    std::optional<Uuid> orgId_;
    std::vector<Member> members_;
    std::optional<std::string> errorMessage_;
    bool isLoading_ = false;
};

}  // namespace vael

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "api/AuthAPI.h"
#include "api/Records.h"
#include "app/auth/AccountError.h"
#include "app/auth/PasskeyCeremony.h"
#include "app/auth/SessionStore.h"
#include "core/SecureBytes.h"
#include "crypto/KeyRecords.h"
#include "crypto/VaultCrypto.h"

namespace vael {

// The account flows that need the server and a passkey: registering a vault's account, and logging
// in to unlock the vault with the passkey's PRF output. Both keep the login's session in the
// session store. Every call blocks. Failures are AccountError, except those of the session store,
// of VaultCrypto::addUnlockMethod and of the final current-account call, which pass unchanged.
// Holds no state besides its collaborators; one service runs one flow.
class AccountService {
public:
    struct Registration {
        AccountDTO account;       // as the current-account call answered it
        WrappedKey prfWrappedKey; // for the caller to add to the vault's wrapped keys
    };

    AccountService(std::shared_ptr<AuthAPI> api, std::shared_ptr<PasskeyCeremony> ceremony,
                   std::shared_ptr<VaultCrypto> vault, std::shared_ptr<SessionStore> sessions);

    // Registers the handle with a new passkey, logs in with it and adds a passkey unlock method to
    // the (unlocked) vault. Writes no file.
    Registration registerAccount(const std::string& handle, const AccountPublicKeys& accountPublicKeys,
                                 const Bytes& wrappedAccountPrivKeys);

    // Logs in with the passkey and unlocks the vault in place with its PRF output.
    void loginAndUnlock(const std::string& handle, const std::vector<WrappedKey>& wrappedKeys,
                        const Bytes& wrappedAccountPrivKeys);
    // The two halves of loginAndUnlock, for a caller that decides in between whether to unlock at
    // all: the login answers the passkey's PRF output and leaves the vault untouched.
    SecureBytes login(const std::string& handle) { return performLogin(handle); }
    void unlockWithPRFOutput(const SecureBytes& prfOutput, const std::vector<WrappedKey>& wrappedKeys,
                             const Bytes& wrappedAccountPrivKeys);

    // How a server failure reaches the user; a taken handle only counts as such while registering.
    static AccountError mapServer(const std::exception& error, bool registering);

private:
    SecureBytes performLogin(const std::string& handle);

    const std::shared_ptr<AuthAPI> api_;
    const std::shared_ptr<PasskeyCeremony> ceremony_;
    const std::shared_ptr<VaultCrypto> vault_;
    const std::shared_ptr<SessionStore> sessions_;
};

}  // namespace vael

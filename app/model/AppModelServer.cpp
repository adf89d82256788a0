// The account side of the model: passkey unlock and connecting a vault to a server account.

#include <algorithm>

#include <coroutine>

#include "app/auth/AccountService.h"
#include "app/model/AppModel.h"
#include "app/model/Blocking.h"
#include "app/model/OpeningGuard.h"

namespace vael {

namespace {

// Builds the account service of one flow; without a ceremony there is no passkey to use.
AccountService accountService(const std::shared_ptr<AuthAPI>& api, const std::shared_ptr<PasskeyCeremony>& ceremony,
                              const std::shared_ptr<VaultCrypto>& vault,
                              const std::shared_ptr<SessionStore>& sessions) {
    if (!ceremony) throw AccountError::ceremonyUnavailable("no passkey authenticator is available");
    return AccountService(api, ceremony, vault, sessions);
}

// Resumes the awaiting coroutine on the main thread at the model's next emission of `signal`.
class NextSignal {
public:
    NextSignal(AppModel* model, void (AppModel::*signal)()) : model_(model), signal_(signal) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) {
        connection_ = QObject::connect(
            model_, signal_, model_,
            [this, waiting] {
                QObject::disconnect(connection_);
                waiting.resume();
            },
            Qt::QueuedConnection);
    }
    void await_resume() const noexcept {}

private:
    AppModel* model_;
    void (AppModel::*signal_)();
    QMetaObject::Connection connection_;
};

// What a quiet attempt keeps to itself: the user's cancel, or no security key plugged in (a key
// that is simply absent must not leave a sentence under the form at every activation).
bool isQuietFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AccountError& error) {
        return error.kind() == AccountError::Kind::ceremonyCancelled || error.isNoSecurityKey();
    } catch (...) {
        return false;
    }
}

// While the vault is open there is nothing to unlock: the offline sentence ends before its advice.
constexpr std::string_view kConnectUnreachable = "The server is unreachable.";

bool isOffline(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AccountError& error) {
        return error.kind() == AccountError::Kind::offline;
    } catch (...) {
        return false;
    }
}

}  // namespace

std::string AppModel::describeAccountFailure(std::exception_ptr failure, std::string_view fallback) {
    try {
        std::rethrow_exception(failure);
    } catch (const AccountError& error) {
        switch (error.kind()) {
            case AccountError::Kind::ceremonyCancelled: return "Security key was cancelled.";
            case AccountError::Kind::serverRejected: return "The server rejected the passkey.";
            case AccountError::Kind::handleTaken: return "That handle is already taken.";
            case AccountError::Kind::offline:
                return "The server is unreachable \u2014 you can still unlock with your passphrase offline.";
            case AccountError::Kind::decoding:
            case AccountError::Kind::ceremonyUnavailable: break;
        }
    } catch (...) {
    }
    return std::string(fallback);
}

const std::string& AppModel::serverEndpoint() const { return client_->endpoint(); }

QCoro::Task<> AppModel::unlockWithPasskey(bool quietCancel) {
    QPointer<AppModel> self(this);
    if (session_ || closing_ > 0) co_return;
    if (passkeyWaiting_ && !passkeyAbandoned_) {
        // The press joins the attempt already waiting for the key: its outcome is the user's now.
        if (!quietCancel) passkeyLoud_ = true;
        co_return;
    }
    // A passphrase being checked starts no new wait for the key.
    if (isBusy()) co_return;
    // An attempt cancelled because the vault opened another way is still winding down.
    while (passkeyWaiting_) {
        NextSignal ended(this, &AppModel::passkeyAttemptEnded);
        co_await ended;
        if (!self || isBusy()) co_return;
    }
    const auto lockCount = lockCount_;
    std::exception_ptr failure;
    bool connected = false;
    // The wait for the security key claims nothing: a passphrase may open the vault meanwhile, and
    // then this attempt is cancelled and ends without a trace.
    passkeyWaiting_ = true;
    passkeyLoud_ = !quietCancel;
    passkeyAbandoned_ = false;
    const auto endWaiting = [this] {
        if (!passkeyWaiting_) return;
        passkeyWaiting_ = false;
        emit passkeyAttemptEnded();
    };
    try {
        auto read = runBlocking([configStore = configStore_] { return configStore.load(); });
        const auto config = co_await read;
        if (!self) co_return;
        if (!config.serverAccount) {
            endWaiting();
            setErrorMessage(std::string(kNoServerAccount));
            co_return;
        }
        auto login = runBlocking([api = authAPI_, ceremony = ceremony_, vault = vault_, sessions = sessions_,
                                  handle = config.serverAccount->handle] {
            return std::make_shared<SecureBytes>(accountService(api, ceremony, vault, sessions).login(handle));
        });
        auto prfOutput = co_await login;
        if (!self) co_return;
        // A passphrase being checked meanwhile decides first: this key opens the vault only if it
        // did not.
        while (opening_ && lockCount == lockCount_) {
            NextSignal ended(this, &AppModel::openingEnded);
            co_await ended;
            if (!self) co_return;
        }
        endWaiting();
        // Another way in got there first, or the vault was locked while the key waited.
        if (isBusy() || lockCount != lockCount_) co_return;
        OpeningGuard guard(this);
        auto unlocked = runBlocking([api = authAPI_, ceremony = ceremony_, vault = vault_, sessions = sessions_,
                                     config, prfOutput] {
            accountService(api, ceremony, vault, sessions)
                .unlockWithPRFOutput(*prfOutput, config.wrappedKeys, config.wrappedAccountPrivKeys);
        });
        co_await unlocked;
        if (!self) co_return;
        // A lock during the unlock ends this session before it starts; the opening below sees it.
        if (lockCount == lockCount_) {
            setServerConnected(true);
            connected = true;
        }
        co_await openSession(lockCount);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) co_return;
    const bool quiet = !passkeyLoud_ && quietCancel;
    const bool abandoned = passkeyAbandoned_;
    endWaiting();
    if (!failure) co_return;
    // The vault opened another way while this attempt waited: nothing to say about it, even when
    // it has been locked again since.
    if (session_ || abandoned) co_return;
    // This attempt reached the server, but no session opened to use it.
    if (connected) setServerConnected(false);
    if (quiet && isQuietFailure(failure)) co_return;
    setErrorMessage(describeOpeningFailure(failure, paths_).value_or(describeAccountFailure(failure, kPasskeyUnlockFailed)));
}

QCoro::Task<> AppModel::connectToServer(std::string handle) {
    if (phase_ != Phase::unlocked || !session_) {
        setErrorMessage(std::string(kConnectNeedsUnlock));
        co_return;
    }
    QPointer<AppModel> self(this);
    // Sessions end only by a lock, so an unchanged lock count means the same session.
    const auto lockCount = lockCount_;
    std::exception_ptr failure;
    try {
        auto registered = runBlocking([configStore = configStore_, api = authAPI_, ceremony = ceremony_,
                                       vault = vault_, sessions = sessions_, handle] {
            const auto config = configStore.load();
            return accountService(api, ceremony, vault, sessions)
                .registerAccount(handle, config.accountPublicKeys, config.wrappedAccountPrivKeys);
        });
        auto registration = co_await registered;
        if (!self) co_return;
        // Read afresh just before writing: only the account and the passkey key are ours to change.
        auto recorded = runBlocking([configStore = configStore_, account = ServerAccount{serverEndpoint(), handle,
                                                                                          registration.account.id.text()},
                                     key = registration.prfWrappedKey] {
            configStore.update([&](VaultConfig& config) {
                config.serverAccount = account;
                std::erase_if(config.wrappedKeys, [](const WrappedKey& k) { return k.method == UnlockMethod::prf; });
                config.wrappedKeys.push_back(key);
            });
        });
        co_await recorded;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) co_return;
    if (failure) {
        setErrorMessage(isOffline(failure) ? std::string(kConnectUnreachable)
                                           : describeAccountFailure(failure, kConnectFailed));
        co_return;
    }
    // The account exists whatever happened meanwhile; only the session it was made in is connected.
    letSessionCallServer();
    if (lockCount == lockCount_ && session_) setServerConnected(true);
    setPasskeyEnrolled(true);
    setErrorMessage(std::nullopt);
    co_await runSyncAndWait();
}

QCoro::Task<> AppModel::runSyncAndWait() {
    if (!session_) co_return;
    if (!syncRunning_) {
        co_await runSync();
        co_return;
    }
    // The run in flight may have read the server before this request: the one queued after it counts.
    syncAgain_ = true;
    NextSignal ended(this, &AppModel::syncRunsEnded);
    co_await ended;
}

}  // namespace vael

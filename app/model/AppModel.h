#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <qcoro/qcorotask.h>

#include "api/AuthAPI.h"
#include "api/BootstrapAPI.h"
#include "api/VaelAPIClient.h"
#include "app/auth/PasskeyCeremony.h"
#include "app/auth/SessionStore.h"
#include "app/custody/BiometricGate.h"
#include "app/custody/TrustedKeyStore.h"
#include "app/custody/VaelPaths.h"
#include "app/custody/VaultConfig.h"
#include "app/model/InviteLink.h"
#include "app/model/sharing/SharingContext.h"
#include "app/model/LiveCredentialCapturePresenter.h"
#include "app/model/ModelTime.h"
#include "app/model/SessionSeams.h"
#include "app/platform/SSHKeyGenerator.h"
#include "core/Clock.h"
#include "core/SecureBytes.h"
#include "crypto/ItemPayload.h"
#include "crypto/VaultCrypto.h"
#include "store/SyncPause.h"
#include "store/VaelSyncAPI.h"

class QTimer;

namespace vael {

template <class Result>
class Blocking;
class AcceptInviteViewModel;
class ItemDetailViewModel;
class DefaultGroupGate;
class ModelVault;
class ReplicaSnapshot;
class RotateCollectionViewModel;
class SyncCoordinator;
class VaelStore;
class VaultUDSServer;

// The synchronisation state the window shows.
struct AppSyncStatus {
    enum class Kind { synced, idle, syncing, offline };
    Kind kind = Kind::idle;
    std::optional<TimePoint> syncedAt;  // synced only: when the run ended

    static AppSyncStatus synced(TimePoint at) { return {Kind::synced, at}; }
    static AppSyncStatus idle() { return {Kind::idle, std::nullopt}; }
    static AppSyncStatus syncing() { return {Kind::syncing, std::nullopt}; }
    static AppSyncStatus offline() { return {Kind::offline, std::nullopt}; }
    bool operator==(const AppSyncStatus&) const = default;
};

// What the model is built with. Absent optional services get the live ones.
struct AppModelServices {
    std::shared_ptr<BiometricGate> biometric;  // required
    ItemSourceFactory makeItemSource;          // required: the agent item source of each session
    std::shared_ptr<AuthAPI> api;              // else the built server client
    std::shared_ptr<BootstrapAPI> bootstrapAPI;  // else the built server client
    std::shared_ptr<VaelSyncAPI> syncAPI;        // else a SyncAPIAdapter over the built client
    std::shared_ptr<InviteAPI> inviteAPI;        // else the built server client
    std::shared_ptr<CredentialCapturePresenter> capturePresenter;  // else liveCapture()
    std::shared_ptr<InputMonitor> inputMonitor;  // none: only agents and explicit calls count as activity
    std::shared_ptr<SystemLockEventSource> systemLockEvents;  // none: only the idle watch and lock() lock
    std::shared_ptr<TimerSource> timers;         // else QTimer and the boot-time clock
    std::shared_ptr<const Clock> clock;          // wall clock; else the system clock
    std::shared_ptr<SyncPause> syncPause;        // the sync engine's retry wait; else boot time
    Argon2Cost passphraseCost = Argon2Cost::standard();
    std::string serverBaseURL;  // else defaultBaseURL()

    // Account services: passkey unlock and server connection.
    std::shared_ptr<PasskeyCeremony> ceremony;  // none: passkey flows fail as unavailable (the app entry
                                                // hands in the platform's ceremony)
    std::shared_ptr<SessionStore> sessions;     // else the desktop keyring

    // Called on the worker after each step of making a new vault's files, with the step's name;
    // tests end the process there to see what a kill at that instant leaves.
    std::function<void(std::string_view step)> onCreationStep;
};

// The one application model: phases, vault sessions, auto-lock, kill switch and synchronisation.
// Lives on the main thread; every operation runs there and awaits blocking work on workers.
// Change signals fire only when a value really changes.
class AppModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(std::optional<vael::PendingInvite> pendingInvite READ pendingInvite NOTIFY pendingInviteChanged)
    Q_PROPERTY(std::optional<std::string> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool isServerConnected READ isServerConnected NOTIFY isServerConnectedChanged)
    Q_PROPERTY(bool isPasskeyEnrolled READ isPasskeyEnrolled NOTIFY isPasskeyEnrolledChanged)
    Q_PROPERTY(vael::AppSyncStatus syncStatus READ syncStatus NOTIFY syncStatusChanged)
    Q_PROPERTY(std::optional<std::string> syncFailureReason READ syncFailureReason NOTIFY syncFailureReasonChanged)
    Q_PROPERTY(qint64 conflictCount READ conflictCount NOTIFY conflictCountChanged)
    Q_PROPERTY(qint64 vaultRevision READ vaultRevision NOTIFY vaultRevisionChanged)
    Q_PROPERTY(bool killSwitchEnabled READ killSwitchEnabled WRITE setKillSwitchEnabled NOTIFY killSwitchEnabledChanged)
    Q_PROPERTY(qint64 autoLockMinutes READ autoLockMinutes WRITE setAutoLockMinutes NOTIFY autoLockMinutesChanged)

public:
    enum class Phase { onboarding, locked, unlocked, acceptingInvite };
    Q_ENUM(Phase)
    using SyncStatus = AppSyncStatus;

    // The kill switch agents' requests read, from any thread.
    class KillSwitchBox {
    public:
        bool value() const { return value_.load(); }
        void set(bool on) { value_.store(on); }

    private:
        std::atomic<bool> value_{false};
    };

    // The time of the last agent request, written by connection threads.
    class ActivityBox {
    public:
        BootTime value() const {
            std::lock_guard lock(mutex_);
            return value_;
        }
        void set(BootTime time) {
            std::lock_guard lock(mutex_);
            value_ = time;
        }

    private:
        mutable std::mutex mutex_;
        BootTime value_ = BootTime::min();
    };

    static const Uuid& localOrgID();         // the default project, "Personal"
    static const Uuid& localCollectionID();  // the default group, "local"
    static const std::string& defaultBaseURL();

    static constexpr std::int64_t kDefaultAutoLockMinutes = 60;
    static constexpr std::chrono::seconds kIdleTick{30};
    static constexpr std::chrono::seconds kHeartbeatOffline{30};
    static constexpr std::chrono::seconds kHeartbeatOnline{300};
    static constexpr std::string_view kIncompleteReplayReason =
        "Some changes are still waiting to be sent to the server.";

    // Builds services only: starts no task, opens no store, binds no socket. Throws
    // std::invalid_argument when a required service is missing.
    AppModel(VaelPaths paths, AppModelServices services, QObject* parent = nullptr);
    ~AppModel() override;

    Phase phase() const { return phase_; }
    const std::optional<PendingInvite>& pendingInvite() const { return pendingInvite_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<std::string> message);
    bool isServerConnected() const { return isServerConnected_; }
    bool isPasskeyEnrolled() const { return isPasskeyEnrolled_; }
    SyncStatus syncStatus() const { return syncStatus_; }
    const std::optional<std::string>& syncFailureReason() const { return syncFailureReason_; }
    qint64 conflictCount() const { return conflictCount_; }
    qint64 vaultRevision() const { return vaultRevision_; }
    bool killSwitchEnabled() const { return killSwitchEnabled_; }
    void setKillSwitchEnabled(bool enabled);
    qint64 autoLockMinutes() const { return autoLockMinutes_; }
    void setAutoLockMinutes(qint64 minutes);
    BootTime lastUIActivity() const { return lastUIActivity_; }

    const VaelPaths& paths() const { return paths_; }
    const VaultConfigStore& configStore() const { return configStore_; }
    const std::shared_ptr<VaultCrypto>& vault() const { return vault_; }
    // The presence gate each item detail asks before it reveals or copies.
    const std::shared_ptr<BiometricGate>& biometric() const { return biometric_; }
    const std::shared_ptr<LiveCredentialCapturePresenter>& liveCapture() const { return liveCapture_; }
    const std::shared_ptr<CredentialCapturePresenter>& capturePresenter() const { return capturePresenter_; }
    const std::shared_ptr<KillSwitchBox>& killSwitch() const { return killSwitch_; }
    const std::shared_ptr<ActivityBox>& mcpActivity() const { return mcpActivity_; }
    const std::shared_ptr<TrustedKeyStore>& trustStore() const { return trustStore_; }
    // Where every wait and tick of the model and its screens comes from, and the wall clock.
    TimerSource& timers() const { return *timers_; }
    const Clock& clock() const { return *clock_; }
    // The Argon2id cost new vaults are created with (tests build the model with a fast one).
    Argon2Cost passphraseCost() const { return passphraseCost_; }
    const std::shared_ptr<VaelAPIClient>& apiClient() const { return client_; }

    // Whether a session is open: its store, key, engine and socket server exist.
    bool hasSession() const { return session_ != nullptr; }
    // Whether an unlock or session opening is under way, or a security key is awaited.
    bool isOpening() const { return opening_ || passkeyWaiting_; }

    // The first screen: locked when a configuration exists, else onboarding (only when no session
    // is open), then the stored auto-lock minutes and passkey enrolment.
    void bootstrap();
    void handleInviteURL(std::string_view url);
    void dismissInvite();

    // These three do nothing while a session is open, an opening is under way or a lock is
    // finishing. The first two set errorMessage on failure and never raise.
    // `passphrase` is the one `vault` was made with; the vault opens without deriving it again.
    QCoro::Task<> completeOnboarding(NewVault vault, SecureBytes passphrase);
    QCoro::Task<> unlock(SecureBytes passphrase);
    // The passphrase is being typed: the replica's sealed rows are read now, for the first listing
    // after the unlock, so that neither the key derivation nor the list waits for the file. Does
    // nothing unless locked, or once a read is under way or held.
    void readAheadForUnlock();
    // Opens the session on an already unlocked vault (the unlock screen unlocks by itself). Raises
    // the opening's failure after undoing it and locking the vault.
    QCoro::Task<> finishSession();
    // Ends the session in the fixed order; the phase becomes locked last. Never raises.
    QCoro::Task<> lock();

    // One synchronisation run; a request during a run makes it run once more afterwards.
    QCoro::Task<> runSync();

    // Set by the account flows once the session reached the server account (passkey login or a
    // new connection); synchronisation runs only while it holds. The lock clears it.
    void setServerConnected(bool connected);

    // Stamps user activity (the input monitor calls this).
    void noteUserActivity();

    // MARK: passkey unlock and server connection (AppModelServer.cpp)

    static constexpr std::string_view kPasskeyUnlockFailed = "Security key unlock failed.";
    static constexpr std::string_view kNoServerAccount = "This vault isn't connected to a server yet.";
    static constexpr std::string_view kConnectNeedsUnlock = "Unlock the vault before connecting.";
    static constexpr std::string_view kConnectFailed = "Could not connect to the server.";

    // Logs in with the vault's passkey and opens the session with the key its PRF output opens.
    // Does nothing while a session is open, an opening is under way or a lock is finishing. A key
    // answered while a passphrase is being checked waits for that check and opens the vault if the
    // passphrase did not. A call
    // while another attempt waits for the key joins it (a loud call makes its failure reported);
    // a call while a cancelled attempt winds down starts after it. Failures set errorMessage,
    // except, when quietCancel holds, a cancelled prompt or no security key plugged in. Never raises.
    QCoro::Task<> unlockWithPasskey(bool quietCancel);
    // Registers an account for the open vault under a new passkey, records it in the configuration,
    // then waits for one synchronisation run. Failures set errorMessage. Never raises.
    QCoro::Task<> connectToServer(std::string handle);
    // The sentence an account flow's failure shows; the fallback where no case has its own.
    static std::string describeAccountFailure(std::exception_ptr failure, std::string_view fallback);
    // The server endpoint this model talks to, as recorded in a new server account.
    const std::string& serverEndpoint() const;

    // ---- Items, listings, structure, moves and deletions ----
    // (AppModelItems.cpp, AppModelListings.cpp, AppModelStructure.cpp, AppModelMoves.cpp)

    // The model's own error: no open session, or the item or group asked for cannot be found or opened.
    class AppError : public std::runtime_error {
    public:
        enum class Case { notUnlocked };
        explicit AppError(Case c) : std::runtime_error("The vault is locked."), case_(c) {}
        Case code() const { return case_; }
        bool operator==(const AppError& other) const { return case_ == other.case_; }

    private:
        Case case_;
    };

    struct ItemRow {
        Uuid id;
        std::string name;
        std::string fieldLabel;  // the first field's label
        std::string aiAccess;    // the tier text as stored
        Uuid groupID;
        bool operator==(const ItemRow&) const = default;
    };
    struct CodeRow {
        Uuid id;
        std::string name;
        std::optional<std::string> account;
        std::string otpFieldValue;  // an otpauth link or a bare secret, as stored
        bool operator==(const CodeRow&) const = default;
    };
    struct GroupNode {
        Uuid id;
        std::string name;
        Uuid projectID;
        std::optional<Uuid> parentID;
        bool operator==(const GroupNode&) const = default;
    };
    struct ProjectNode {
        Uuid id;
        std::string name;
        std::vector<GroupNode> groups;  // every depth, flat; nesting by parentID
        bool operator==(const ProjectNode&) const = default;
    };

    // Item writes raise AppError(notUnlocked) without a session or when the item or group cannot be
    // found or opened, and pass every other failure on unchanged; they never set errorMessage.
    // No group means the default group. Answers the new item's id.
    QCoro::Task<Uuid> addItem(ItemPayload payload, std::string type, std::string aiAccess,
                              std::optional<Uuid> groupID = std::nullopt);
    // Many new items of the default group, in order, in one write: every one or none.
    QCoro::Task<> addItems(std::vector<ItemPayload> payloads, std::string type, std::string aiAccess);
    // A login item from parts; answers its reference text.
    QCoro::Task<std::string> addItem(std::string name, std::string fieldLabel, std::string value, std::string aiAccess,
                                     std::optional<std::string> username, std::optional<Uuid> groupID = std::nullopt);
    QCoro::Task<> updateItemWebsite(Uuid id, std::optional<std::string> url, bool strictMatch);
    QCoro::Task<> setOTPField(Uuid item, std::string fieldValue);
    // Generates the pair off the main thread, stores it as an item of the default group and answers it.
    QCoro::Task<SSHKeyPair> createSSHKey(std::string name, SSHKeyType type, SecureBytes passphrase,
                                         std::string aiAccess);
    // Where key generation runs; tests point it elsewhere.
    void setSSHKeyOptions(SSHKeyGenerator::Options options) { sshKeyOptions_ = std::move(options); }

    // Listings: empty without a session; never raise.
    QCoro::Task<std::vector<ItemRow>> listItems();
    QCoro::Task<std::vector<CodeRow>> listCodes();
    QCoro::Task<std::vector<ProjectNode>> vaultTree();
    // The decrypted item; nothing when it is missing, locked away or cannot be opened or decoded.
    QCoro::Task<std::optional<ItemPayload>> loadPayload(Uuid id);

    // The window's listing: rows, codes and tree read whole, or only the items written since an earlier
    // read of the same store (the store's change journal says which). A full listing places an item
    // by its group's place, then by its sealed name, as the store orders them.
    struct ListingPlace {
        std::size_t group = 0;
        Bytes nameBlob;
        auto operator<=>(const ListingPlace&) const = default;
    };
    struct ListingEntry {
        Uuid id;
        ListingPlace place;
        std::optional<ItemRow> row;  // none: not listed (gone, in no listed group, unreadable, no fields)
        std::optional<CodeRow> code;
    };
    struct ListingBasis {
        std::weak_ptr<const VaelStore> store;
        std::uint64_t keyEpoch = 0;
        std::uint64_t mark = 0;
        std::shared_ptr<const std::unordered_map<Uuid, std::size_t>> groups;  // listed groups, by place
    };
    struct ListingRead {
        bool whole = true;
        std::uint64_t from = 0;             // a part read: the mark it continues from
        std::vector<ListingEntry> entries;  // whole: the listed items as the window orders them
                                            // (DisplayOrder), then the rest; a part: the items written
        std::vector<ProjectNode> tree;      // whole reads only
        std::optional<ListingBasis> basis;  // none without a session
    };
    // Never raises; without a session the read is whole and empty. A whole read starts as the
    // session opens; the first whole read asked for awaits that one, unless the store was written since.
    QCoro::Task<ListingRead> readListing(std::optional<ListingBasis> since);

    // Structure and deletions: silent without a session or for what cannot be read or opened; a
    // failed write sets errorMessage. None raises.
    QCoro::Task<> renameGroup(Uuid id, std::string name);
    QCoro::Task<> renameProject(Uuid id, std::string name);
    QCoro::Task<std::optional<Uuid>> createProject(std::string name);
    QCoro::Task<std::optional<Uuid>> createGroup(std::string name, Uuid project, std::optional<Uuid> parent);
    QCoro::Task<> moveGroup(Uuid id, Uuid project, std::optional<Uuid> parent);
    QCoro::Task<> moveItem(Uuid id, Uuid group);
    QCoro::Task<> deleteItem(Uuid id);
    QCoro::Task<> deleteGroup(Uuid id);
    QCoro::Task<> deleteProject(Uuid id);

    // The group and every live group below it; nothing when the groups cannot be read.
    std::optional<std::unordered_set<Uuid>> descendantCollectionIDs(const Uuid& id) const;

    // ---- Sharing (AppModelSharing.cpp) ----

    static constexpr std::string_view kRotationFailed = "Rotation failed.";
    static constexpr std::string_view kLocalRotationFailed = "Rotated on the server but failed to update the local copy.";

    const std::shared_ptr<InviteAPI>& inviteAPI() const { return inviteAPI_; }
    // The default group's open key; none while no session is open.
    std::optional<CollectionKey> collectionKey() const;
    // Where invite links point: the scheme, host and any port of serverEndpoint().
    std::string publicBaseURL() const;
    // The default project shared by its owner; none while no session is open.
    std::optional<SharingContext> makeSharingContext() const;
    // An item's detail model over its opened payload and the presence gate, nothing revealed; none
    // without a session, for an unknown item or a payload that does not open.
    QCoro::Task<std::unique_ptr<ItemDetailViewModel>> makeItemDetailViewModel(Uuid id);
    // Works without a session; the own fingerprint is read afresh from the configuration ("" when
    // it cannot be read).
    std::shared_ptr<AcceptInviteViewModel> makeAcceptInviteViewModel(std::string token) const;
    // The default group's rotation over its items as stored; none while no session is open.
    std::shared_ptr<RotateCollectionViewModel> makeRotateCollectionViewModel(std::uint32_t currentKeyEpoch) const;
    // Rotates the default group's key on the server, then switches the local copy in one store
    // transaction. Every write to the default group waits from the item read until the switch.
    // Outcome in errorMessage and collectionKey(); never raises.
    QCoro::Task<> rotateLocalCollection(std::uint32_t currentKeyEpoch);

public slots:
    // Sleep, screen lock and screensaver: locks any open session and ends an opening under way.
    void lockForSystemEvent();

signals:
    void phaseChanged();
    void pendingInviteChanged();
    void errorMessageChanged();
    void isServerConnectedChanged();
    void isPasskeyEnrolledChanged();
    void syncStatusChanged();
    void syncFailureReasonChanged();
    void conflictCountChanged();
    void vaultRevisionChanged();
    void killSwitchEnabledChanged();
    void autoLockMinutesChanged();
    // A run of synchronisation and the runs queued behind it have ended.
    void syncRunsEnded();
    // An unlock or session opening has ended, however it ended.
    void openingEnded();
    // A security-key unlock attempt has ended, however it ended.
    void passkeyAttemptEnded();

private:
    struct Session;
    // The open session's engine may call the server from now on: the vault has an account.
    void letSessionCallServer();
    void subscribeToSystemLockEvents();
    class OpeningGuard;

    // ---- Items, listings, structure, moves and deletions ----
    // The open session's vault objects for blocking work on a worker; none while locked.
    std::optional<ModelVault> modelVault() const;
    // A listing read on a worker (AppModelListings.cpp).
    // A whole read takes its rows from `readAhead` while that still stands for the store.
    static Blocking<ListingRead> startListingRead(ModelVault work, std::optional<ListingBasis> since,
                                                  std::shared_ptr<ReplicaSnapshot> readAhead = nullptr);
    // The open session's first whole read, once; none after it was taken or without a session.
    std::optional<Blocking<ListingRead>> takeFirstListing();
    // The open session's default group key becomes `key`, for the model and the agent item source.
    void switchDefaultCollectionKey(const CollectionKey& key);
    SSHKeyGenerator::Options sshKeyOptions_;

    bool isBusy() const { return session_ != nullptr || opening_ || closing_ > 0; }
    // The security key awaited is no longer wanted (the vault opened or locked another way): its
    // request is cancelled, its prompt closes and its outcome is dropped.
    void abandonWaitingPasskey();
    // The vault's replica must be there: a vault being created makes its replica before its vault.json.
    // Its first listing reads from `readAhead`, the replica's rows read before the unlock.
    QCoro::Task<> openSession(std::uint64_t lockCountAtStart, std::shared_ptr<ReplicaSnapshot> readAhead = nullptr);
    void noteStoreChange();
    void startActivityMonitoring();
    void stopActivityMonitoring();
    void startIdleWatch();
    void onIdleTick();
    void persistAutoLock();
    QCoro::Task<> runSyncOnce();
    QCoro::Task<> startSyncHeartbeat();
    QCoro::Task<> scheduleHeartbeat(std::uint64_t generation);
    QCoro::Task<> heartbeatRun(std::uint64_t generation);
    bool isCurrent(std::uint64_t sessionID) const;

    void setPhase(Phase phase);
    void setPendingInvite(std::optional<PendingInvite> invite);
    void setPasskeyEnrolled(bool enrolled);
    void setSyncStatus(SyncStatus status);
    void setSyncFailureReason(std::optional<std::string> reason);
    void setConflictCount(qint64 count);

    Phase phase_ = Phase::locked;
    std::optional<PendingInvite> pendingInvite_;
    std::optional<std::string> errorMessage_;
    bool isServerConnected_ = false;
    bool isPasskeyEnrolled_ = false;
    SyncStatus syncStatus_;
    std::optional<std::string> syncFailureReason_;
    qint64 conflictCount_ = 0;
    qint64 vaultRevision_ = 0;
    bool killSwitchEnabled_ = false;
    qint64 autoLockMinutes_ = kDefaultAutoLockMinutes;
    BootTime lastUIActivity_;

    const VaelPaths paths_;
    const VaultConfigStore configStore_;
    std::shared_ptr<BiometricGate> biometric_;
    ItemSourceFactory makeItemSource_;
    std::shared_ptr<TimerSource> timers_;
    std::shared_ptr<const Clock> clock_;
    Argon2Cost passphraseCost_;
    std::shared_ptr<SyncPause> syncPause_;
    std::shared_ptr<VaelAPIClient> client_;
    std::shared_ptr<AuthAPI> authAPI_;
    std::shared_ptr<BootstrapAPI> bootstrapAPI_;
    std::shared_ptr<VaelSyncAPI> syncAPI_;
    std::shared_ptr<InviteAPI> inviteAPI_;
    std::shared_ptr<DefaultGroupGate> defaultGroupGate_;
    std::shared_ptr<TrustedKeyStore> trustStore_;
    std::shared_ptr<VaultCrypto> vault_;
    std::shared_ptr<KillSwitchBox> killSwitch_;
    std::shared_ptr<ActivityBox> mcpActivity_;
    std::shared_ptr<LiveCredentialCapturePresenter> liveCapture_;
    std::shared_ptr<CredentialCapturePresenter> capturePresenter_;
    std::shared_ptr<InputMonitor> inputMonitor_;
    std::shared_ptr<SystemLockEventSource> systemLockEvents_;
    bool subscribedToSystemLockEvents_ = false;

    std::shared_ptr<Session> session_;
    struct ReadAhead;
    std::unique_ptr<ReadAhead> readAhead_;  // while locked: the replica's rows, read for the next unlock
    std::uint64_t nextSessionID_ = 1;
    bool opening_ = false;
    bool passkeyWaiting_ = false;  // a security-key login waits for the user; claims nothing yet
    bool passkeyLoud_ = false;     // the user asked for the attempt waiting: its failure is reported
    bool passkeyAbandoned_ = false;  // the attempt waiting was cancelled: another way opened the vault
    int closing_ = 0;        // locks between their first step and their last
    std::uint64_t lockCount_ = 0;

    std::unique_ptr<ModelTimer> idleTimer_;
    std::unique_ptr<ModelTimer> heartbeatTimer_;
    // Not the injected timers: when the allocator is trimmed changes nothing a caller sees.
    QTimer* memoryTrimTimer_ = nullptr;
    static constexpr std::chrono::seconds kMemoryTrimAfterQuiet{5};
    std::uint64_t heartbeatGeneration_ = 0;
    bool syncRunning_ = false;
    bool syncAgain_ = false;

    // What the person reads when opening fails for a reason that is not the passphrase or the security
    // key: a storage fault names the file and its cause, and nothing was changed. Nothing otherwise.
    static std::optional<std::string> describeOpeningFailure(std::exception_ptr error, const VaelPaths& paths);

    // MARK: passkey unlock and server connection (AppModelServer.cpp)
    // Requests a run and returns once a run begun after the request has ended.
    QCoro::Task<> runSyncAndWait();
    std::shared_ptr<PasskeyCeremony> ceremony_;
    std::shared_ptr<SessionStore> sessions_;
    std::function<void(std::string_view)> onCreationStep_;
};

}  // namespace vael

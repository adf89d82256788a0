#include "app/model/AppModel.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/agent/VaultResolver.h"
#include "app/agent/VaultUDSServer.h"
#include "app/agent/ops/StoreVaultItemSource.h"
#include "app/custody/PrivateFiles.h"
#include "app/auth/SecretSessionStore.h"
#include "app/model/Blocking.h"
#include "app/model/OpeningGuard.h"
#include "app/model/DefaultGroupGate.h"
#include "app/model/DefaultRecords.h"
#include "app/model/GatedItemSource.h"
#include "app/model/ModelVault.h"
#include "app/model/ReplicaFile.h"
#include "app/sync/SyncAPIAdapter.h"
#include "app/sync/SyncCoordinator.h"
#include "core/Log.h"
#include "core/Memory.h"
#include "store/ReplicaSnapshot.h"
#include "store/StorageFault.h"

#ifndef VAEL_DEFAULT_SERVER_URL
#define VAEL_DEFAULT_SERVER_URL "https://vael.invalid/api/v1"
#endif

namespace vael {

namespace {

constexpr std::string_view kLogCategory = "model";
constexpr std::string_view kUnlockFailed = "Unlock failed \u2014 check your passphrase.";
constexpr std::string_view kCreateFailed = "Could not create the vault: ";
constexpr std::string_view kAutoLockSaveFailed = "Couldn't save the auto-lock setting.";
constexpr std::string_view kVaultExists = "a vault already exists on this computer \u2014 unlock it instead.";

std::string describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// Delivers store notifications on the main thread.
void postToMainThread(std::function<void()> work) {
    if (auto* app = QCoreApplication::instance()) QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

// The one-time registration of the default project and group on the server.
void registerDefaultsIfNeeded(const VaultConfigStore& configStore, SyncCoordinator& coordinator, VaelStore& store,
                              VaultCrypto& vault, const std::optional<CollectionKey>& collectionKey) {
    if (configStore.load().serverBootstrapped.value_or(false)) return;
    if (!collectionKey) return;
    const auto groups = store.collections(AppModel::localOrgID());
    auto group = std::find_if(groups.begin(), groups.end(),
                              [](const CollectionRecord& record) { return record.id == AppModel::localCollectionID(); });
    if (group == groups.end()) return;
    auto projectName = vault.sealBlob(SecureBytes(kDefaultProjectName), AppModel::localOrgID(), *collectionKey);
    coordinator.bootstrap(AppModel::localOrgID(), AppModel::localCollectionID(), projectName.blob, group->nameBlob,
                          group->wrappedKey);
    configStore.update([](VaultConfig& config) { config.serverBootstrapped = true; });
}

// Whether the files at these paths may become the new vault's: answers true when vault.json
// already holds this vault (a retry after its opening failed), false when there is no vault.json.
// A configuration this onboarding did not write belongs to another vault: writing over it would
// leave neither passphrase able to open anything. What a creation cut short left is removed; a
// replica without a configuration belongs to no vault that can still be opened and is kept, under
// another name.
bool claimVaultFiles(const VaultConfigStore& configStore, const std::string& replica, const VaultConfig& config) {
    if (!configStore.exists()) {
        setReplicaAside(replica);
        removeUnfinishedReplica(replica);
        return false;
    }
    std::optional<VaultConfig> existing;
    try {
        existing = configStore.load();
    } catch (const std::exception&) {
        // Unreadable is not ours either.
    }
    if (!existing || existing->wrappedKeys != config.wrappedKeys ||
        existing->accountPublicKeys != config.accountPublicKeys ||
        existing->wrappedAccountPrivKeys != config.wrappedAccountPrivKeys) {
        throw std::runtime_error(std::string(kVaultExists));
    }
    return true;
}

// Makes a new vault's files and leaves its keys open. vault.json comes last, after the replica was
// built whole under another name and moved into place, so a kill at any instant leaves either no
// vault (the next start offers onboarding, which succeeds over what was left) or a whole vault.
// The keys open with the creation's recovery code: the passphrase's costly derivation already ran
// when the vault was made, and its result is in the new vault's wrapped keys.
void makeVaultFiles(const VaultConfigStore& configStore, const std::string& replica, VaultCrypto& vault,
                    const NewVault& newVault, const Clock& clock,
                    const std::function<void(std::string_view)>& onStep) {
    const auto reached = [&](std::string_view step) {
        if (onStep) onStep(step);
    };
    const auto fresh = VaultConfig::fromNewVault(newVault);
    const bool written = claimVaultFiles(configStore, replica, fresh);
    reached("claimed");
    vault.unlock(newVault.wrappedKeys, newVault.wrappedAccountPrivKeys, UnlockInput::recoveryCode(newVault.recoveryCode));
    reached("unlocked");
    if (written) return;
    try {
        const auto staged = stagedReplicaPath(replica);
        prepareReplicaFile(staged);
        {
            VaelStore store(staged);
            reached("replica-opened");
            ensureDefaultCollection(store, vault, clock);
        }
        reached("replica-built");
        placeStagedReplica(replica);
        reached("replica-placed");
        configStore.save(fresh);
        reached("config-saved");
    } catch (...) {
        vault.lock();
        throw;
    }
}

// The vault's configuration is there but its replica is not (or is empty): opening would make an
// empty vault under a new default-group key.
class MissingReplica : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void requireReplica(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size == 0)
        throw MissingReplica("The vault's data file " + path + " is missing. Nothing was created.");
}

}  // namespace

std::optional<std::string> AppModel::describeOpeningFailure(std::exception_ptr error, const VaelPaths& paths) {
    try {
        std::rethrow_exception(error);
    } catch (const MissingReplica& e) {
        return std::string(e.what());
    } catch (const VaultConfigError& e) {
        if (e.kind() == VaultConfigError::Kind::Malformed)
            return "The vault's settings file " + paths.vaultConfig + " is damaged. Nothing was changed.";
        return std::string(e.what());
    } catch (const PrivateFileError& e) {
        // The folder's own sentence says what to do about it.
        return std::string(e.what());
    } catch (const VaultUDSServer::UDSError& e) {
        if (auto cause = systemFaultCause(e.error()))
            return "The agent socket " + paths.socket + " could not be made (" + *cause + "). Nothing was changed.";
        std::string text = e.what();
        if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        return text + ".";
    } catch (const std::exception& e) {
        if (auto cause = storageFaultCause(e))
            return "The vault's data file " + paths.replica + " could not be opened (" + *cause + "). Nothing was changed.";
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

// The replica's rows read for the next unlock (ReplicaSnapshot), or none where the file gave none.
struct AppModel::ReadAhead {
    Blocking<std::optional<ReplicaSnapshot>> rows;
};

// The objects of one open vault.
struct AppModel::Session {
    std::uint64_t id = 0;
    std::shared_ptr<VaelStore> store;
    std::optional<CollectionKey> collectionKey;
    VaultObservationToken observer;
    std::shared_ptr<SyncEngine> engine;
    std::shared_ptr<SyncCoordinator> coordinator;
    std::unique_ptr<VaultUDSServer> server;
    std::shared_ptr<VaultItemSource> itemSource;  // as built, inside the gate the resolver holds
    std::optional<Blocking<ListingRead>> firstListing;  // started as the session opened, until taken
    std::uint64_t writesBeforeFirstListing = 0;        // the store's writes when it started

    // Reverse order of opening: the socket goes first so no agent reaches what follows.
    void tearDown() {
        if (server) server->stop();
        server.reset();
        observer.cancel();
        itemSource.reset();
        firstListing.reset();
        store.reset();
        collectionKey.reset();
        engine.reset();
        coordinator.reset();
    }
};

const Uuid& AppModel::localOrgID() {
    static const Uuid id = Uuid::fromText("00000000-0000-0000-0000-00000000A000");
    return id;
}

const Uuid& AppModel::localCollectionID() {
    static const Uuid id = Uuid::fromText("00000000-0000-0000-0000-00000000C001");
    return id;
}

const std::string& AppModel::defaultBaseURL() {
    static const std::string url = VAEL_DEFAULT_SERVER_URL;
    return url;
}

std::optional<ModelVault> AppModel::modelVault() const {
    if (!session_ || !session_->store || !session_->collectionKey) return std::nullopt;
    return ModelVault(session_->store, vault_, *session_->collectionKey, session_->engine, clock_, defaultGroupGate_);
}

std::optional<Blocking<AppModel::ListingRead>> AppModel::takeFirstListing() {
    if (!session_) return std::nullopt;
    auto first = std::exchange(session_->firstListing, std::nullopt);
    // A write since it started may be missing from it.
    if (session_->store->contentWriteCount() != session_->writesBeforeFirstListing) return std::nullopt;
    return first;
}

void AppModel::switchDefaultCollectionKey(const CollectionKey& key) {
    if (!session_) return;
    session_->collectionKey = key;
    if (auto source = std::dynamic_pointer_cast<StoreVaultItemSource>(session_->itemSource))
        source->setDefaultCollectionKey(key);
}

AppModel::AppModel(VaelPaths paths, AppModelServices services, QObject* parent)
    : QObject(parent), paths_(std::move(paths)), configStore_(paths_.vaultConfig) {
    if (!services.biometric) throw std::invalid_argument("AppModel needs a biometric gate");
    if (!services.makeItemSource) throw std::invalid_argument("AppModel needs an item source factory");
    biometric_ = std::move(services.biometric);
    makeItemSource_ = std::move(services.makeItemSource);
    timers_ = services.timers ? std::move(services.timers) : std::make_shared<LiveTimerSource>();
    clock_ = services.clock ? std::move(services.clock) : std::make_shared<SystemClock>();
    syncPause_ = services.syncPause ? std::move(services.syncPause) : std::make_shared<BootTimePause>();

    passphraseCost_ = services.passphraseCost;
    vault_ = std::make_shared<VaultCrypto>(passphraseCost_);
    killSwitch_ = std::make_shared<KillSwitchBox>();
    liveCapture_ = std::make_shared<LiveCredentialCapturePresenter>();
    mcpActivity_ = std::make_shared<ActivityBox>();
    lastUIActivity_ = timers_->now();

    capturePresenter_ = services.capturePresenter ? std::move(services.capturePresenter)
                                                  : std::shared_ptr<CredentialCapturePresenter>(liveCapture_);
    // One server client always exists; it serves every role no host replaced.
    client_ = std::make_shared<VaelAPIClient>(services.serverBaseURL.empty() ? defaultBaseURL() : services.serverBaseURL);
    authAPI_ = services.api ? std::move(services.api) : std::shared_ptr<AuthAPI>(client_);
    bootstrapAPI_ = services.bootstrapAPI ? std::move(services.bootstrapAPI) : std::shared_ptr<BootstrapAPI>(client_);
    syncAPI_ = services.syncAPI ? std::move(services.syncAPI) : std::make_shared<SyncAPIAdapter>(client_);
    inviteAPI_ = services.inviteAPI ? std::move(services.inviteAPI) : std::shared_ptr<InviteAPI>(client_);
    // A worker waiting out a key switch lends its pool thread, so the switch itself finds one.
    defaultGroupGate_ = std::make_shared<DefaultGroupGate>([] { QThreadPool::globalInstance()->releaseThread(); },
                                                           [] { QThreadPool::globalInstance()->reserveThread(); });
    trustStore_ = std::make_shared<FileTrustedKeyStore>(paths_.trustedKeys());
    inputMonitor_ = std::move(services.inputMonitor);
    systemLockEvents_ = std::move(services.systemLockEvents);
    ceremony_ = std::move(services.ceremony);
    sessions_ = services.sessions ? std::move(services.sessions) : std::make_shared<SecretSessionStore>();
    onCreationStep_ = std::move(services.onCreationStep);

    idleTimer_ = timers_->makeTimer();
    heartbeatTimer_ = timers_->makeTimer();
    memoryTrimTimer_ = new QTimer(this);
    memoryTrimTimer_->setSingleShot(true);
    memoryTrimTimer_->setInterval(kMemoryTrimAfterQuiet);
    connect(memoryTrimTimer_, &QTimer::timeout, this, [] { QThreadPool::globalInstance()->start(releaseFreedMemory); });
}

AppModel::~AppModel() {
    // Nothing outlives the model serving agents or holding keys.
    ++heartbeatGeneration_;
    idleTimer_->stop();
    heartbeatTimer_->stop();
    if (inputMonitor_ && session_) inputMonitor_->stop();
    if (session_) session_->tearDown();
    session_.reset();
    liveCapture_->close();
    vault_->lock();
}

// MARK: - observable state

void AppModel::setPhase(Phase phase) {
    if (phase == phase_) return;
    phase_ = phase;
    emit phaseChanged();
}

void AppModel::setPendingInvite(std::optional<PendingInvite> invite) {
    if (invite == pendingInvite_) return;
    pendingInvite_ = std::move(invite);
    emit pendingInviteChanged();
}

void AppModel::setErrorMessage(std::optional<std::string> message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    emit errorMessageChanged();
}

void AppModel::letSessionCallServer() {
    if (session_) session_->engine->setServerAccount(true);
}

void AppModel::setServerConnected(bool connected) {
    if (connected == isServerConnected_) return;
    isServerConnected_ = connected;
    if (connected) letSessionCallServer();
    emit isServerConnectedChanged();
}

void AppModel::setPasskeyEnrolled(bool enrolled) {
    if (enrolled == isPasskeyEnrolled_) return;
    isPasskeyEnrolled_ = enrolled;
    emit isPasskeyEnrolledChanged();
}

void AppModel::setSyncStatus(SyncStatus status) {
    if (status == syncStatus_) return;
    syncStatus_ = status;
    emit syncStatusChanged();
}

void AppModel::setSyncFailureReason(std::optional<std::string> reason) {
    if (reason == syncFailureReason_) return;
    syncFailureReason_ = std::move(reason);
    emit syncFailureReasonChanged();
}

void AppModel::setConflictCount(qint64 count) {
    if (count == conflictCount_) return;
    conflictCount_ = count;
    emit conflictCountChanged();
}

void AppModel::noteStoreChange() {
    ++vaultRevision_;
    emit vaultRevisionChanged();
    // Once a burst of writes is over, what it freed goes back to the system.
    memoryTrimTimer_->start();
}

// MARK: - bootstrap and invites

void AppModel::bootstrap() {
    // An open session keeps its phase: a lock screen must never hide a socket that still serves.
    if (!isBusy()) setPhase(configStore_.exists() ? Phase::locked : Phase::onboarding);
    subscribeToSystemLockEvents();
    if (!isBusy()) {
        removeInterruptedWrites(paths_.vaultConfig);
        removeInterruptedWrites(paths_.trustedKeys());
    }
    try {
        const auto config = configStore_.load();
        const bool hasPasskeyKey = std::any_of(config.wrappedKeys.begin(), config.wrappedKeys.end(),
                                               [](const WrappedKey& key) { return key.method == UnlockMethod::prf; });
        setPasskeyEnrolled(config.serverAccount.has_value() && hasPasskeyKey);
        setAutoLockMinutes(config.autoLockMinutes.value_or(kDefaultAutoLockMinutes));
    } catch (...) {
        // An unreadable configuration only decides the phase.
    }
}

void AppModel::handleInviteURL(std::string_view url) {
    auto token = InviteLink::parseToken(url);
    if (!token) return;
    setPendingInvite(PendingInvite{std::move(*token)});
    if (phase_ == Phase::unlocked) setPhase(Phase::acceptingInvite);
}

void AppModel::dismissInvite() {
    setPendingInvite(std::nullopt);
    if (phase_ == Phase::acceptingInvite) setPhase(Phase::unlocked);
}

// MARK: - onboarding and unlock

QCoro::Task<> AppModel::completeOnboarding(NewVault newVault, SecureBytes /*passphrase*/) {
    if (isBusy()) co_return;
    QPointer<AppModel> self(this);
    OpeningGuard guard(this);
    const auto lockCount = lockCount_;
    std::exception_ptr failure;
    try {
        auto created = runBlocking([configStore = configStore_, replica = paths_.replica, vault = vault_,
                                    clock = clock_, newVault = std::move(newVault), onStep = onCreationStep_] {
            makeVaultFiles(configStore, replica, *vault, newVault, *clock, onStep);
        });
        co_await created;
        if (!self) co_return;
        co_await openSession(lockCount);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure && self) setErrorMessage(std::string(kCreateFailed) + describe(failure));
}

void AppModel::readAheadForUnlock() {
    if (phase_ != Phase::locked || isBusy() || readAhead_) return;
    readAhead_ = std::make_unique<ReadAhead>(
        ReadAhead{runBlocking([path = paths_.replica] { return ReplicaSnapshot::read(path); })});
}

QCoro::Task<> AppModel::unlock(SecureBytes passphrase) {
    if (isBusy()) co_return;
    QPointer<AppModel> self(this);
    const auto lockCount = lockCount_;
    // The first listing opens the rows read while the passphrase was typed (or read now, beside the
    // key derivation), only if nothing wrote the file in between.
    readAheadForUnlock();
    auto readAhead = std::move(readAhead_);
    OpeningGuard guard(this);
    std::optional<std::string> failure;
    try {
        auto unlocked = runBlocking([configStore = configStore_, vault = vault_, passphrase = std::move(passphrase)]() mutable {
            const auto config = configStore.load();
            vault->unlock(config.wrappedKeys, config.wrappedAccountPrivKeys, UnlockInput::passphrase(std::move(passphrase)));
        });
        co_await unlocked;
        if (!self) co_return;
        std::optional<ReplicaSnapshot> snapshot;
        if (readAhead) {
            snapshot = co_await readAhead->rows;
            readAhead.reset();
        }
        if (!self) co_return;
        // Held in locals: a temporary inside the co_await expression is not safe with our compilers.
        auto rows = snapshot ? std::make_shared<ReplicaSnapshot>(std::move(*snapshot)) : nullptr;
        auto opening = openSession(lockCount, std::move(rows));
        co_await opening;
    } catch (...) {
        failure = describeOpeningFailure(std::current_exception(), paths_).value_or(std::string(kUnlockFailed));
    }
    if (failure && self) {
        // Kept for the next attempt, unless it was already opened.
        if (readAhead && phase_ == Phase::locked && !readAhead_) readAhead_ = std::move(readAhead);
        setErrorMessage(*failure);
    }
}

QCoro::Task<> AppModel::finishSession() {
    if (isBusy()) co_return;
    OpeningGuard guard(this);
    co_await openSession(lockCount_);
}

// MARK: - session opening and lock

QCoro::Task<> AppModel::openSession(std::uint64_t lockCountAtStart, std::shared_ptr<ReplicaSnapshot> readAhead) {
    QPointer<AppModel> self(this);
    auto vault = vault_;
    auto session = std::make_shared<Session>();
    std::exception_ptr failure;
    try {
        auto opened = runBlocking([paths = paths_, vault, clock = clock_, configStore = configStore_] {
            // The replica and the socket must never land in a folder others can reach.
            ensurePrivateFolder(folderOf(paths.socket));
            requireReplica(paths.replica);
            prepareReplicaFile(paths.replica);
            auto store = std::make_shared<VaelStore>(paths.replica);
            auto key = ensureDefaultCollection(*store, *vault, *clock);
            const bool hasServerAccount = configStore.load().serverAccount.has_value();
            return std::tuple{store, key, hasServerAccount};
        });
        auto [store, key, hasServerAccount] = co_await opened;
        if (!self) co_return;
        // A lock while the keys were being opened wins: the vault must not open behind it.
        if (lockCountAtStart != lockCount_) throw std::runtime_error("The vault was locked while it was opening.");
        session->id = nextSessionID_++;
        session->store = store;
        session->collectionKey = key;
        session->observer = store->observeVaultChanges(
            [self] {
                if (self) self->noteStoreChange();
            },
            postToMainThread);
        session->engine = std::make_shared<SyncEngine>(store, syncAPI_, clock_, syncPause_);
        // A vault never connected calls no server, not even the build's address.
        session->engine->setServerAccount(hasServerAccount || isServerConnected_);
        session->coordinator = std::make_shared<SyncCoordinator>(bootstrapAPI_, session->engine, store);
        session->itemSource = makeItemSource_(ItemSourceContext{store, vault, localOrgID(),
                                                                std::string(kDefaultProjectName), localCollectionID(),
                                                                std::string(kDefaultCollectionName), key,
                                                                session->engine, capturePresenter_});
        auto gated = std::make_shared<GatedItemSource>(session->itemSource, defaultGroupGate_);
        VaultResolver resolver(std::move(gated), biometric_, [cell = killSwitch_] { return cell->value(); });
        session->server = std::make_unique<VaultUDSServer>(
            paths_.socket, std::move(resolver), [cell = mcpActivity_, timers = timers_] { cell->set(timers->now()); });
        session->server->start();
        // The window's first listing is read while the page is being built.
        session->writesBeforeFirstListing = store->contentWriteCount();
        session->firstListing.emplace(startListingRead(
            ModelVault(store, vault, key, session->engine, clock_, defaultGroupGate_), std::nullopt,
            std::move(readAhead)));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // All or nothing: no half-open session, and no keys left open behind the lock screen.
        session->tearDown();
        auto locked = runBlocking([vault] { vault->lock(); });
        co_await locked;
        std::rethrow_exception(failure);
    }

    session_ = std::move(session);
    readAhead_.reset();
    abandonWaitingPasskey();
    liveCapture_->open();
    setErrorMessage(std::nullopt);
    setPhase(pendingInvite_ ? Phase::acceptingInvite : Phase::unlocked);
    startActivityMonitoring();
    if (isServerConnected_) startSyncHeartbeat();
}

void AppModel::abandonWaitingPasskey() {
    if (!passkeyWaiting_ || passkeyAbandoned_) return;
    passkeyAbandoned_ = true;
    if (ceremony_) ceremony_->cancel();
}

QCoro::Task<> AppModel::lock() {
    QPointer<AppModel> self(this);
    ++closing_;
    ++lockCount_;
    abandonWaitingPasskey();
    stopActivityMonitoring();
    ++heartbeatGeneration_;
    heartbeatTimer_->stop();
    if (session_ && defaultGroupGate_->isHeld()) {
        // A key rotation holding the default group may already be taken by the server: its local
        // switch finishes first, or the vault would keep a key the server no longer uses.
        auto rotationDone = runBlocking([gate = defaultGroupGate_] { const auto pass = gate->enter(); });
        co_await rotationDone;
        if (!self) co_return;
    }
    if (auto session = std::move(session_)) session->tearDown();
    // Agents waiting on the capture sheet get their answer: nothing.
    liveCapture_->close();
    setSyncStatus(SyncStatus::idle());
    setSyncFailureReason(std::nullopt);
    setConflictCount(0);
    auto locked = runBlocking([vault = vault_] {
        vault->lock();
        // The session's listings, caches and payloads were freed: give the pages back.
        releaseFreedMemory();
    });
    co_await locked;
    if (!self) co_return;
    --closing_;
    setServerConnected(false);
    setPendingInvite(std::nullopt);
    // Last, so no screen shows "locked" while keys are still held.
    setPhase(Phase::locked);
    // Again once the screens of the session are gone: their deferred deletions and the lock screen's
    // arrival are over within a second, and the quiet trim alone would keep the heap for five.
    constexpr std::chrono::seconds kMemoryTrimAfterLock{1};
    QTimer::singleShot(kMemoryTrimAfterLock, this, [] { QThreadPool::globalInstance()->start(releaseFreedMemory); });
}

void AppModel::lockForSystemEvent() {
    if (session_ || isOpening()) lock();
}

void AppModel::subscribeToSystemLockEvents() {
    if (!systemLockEvents_ || subscribedToSystemLockEvents_) return;
    subscribedToSystemLockEvents_ = true;
    systemLockEvents_->subscribe([self = QPointer<AppModel>(this)](std::function<void()> done) {
        if (!self || !(self->session_ || self->isOpening())) {
            done();
            return;
        }
        // Sleep waits until the keys are locked, not merely until the lock has begun.
        [](QPointer<AppModel> model, std::function<void()> finished) -> QCoro::Task<> {
            co_await model->lock();
            finished();
        }(self, std::move(done));
    });
}

// MARK: - kill switch, auto-lock and activity

void AppModel::setKillSwitchEnabled(bool enabled) {
    killSwitch_->set(enabled);
    if (enabled == killSwitchEnabled_) return;
    killSwitchEnabled_ = enabled;
    emit killSwitchEnabledChanged();
}

void AppModel::setAutoLockMinutes(qint64 minutes) {
    if (minutes == autoLockMinutes_) return;
    autoLockMinutes_ = minutes;
    emit autoLockMinutesChanged();
    persistAutoLock();
    startIdleWatch();
}

void AppModel::persistAutoLock() {
    if (!configStore_.exists()) return;
    try {
        if (configStore_.load().autoLockMinutes.value_or(kDefaultAutoLockMinutes) == autoLockMinutes_) return;
        const auto minutes = autoLockMinutes_;
        configStore_.update([minutes](VaultConfig& config) { config.autoLockMinutes = minutes; });
    } catch (...) {
        setErrorMessage(std::string(kAutoLockSaveFailed));
    }
}

void AppModel::noteUserActivity() { lastUIActivity_ = timers_->now(); }

void AppModel::startActivityMonitoring() {
    lastUIActivity_ = timers_->now();
    mcpActivity_->set(lastUIActivity_);
    if (inputMonitor_) {
        inputMonitor_->start([self = QPointer<AppModel>(this)] {
            if (self) self->noteUserActivity();
        });
    }
    startIdleWatch();
}

void AppModel::stopActivityMonitoring() {
    idleTimer_->stop();
    if (inputMonitor_) inputMonitor_->stop();
}

void AppModel::startIdleWatch() {
    idleTimer_->stop();
    if (!session_ || autoLockMinutes_ < 1) return;
    idleTimer_->start(kIdleTick, [this] { onIdleTick(); });
}

void AppModel::onIdleTick() {
    if (!session_) return;
    const auto limit = minutesToSeconds(autoLockMinutes_);
    if (limit <= 0) return;
    const auto latest = std::max(lastUIActivity_, mcpActivity_->value());
    if (secondsBetween(latest, timers_->now()) >= limit) {
        lock();
        return;
    }
    idleTimer_->start(kIdleTick, [this] { onIdleTick(); });
}

// MARK: - synchronisation

bool AppModel::isCurrent(std::uint64_t sessionID) const { return session_ && session_->id == sessionID; }

QCoro::Task<> AppModel::runSync() {
    if (!session_) co_return;
    if (syncRunning_) {
        syncAgain_ = true;
        co_return;
    }
    QPointer<AppModel> self(this);
    syncRunning_ = true;
    do {
        syncAgain_ = false;
        co_await runSyncOnce();
        if (!self) co_return;
    } while (syncAgain_ && session_);
    syncRunning_ = false;
    syncAgain_ = false;
    emit syncRunsEnded();
}

QCoro::Task<> AppModel::runSyncOnce() {
    auto session = session_;
    if (!session) co_return;
    QPointer<AppModel> self(this);
    const auto sessionID = session->id;
    const auto statusBefore = syncStatus_;
    const auto reasonBefore = syncFailureReason_;
    setSyncStatus(SyncStatus::syncing());

    std::optional<std::string> failure;
    ReplayOutcome outcome;
    try {
        auto run = runBlocking([configStore = configStore_, coordinator = session->coordinator, store = session->store,
                                vault = vault_, key = session->collectionKey, gate = defaultGroupGate_] {
            // A pull writes into the default group: never while its key is being switched.
            auto pass = gate->enter();
            registerDefaultsIfNeeded(configStore, *coordinator, *store, *vault, key);
            coordinator->pushMissingOrgs(AppModel::localOrgID());
            coordinator->engine()->pull();
            return coordinator->engine()->replayPending();
        });
        outcome = co_await run;
    } catch (...) {
        failure = describe(std::current_exception());
    }
    // A run of a session that has ended since publishes nothing.
    if (!self || !isCurrent(sessionID)) co_return;
    if (failure) {
        setSyncStatus(SyncStatus::offline());
        setSyncFailureReason(failure);
        logMessage(LogLevel::Error, kLogCategory, "[vael] sync failed: " + *failure);
        co_return;
    }

    // Only a conflict settled by keeping the local version counts as kept; one that could not be
    // settled stays queued, and the next run meets it again.
    bool unsettled = false;
    for (const auto& conflict : outcome.conflicts) {
        if (!isCurrent(sessionID)) co_return;
        try {
            auto resolved = runBlocking([engine = session_->engine, conflict] {
                engine->resolveConflict(conflict, ConflictChoice::keepMine);
            });
            co_await resolved;
            if (!self) co_return;
            setConflictCount(conflictCount_ + 1);
        } catch (...) {
            unsettled = true;
        }
        if (!self) co_return;
    }
    if (!isCurrent(sessionID)) co_return;
    // Stopped only at a change whose first call is still under way: nothing failed, and the next run
    // finishes it.
    if (!outcome.complete && outcome.stoppedAtFirstCall && !unsettled) {
        setSyncStatus(statusBefore.kind == SyncStatus::Kind::syncing ? SyncStatus::idle() : statusBefore);
        setSyncFailureReason(reasonBefore);
        co_return;
    }
    if (!outcome.complete || unsettled) {
        setSyncStatus(SyncStatus::offline());
        setSyncFailureReason(std::string(kIncompleteReplayReason));
        logMessage(LogLevel::Error, kLogCategory, "[vael] sync failed: " + std::string(kIncompleteReplayReason));
        co_return;
    }
    setSyncStatus(SyncStatus::synced(clock_->now()));
    setSyncFailureReason(std::nullopt);
}

// One run at once, then the heartbeat, whose first wait follows from how that run went.
QCoro::Task<> AppModel::startSyncHeartbeat() {
    QPointer<AppModel> self(this);
    heartbeatTimer_->stop();
    const auto generation = ++heartbeatGeneration_;
    co_await runSync();
    if (!self || generation != heartbeatGeneration_) co_return;
    co_await scheduleHeartbeat(generation);
}

QCoro::Task<> AppModel::scheduleHeartbeat(std::uint64_t generation) {
    QPointer<AppModel> self(this);
    std::int64_t queued = 0;
    if (session_) {
        try {
            auto counted = runBlocking([engine = session_->engine] { return engine->pendingCount(); });
            queued = co_await counted;
        } catch (...) {
            queued = 0;
        }
        if (!self) co_return;
    }
    if (generation != heartbeatGeneration_) co_return;
    const auto wait = syncStatus_.kind == SyncStatus::Kind::offline || queued > 0 ? kHeartbeatOffline : kHeartbeatOnline;
    heartbeatTimer_->start(wait, [this, generation] { heartbeatRun(generation); });
}

QCoro::Task<> AppModel::heartbeatRun(std::uint64_t generation) {
    if (generation != heartbeatGeneration_ || !session_ || !isServerConnected_) co_return;
    QPointer<AppModel> self(this);
    co_await runSync();
    if (!self || generation != heartbeatGeneration_) co_return;
    co_await scheduleHeartbeat(generation);
}

}  // namespace vael

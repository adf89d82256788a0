#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>

#include <signal.h>

#include <fstream>
#include <future>
#include <thread>

#include "app/custody/PrivateFiles.h"
#include "app/model/DefaultRecords.h"
#include "custody/FileSizeLimit.h"
#include "ModelFixtures.h"

namespace vael {
namespace {

using namespace std::chrono_literals;
using testing::ModelHarness;
using Phase = AppModel::Phase;

using testing::readFile;
using testing::writeFile;

// MARK: - construction and bootstrap

TEST(AppModel, StartsLockedWithNothingRunning) {
    ModelHarness h;
    auto& m = *h.model;
    EXPECT_EQ(m.phase(), Phase::locked);
    EXPECT_EQ(m.syncStatus(), AppSyncStatus::idle());
    EXPECT_EQ(m.conflictCount(), 0);
    EXPECT_EQ(m.vaultRevision(), 0);
    EXPECT_FALSE(m.killSwitchEnabled());
    EXPECT_EQ(m.autoLockMinutes(), 60);
    EXPECT_EQ(m.mcpActivity()->value(), BootTime::min());
    EXPECT_EQ(m.lastUIActivity(), h.timers->now());
    EXPECT_FALSE(m.hasSession());
    EXPECT_EQ(m.capturePresenter(), std::static_pointer_cast<CredentialCapturePresenter>(m.liveCapture()));
    EXPECT_FALSE(testing::fileExists(h.socket()));
    for (auto* timer : h.timers->timers()) EXPECT_FALSE(timer->isActive());
}

TEST(AppModel, BootstrapChoosesThePhaseFromTheConfigurationFile) {
    ModelHarness h;
    const auto config = h.home.paths().vaultConfig;
    h.model->bootstrap();
    EXPECT_EQ(h.model->phase(), Phase::onboarding);

    // A file that does not read still means a vault exists; nothing else is taken from it.
    writeFile(config, "not json");
    h.model->bootstrap();
    EXPECT_EQ(h.model->phase(), Phase::locked);
    EXPECT_FALSE(h.model->isPasskeyEnrolled());
    EXPECT_EQ(h.model->autoLockMinutes(), 60);
    EXPECT_FALSE(h.model->errorMessage());
}

TEST(AppModel, BootstrapReadsAutoLockAndPasskeyEnrolmentWithoutWritingBack) {
    ModelHarness h;
    VaultConfigStore store(h.home.paths().vaultConfig);
    auto config = VaultConfig::fromNewVault(ModelHarness::sharedVault());
    config.autoLockMinutes = 0;
    config.wrappedKeys.push_back(WrappedKey{UnlockMethod::prf, std::nullopt, Bytes{1, 2, 3}});
    store.save(config);
    const auto before = readFile(store.path());

    h.model->bootstrap();
    EXPECT_EQ(h.model->autoLockMinutes(), 0);
    EXPECT_FALSE(h.model->isPasskeyEnrolled());  // a passkey key without a server account
    EXPECT_EQ(readFile(store.path()), before);

    store.update([](VaultConfig& c) { c.serverAccount = ServerAccount{"https://h.example/api/v1", "me", "ID"}; });
    h.model->bootstrap();
    EXPECT_TRUE(h.model->isPasskeyEnrolled());
}

// MARK: - onboarding, unlock and lock

TEST(AppModel, CreateUnlockAndLockServeTheSocketOnlyWhileOpen) {
    ModelHarness h;
    auto& m = *h.model;
    m.bootstrap();
    QSignalSpy phases(&m, &AppModel::phaseChanged);
    h.create();
    ASSERT_FALSE(m.errorMessage()) << *m.errorMessage();
    EXPECT_EQ(m.phase(), Phase::unlocked);
    EXPECT_TRUE(m.vault()->isUnlocked());
    EXPECT_TRUE(testing::fileExists(h.socket()));
    EXPECT_EQ(phases.count(), 1);
    ASSERT_EQ(h.contexts.size(), 1u);
    EXPECT_EQ(h.contexts[0].defaultCollectionID, AppModel::localCollectionID());
    EXPECT_EQ(h.contexts[0].defaultProjectName, "Personal");
    EXPECT_EQ(h.contexts[0].capturePresenter, m.capturePresenter());
    EXPECT_TRUE(testing::spinUntil([&] { return m.vaultRevision() > 0; }));

    // The agent socket answers while the vault is open.
    auto answer = testing::askSocket(h.socket(), R"({"op":"list"})");
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "[]");

    auto firstKey = h.contexts[0].defaultCollectionKey;
    h.lock();
    EXPECT_EQ(m.phase(), Phase::locked);
    EXPECT_FALSE(m.hasSession());
    EXPECT_FALSE(m.vault()->isUnlocked());
    EXPECT_FALSE(testing::fileExists(h.socket()));

    h.unlock("wrong passphrase");
    EXPECT_EQ(m.errorMessage(), std::optional<std::string>("Unlock failed \u2014 check your passphrase."));
    EXPECT_EQ(m.phase(), Phase::locked);
    EXPECT_FALSE(testing::fileExists(h.socket()));

    h.unlock();
    EXPECT_EQ(m.phase(), Phase::unlocked);
    EXPECT_FALSE(m.errorMessage());
    EXPECT_TRUE(testing::fileExists(h.socket()));
    // The default group was made once and is found again; the old session's key handle is dead.
    ASSERT_EQ(h.contexts.size(), 2u);
    VaelStore store(h.home.paths().replica);
    EXPECT_EQ(store.collections(AppModel::localOrgID()).size(), 1u);
    EXPECT_TRUE(store.project(AppModel::localOrgID()));
    EXPECT_THROW(m.vault()->sealBlob(SecureBytes(std::string_view("x")), Uuid::random(), firstKey), VaelCryptoError);
    EXPECT_NO_THROW(m.vault()->sealBlob(SecureBytes(std::string_view("x")), Uuid::random(), h.contexts[1].defaultCollectionKey));
}

TEST(AppModel, AFolderOpenToOthersKeepsTheVaultLockedAndSaysWhatToDo) {
    ModelHarness h;
    auto& m = *h.model;
    m.bootstrap();
    h.create();
    h.lock();
    const auto folder = folderOf(h.home.paths().replica);
    ::chmod(folder.c_str(), 0755);
    h.unlock();
    EXPECT_EQ(m.phase(), Phase::locked);
    EXPECT_FALSE(m.vault()->isUnlocked());
    EXPECT_FALSE(testing::fileExists(h.socket()));
    ASSERT_TRUE(m.errorMessage());
    EXPECT_NE(m.errorMessage()->find("chmod 700"), std::string::npos) << *m.errorMessage();
}

// Hands out the model's handler so a test can raise sleep or screen-lock events by hand.
class ScriptedLockEvents final : public SystemLockEventSource {
public:
    void subscribe(std::function<void(std::function<void()>)> onLockEvent) override {
        ++subscriptions;
        handler = std::move(onLockEvent);
    }
    int subscriptions = 0;
    std::function<void(std::function<void()>)> handler;
};

TEST(AppModel, ASystemLockEventIsDoneOnlyOnceTheVaultIsLocked) {
    auto events = std::make_shared<ScriptedLockEvents>();
    AppModelServices services;
    services.systemLockEvents = events;
    ModelHarness h(std::move(services));
    auto& m = *h.model;
    m.bootstrap();
    m.bootstrap();
    EXPECT_EQ(events->subscriptions, 1);
    h.create();
    ASSERT_EQ(m.phase(), Phase::unlocked);

    bool done = false;
    bool lockedWhenDone = false;
    events->handler([&] {
        done = true;
        lockedWhenDone = !m.vault()->isUnlocked() && m.phase() == Phase::locked;
    });
    EXPECT_TRUE(testing::spinUntil([&] { return done; }));
    EXPECT_TRUE(lockedWhenDone);
    EXPECT_FALSE(testing::fileExists(h.socket()));

    // Nothing open: done at once.
    done = false;
    events->handler([&] { done = true; });
    EXPECT_TRUE(done);
}

TEST(AppModel, OnboardingThatCannotWriteReportsItAndStaysInOnboarding) {
    ModelHarness h;
    h.model->bootstrap();
    // A folder where the file should go: the write fails whoever runs the test.
    std::filesystem::create_directory(h.home.paths().vaultConfig);
    h.create();
    ASSERT_TRUE(h.model->errorMessage());
    EXPECT_TRUE(h.model->errorMessage()->starts_with("Could not create the vault: ")) << *h.model->errorMessage();
    EXPECT_EQ(h.model->phase(), Phase::onboarding);
    EXPECT_FALSE(h.model->vault()->isUnlocked());
    EXPECT_FALSE(testing::fileExists(h.socket()));
}

TEST(AppModel, OnboardingGoesOnOnlyOverItsOwnConfiguration) {
    ModelHarness h;
    h.model->bootstrap();
    // The first try writes the configuration, then cannot open the session.
    h.failItemSource = [] { throw std::runtime_error("no source"); };
    h.create();
    ASSERT_TRUE(h.model->errorMessage());
    EXPECT_EQ(h.model->phase(), Phase::onboarding);
    const auto written = readFile(h.home.paths().vaultConfig);
    ASSERT_FALSE(written.empty());

    // Another vault over it is refused and changes nothing; the same vault again goes on.
    h.failItemSource = nullptr;
    const auto other = VaultCrypto::createVault(SecureBytes(std::string_view("other")), false, testing::kFastCost);
    QCoro::waitFor(h.model->completeOnboarding(other, SecureBytes(std::string_view("other"))));
    EXPECT_EQ(h.model->errorMessage(),
              "Could not create the vault: a vault already exists on this computer \u2014 unlock it instead.");
    EXPECT_EQ(readFile(h.home.paths().vaultConfig), written);
    EXPECT_FALSE(h.model->vault()->isUnlocked());
    h.create();
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    EXPECT_FALSE(h.model->errorMessage());
}

// What a child run of this binary (a test below) needs for a model over the folder it is given.
AppModelServices childServices() {
    AppModelServices services;
    services.biometric = std::make_shared<testing::AllowingGate>();
    services.makeItemSource = [](const ItemSourceContext&) -> std::shared_ptr<VaultItemSource> {
        return std::make_shared<testing::QuietItemSource>();
    };
    services.timers = std::make_shared<testing::ScriptedTimerSource>();
    services.syncPause = std::make_shared<testing::NoPause>();
    services.passphraseCost = testing::kFastCost;
    return services;
}

VaelPaths pathsIn(const std::string& folder) {
    return VaelPaths(folder + "/vault.json", folder + "/replica.sqlite", folder + "/vael.sock");
}

// A creation ended by a kill at any of its steps, as a logout or a crash ends it, leaves either no
// vault, so the next start offers onboarding and it succeeds over what was left, or a whole vault
// that opens with its passphrase. The kill happens in a child run of this binary (the test below).
TEST(AppModel, AKillAtAnyStepOfCreationLeavesOnboardingOrAVaultThatOpens) {
    const char* steps[] = {"claimed", "unlocked", "replica-opened", "replica-built", "replica-placed", "config-saved"};
    for (const char* step : steps) {
        ModelHarness h;
        QProcess child;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VAEL_TEST_CREATION_HOME", QString::fromStdString(h.home.path()));
        environment.insert("VAEL_TEST_CREATION_KILL_AT", step);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start("/proc/self/exe", {"--gtest_filter=AppModelCreationChild.*"});
        ASSERT_TRUE(child.waitForFinished(120'000)) << step;
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << step << ": the child was not killed there\n"
                                                          << child.readAllStandardOutput().toStdString();

        // Only a vault.json makes a vault; the first vault's keys are gone until it is written.
        const bool whole = std::string_view(step) == "config-saved";
        h.model->bootstrap();
        EXPECT_EQ(h.model->phase(), whole ? Phase::locked : Phase::onboarding) << step;
        if (h.model->phase() == Phase::onboarding) {
            h.create();  // another vault, over whatever the first one left
        } else {
            h.unlock();
        }
        EXPECT_EQ(h.model->phase(), Phase::unlocked) << step << ": " << h.model->errorMessage().value_or("");
        EXPECT_FALSE(h.model->errorMessage()) << step;
        EXPECT_FALSE(testing::fileExists(h.home.paths().replica + ".creating")) << step;
    }
}

// The child of the test above: makes a vault in the folder it is given and is killed at the named step.
TEST(AppModelCreationChild, MakesAVaultAndIsKilledAtTheNamedStep) {
    const char* home = std::getenv("VAEL_TEST_CREATION_HOME");
    const char* killAt = std::getenv("VAEL_TEST_CREATION_KILL_AT");
    if (!home || !killAt) GTEST_SKIP() << "run by AKillAtAnyStepOfCreationLeavesOnboardingOrAVaultThatOpens";
    auto services = childServices();
    services.onCreationStep = [at = std::string(killAt)](std::string_view step) {
        if (step == at) ::kill(::getpid(), SIGKILL);
    };
    AppModel model(pathsIn(home), services);
    model.bootstrap();
    const SecureBytes passphrase{std::string_view(testing::kPassphrase)};
    QCoro::waitFor(model.completeOnboarding(VaultCrypto::createVault(passphrase, false, testing::kFastCost), passphrase));
    ADD_FAILURE() << "the creation never reached the step " << killAt;
}

TEST(AppModel, TheReplicaIsMadePrivateByItsPathAndNeverFollowed) {
    ModelHarness h;
    const auto replica = h.home.paths().replica;
    h.create();
    h.lock();
    ASSERT_EQ(::chmod(replica.c_str(), 0644), 0);
    h.unlock();
    ASSERT_EQ(h.model->phase(), Phase::unlocked);
    struct stat st {};
    ASSERT_EQ(::stat(replica.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A link in the replica's place is refused with a sentence that says what to do.
    h.lock();
    const auto moved = replica + ".real";
    ASSERT_EQ(::rename(replica.c_str(), moved.c_str()), 0);
    ASSERT_EQ(::symlink(moved.c_str(), replica.c_str()), 0);
    h.unlock();
    EXPECT_EQ(h.model->phase(), Phase::locked);
    EXPECT_EQ(h.model->errorMessage(), replica + " is not a file. Move it out of the way, then try again.");
}

TEST(AppModel, AFailedOpeningUndoesEverythingAndLocksTheKeys) {
    struct Case {
        const char* name;
        std::function<void(ModelHarness&)> breakIt;
        std::string says;
    };
    const Case cases[] = {
        {"item source", [](ModelHarness& h) { h.failItemSource = [] { throw std::runtime_error("no source"); }; },
         "Unlock failed"},
        // Something at the socket path that cannot be replaced: named for why, not as an address in use.
        {"socket",
         [](ModelHarness& h) {
             std::filesystem::create_directory(h.socket());
             writeFile(h.socket() + "/x", "x");
         },
         "Could not bind the agent socket: Is a directory."},
    };
    for (const auto& c : cases) {
        ModelHarness h;
        h.create();
        h.lock();
        c.breakIt(h);
        h.unlock();
        EXPECT_EQ(h.model->phase(), Phase::locked) << c.name;
        EXPECT_FALSE(h.model->hasSession()) << c.name;
        EXPECT_FALSE(h.model->vault()->isUnlocked()) << c.name;
        EXPECT_NE(h.model->errorMessage().value_or("").find(c.says), std::string::npos)
            << c.name << ": " << h.model->errorMessage().value_or("");
        h.failItemSource = nullptr;
    }
}

// A damaged, emptied or missing file is named with its cause, not blamed on the passphrase, and the
// unlock changes nothing on disk.
TEST(AppModel, StorageFaultsOnUnlockNameTheFileAndChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(const VaelPaths&)> breakIt;
        std::string expected;  // a part of the message
    };
    const auto truncate = [](const std::string& path, std::uintmax_t size) { std::filesystem::resize_file(path, size); };
    const Case cases[] = {
        {"empty settings", [](const VaelPaths& p) { writeFile(p.vaultConfig, ""); }, "is damaged"},
        {"garbage settings", [](const VaelPaths& p) { writeFile(p.vaultConfig, "\x01garbage{"); }, "is damaged"},
        {"truncated settings", [&](const VaelPaths& p) { truncate(p.vaultConfig, 40); }, "is damaged"},
        {"missing replica", [](const VaelPaths& p) { std::filesystem::remove(p.replica); }, "is missing"},
        {"empty replica", [&](const VaelPaths& p) { truncate(p.replica, 0); }, "is missing"},
        {"garbage replica", [](const VaelPaths& p) { writeFile(p.replica, std::string(8192, 'x')); }, "(damaged)"},
    };
    for (const auto& c : cases) {
        ModelHarness h;
        h.create();
        h.lock();
        const auto& paths = h.home.paths();
        for (const auto& suffix : {"-wal", "-shm"}) std::filesystem::remove(paths.replica + suffix);
        c.breakIt(paths);
        const bool replicaThere = std::filesystem::exists(paths.replica);
        const auto replicaSize = replicaThere ? std::filesystem::file_size(paths.replica) : 0;
        std::ifstream configIn(paths.vaultConfig, std::ios::binary);
        const std::string config((std::istreambuf_iterator<char>(configIn)), {});

        h.unlock();
        EXPECT_EQ(h.model->phase(), Phase::locked) << c.name;
        ASSERT_TRUE(h.model->errorMessage()) << c.name;
        EXPECT_NE(h.model->errorMessage()->find(c.expected), std::string::npos) << c.name << ": " << *h.model->errorMessage();
        const bool namesSettings = std::string(c.expected) == "is damaged";
        EXPECT_NE(h.model->errorMessage()->find(namesSettings ? paths.vaultConfig : paths.replica), std::string::npos)
            << c.name;
        EXPECT_EQ(std::filesystem::exists(paths.replica), replicaThere) << c.name;
        if (replicaThere) {
            EXPECT_EQ(std::filesystem::file_size(paths.replica), replicaSize) << c.name;
        }
        std::ifstream configAfter(paths.vaultConfig, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(configAfter)), {}), config) << c.name;
    }
}

// A disk that takes no more bytes is named as full, not as an input/output error, and the vault
// opens once there is room again. A lowered file-size limit stands in for the full disk.
TEST(AppModel, AFullDiskAtUnlockIsNamedAsOne) {
    ModelHarness h;
    h.create();
    h.lock();
    h.contexts.clear();  // the last connection closes with the session's item source
    const auto& paths = h.home.paths();
    {
        test::FileSizeLimit full(1024);
        h.unlock();
    }
    EXPECT_EQ(h.model->phase(), Phase::locked);
    EXPECT_EQ(h.model->errorMessage(),
              "The vault's data file " + paths.replica + " could not be opened (disk full). Nothing was changed.");

    h.unlock();
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
}

// A folder that went read-only after the last session (whose socket file it kept) is named as
// read-only at the next unlock, not as a file that cannot be opened or an address in use. The child run of this
// binary that does it has a mount namespace of its own, where the system allows one.
TEST(AppModel, AFolderGoneReadOnlyIsNamedAtTheNextUnlock) {
    if (QProcess::execute("unshare", {"-m", "true"}) != 0) GTEST_SKIP() << "no mount namespace for a read-only folder";
    testing::TempHome home;
    QProcess child;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VAEL_TEST_READONLY_HOME", QString::fromStdString(home.path()));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto self = QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string());
    child.start("unshare", {"-m", "sh", "-c", "mount --bind \"$0\" \"$0\" || exit 77; exec \"$1\" --gtest_filter=AppModelReadOnlyChild.*",
                            QString::fromStdString(home.path()), self});
    ASSERT_TRUE(child.waitForFinished(120'000));
    const auto out = child.readAllStandardOutput().toStdString();
    if (child.exitCode() == 77) GTEST_SKIP() << "the folder could not be bound in a namespace of its own";
    EXPECT_EQ(child.exitCode(), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// The child of the test above, in its own mount namespace over the folder it is given.
TEST(AppModelReadOnlyChild, UnlockNamesTheReadOnlyFolder) {
    const char* home = std::getenv("VAEL_TEST_READONLY_HOME");
    if (!home) GTEST_SKIP() << "run by AFolderGoneReadOnlyIsNamedAtTheNextUnlock";
    const auto paths = pathsIn(home);
    AppModel model(paths, childServices());
    model.bootstrap();
    const SecureBytes passphrase{std::string_view(testing::kPassphrase)};
    QCoro::waitFor(model.completeOnboarding(VaultCrypto::createVault(passphrase, false, testing::kFastCost), passphrase));
    ASSERT_EQ(model.phase(), Phase::unlocked);
    QCoro::waitFor(model.lock());
    // What a lock leaves in a folder gone read-only under it: the socket file it could not remove.
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, paths.socket.data(), paths.socket.size());
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(left);
    const std::string folder = home;
    ASSERT_EQ(std::system(("mount -o remount,ro,bind '" + folder + "' '" + folder + "'").c_str()), 0);

    QCoro::waitFor(model.unlock(passphrase));
    EXPECT_EQ(model.phase(), Phase::locked);
    EXPECT_EQ(model.errorMessage(),
              "The vault's data file " + paths.replica + " could not be opened (read-only). Nothing was changed.");
    EXPECT_FALSE(model.vault()->isUnlocked());
}

TEST(AppModel, OverlappingUnlocksOpenOneSession) {
    ModelHarness h;
    h.create();
    h.lock();
    auto first = h.model->unlock(SecureBytes(std::string_view(testing::kPassphrase)));
    EXPECT_TRUE(h.model->isOpening());
    // Neither a second attempt nor the unlock screen's own opening starts anything.
    QCoro::waitFor(h.model->unlock(SecureBytes(std::string_view("wrong"))));
    QCoro::waitFor(h.model->finishSession());
    QCoro::waitFor(first);
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    EXPECT_EQ(h.contexts.size(), 2u);
    EXPECT_FALSE(h.model->errorMessage());

    // While open, an unlock does nothing at all.
    h.unlock("wrong");
    EXPECT_FALSE(h.model->errorMessage());
    EXPECT_EQ(h.contexts.size(), 2u);
}

TEST(AppModel, ASleepDuringAnOpeningKeepsTheVaultLocked) {
    ModelHarness h;
    h.create();
    h.lock();
    auto opening = h.model->unlock(SecureBytes(std::string_view(testing::kPassphrase)));
    h.model->lockForSystemEvent();
    QCoro::waitFor(opening);
    testing::settle();
    EXPECT_EQ(h.model->phase(), Phase::locked);
    EXPECT_FALSE(h.model->hasSession());
    EXPECT_FALSE(h.model->vault()->isUnlocked());
    EXPECT_FALSE(testing::fileExists(h.socket()));
}

TEST(AppModel, BootstrapLeavesAnOpenSessionAlone) {
    ModelHarness h;
    h.create();
    h.model->bootstrap();
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    EXPECT_TRUE(testing::fileExists(h.socket()));
}

// MARK: - invites

TEST(AppModel, AnInviteWaitsForTheSessionAndTheLockDropsIt) {
    ModelHarness h;
    h.create();
    h.lock();
    h.model->handleInviteURL("https://h.example/invite#tok");
    EXPECT_EQ(h.model->phase(), Phase::locked);
    h.unlock();
    EXPECT_EQ(h.model->phase(), Phase::acceptingInvite);
    h.model->dismissInvite();
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    h.model->handleInviteURL("vael://invite/other");
    EXPECT_EQ(h.model->phase(), Phase::acceptingInvite);
    EXPECT_EQ(h.model->pendingInvite(), std::optional<PendingInvite>(PendingInvite{"other"}));
    h.model->handleInviteURL("https://h.example/elsewhere");
    EXPECT_EQ(h.model->pendingInvite()->token, "other");
    h.lock();
    EXPECT_FALSE(h.model->pendingInvite());
}

// MARK: - system events, idle watch and kill switch

TEST(AppModel, SystemEventsLockEveryOpenSession) {
    for (bool invite : {false, true}) {
        ModelHarness h;
        h.create();
        if (invite) h.model->handleInviteURL("https://h.example/invite#tok");
        h.model->lockForSystemEvent();
        EXPECT_TRUE(testing::spinUntil([&] { return h.model->phase() == Phase::locked; })) << invite;
        EXPECT_FALSE(testing::fileExists(h.socket())) << invite;
    }
    ModelHarness h;
    h.model->bootstrap();
    h.model->lockForSystemEvent();
    testing::settle();
    EXPECT_EQ(h.model->phase(), Phase::onboarding);
}

TEST(AppModel, IdleWatchLocksAfterTheLimitInUnlockedAndAcceptingInvite) {
    for (bool invite : {false, true}) {
        ModelHarness h;
        h.create();
        h.model->setAutoLockMinutes(1);
        h.timers->advance(30s);
        if (invite) h.model->handleInviteURL("https://h.example/invite#tok");
        h.timers->advance(29s);
        EXPECT_TRUE(h.model->hasSession()) << invite;
        h.timers->advance(1s);
        EXPECT_EQ(h.model->phase(), Phase::locked) << invite;
        EXPECT_FALSE(testing::fileExists(h.socket()));
    }
}

TEST(AppModel, UserInputAndAgentRequestsPostponeTheIdleLock) {
    ModelHarness h;
    h.create();
    h.model->setAutoLockMinutes(1);
    for (int i = 0; i < 6; ++i) {
        h.timers->advance(20s);
        ASSERT_TRUE(testing::askSocket(h.socket(), R"({"op":"list"})"));
    }
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    for (int i = 0; i < 6; ++i) {
        h.timers->advance(20s);
        h.model->noteUserActivity();
    }
    EXPECT_EQ(h.model->phase(), Phase::unlocked);
    h.timers->advance(90s);
    EXPECT_EQ(h.model->phase(), Phase::locked);
}

TEST(AppModel, HugeOrZeroMinutesNeverLock) {
    for (qint64 minutes : {qint64{0}, qint64{-3}, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max() / 60 + 1}) {
        ModelHarness h;
        h.create();
        h.model->setAutoLockMinutes(minutes);
        h.timers->advance(std::chrono::hours(2));
        EXPECT_EQ(h.model->phase(), Phase::unlocked) << minutes;
    }
}

TEST(AppModel, AutoLockMinutesAreWrittenOnlyWhenTheyChangeWhatTheFileHolds) {
    ModelHarness h;
    h.model->setAutoLockMinutes(5);  // no file yet: memory only
    EXPECT_FALSE(testing::fileExists(h.home.paths().vaultConfig));
    h.create();
    VaultConfigStore store(h.home.paths().vaultConfig);
    EXPECT_FALSE(store.load().autoLockMinutes);

    h.model->setAutoLockMinutes(60);  // absent counts as 60
    EXPECT_FALSE(store.load().autoLockMinutes);
    h.model->setAutoLockMinutes(15);
    EXPECT_EQ(store.load().autoLockMinutes, std::optional<std::int64_t>(15));
    // A change made by someone else in between survives.
    store.update([](VaultConfig& c) { c.serverBootstrapped = true; });
    h.model->setAutoLockMinutes(20);
    EXPECT_EQ(store.load().autoLockMinutes, std::optional<std::int64_t>(20));
    EXPECT_EQ(store.load().serverBootstrapped, std::optional<bool>(true));

    writeFile(store.path(), "{");
    h.model->setAutoLockMinutes(25);
    EXPECT_EQ(h.model->errorMessage(), std::optional<std::string>("Couldn't save the auto-lock setting."));
    EXPECT_EQ(h.model->autoLockMinutes(), 25);
}

TEST(AppModel, KillSwitchReachesTheCellAndSurvivesTheLock) {
    ModelHarness h;
    QSignalSpy changes(h.model.get(), &AppModel::killSwitchEnabledChanged);
    h.create();
    h.model->setKillSwitchEnabled(true);
    h.model->setKillSwitchEnabled(true);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(h.model->killSwitch()->value());
    h.lock();
    h.unlock();
    EXPECT_TRUE(h.model->killSwitch()->value());
    h.model->setKillSwitchEnabled(false);
    EXPECT_FALSE(h.model->killSwitch()->value());
}

// MARK: - capture

TEST(AppModel, LockAnswersEveryWaitingCaptureWithNothing) {
    ModelHarness h;
    h.create();
    auto presenter = h.model->liveCapture();
    auto first = std::async(std::launch::async, [&] { return presenter->present("https://a.example", "A"); });
    ASSERT_TRUE(testing::spinUntil([&] { return presenter->pending().has_value(); }));
    auto second = std::async(std::launch::async, [&] { return presenter->present("https://b.example", std::nullopt); });
    testing::settle();
    EXPECT_EQ(presenter->pending()->origin, "https://a.example");
    h.lock();
    EXPECT_FALSE(first.get());
    EXPECT_FALSE(second.get());
    EXPECT_FALSE(presenter->pending());
    // With no session, a request is answered at once.
    EXPECT_FALSE(std::async(std::launch::async, [&] { return presenter->present("https://c.example", std::nullopt); }).get());
}

}  // namespace
}  // namespace vael

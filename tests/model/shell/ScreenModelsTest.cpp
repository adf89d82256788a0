#include <gtest/gtest.h>

#include <QSignalSpy>

#include <atomic>
#include <latch>

#include "model/ModelFixtures.h"
#include "app/model/shell/MasterPassphraseGenerator.h"
#include "app/model/shell/OnboardingViewModel.h"
#include "app/model/shell/SettingsViewModel.h"
#include "crypto/CryptoError.h"

namespace vael {
namespace {

using testing::kFastCost;

TEST(MasterPassphraseGenerator, MapsLowFiveBitsIntoGroupsOfFour) {
    std::array<std::uint8_t, 32> bytes{};
    bytes.fill(0xFF);
    EXPECT_EQ(MasterPassphraseGenerator::fromBytes(bytes), "7777-7777-7777-7777-7777-7777-7777-7777");
    for (std::uint8_t byte : {0x00, 0x20, 0x40}) {
        bytes.fill(byte);
        EXPECT_EQ(MasterPassphraseGenerator::fromBytes(bytes), "AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AAAA") << int(byte);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i);
    EXPECT_EQ(MasterPassphraseGenerator::fromBytes(bytes), "ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567");

    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    const std::string generated = MasterPassphraseGenerator::generate();
    ASSERT_EQ(generated.size(), 39u);
    for (std::size_t i = 0; i < generated.size(); ++i) {
        if ((i + 1) % 5 == 0) {
            EXPECT_EQ(generated[i], '-') << i;  // positions 5, 10, ..., 35 counting from 1
        } else {
            EXPECT_NE(alphabet.find(generated[i]), std::string::npos) << i;
        }
    }
    EXPECT_NE(generated, MasterPassphraseGenerator::generate());
}

// A creator that counts its calls and can be held until the test lets it go.
struct Creator {
    std::atomic<int> calls{0};
    std::atomic<bool> fail{false};
    std::shared_ptr<std::latch> gate;
    bool escrowSeen = false;
    OnboardingViewModel::VaultCreator function() {
        return [this](const SecureBytes& passphrase, bool withEscrow) {
            ++calls;
            escrowSeen = withEscrow;
            if (gate) gate->wait();
            if (fail) throw VaelCryptoError(VaelCryptoError::Code::Internal, "no memory for Argon2");
            return VaultCrypto::createVault(passphrase, withEscrow, kFastCost);
        };
    }
};

TEST(OnboardingViewModel, GeneratedPassphraseStaysOnlyWhileTheFieldHoldsIt) {
    int generated = 0;
    bool failGeneration = false;
    Creator creator;
    OnboardingViewModel vm(
        [&]() -> std::string {
            if (failGeneration) throw MasterPassphraseGeneratorError(EIO);
            return "GEN-" + std::to_string(++generated);
        },
        creator.function());
    EXPECT_TRUE(vm.passphrase().isEmpty());
    EXPECT_TRUE(vm.withEscrow());
    EXPECT_FALSE(vm.generatedPassphrase() || vm.recoveryCode() || vm.newVault() || vm.canFinish());

    QSignalSpy generatedChanges(&vm, &OnboardingViewModel::generatedPassphraseChanged);
    vm.generatePassphrase();
    EXPECT_EQ(vm.passphrase(), "GEN-1");
    EXPECT_EQ(vm.generatedPassphrase(), std::optional<QString>("GEN-1"));
    vm.setPassphrase("GEN-1");  // the same text keeps it
    EXPECT_EQ(vm.generatedPassphrase(), std::optional<QString>("GEN-1"));
    EXPECT_EQ(generatedChanges.count(), 1);

    failGeneration = true;
    vm.generatePassphrase();
    EXPECT_EQ(vm.passphraseGenerationError(), std::optional<QString>(OnboardingViewModel::kGenerationFailed));
    EXPECT_EQ(vm.passphrase(), "GEN-1");
    EXPECT_EQ(vm.generatedPassphrase(), std::optional<QString>("GEN-1"));

    vm.setPassphrase("GEN-1x");
    EXPECT_FALSE(vm.generatedPassphrase());
    vm.setPassphrase("GEN-1");  // typing it back does not bring it back
    EXPECT_FALSE(vm.generatedPassphrase());
    EXPECT_TRUE(vm.passphraseGenerationError());  // an edit leaves the message

    failGeneration = false;
    vm.generatePassphrase();
    EXPECT_FALSE(vm.passphraseGenerationError());
    EXPECT_EQ(vm.generatedPassphrase(), std::optional<QString>("GEN-2"));
}

TEST(OnboardingViewModel, CreationRulesAndTheAcknowledgement) {
    Creator creator;
    OnboardingViewModel vm([] { return std::string("x"); }, creator.function());

    EXPECT_THROW(testing::await(vm.createVault()), VaelCryptoError);
    EXPECT_EQ(creator.calls, 0);
    EXPECT_FALSE(vm.newVault());

    vm.setPassphrase(" ");  // blanks are a passphrase
    vm.setWithEscrow(false);
    QSignalSpy canFinish(&vm, &OnboardingViewModel::canFinishChanged);
    QCoro::waitFor(vm.createVault());
    EXPECT_EQ(creator.calls, 1);
    ASSERT_TRUE(vm.newVault());
    EXPECT_TRUE(vm.recoveryCode());
    EXPECT_FALSE(vm.recoveryPhrase());  // no escrow, no phrase
    EXPECT_FALSE(vm.canFinish());
    vm.setAcknowledgedSaved(true);
    EXPECT_TRUE(vm.canFinish());
    EXPECT_EQ(canFinish.count(), 1);

    // A second creation replaces the record and clears the acknowledgement.
    vm.setWithEscrow(true);
    const auto firstCode = *vm.recoveryCode();
    QSignalSpy newVault(&vm, &OnboardingViewModel::newVaultChanged);
    QCoro::waitFor(vm.createVault());
    EXPECT_EQ(newVault.count(), 1);
    EXPECT_NE(*vm.recoveryCode(), firstCode);
    EXPECT_TRUE(vm.recoveryPhrase());
    EXPECT_FALSE(vm.acknowledgedSaved());
    EXPECT_FALSE(vm.canFinish());
    EXPECT_EQ(canFinish.count(), 2);

    // The library's failure passes unchanged and changes nothing.
    creator.fail = true;
    const auto code = vm.recoveryCode();
    EXPECT_THROW(testing::await(vm.createVault()), VaelCryptoError);
    EXPECT_EQ(vm.recoveryCode(), code);
    EXPECT_FALSE(vm.creating());
}

TEST(OnboardingViewModel, ASecondCreationDuringTheFirstDoesNothing) {
    Creator creator;
    creator.gate = std::make_shared<std::latch>(1);
    OnboardingViewModel vm([] { return std::string("x"); }, creator.function());
    vm.setPassphrase("pass");
    auto first = vm.createVault();
    ASSERT_TRUE(testing::spinUntil([&] { return creator.calls == 1; }));
    EXPECT_TRUE(vm.creating());
    QCoro::waitFor(vm.createVault());  // returns at once
    creator.gate->count_down();
    QCoro::waitFor(std::move(first));
    EXPECT_EQ(creator.calls, 1);
    EXPECT_FALSE(vm.creating());
    EXPECT_TRUE(vm.newVault());
}

TEST(SettingsViewModel, RemovalQueueAndKillSwitchCell) {
    SettingsViewModel vm({UnlockMethod::passphrase, UnlockMethod::prf});
    QSignalSpy queued(&vm, &SettingsViewModel::methodsPendingRemovalChanged);
    vm.markForRemoval(UnlockMethod::passphrase);    // raw value 0: never
    vm.markForRemoval(UnlockMethod::recoveryCode);  // not enabled
    EXPECT_TRUE(vm.methodsPendingRemoval().empty());
    vm.markForRemoval(UnlockMethod::prf);
    vm.markForRemoval(UnlockMethod::prf);
    EXPECT_EQ(vm.methodsPendingRemoval(), std::vector<UnlockMethod>{UnlockMethod::prf});
    EXPECT_EQ(queued.count(), 1);

    const auto provider = vm.killSwitchProvider();
    vm.setKillSwitchEnabled(true);
    EXPECT_TRUE(vm.isKillSwitchOn());
    EXPECT_FALSE(provider());  // until the cell is synchronised
    vm.syncKillSwitchBox();
    EXPECT_TRUE(provider());
}

}  // namespace
}  // namespace vael

#include "app/custody/TrustedKeyStore.h"

#include <gtest/gtest.h>

#include "app/custody/PrivateFiles.h"
#include "custody/TempFolder.h"

namespace vael {
namespace {

using test::contentsOf;
using test::inodeOf;
using test::modeOf;
using test::namesIn;
using test::TempFolder;
using test::writeFile;

const Uuid kAlice = Uuid::fromText("6F9619FF-8B86-D011-B42D-00C04FC964FF");
const Uuid kBob = Uuid::fromText("00000000-0000-0000-0000-00000000B0B0");

class FixedClock final : public Clock {
public:
    TimePoint now() const override { return fromReferenceSeconds(763'030'000); }  // 2025-03-07 08:46:40 UTC
};

// The same trust-on-first-use rules for both stores.
void expectTrustOnFirstUse(TrustedKeyStore& store) {
    EXPECT_EQ(store.pinnedFingerprint(kAlice), std::nullopt);
    EXPECT_TRUE(store.trustOnFirstUse("aa:11", kAlice));
    EXPECT_EQ(store.pinnedFingerprint(kAlice), "aa:11");
    EXPECT_TRUE(store.trustOnFirstUse("aa:11", kAlice));
    EXPECT_FALSE(store.trustOnFirstUse("AA:11", kAlice)) << "fingerprints compare as exact text";
    EXPECT_EQ(store.pinnedFingerprint(kAlice), "aa:11") << "a mismatch never replaces the pin";

    EXPECT_TRUE(store.trustOnFirstUse("bb:22", kBob)) << "pins are per account";

    store.pin("aa:33", kAlice);
    EXPECT_FALSE(store.trustOnFirstUse("aa:11", kAlice));
    EXPECT_TRUE(store.trustOnFirstUse("aa:33", kAlice));
}

TEST(TrustedKeyStore, InMemoryStoreTrustsOnFirstUse) {
    InMemoryTrustedKeyStore store;
    expectTrustOnFirstUse(store);
}

TEST(TrustedKeyStore, FileStoreTrustsOnFirstUseAndKeepsPinsAcrossRestarts) {
    TempFolder temp;
    const std::string path = temp / "Vael/trusted-keys.json";
    {
        FileTrustedKeyStore store(path);
        expectTrustOnFirstUse(store);
    }
    EXPECT_EQ(modeOf(path), 0600u);
    FileTrustedKeyStore reloaded(path);
    EXPECT_EQ(reloaded.pinnedFingerprint(kAlice), "aa:33");
    EXPECT_EQ(reloaded.pinnedFingerprint(kBob), "bb:22");
    EXPECT_EQ(decodeTrustedKeyPins(contentsOf(path)), (TrustedKeyPins{{kAlice, "aa:33"}, {kBob, "bb:22"}}));
}

TEST(TrustedKeyStore, OnlyANewPinRewritesTheFile) {
    TempFolder temp;
    const std::string path = temp / "Vael/trusted-keys.json";
    FileTrustedKeyStore store(path);
    ASSERT_TRUE(store.trustOnFirstUse("aa:11", kAlice));
    const auto written = inodeOf(path);
    EXPECT_TRUE(store.trustOnFirstUse("aa:11", kAlice));
    EXPECT_FALSE(store.trustOnFirstUse("ff:ff", kAlice));
    EXPECT_EQ(inodeOf(path), written);
}

TEST(TrustedKeyStore, TwoStoresOverOneFileSeeEachOthersPinsOnlyAfterARestart) {
    TempFolder temp;
    const std::string path = temp / "Vael/trusted-keys.json";
    FileTrustedKeyStore first(path);
    FileTrustedKeyStore second(path);
    first.pin("aa:11", kAlice);
    EXPECT_EQ(second.pinnedFingerprint(kAlice), std::nullopt);
    EXPECT_EQ(FileTrustedKeyStore(path).pinnedFingerprint(kAlice), "aa:11");
}

TEST(TrustedKeyPinsCodec, WritesUpperCaseIdentifiersAndReadsEitherCase) {
    EXPECT_EQ(encodeTrustedKeyPins({{kAlice, "aa:11"}}), R"({"6F9619FF-8B86-D011-B42D-00C04FC964FF":"aa:11"})");
    EXPECT_EQ(decodeTrustedKeyPins(R"({"6f9619ff-8b86-d011-b42d-00c04fc964ff":"aa:11","extra":null})"),
              std::nullopt)
        << "one entry of another shape makes the whole file unreadable";
    EXPECT_EQ(decodeTrustedKeyPins(R"({"6f9619ff-8b86-d011-b42d-00c04fc964ff":"aa:11"})"),
              (TrustedKeyPins{{kAlice, "aa:11"}}));
    EXPECT_EQ(decodeTrustedKeyPins("{}"), TrustedKeyPins{});
}

TEST(TrustedKeyStore, AMissingOrEmptyFileGivesNoPinsAndIsSimplyReplaced) {
    for (const bool empty : {false, true}) {
        TempFolder temp;
        const std::string path = temp / "Vael/trusted-keys.json";
        if (empty) writePrivateFileAtomically(path, "");
        FileTrustedKeyStore store(path);
        EXPECT_EQ(store.pinnedFingerprint(kAlice), std::nullopt);
        store.pin("aa:11", kAlice);
        EXPECT_EQ(namesIn(temp / "Vael"), std::vector<std::string>{"trusted-keys.json"});
        EXPECT_EQ(FileTrustedKeyStore(path).pinnedFingerprint(kAlice), "aa:11");
    }
}

TEST(TrustedKeyStore, ADamagedFileReadsAsNoPinsAndIsKeptAsideBeforeTheFirstOverwrite) {
    const char* damaged[] = {
        "not json",
        "[\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"aa:11\"]",
        "{\"6F9619FF-8B86-D011-B42D-00C04FC964FF\":5}",
        "{\"not an identifier\":\"aa:11\"}",
        "null",
        "{\"6F9619FF-8B86-D011-B42D-00C04FC964FF\":\"aa:11\"",  // cut short
    };
    for (const std::string contents : damaged) {
        TempFolder temp;
        const std::string path = temp / "Vael/trusted-keys.json";
        writePrivateFileAtomically(path, contents);
        FileTrustedKeyStore store(path, std::make_shared<FixedClock>());
        EXPECT_EQ(store.pinnedFingerprint(kAlice), std::nullopt) << contents;
        EXPECT_EQ(contentsOf(path), contents) << "loading changes nothing on disk";

        EXPECT_TRUE(store.trustOnFirstUse("bb:22", kBob));
        const std::string aside = path + ".damaged-20250307T084640Z";
        EXPECT_EQ(contentsOf(aside), contents) << contents;
        EXPECT_EQ(modeOf(aside), 0600u);
        EXPECT_EQ(FileTrustedKeyStore(path).pinnedFingerprint(kBob), "bb:22");

        store.pin("cc:33", kAlice);  // kept aside once, not at every pin
        EXPECT_EQ(namesIn(temp / "Vael"),
                  (std::vector<std::string>{"trusted-keys.json", "trusted-keys.json.damaged-20250307T084640Z"}));
    }
}

TEST(TrustedKeyStore, AnEarlierDamagedCopyIsNeverOverwritten) {
    TempFolder temp;
    const std::string path = temp / "Vael/trusted-keys.json";
    writePrivateFileAtomically(path + ".damaged-20250307T084640Z", "first damage");
    writePrivateFileAtomically(path, "second damage");
    FileTrustedKeyStore(path, std::make_shared<FixedClock>()).pin("aa:11", kAlice);
    EXPECT_EQ(contentsOf(path + ".damaged-20250307T084640Z"), "first damage");
    EXPECT_EQ(contentsOf(path + ".damaged-20250307T084640Z-2"), "second damage");
}

// Refused at start (the folder is open to others): the pins are unknown, so no key is new for
// certain; once the user makes the folder private, the file is read and its pins hold again.
TEST(TrustedKeyStore, AFileThatCouldNotBeReadTrustsNoNewKeyAndIsReadAgainLater) {
    TempFolder temp;
    const std::string folder = temp / "Vael";
    const std::string path = folder + "/trusted-keys.json";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string original = R"({"6F9619FF-8B86-D011-B42D-00C04FC964FF":"aa:11"})";
    writeFile(path, original);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);

    FileTrustedKeyStore store(path, std::make_shared<FixedClock>());
    EXPECT_EQ(store.pinnedFingerprint(kAlice), std::nullopt) << "nothing is read from a folder others can change";
    EXPECT_FALSE(store.pinsKnown());
    EXPECT_FALSE(store.trustOnFirstUse("substitute", kAlice));
    EXPECT_FALSE(store.trustOnFirstUse("bb:22", kBob));
    store.pin("bb:22", kBob);  // the user checked Bob's key by hand
    EXPECT_TRUE(store.trustOnFirstUse("bb:22", kBob));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"trusted-keys.json"});
    EXPECT_EQ(contentsOf(path), original) << "a file never read is never overwritten";

    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    EXPECT_FALSE(store.trustOnFirstUse("substitute", kAlice)) << "the earlier pin holds";
    EXPECT_TRUE(store.trustOnFirstUse("aa:11", kAlice));
    EXPECT_TRUE(store.pinsKnown());
    // The pin made meanwhile joined the file's pins.
    EXPECT_EQ(decodeTrustedKeyPins(contentsOf(path)), (TrustedKeyPins{{kAlice, "aa:11"}, {kBob, "bb:22"}}));
    EXPECT_EQ(FileTrustedKeyStore(path).pinnedFingerprint(kBob), "bb:22");
}

}  // namespace
}  // namespace vael

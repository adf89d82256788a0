#include "app/custody/PrivateFiles.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <atomic>
#include <cerrno>

#include "app/custody/VaultConfig.h"
#include "crypto/VaultCrypto.h"
#include "custody/FileSizeLimit.h"
#include "custody/TempFolder.h"

namespace {
// While set, flushing a folder fails as on a disk that reports an I/O error; files flush as usual.
std::atomic<bool> folderFlushFails{false};
}  // namespace

// Stands in for the C library's fsync in this test program.
extern "C" int fsync(int fd) {
    struct stat st {};
    if (folderFlushFails && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace vael {
namespace {

using test::contentsOf;
using test::modeOf;
using test::namesIn;
using test::ScopedUmask;
using test::TempFolder;
using test::writeFile;

TEST(PrivateFolder, IsCreatedWithParentsAsPrivateWhateverTheUmask) {
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0700}}) {
        TempFolder temp;
        ScopedUmask umask(mask);
        const std::string folder = temp / "a/b/Vael";
        ensurePrivateFolder(folder);
        EXPECT_EQ(modeOf(folder), 0700u) << "umask " << mask;
        EXPECT_EQ(modeOf(temp / "a/b"), 0700u) << "umask " << mask;
        ensurePrivateFolder(folder);  // a second start finds it as it was
    }
}

TEST(PrivateFolder, RefusesFoldersThatAreNotPrivateOrNotOurs) {
    struct Case {
        const char* name;
        mode_t mode;
        uid_t owner;
        PrivateFileError::Kind kind;
        const char* advice;
    };
    const uid_t me = ::geteuid();
    const Case cases[] = {
        {"world-readable", 0755, me, PrivateFileError::Kind::OpenFolder, "chmod 700"},
        {"group-writable", 0770, me, PrivateFileError::Kind::OpenFolder, "chmod 700"},
        {"others may enter", 0701, me, PrivateFileError::Kind::OpenFolder, "chmod 700"},
        {"someone else's", 0700, me + 1, PrivateFileError::Kind::ForeignFolder, "remove or rename"},
    };
    for (const auto& c : cases) {
        TempFolder temp;
        const std::string folder = temp / "Vael";
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
        try {
            ensurePrivateFolder(folder, c.owner);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const PrivateFileError& error) {
            EXPECT_EQ(error.kind(), c.kind) << c.name;
            EXPECT_EQ(error.path(), folder);
            EXPECT_NE(std::string(error.what()).find(folder), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.advice), std::string::npos) << error.what();
        }
        EXPECT_EQ(modeOf(folder), c.mode) << c.name << ": a refused folder is left as it is";
    }
}

TEST(PrivateFolder, RefusesAFileInItsPlaceAndAcceptsOurOwnLink) {
    TempFolder temp;
    writeFile(temp / "Vael", "x");
    EXPECT_THROW(
        try { ensurePrivateFolder(temp / "Vael"); } catch (const PrivateFileError& error) {
            EXPECT_EQ(error.kind(), PrivateFileError::Kind::NotAFolder);
            throw;
        },
        PrivateFileError);

    ensurePrivateFolder(temp / "real");
    ASSERT_EQ(::symlink((temp / "real").c_str(), (temp / "link").c_str()), 0);
    EXPECT_NO_THROW(ensurePrivateFolder(temp / "link"));
}

TEST(PrivateFolder, EveryFileOperationChecksTheFolderFirst) {
    TempFolder temp;
    const std::string folder = temp / "Vael";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    writeFile(folder + "/vault.json", "{}");
    EXPECT_THROW(readPrivateFile(folder + "/vault.json"), PrivateFileError);
    EXPECT_THROW(writePrivateFileAtomically(folder + "/vault.json", "{\"a\":1}"), PrivateFileError);
    EXPECT_THROW(preparePrivateFile(folder + "/replica.sqlite"), PrivateFileError);
    EXPECT_EQ(contentsOf(folder + "/vault.json"), "{}");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"vault.json"});
}

TEST(PrivateFolder, AFolderChownedToAnotherUserIsRefusedAtTheFirstWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    TempFolder temp;
    const std::string folder = temp / "Vael";
    ensurePrivateFolder(folder);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_THROW(writePrivateFileAtomically(folder + "/vault.json", "{}"), PrivateFileError);
    // A link of someone else's is refused even when it points at a folder of ours.
    ensurePrivateFolder(temp / "mine");
    ASSERT_EQ(::symlink((temp / "mine").c_str(), (temp / "planted").c_str()), 0);
    ASSERT_EQ(::lchown((temp / "planted").c_str(), 65534, 65534), 0);
    EXPECT_THROW(ensurePrivateFolder(temp / "planted"), PrivateFileError);
}

TEST(AtomicWrite, CreatesAndReplacesFilesAsPrivateLeavingNoTemporaryFile) {
    TempFolder temp;
    ScopedUmask umask(0);
    const std::string path = temp / "Vael/vault.json";
    writePrivateFileAtomically(path, "first");
    EXPECT_EQ(contentsOf(path), "first");
    EXPECT_EQ(modeOf(path), 0600u);

    ::chmod(path.c_str(), 0644);  // as an older build might have left it
    writePrivateFileAtomically(path, "second");
    EXPECT_EQ(contentsOf(path), "second");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(namesIn(temp / "Vael"), std::vector<std::string>{"vault.json"});
}

// The file is replaced, then its folder cannot be flushed: saved, not yet flushed, which is no
// failure to save (a vault just created exists and opens).
TEST(AtomicWrite, AFolderFlushFailingAfterTheRenameIsSavedNotYetFlushed) {
    TempFolder temp;
    const std::string path = temp / "Vael/vault.json";
    EXPECT_EQ(writePrivateFileAtomically(path, "old content"), SaveOutcome::flushed);

    folderFlushFails = true;
    const auto outcome = writePrivateFileAtomically(path, "new content");
    const VaultConfigStore store(temp / "Vael/config.json");
    static const NewVault vault =
        VaultCrypto::createVault(SecureBytes(std::string_view("correct horse")), false, Argon2Cost{1, 8192});
    std::optional<SaveOutcome> configOutcome;
    try {
        configOutcome = store.save(VaultConfig::fromNewVault(vault));
    } catch (const std::exception& error) {
        ADD_FAILURE() << "reported as not saved: " << error.what();
    }
    folderFlushFails = false;

    EXPECT_EQ(outcome, SaveOutcome::notYetFlushed);
    EXPECT_EQ(contentsOf(path), "new content");
    EXPECT_EQ(configOutcome, SaveOutcome::notYetFlushed);
    EXPECT_EQ(store.load().wrappedAccountPrivKeys, vault.wrappedAccountPrivKeys);
    EXPECT_EQ(namesIn(temp / "Vael"), (std::vector<std::string>{"config.json", "vault.json"}));
}

// The disk fills up halfway through the write: the old file must survive whole.
TEST(AtomicWrite, AnInterruptedSaveKeepsTheOldFile) {
    TempFolder temp;
    const std::string path = temp / "Vael/vault.json";
    writePrivateFileAtomically(path, "old content");

    try {
        test::FileSizeLimit limit(4096);
        writePrivateFileAtomically(path, std::string(64 * 1024, 'n'));
        ADD_FAILURE() << "a write past the file size limit reported success";
    } catch (const PrivateFileError& error) {
        EXPECT_EQ(error.kind(), PrivateFileError::Kind::Io);
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
    }

    EXPECT_EQ(contentsOf(path), "old content");
    EXPECT_EQ(namesIn(temp / "Vael"), std::vector<std::string>{"vault.json"});
}

TEST(AtomicWrite, AFolderInPlaceOfTheFileFailsCleanly) {
    TempFolder temp;
    ensurePrivateFolder(temp / "Vael/vault.json");
    EXPECT_THROW(writePrivateFileAtomically(temp / "Vael/vault.json", "{}"), PrivateFileError);
    EXPECT_EQ(namesIn(temp / "Vael"), std::vector<std::string>{"vault.json"});
    EXPECT_THROW(readPrivateFile(temp / "Vael/vault.json"), PrivateFileError);
}

TEST(PrivateRead, AnswersNothingForAMissingFileAndTheBytesOtherwise) {
    TempFolder temp;
    EXPECT_EQ(readPrivateFile(temp / "Vael/vault.json"), std::nullopt);
    const std::string bytes("a\0b\xff", 4);
    writePrivateFileAtomically(temp / "Vael/vault.json", bytes);
    EXPECT_EQ(readPrivateFile(temp / "Vael/vault.json"), bytes);
}

TEST(PreparePrivateFile, CreatesAnEmptyPrivateFileOrNarrowsAnOpenOne) {
    TempFolder temp;
    ScopedUmask umask(0);
    const std::string path = temp / "Vael/replica.sqlite";
    preparePrivateFile(path);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(contentsOf(path), "");

    writeFile(path, "data", 0644);
    preparePrivateFile(path);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(contentsOf(path), "data");
}

TEST(KeepFileAside, KeepsEachCopyUnderItsOwnNameAndLeavesTheFile) {
    TempFolder temp;
    const std::string path = temp / "Vael/trusted-keys.json";
    EXPECT_EQ(keepFileAside(path, "damaged-1"), std::nullopt);

    writePrivateFileAtomically(path, "one");
    EXPECT_EQ(keepFileAside(path, "damaged-1"), path + ".damaged-1");
    writePrivateFileAtomically(path, "two");
    EXPECT_EQ(keepFileAside(path, "damaged-1"), path + ".damaged-1-2");

    EXPECT_EQ(contentsOf(path), "two");
    EXPECT_EQ(contentsOf(path + ".damaged-1"), "one");
    EXPECT_EQ(contentsOf(path + ".damaged-1-2"), "two");
}

// A save killed between its temporary file and the rename leaves ".vault.json.XXXXXX" behind; the next
// start removes exactly those, and nothing else.
TEST(PrivateFiles, TemporaryFilesOfInterruptedSavesAreRemovedAtStart) {
    TempFolder temp;
    const std::string folder = temp / "Vael";
    ensurePrivateFolder(folder);
    const std::string path = folder + "/vault.json";
    writePrivateFileAtomically(path, "{}");
    for (const auto* name : {".vault.json.a1B2c3", ".vault.json.zzzzzz", ".vault.json.toolong1", "vault.json.a1B2c3",
                             ".other.json.a1B2c3"})
        writeFile(folder + "/" + name, "partial");
    ASSERT_EQ(::mkdir((folder + "/.vault.json.dir123").c_str(), 0700), 0);

    removeInterruptedWrites(path);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".other.json.a1B2c3", ".vault.json.dir123", ".vault.json.toolong1",
                                              "vault.json", "vault.json.a1B2c3"}));
    EXPECT_EQ(*readPrivateFile(path), "{}");
    removeInterruptedWrites(temp / "absent/vault.json");  // no folder: nothing to do, no error
}

}  // namespace
}  // namespace vael


#include "app/custody/VaelPaths.h"

#include <gtest/gtest.h>

#include "app/custody/PrivateFiles.h"
#include "custody/TempFolder.h"

namespace vael {
namespace {

using test::modeOf;
using test::ScopedUmask;
using test::TempFolder;

PathEnvironment environmentIn(const TempFolder& temp) {
    PathEnvironment environment;
    environment.dataHome = temp / "data";
    environment.home = temp / "home";
    environment.runtimeDir = temp / "run";
    environment.tempDir = temp / "tmp";
    environment.uid = 4242;
    return environment;
}

TEST(VaelPaths, StandardPathsLieInAPrivateVaelFolderUnderTheDataFolder) {
    TempFolder temp;
    ScopedUmask umask(022);
    auto environment = environmentIn(temp);
    environment.dataHome = temp / "data/";  // a trailing slash changes nothing

    const auto paths = VaelPaths::standard(environment);
    EXPECT_EQ(paths.vaultConfig, temp / "data/Vael/vault.json");
    EXPECT_EQ(paths.replica, temp / "data/Vael/replica.sqlite");
    EXPECT_EQ(paths.socket, temp / "data/Vael/vael.sock");
    EXPECT_EQ(paths.trustedKeys(), temp / "data/Vael/trusted-keys.json");
    EXPECT_EQ(modeOf(temp / "data/Vael"), 0700u);
    EXPECT_EQ(modeOf(temp / "data"), 0700u);

    EXPECT_EQ(VaelPaths::standard(environment), paths);  // the folder is there now: same answer, no error
}

TEST(VaelPaths, ChoosesTheFirstUsableFolder) {
    struct Case {
        const char* name;
        std::optional<std::string> dataHome, home, runtimeDir, tempDir;
        std::string expectedFolder;  // relative to the scratch folder, "" for absolute
    };
    const Case cases[] = {
        {"data home set", "data", "home", "run", "tmp", "data/Vael"},
        {"no data home: under home", std::nullopt, "home", "run", "tmp", "home/.local/share/Vael"},
        {"relative data home ignored", "relative/data", "home", "run", "tmp", "home/.local/share/Vael"},
        {"no home: runtime folder", std::nullopt, std::nullopt, "run", "tmp", "run/Vael"},
        {"data home is a file: runtime folder", "a-file", std::nullopt, "run", "tmp", "run/Vael"},
        {"no runtime folder: uid under the temporary folder", std::nullopt, std::nullopt, std::nullopt, "tmp",
         "tmp/Vael-4242"},
        {"nothing at all: uid under /tmp", std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        TempFolder temp;
        test::writeFile(temp / "a-file", "");
        auto absolute = [&](const std::optional<std::string>& name) -> std::optional<std::string> {
            if (!name) return std::nullopt;
            if (name->rfind("relative", 0) == 0) return *name;
            return temp / *name;
        };
        PathEnvironment environment;
        environment.dataHome = absolute(c.dataHome);
        environment.home = absolute(c.home);
        environment.runtimeDir = absolute(c.runtimeDir);
        environment.tempDir = absolute(c.tempDir);
        environment.uid = 4242;
        if (c.expectedFolder.empty()) {
            // Only the name is checked: the folder under the real /tmp is not ours to make here.
            EXPECT_EQ(fallbackFolder(environment), "/tmp/Vael-4242") << c.name;
            continue;
        }
        const auto paths = VaelPaths::standard(environment);
        EXPECT_EQ(paths.vaultConfig, temp / (c.expectedFolder + "/vault.json")) << c.name;
        EXPECT_EQ(paths.trustedKeys(), temp / (c.expectedFolder + "/trusted-keys.json")) << c.name;
    }
}

TEST(VaelPaths, AFallbackFolderPreparedByAnotherUserIsRefusedAtTheFirstFileNotBefore) {
    TempFolder temp;
    auto environment = environmentIn(temp);
    environment.dataHome = std::nullopt;
    environment.home = std::nullopt;
    environment.runtimeDir = std::nullopt;
    // Someone got there first and left the folder open.
    ASSERT_EQ(::mkdir((temp / "tmp").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((temp / "tmp/Vael-4242").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((temp / "tmp/Vael-4242").c_str(), 0777), 0);

    const auto paths = VaelPaths::standard(environment);
    EXPECT_EQ(paths.vaultConfig, temp / "tmp/Vael-4242/vault.json");
    EXPECT_THROW(writePrivateFileAtomically(paths.vaultConfig, "{}"), PrivateFileError);
}

TEST(VaelPaths, TemporarySetsShareOneFreshTagAndTouchNothing) {
    TempFolder temp;
    const auto environment = environmentIn(temp);
    const auto a = VaelPaths::temporary(environment);
    const auto b = VaelPaths::temporary(environment);

    const std::string prefix = temp / "run/Vael/vael-";
    ASSERT_EQ(a.vaultConfig.rfind(prefix, 0), 0u) << a.vaultConfig;
    const std::string tag = a.vaultConfig.substr(prefix.size(), 8);
    EXPECT_EQ(a.vaultConfig, prefix + tag + ".json");
    EXPECT_EQ(a.replica, prefix + tag + ".sqlite");
    EXPECT_EQ(a.socket, prefix + tag + ".sock");
    EXPECT_NE(a.vaultConfig, b.vaultConfig);
    EXPECT_EQ(test::namesIn(temp.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "model/ItemFixtures.h"
#include "app/model/items/SSHKeySheetModel.h"

namespace vael {
namespace {

using testing::await;
using testing::OpenVault;

TEST(SSHKeySheetModel, FormValidity) {
    struct Case {
        QString name, passphrase, confirmation;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"deploy", "", "", true},
        {"", "", "", false},
        {" \t ", "", "", false},
        {"  deploy\t", "", "", true},
        {"deploy", "abcd", "abcd", false},
        {"deploy", "abcde", "abcde", true},
        {"deploy", "abcde", "abcdE", false},
        {"deploy", "", "x", false},
        // Characters as the user sees them: four accented letters are four, five are five.
        {"deploy", "e\u0301e\u0301e\u0301e\u0301", "e\u0301e\u0301e\u0301e\u0301", false},
        {"deploy", "\u00E9\u00E9\u00E9\u00E9\u00E9", "\u00E9\u00E9\u00E9\u00E9\u00E9", true},
        // Exactly equal: canonically equivalent is not enough.
        {"deploy", "\u00E9\u00E9\u00E9\u00E9\u00E9", "e\u0301\u00E9\u00E9\u00E9\u00E9", false},
    };
    OpenVault v;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " / " + c.passphrase.toStdString() + " / " + c.confirmation.toStdString());
        SSHKeySheetModel model(v.m);
        model.setName(c.name);
        model.setPassphrase(c.passphrase);
        model.setPassphraseConfirm(c.confirmation);
        EXPECT_EQ(model.formValid(), c.valid);
    }
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(SSHKeySheetModel, GeneratesStoresAndInstallsARealKey) {
    if (::access("/usr/bin/ssh-keygen", X_OK) != 0) GTEST_SKIP() << "ssh-keygen is not installed";
    OpenVault v;
    SSHKeySheetModel model(v.m);
    model.setName("  Acme Deploy ");
    model.setTierID("injectable");
    model.setTierID("Injectable");  // not a tier: ignored
    ASSERT_TRUE(model.formValid());
    await(model.generate());
    ASSERT_FALSE(model.error()) << *model.error();
    ASSERT_TRUE(model.generated());
    EXPECT_TRUE(model.generated()->publicKey.ends_with(" Acme Deploy (vael)"));
    EXPECT_EQ(model.storedLine(),
              "\u201C" "Acme Deploy\u201D is stored in your vault \u2014 the private key encrypted, the public key open.");

    const auto rows = v.peek->items(AppModel::localCollectionID());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, "ssh_key");
    EXPECT_EQ(rows[0].aiAccess, "injectable");
    EXPECT_EQ(v.payloadOf(rows[0].id).name, "Acme Deploy");

    EXPECT_EQ(model.keyFileName(), "id_acme_deploy");
    EXPECT_EQ(model.installPanelMessage(), "Choose the folder for id_acme_deploy and id_acme_deploy.pub (usually ~/.ssh).");
    const auto folder = QString::fromStdString(v.h.home.path());
    model.install(std::nullopt);  // the panel was cancelled
    EXPECT_FALSE(model.installedPath());
    model.install(QString::fromStdString(v.h.home.path() + "/missing"));
    EXPECT_EQ(model.error(), "ssh-keygen failed: couldn't write into " + v.h.home.path() + "/missing");
    model.install(folder);
    EXPECT_FALSE(model.error());
    EXPECT_EQ(model.installedPath(),
              SSHKeySheetModel::homeRelative(folder + "/id_acme_deploy", SSHKeySheetModel::realHome()));
    EXPECT_EQ(modeOf(v.h.home.path() + "/id_acme_deploy"), 0600u);
    EXPECT_EQ(modeOf(v.h.home.path() + "/id_acme_deploy.pub"), 0644u);

    std::ofstream(v.h.home.path() + "/id_acme_deploy.pub") << "kept";
    model.install(folder);
    EXPECT_EQ(model.error(), "\u201Cid_acme_deploy\u201D already exists in that folder \u2014 choose another name.");
    std::ifstream kept(v.h.home.path() + "/id_acme_deploy.pub");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
}

TEST(SSHKeySheetModel, FailuresKeepTheForm) {
    OpenVault v;
    const auto script = v.h.home.path() + "/keygen";
    std::ofstream(script) << "#!/bin/sh\necho '  bad key type  ' >&2\nexit 1\n";
    ::chmod(script.c_str(), 0700);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {script, "ssh-keygen failed: bad key type"},
        {v.h.home.path() + "/no-such-program", std::string(SSHKeySheetModel::kGenerateFailed)},
    };
    for (const auto& [program, message] : cases) {
        SCOPED_TRACE(program);
        v.m.setSSHKeyOptions(SSHKeyGenerator::Options{program, std::nullopt});
        SSHKeySheetModel model(v.m);
        model.setName("deploy");
        await(model.generate());
        EXPECT_EQ(model.error(), message);
        EXPECT_FALSE(model.generated());
        EXPECT_FALSE(model.busy());
        EXPECT_EQ(model.name(), "deploy");
        EXPECT_TRUE(model.formValid());
    }
    EXPECT_TRUE(v.peek->items(AppModel::localCollectionID()).empty());
}

TEST(SSHKeySheetModel, HomeBecomesTilde) {
    const std::vector<std::tuple<QString, QString, QString>> cases = {
        {"/home/al/.ssh/id_x", "/home/al", "~/.ssh/id_x"},
        {"/home/al/.ssh/id_x", "/home/al/", "~/.ssh/id_x"},
        {"/home/al", "/home/al", "~"},
        {"/home/alice/.ssh/id_x", "/home/al", "/home/alice/.ssh/id_x"},
        {"/srv/keys/id_x", "/", "/srv/keys/id_x"},
        {"/srv/keys/id_x", "", "/srv/keys/id_x"},
    };
    for (const auto& [path, home, shown] : cases) {
        EXPECT_EQ(SSHKeySheetModel::homeRelative(path, home), shown) << path.toStdString() << " in " << home.toStdString();
    }
}

}  // namespace
}  // namespace vael

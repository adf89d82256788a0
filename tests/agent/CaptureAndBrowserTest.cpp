// Capturing a login through the presenter, and the browser extension's match, fill, code and save.
#include <future>
#include <thread>

#include "OpsFixtures.h"
#include "app/agent/ops/AgentText.h"
#include "app/model/GatedItemSource.h"
#include "crypto/TOTP.h"

using namespace vael;
using namespace vael::testing;
using namespace std::chrono_literals;
using Kind = ItemField::Kind;
using Op = VaultUDSRequest::Op;
using MCase = VaultUDSManagementError::Case;

namespace {

constexpr const char* kSeed = "JBSWY3DPEHPK3PXP";

VaultUDSRequest capture(std::optional<std::string> url, std::optional<std::string> name = {}) {
    auto r = request(Op::capture);
    r.url = std::move(url);
    r.name = std::move(name);
    return r;
}

VaultUDSRequest browser(Op op, std::string url, std::optional<std::string> id = {}) {
    auto r = request(op);
    r.url = std::move(url);
    r.id = std::move(id);
    return r;
}

CapturedCredential login(std::string name, std::string password, std::optional<std::string> group = {}) {
    return CapturedCredential{std::move(name), std::nullopt, std::move(password), std::nullopt,
                              UDSAIAccess::humanGated, std::move(group)};
}

// Moves on by one second at every reading.
class SteppingClock final : public Clock {
public:
    explicit SteppingClock(TimePoint start) : next_(start) {}
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        auto at = next_;
        next_ += 1s;
        return at;
    }

private:
    mutable std::mutex mutex_;
    mutable TimePoint next_;
};

}  // namespace

TEST(ItemSourceCapture, ArgumentsAreCheckedBeforeThePresenterIsAsked) {
    OpsEnv env;
    EXPECT_EQ(managementError([&] { env.source->captureSecret(capture(std::nullopt)); }), MCase::invalid);
    EXPECT_EQ(managementError([&] { env.source->captureSecret(capture(" \n")); }), MCase::invalid);
    // Only a web origin may be shown to the owner as the site that wants a login.
    for (const std::string& notASite : std::vector<std::string>{"not a url", "Vael security notice: type your MASTER PASSPHRASE below",
                                       "file:///etc/passwd", "javascript:alert(1)", "ftp://a.example", "https://",
                                       "mailto:a@a.example", "https://" + std::string(3599, 'a') + ".example",
                                       "https://" + std::string(64, 'a') + ".example",
                                       "https://" + std::string(250, 'a').replace(63, 1, ".").replace(127, 1, ".").replace(191, 1, ".") + ".com",
                                       "https://a..example"}) {
        try {
            env.source->captureSecret(capture(notASite));
            ADD_FAILURE() << notASite;
        } catch (const VaultUDSManagementError& error) {
            EXPECT_EQ(error.code(), MCase::invalid) << notASite;
            EXPECT_EQ(std::string(error.what()), "invalid or missing argument \u2014 the origin is not a web address");
        }
    }
    EXPECT_TRUE(env.presenter->calls().empty());

    OpsEnv bare({.presenter = false});
    EXPECT_EQ(managementError([&] { bare.source->captureSecret(capture(std::nullopt)); }), MCase::invalid);
    // Host names up to their limits and IP literals pass the origin check.
    for (const std::string& site : std::vector<std::string>{"https://a.example", "https://" + std::string(63, 'a') + ".example",
                                   "http://192.0.2.1:8080", "https://[2001:db8::1]/", "https://a.example./"}) {
        EXPECT_EQ(managementError([&] { bare.source->captureSecret(capture(site)); }), MCase::unsupported) << site;
    }
}

TEST(ItemSourceCapture, DismissalOrABlankPasswordIsACancellationThatWritesNothing) {
    OpsEnv env;
    env.presenter->script(std::nullopt);
    env.presenter->script(login("n", " \t "));
    const auto before = env.footprint();
    EXPECT_EQ(managementError([&] { env.source->captureSecret(capture("https://a.example")); }), MCase::cancelled);
    EXPECT_EQ(managementError([&] { env.source->captureSecret(capture("https://a.example")); }), MCase::cancelled);
    EXPECT_EQ(env.footprint(), before);
}

TEST(ItemSourceCapture, StoresWhatTheUserEntered) {
    OpsEnv env;
    CapturedCredential entered{" GitHub ", " octo ", " pw ", " " + std::string(kSeed) + " ", UDSAIAccess::injectable,
                               " Dev "};
    env.presenter->script(entered);
    const auto answer = env.source->captureSecret(capture(" https://github.com/login?next=1 "));
    EXPECT_EQ(env.presenter->calls().back().origin, "https://github.com/login?next=1");
    EXPECT_EQ(env.presenter->calls().back().suggestedName, "github.com");
    EXPECT_EQ(answer.ref, "vael://Dev/%20GitHub%20/password");
    EXPECT_EQ(answer.fieldLabel, "password");
    EXPECT_EQ(answer.kind, "password");
    EXPECT_EQ(answer.aiAccess, UDSAIAccess::injectable);
    EXPECT_EQ(answer.group, "Dev");
    EXPECT_EQ(answer.url, "https://github.com/login?next=1");

    const auto id = *Uuid::parse(answer.id);
    EXPECT_EQ(env.payloadOf(id), payload(" GitHub ",
                                         {field("username", Kind::username, "octo", false),
                                          field("password", Kind::password, " pw "), field("otp", Kind::otp, kSeed)},
                                         "https://github.com/login?next=1"));
    const auto row = env.store->item(id);
    EXPECT_EQ(row->aiAccess, "injectable");
    const auto group = env.store->collection(row->collectionId);
    EXPECT_EQ(group->orgId, kDefaultProject);
    EXPECT_FALSE(group->parentId);

    // A given name is the suggestion, made safe to show and cut to 80 characters.
    struct Suggestion {
        std::string given;
        std::string suggested;
    };
    const std::vector<Suggestion> suggestions = {
        {" Mine ", "Mine"},
        {"Git\u202eHub\u202c\nBank", "GitHub Bank"},
        {std::string(200, 'a'), std::string(80, 'a')},
        // Characters, not bytes: 100 accented letters written with combining marks keep whole.
        {[] { std::string t; for (int i = 0; i < 100; ++i) t += "e\u0301"; return t; }(),
         [] { std::string t; for (int i = 0; i < 80; ++i) t += "e\u0301"; return t; }()},
    };
    for (const auto& s : suggestions) {
        env.presenter->script(login("y", "pw"));
        env.source->captureSecret(capture("http://a.example", s.given));
        EXPECT_EQ(env.presenter->calls().back().suggestedName, s.suggested) << s.given;
    }
}

// The default group's gate is what a key rotation waits on: an open sheet must not hold it, and the
// login entered afterwards is sealed under the key the rotation left.
TEST(ItemSourceCapture, AnOpenSheetHoldsUpNoRotationAndItsAnswerLandsUnderTheNewKey) {
    OpsEnv env;
    auto gate = std::make_shared<DefaultGroupGate>();
    GatedItemSource gated(env.source, gate);
    env.presenter->hold();
    env.presenter->script(login("GitHub", "pw-after-rotation"));
    auto capturing = std::async(std::launch::async, [&] { return gated.captureSecret(capture("https://github.com")); });
    env.presenter->waitForCalls(1);

    // A rotation while the sheet is open: hold, switch the group's key in the store and the source.
    auto holding = std::async(std::launch::async, [&] { gate->hold(); });
    const bool rotationWent = holding.wait_for(30s) == std::future_status::ready;
    if (!rotationWent) env.presenter->release();  // end the test rather than hang it
    ASSERT_TRUE(rotationWent) << "the open sheet holds the rotation up";
    const auto newKey = env.vault->newCollectionKey();
    auto groupName = env.vault->sealBlob(SecureBytes(std::string_view("local")), kDefaultGroup, newKey);
    auto group = *env.store->collection(kDefaultGroup);
    group.nameBlob = groupName.blob;
    group.wrappedKey = env.vault->wrapCollectionKeyToSelf(newKey);
    env.store->upsertCollection(group);
    auto projectName = env.vault->sealBlob(SecureBytes(std::string_view("Personal")), kDefaultProject, newKey);
    env.store->upsertProject(
        ProjectRecord{kDefaultProject, projectName.blob, projectName.wrappedKey, 0, env.clock->now(), false});
    env.source->setDefaultCollectionKey(newKey);
    gate->release(true);

    env.presenter->release();
    const auto answer = capturing.get();
    const auto id = *Uuid::parse(answer.id);
    EXPECT_EQ(env.store->item(id)->collectionId, kDefaultGroup);
    EXPECT_EQ(env.payloadOf(id).fields.front().value, "pw-after-rotation");
    EXPECT_EQ(env.store->collections().size(), 1u);
}

TEST(ItemSourceCapture, ASecondCaptureReachesThePresenterWhileTheFirstWaits) {
    OpsEnv env;
    env.presenter->hold();
    env.presenter->script(login("first", "pw1"));
    env.presenter->script(login("second", "pw2"));
    std::vector<std::string> names(2);
    std::thread one([&] { names[0] = env.source->captureSecret(capture("https://a.example")).name; });
    std::thread two([&] { names[1] = env.source->captureSecret(capture("https://b.example")).name; });
    env.presenter->waitForCalls(2);
    env.presenter->release();
    one.join();
    two.join();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(env.store->items(kDefaultGroup).size(), 2u);
}

TEST(ItemSourceBrowser, MatchListsTheSitesLoginsWhateverTheirTier) {
    OpsEnv env;
    auto other = env.addGroup("Other");
    auto withOtp = payload("b", {field("username", Kind::username, "octo", false), field("password", Kind::password, "1"),
                                 field("otp", Kind::otp, kSeed)},
                           "https://github.com");
    auto b = env.addItem(kDefaultGroup, withOtp, "injectable");
    auto upperB = env.addItem(other.id, payload("B", {field("password", Kind::password, "2")}, "https://github.com"),
                              "ai_hidden");
    auto a = env.addItem(kDefaultGroup, payload("a", {field("password", Kind::password, "3")}, "https://www.github.com:8443"));
    auto strict = payload("strict", {field("password", Kind::password, "4")}, "https://gist.github.com");
    strict.strictMatch = true;
    env.addItem(kDefaultGroup, strict);
    env.addItem(kDefaultGroup, payload("no url", {field("password", Kind::password, "5")}));
    env.addItem(kDefaultGroup, payload("no password", {field("otp", Kind::otp, kSeed)}, "https://github.com"));
    env.addItem(kDefaultGroup, payload("elsewhere", {field("password", Kind::password, "6")}, "https://gitlab.com"));

    const auto matches = env.source->browserMatch(browser(Op::browserMatch, " https://github.com/login "));
    const std::vector<VaultUDSBrowserItem> expected = {
        {upperB.id.text(), "B", std::nullopt, "https://github.com", "Other", false, false},
        {a.id.text(), "a", std::nullopt, "https://www.github.com:8443", "local", false, false},
        {b.id.text(), "b", "octo", "https://github.com", "local", false, true},
    };
    EXPECT_EQ(matches.items, expected);
    EXPECT_EQ(env.source->browserMatch(browser(Op::browserMatch, "https://gist.github.com")).items.size(), 4u);
    EXPECT_TRUE(env.source->browserMatch(browser(Op::browserMatch, "http://github.com")).items.empty());
    EXPECT_EQ(managementError([&] { env.source->browserMatch(browser(Op::browserMatch, " ")); }), MCase::invalid);
}

TEST(ItemSourceBrowser, FillAndCode) {
    OpsEnv env;
    auto good = env.addItem(kDefaultGroup,
                            payload("GitHub", {field("username", Kind::username, "octo", false),
                                               field("password", Kind::password, "pw"), field("otp", Kind::otp, kSeed)},
                                    "https://github.com"),
                            "ai_hidden");
    auto badSeed = env.addItem(kDefaultGroup, payload("Broken", {field("password", Kind::password, "pw2"),
                                                                 field("otp", Kind::otp, "not base32!")},
                                                      "https://github.com"));
    auto noOtp = env.addItem(kDefaultGroup, payload("Plain", {field("password", Kind::password, "pw3")}, "https://github.com"));
    auto gitlab = env.addItem(kDefaultGroup, payload("GitLab", {field("password", Kind::password, "x")}, "https://gitlab.com"));
    const std::string page = "https://github.com/session";

    EXPECT_EQ(env.source->browserFill(browser(Op::browserFill, page, " " + lowercased(good.id.text()) + " ")),
              (VaultUDSBrowserFill{"octo", "pw", TOTP::code(kSeed, env.clock->now())}));
    EXPECT_EQ(env.source->browserFill(browser(Op::browserFill, page, badSeed.id.text())),
              (VaultUDSBrowserFill{std::nullopt, "pw2", std::nullopt}));
    EXPECT_THROW(env.source->browserTotp(browser(Op::browserTotp, page, badSeed.id.text())), TOTPError);
    EXPECT_EQ(env.source->browserTotp(browser(Op::browserTotp, page, good.id.text())).code,
              TOTP::code(kSeed, env.clock->now()));

    struct Case {
        const char* name;
        VaultUDSRequest request;
        MCase error;
    };
    const Case cases[] = {
        {"another site's item", browser(Op::browserFill, page, gitlab.id.text()), MCase::notFound},
        {"unknown id", browser(Op::browserFill, page, Uuid::random().text()), MCase::notFound},
        {"no otp field", browser(Op::browserTotp, page, noOtp.id.text()), MCase::notFound},
        {"not an id", browser(Op::browserFill, page, "GitHub"), MCase::invalid},
        {"no id", browser(Op::browserTotp, page), MCase::invalid},
        {"plain http page", browser(Op::browserFill, "http://github.com", good.id.text()), MCase::invalid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(managementError([&] {
                      if (c.request.op == Op::browserFill) {
                          env.source->browserFill(c.request);
                      } else {
                          env.source->browserTotp(c.request);
                      }
                  }),
                  c.error)
            << c.name;
    }
}

TEST(ItemSourceBrowser, TheCodeAndItsRemainingSecondsComeFromOneClockReading) {
    OpsEnv env;
    auto item = env.addItem(kDefaultGroup, payload("GitHub", {field("password", Kind::password, "pw"),
                                                              field("otp", Kind::otp, kSeed)},
                                                   "https://github.com"));
    // One second before the code changes.
    const TimePoint lastSecond{std::chrono::seconds(1741338299)};
    StoreVaultItemSource source(env.store, env.vault,
                                StoreVaultItemSource::Defaults{kDefaultProject, "Personal", kDefaultGroup, "local",
                                                               env.defaultKey},
                                nullptr, nullptr, std::make_shared<SteppingClock>(lastSecond));
    const auto code = source.browserTotp(browser(Op::browserTotp, "https://github.com", item.id.text()));
    EXPECT_EQ(code.code, TOTP::code(kSeed, lastSecond));
    EXPECT_EQ(code.remaining, 1);
}

TEST(ItemSourceBrowser, SaveUpdatesTheSameUsersLoginOrCreatesOne) {
    OpsEnv env({.engine = false});
    auto existing = env.addItem(kDefaultGroup,
                                payload("GitHub", {field("username", Kind::username, "octo", false),
                                                   field("password", Kind::password, "old"), field("note", Kind::text, "keep")},
                                        "https://github.com"),
                                "ai_hidden", "ssh_key");
    auto emptyUser = env.addItem(kDefaultGroup, payload("Blank user", {field("username", Kind::username, "", false),
                                                                       field("password", Kind::password, "b")},
                                                        "https://github.com"));
    env.addGroup("Sub", env.addGroup("Parent").id);

    auto save = browser(Op::browserSave, "https://www.github.com/login");
    save.username = " octo ";
    save.value = "  new  ";
    save.aiAccess = "injectable";
    const auto updated = env.source->browserSave(save);
    EXPECT_EQ(updated.id, existing.id.text());
    EXPECT_EQ(updated.aiAccess, UDSAIAccess::aiHidden);
    EXPECT_EQ(updated.ref, "vael://local/GitHub/password");
    const auto row = env.store->item(existing.id);
    EXPECT_EQ(row->revision, 2);
    EXPECT_EQ(row->type, "ssh_key");
    EXPECT_EQ(row->aiAccess, "ai_hidden");
    EXPECT_EQ(env.payloadOf(existing.id).fields,
              (std::vector<ItemField>{field("username", Kind::username, "octo", false),
                                      field("password", Kind::password, "new"), field("note", Kind::text, "keep")}));

    // No user name: an item with an empty username field is no match, so a new login is made.
    auto anonymous = browser(Op::browserSave, "https://github.com");
    anonymous.value = "pw";
    anonymous.group = "Sub";
    const auto created = env.source->browserSave(anonymous);
    EXPECT_NE(created.id, emptyUser.id.text());
    EXPECT_EQ(created.name, "github.com");
    EXPECT_EQ(created.aiAccess, UDSAIAccess::humanGated);
    EXPECT_EQ(created.group, "Sub");
    const auto made = env.store->item(*Uuid::parse(created.id));
    EXPECT_EQ(made->type, "login");
    EXPECT_FALSE(env.store->collection(made->collectionId)->parentId);  // a new top-level "Sub"
    EXPECT_EQ(env.payloadOf(made->id), payload("github.com", {field("password", Kind::password, "pw")}, "https://github.com"));

    // An international site is named as people write it, not in its ASCII form.
    auto international = browser(Op::browserSave, "https://BÜCHER.de/login");
    international.value = "pw";
    EXPECT_EQ(env.source->browserSave(international).name, "bücher.de");

    auto blank = browser(Op::browserSave, "https://github.com");
    blank.value = " ";
    EXPECT_EQ(managementError([&] { env.source->browserSave(blank); }), MCase::invalid);
    blank.value = "pw";
    blank.url = "http://github.com";
    EXPECT_EQ(managementError([&] { env.source->browserSave(blank); }), MCase::invalid);
}

TEST(ItemSourceBrowser, SaveConflictAppliesOnlyThePasswordToTheServersCopy) {
    OpsEnv env;
    auto mine = env.addItem(kDefaultGroup, payload("GitHub", {field("username", Kind::username, "octo", false),
                                                              field("password", Kind::password, "old")},
                                                   "https://github.com"));
    // Meanwhile the server's copy was renamed and given a note on another device.
    auto theirs = payload("GitHub (work)", {field("username", Kind::username, "octo", false),
                                            field("password", Kind::password, "old"), field("note", Kind::text, "theirs")},
                          "https://github.com");
    auto sealed = env.vault->sealBlob(encodeItemPayload(theirs), mine.id, env.defaultKey);
    auto server = ItemBody::fromRecord(mine);
    server.nameBlob = server.contentBlob = sealed.blob;
    server.wrappedItemKey = sealed.wrappedKey;
    server.revision = 7;
    env.api->serverItems[mine.id] = server;
    env.api->script("putItem", {test::ScriptedSyncAPI::Outcome::conflict(7)});

    auto save = browser(Op::browserSave, "https://github.com");
    save.username = "octo";
    save.value = "new";
    const auto answer = env.source->browserSave(save);
    EXPECT_EQ(answer.name, "GitHub (work)");
    theirs.fields[1].value = "new";
    EXPECT_EQ(env.payloadOf(mine.id), theirs);
    const auto puts = env.api->calls();
    ASSERT_EQ(puts.back().method, "putItem");
    EXPECT_EQ(puts.back().expectedRevision, 7);

    // A second conflict is the caller's to handle.
    env.api->script("putItem", {test::ScriptedSyncAPI::Outcome::conflict(8), test::ScriptedSyncAPI::Outcome::conflict(9)});
    EXPECT_THROW(env.source->browserSave(save), SyncAPIError);
}

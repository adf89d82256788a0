#include <gtest/gtest.h>

#include <atomic>

#include "Fixtures.h"
#include "app/agent/VaultResolver.h"

using namespace vael;
using vael::testing::FixtureItemSource;
using vael::testing::ScriptedGate;
using Op = VaultUDSRequest::Op;
using MCase = VaultUDSManagementError::Case;

namespace {

const std::vector<std::string> kHosts = {"api.example.com"};
const std::vector<std::string> kCommands = {"curl"};

ResolvedItem item(UDSAIAccess tier, std::string type, std::string value = "s3cret/value") {
    return ResolvedItem{tier, std::move(value), std::move(type), "Git\u202eHub\n", "https://example.com/", kHosts,
                        kCommands};
}

template <class Call>
std::optional<MCase> managementError(Call&& call) {
    try {
        call();
    } catch (const VaultUDSManagementError& error) {
        return error.code();
    }
    return std::nullopt;
}

VaultUDSRequest request(Op op, std::optional<std::string> ref = std::nullopt, std::optional<bool> approved = {}) {
    VaultUDSRequest r;
    r.op = op;
    r.ref = std::move(ref);
    r.approved = approved;
    return r;
}

class ResolverTest : public ::testing::Test {
protected:
    ResolverTest()
        : source(std::make_shared<FixtureItemSource>()),
          gate(std::make_shared<ScriptedGate>()),
          resolver(source, gate, [this] { return killSwitch.load(); }) {}

    std::shared_ptr<FixtureItemSource> source;
    std::shared_ptr<ScriptedGate> gate;
    std::atomic<bool> killSwitch{false};
    VaultResolver resolver;
};

struct ResolveCase {
    const char* name;
    UDSAIAccess tier;
    const char* kind;
    std::optional<bool> approved;
    std::optional<bool> gateAnswer;  // none: the gate must not be asked
    VaultUDSResponse expected;
};

}  // namespace

TEST_F(ResolverTest, ResolveDecisionTable) {
    using D = UDSDecision;
    using T = UDSAIAccess;
    auto released = [](T tier, const char* kind) {
        return VaultUDSResponse{D::allowed, tier, "s3cret/value", kind, std::nullopt, std::nullopt, std::nullopt,
                                kHosts, kCommands};
    };
    const std::vector<ResolveCase> cases = {
        {"injectable", T::injectable, "password", std::nullopt, std::nullopt, released(T::injectable, "password")},
        {"injectable ignores approved", T::injectable, "token", true, std::nullopt, released(T::injectable, "token")},
        {"gated username, not approved", T::humanGated, "username", std::nullopt, std::nullopt,
         released(T::humanGated, "username")},
        {"gated username, approved: still no prompt", T::humanGated, "username", true, std::nullopt,
         released(T::humanGated, "username")},
        {"gated, no approved key", T::humanGated, "password", std::nullopt, std::nullopt,
         VaultUDSResponse{D::needsApproval, T::humanGated, std::nullopt, "password"}},
        {"gated, approved false", T::humanGated, "password", false, std::nullopt,
         VaultUDSResponse{D::needsApproval, T::humanGated, std::nullopt, "password"}},
        {"gated, approved, granted", T::humanGated, "password", true, true, released(T::humanGated, "password")},
        {"gated, approved, refused", T::humanGated, "password", true, false,
         VaultUDSResponse{D::refused, T::humanGated}},
        {"hidden", T::aiHidden, "password", true, std::nullopt, VaultUDSResponse{D::refused, T::aiHidden}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        source->add("local", "GitHub", "password", item(c.tier, c.kind));
        auto prompts = gate->reasons().size();
        if (c.gateAnswer) gate->script({*c.gateAnswer});
        auto answer = resolver.handle(request(Op::resolve, "vael://local/GitHub/password", c.approved));
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(gate->reasons().size(), prompts + (c.gateAnswer ? 1 : 0));
    }
}

TEST_F(ResolverTest, ApprovalReasonNamesTheItemWithoutControlOrBidiCharacters) {
    source->add("local", "GitHub", "password", item(UDSAIAccess::humanGated, "password"));
    gate->script({true});
    resolver.handle(request(Op::resolve, "vael://local/GitHub/password", true));
    ASSERT_EQ(gate->reasons().size(), 1u);
    EXPECT_EQ(gate->reasons()[0], "Reveal GitHub to an automated action");
}

TEST_F(ResolverTest, ResolveAndPreviewRefuseWhateverGoesWrong) {
    source->add("local", "a", "b", item(UDSAIAccess::injectable, "token"));
    for (const auto& ref : std::vector<std::optional<std::string>>{std::nullopt, "", "https://local/a/b",
                                                                    "vael://local/a", "vael://local/a/b?attribute=x",
                                                                    "vael://local/a/missing", "vael://other/a/b"}) {
        EXPECT_EQ(resolver.handle(request(Op::resolve, ref)), VaultUDSResponse::refusal()) << ref.value_or("(none)");
        EXPECT_EQ(resolver.handle(request(Op::preview, ref)), VaultUDSResponse::refusal()) << ref.value_or("(none)");
    }
    EXPECT_EQ(resolver.handle(request(Op::list, "vael://local/a/b")), VaultUDSResponse::refusal());
    EXPECT_EQ(resolver.handle(request(Op::secretGet, "vael://local/a/b")), VaultUDSResponse::refusal());
    EXPECT_TRUE(gate->reasons().empty());
}

TEST_F(ResolverTest, KillSwitchStopsAllButGroupListGroupGetAndProjectList) {
    source->add("local", "a", "b", item(UDSAIAccess::injectable, "token"));
    source->setEntries({{"vael://local/a/b", "a", "token", UDSAIAccess::injectable}});
    killSwitch = true;
    EXPECT_EQ(resolver.handle(request(Op::resolve, "vael://local/a/b")), VaultUDSResponse::refusal());
    EXPECT_EQ(resolver.handle(request(Op::preview, "vael://local/a/b")), VaultUDSResponse::refusal());
    EXPECT_TRUE(resolver.listEntries(request(Op::list)).empty());

    auto req = request(Op::secretGet, "vael://local/a/b");
    auto expectUnsupported = [&](auto&& call, const char* name) {
        try {
            call();
            ADD_FAILURE() << name << " answered with the kill switch on";
        } catch (const VaultUDSManagementError& e) {
            EXPECT_EQ(e.code(), MCase::unsupported) << name;
        }
    };
    expectUnsupported([&] { resolver.captureSecret(req); }, "capture");
    expectUnsupported([&] { resolver.createSecret(req); }, "createSecret");
    expectUnsupported([&] { resolver.getSecret(req); }, "getSecret");
    expectUnsupported([&] { resolver.updateSecret(req); }, "updateSecret");
    expectUnsupported([&] { resolver.deleteSecret(req); }, "deleteSecret");
    expectUnsupported([&] { resolver.createGroup(req); }, "createGroup");
    expectUnsupported([&] { resolver.updateGroup(req); }, "updateGroup");
    expectUnsupported([&] { resolver.deleteGroup(req); }, "deleteGroup");
    expectUnsupported([&] { resolver.createProject(req); }, "createProject");
    expectUnsupported([&] { resolver.getProject(req); }, "getProject");
    expectUnsupported([&] { resolver.updateProject(req); }, "updateProject");
    expectUnsupported([&] { resolver.deleteProject(req); }, "deleteProject");
    expectUnsupported([&] { resolver.browserMatch(req); }, "browserMatch");
    expectUnsupported([&] { resolver.browserFill(req); }, "browserFill");
    expectUnsupported([&] { resolver.browserTotp(req); }, "browserTotp");
    expectUnsupported([&] { resolver.browserSave(req); }, "browserSave");
    EXPECT_TRUE(gate->reasons().empty());
    EXPECT_TRUE(source->calls().empty());

    EXPECT_EQ(resolver.listGroups().groups.size(), 1u);
    EXPECT_EQ(resolver.getGroup(req).name, "local");
    EXPECT_EQ(resolver.listProjects().projects.size(), 1u);
    EXPECT_EQ(source->calls(), (std::vector<std::string>{"listGroups", "getGroup", "listProjects"}));
}

TEST_F(ResolverTest, ListPassesCollectionAndQueryThroughAndItsErrorsUp) {
    source->setEntries({{"vael://local/a/b", "a", "token", UDSAIAccess::injectable}});
    auto req = request(Op::list);
    req.collection = "local";
    EXPECT_EQ(resolver.listEntries(req).size(), 1u);
    EXPECT_EQ(source->calls().back(), "list local -");
    source->failWith(std::make_exception_ptr(VaultUDSManagementError(MCase::notFound)));
    EXPECT_THROW(resolver.listEntries(req), VaultUDSManagementError);
}

TEST_F(ResolverTest, PreviewCountsGraphemesAndShowsLast4OnlyForLongInjectableValues) {
    // A family emoji is five code points and one character.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    struct Case {
        UDSAIAccess tier;
        std::string value;
        std::int64_t length;
        std::optional<std::string> last4;
    };
    const std::vector<Case> cases = {
        {UDSAIAccess::injectable, "abcdefgh", 8, std::nullopt},
        {UDSAIAccess::injectable, "abcdefghi", 9, "fghi"},
        {UDSAIAccess::injectable, "abcdefg" + family, 8, std::nullopt},
        {UDSAIAccess::injectable, "abcdefgh" + family, 9, "fgh" + family},
        {UDSAIAccess::injectable, "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", 9,
         "e\u0301e\u0301e\u0301e\u0301"},
        {UDSAIAccess::injectable, "", 0, std::nullopt},
        {UDSAIAccess::humanGated, "abcdefghijklmnop", 16, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        source->add("local", "a", "b", item(c.tier, "token", c.value));
        auto answer = resolver.handle(request(Op::preview, "vael://local/a/b", true));
        VaultUDSResponse expected{UDSDecision::allowed, c.tier, std::nullopt, "token", c.length, c.last4,
                                  "https://example.com/", kHosts, std::nullopt};
        EXPECT_EQ(answer, expected);
    }
    EXPECT_TRUE(gate->reasons().empty());
}

TEST_F(ResolverTest, PreviewRefusesHiddenItemsAndOmitsAbsentUrlAndHosts) {
    source->add("local", "h", "b", item(UDSAIAccess::aiHidden, "token"));
    EXPECT_EQ(resolver.handle(request(Op::preview, "vael://local/h/b")), VaultUDSResponse::refusal());
    source->add("local", "bare", "b", ResolvedItem{UDSAIAccess::humanGated, "v", "password", "bare"});
    EXPECT_EQ(resolver.handle(request(Op::preview, "vael://local/bare/b")),
              (VaultUDSResponse{UDSDecision::allowed, UDSAIAccess::humanGated, std::nullopt, "password", 1}));
}

TEST_F(ResolverTest, SecretChangesAndDeletionsAskTheGateThroughTheItemSource) {
    auto req = request(Op::secretUpdate, "vael://local/a/b");
    req.name = "reason";
    gate->script({true, false, true, false});
    EXPECT_EQ(resolver.updateSecret(req).id, "ID");
    EXPECT_EQ(managementError([&] { resolver.updateSecret(req); }), MCase::cancelled);
    EXPECT_TRUE(resolver.deleteSecret(req).deleted);
    EXPECT_EQ(managementError([&] { resolver.deleteSecret(req); }), MCase::cancelled);
    EXPECT_EQ(gate->reasons(), std::vector<std::string>(4, "reason"));
    EXPECT_EQ(source->calls(), (std::vector<std::string>{"updateSecret", "updated", "updateSecret", "deleteSecret",
                                                         "deleted", "deleteSecret"}));
}

// The item source finds the target first and asks, through the resolver's gate, about what it found.
TEST_F(ResolverTest, GroupAndProjectDeletionsAskTheGateThroughTheItemSource) {
    auto req = request(Op::groupDelete);
    req.group = "scratch";
    req.project = "Work";
    gate->script({true, true, false});
    EXPECT_TRUE(resolver.deleteGroup(req).deleted);
    EXPECT_TRUE(resolver.deleteProject(req).deleted);
    EXPECT_EQ(managementError([&] { resolver.deleteGroup(req); }), MCase::cancelled);
    EXPECT_EQ(gate->reasons(), (std::vector<std::string>{"scratch", "Work", "scratch"}));
    EXPECT_EQ(source->calls(),
              (std::vector<std::string>{"deleteGroup", "deleted", "deleteProject", "deleted", "deleteGroup"}));

    // A target the item source does not find is never asked about.
    source->failWith(std::make_exception_ptr(VaultUDSManagementError(MCase::notFound)));
    EXPECT_THROW(resolver.deleteGroup(req), VaultUDSManagementError);
    EXPECT_EQ(gate->reasons().size(), 3u);
}

TEST_F(ResolverTest, OtherWrappersNeverAskAndPassTheSourceThrough) {
    auto req = request(Op::browserFill);
    EXPECT_EQ(resolver.browserFill(req).password, "pw/1");
    EXPECT_EQ(resolver.getSecret(req).id, "ID");
    EXPECT_EQ(resolver.getProject(req).name, "Personal");
    EXPECT_TRUE(gate->reasons().empty());
}

TEST(VaultItemSourceDefaults, OperationsNotOfferedAreUnsupported) {
    struct Minimal : VaultItemSource {
        std::optional<ResolvedItem> lookup(const VaultRef&) override { return std::nullopt; }
        std::vector<VaultUDSListEntry> list(const std::optional<std::string>&,
                                            const std::optional<std::string>&) override {
            return {};
        }
    } source;
    VaultUDSRequest req;
    EXPECT_THROW(source.captureSecret(req), VaultUDSManagementError);
    EXPECT_THROW(source.listGroups(), VaultUDSManagementError);
    EXPECT_THROW(source.browserSave(req), VaultUDSManagementError);
    try {
        source.deleteProject(req, [](const std::string&) { return true; });
    } catch (const VaultUDSManagementError& e) {
        EXPECT_EQ(e.code(), MCase::unsupported);
    }
}

TEST(VaultResolverConstruction, NeedsEveryCollaborator) {
    auto source = std::make_shared<FixtureItemSource>();
    auto gate = std::make_shared<ScriptedGate>();
    EXPECT_THROW(VaultResolver(nullptr, gate, [] { return false; }), std::invalid_argument);
    EXPECT_THROW(VaultResolver(source, nullptr, [] { return false; }), std::invalid_argument);
    EXPECT_THROW(VaultResolver(source, gate, {}), std::invalid_argument);
}

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/agent/VaultRef.h"
#include "app/items/AIHandoffFormatter.h"

using namespace vael;

namespace {

ItemField plain(std::string label, std::string value) {
    return ItemField{std::move(label), ItemField::Kind::username, std::move(value), false};
}
ItemField concealed(std::string label, std::string value) {
    return ItemField{std::move(label), ItemField::Kind::password, std::move(value), true};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

const std::string kUsage1 =
    "- Reference secrets by ref through Vael MCP tools (secret_get, secret_resolve_preview, web_login, "
    "browser_fill, http_call auth_ref, run_command env_refs).";
const std::string kUsage2 =
    "- Never ask the user to paste secret values \u2014 concealed values are not included above and never appear "
    "in chat.";

}  // namespace

TEST(AIHandoffFormatter, RendersTheWorkedExampleExactly) {
    ItemPayload payload;
    payload.name = "Build token";
    payload.fields = {plain("username", "ci-bot"), concealed("token", std::string(40, 'x'))};
    payload.tags = {"ci"};

    const std::string expected =
        "# Vael credential \u2014 Build token\n"
        "managed_by: Vael vault (local MCP server: @dastrel/vael-mcp)\n"
        "ai_access: injectable (agents may use the value at run time; it is injected tool-side and never shown to "
        "the model)\n"
        "\n"
        "fields:\n"
        "- username = ci-bot\n"
        "  ref: vael://local/Build%20token/username\n"
        "- token (concealed, 40 chars \u2014 value intentionally not included)\n"
        "  ref: vael://local/Build%20token/token\n"
        "\n"
        "tags: ci\n"
        "\n"
        "usage:\n" +
        kUsage1 + "\n" + kUsage2;
    const auto text = AIHandoffFormatter::render(payload, "injectable", "local");
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find("xxxx"), std::string::npos);
}

TEST(AIHandoffFormatter, ReferencesNameTheItemsOwnGroup) {
    ItemPayload payload;
    payload.name = "Mail";
    payload.fields = {plain("username", "me")};
    EXPECT_EQ(linesOf(AIHandoffFormatter::render(payload, "injectable", "local"))[6],
              "  ref: vael://local/Mail/username");
    EXPECT_EQ(linesOf(AIHandoffFormatter::render(payload, "injectable", "Work"))[6], "  ref: vael://Work/Mail/username");
}

TEST(AIHandoffFormatter, TierLineFollowsTheExactTierText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"injectable",
         "ai_access: injectable (agents may use the value at run time; it is injected tool-side and never shown to "
         "the model)"},
        {"human_gated",
         "ai_access: human_gated (metadata only; using or revealing the value requires the user's approval)"},
        {"ai_hidden", "ai_access: ai_hidden (invisible to agents; this secret is not available through the MCP at all)"},
        {"Injectable", "ai_access: Injectable (unknown tier \u2014 treat as metadata only)"},
        {"", "ai_access:  (unknown tier \u2014 treat as metadata only)"},
    };
    ItemPayload payload;
    payload.name = "x";
    for (const auto& [tier, line] : cases) EXPECT_EQ(linesOf(AIHandoffFormatter::render(payload, tier, "local"))[2], line);
}

TEST(AIHandoffFormatter, ExtrasAppearOnlyWhenTheyHoldSomething) {
    ItemPayload bare;
    bare.name = "Bare";
    bare.fields = {plain("username", "u")};
    bare.url = "";
    bare.allowedHosts = std::vector<std::string>{};
    bare.allowedCommands = std::vector<std::string>{};
    bare.notes = "";
    // Straight from the last reference to one empty line and the usage.
    auto lines = linesOf(AIHandoffFormatter::render(bare, "injectable", "local"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[6], "  ref: vael://local/Bare/username");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "usage:");

    ItemPayload full;
    full.name = "Full";
    full.url = " ";
    full.allowedHosts = std::vector<std::string>{""};
    full.allowedCommands = std::vector<std::string>{"git", "make"};
    full.tags = {"a", "b"};
    full.notes = "line one\nline two";
    const auto text = AIHandoffFormatter::render(full, "ai_hidden", "local");
    lines = linesOf(text);
    // No fields: "fields:" then the extras after their empty line.
    const std::vector<std::string> middle = {
        "fields:",
        "",
        "login_url:  ",
        "allowed_hosts:  (http_call may send the value only to these)",
        "allowed_commands: git, make (run_command may inject the value only into these)",
        "tags: a, b",
        "notes: line one",
        "line two",
        "",
        "usage:",
    };
    ASSERT_EQ(lines.size(), 4 + middle.size() + 2);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 4 + middle.size()), middle);
    EXPECT_EQ(text.back(), '.');
}

TEST(AIHandoffFormatter, ConcealedLengthsCountUserPerceivedCharacters) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "0"},
        {"a", "1"},
        {"e\u0301t\u00e9!!", "5"},  // 9 bytes: a combining accent counts with its letter
        {"\U0001F1E9\U0001F1EA", "1"},  // a flag of two regional indicators
        {"\U0001F469\u200D\U0001F4BB", "1"},
    };
    for (const auto& [value, count] : cases) {
        ItemPayload payload;
        payload.name = "n";
        payload.fields = {concealed("secret", value)};
        EXPECT_EQ(linesOf(AIHandoffFormatter::render(payload, "injectable", "local"))[5],
                  "- secret (concealed, " + count + " chars \u2014 value intentionally not included)");
    }
}

TEST(AIHandoffFormatter, EveryReferenceParsesBackToItsParts) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"local", "Build token", "username"},
        {"Team/Ops", "a?b#c", "50% off"},
        {"my group", "k\u00fcche", "api key"},
        {"g?#", "%41", "?attribute=otp"},
    };
    // A slash inside an item name or label cannot round-trip: the reference parser decodes the path
    // before it splits it, so such names are left out here.
    for (const auto& [group, name, label] : cases) {
        ItemPayload payload;
        payload.name = name;
        payload.fields = {plain(label, "v")};
        const auto line = linesOf(AIHandoffFormatter::render(payload, "injectable", group))[6];
        ASSERT_EQ(line.rfind("  ref: ", 0), 0u) << line;
        try {
            const auto ref = VaultRef::parse(line.substr(7));
            EXPECT_EQ(ref.collection, group);
            EXPECT_EQ(ref.item, name);
            EXPECT_EQ(ref.field, label);
            EXPECT_EQ(ref.attribute, VaultRef::Attribute::value);
        } catch (const VaultRef::ParseError& error) {
            ADD_FAILURE() << line << ": " << error.what();
        }
    }
}

#include "app/items/AIHandoffFormatter.h"

#include <vector>

#include "app/agent/UnicodeText.h"
#include "app/agent/VaultRef.h"

namespace vael::AIHandoffFormatter {

namespace {

std::string_view tierText(std::string_view aiAccess) {
    if (aiAccess == "injectable")
        return "agents may use the value at run time; it is injected tool-side and never shown to the model";
    if (aiAccess == "human_gated")
        return "metadata only; using or revealing the value requires the user's approval";
    if (aiAccess == "ai_hidden") return "invisible to agents; this secret is not available through the MCP at all";
    return "unknown tier \u2014 treat as metadata only";
}

std::string joined(const std::vector<std::string>& entries) {
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out += ", ";
        out += entries[i];
    }
    return out;
}

}  // namespace

std::string render(const ItemPayload& payload, std::string_view aiAccess, std::string_view collection) {
    std::vector<std::string> lines;
    lines.push_back("# Vael credential \u2014 " + payload.name);
    lines.emplace_back("managed_by: Vael vault (local MCP server: @dastrel/vael-mcp)");
    lines.push_back("ai_access: " + std::string(aiAccess) + " (" + std::string(tierText(aiAccess)) + ")");
    lines.emplace_back();
    lines.emplace_back("fields:");
    for (const auto& field : payload.fields) {
        if (field.concealed) {
            lines.push_back("- " + field.label + " (concealed, " + std::to_string(graphemeTail(field.value, 0).count) +
                            " chars \u2014 value intentionally not included)");
        } else {
            lines.push_back("- " + field.label + " = " + field.value);
        }
        lines.push_back("  ref: " + VaultRef::make(collection, payload.name, field.label));
    }

    std::vector<std::string> extras;
    if (payload.url && !payload.url->empty()) extras.push_back("login_url: " + *payload.url);
    if (payload.allowedHosts && !payload.allowedHosts->empty())
        extras.push_back("allowed_hosts: " + joined(*payload.allowedHosts) +
                         " (http_call may send the value only to these)");
    if (payload.allowedCommands && !payload.allowedCommands->empty())
        extras.push_back("allowed_commands: " + joined(*payload.allowedCommands) +
                         " (run_command may inject the value only into these)");
    if (!payload.tags.empty()) extras.push_back("tags: " + joined(payload.tags));
    if (payload.notes && !payload.notes->empty()) extras.push_back("notes: " + *payload.notes);
    if (!extras.empty()) {
        lines.emplace_back();
        lines.insert(lines.end(), extras.begin(), extras.end());
    }

    lines.emplace_back();
    lines.emplace_back("usage:");
    lines.emplace_back(
        "- Reference secrets by ref through Vael MCP tools (secret_get, secret_resolve_preview, web_login, "
        "browser_fill, http_call auth_ref, run_command env_refs).");
    lines.emplace_back(
        "- Never ask the user to paste secret values \u2014 concealed values are not included above and never "
        "appear in chat.");

    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += lines[i];
    }
    return out;
}

}  // namespace vael::AIHandoffFormatter

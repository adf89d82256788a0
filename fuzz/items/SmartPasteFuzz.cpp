// Any pasted text gives a draft: labels unique, only usernames plain, a name only with a website,
// and every text valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "app/agent/ops/AgentText.h"
#include "app/items/SmartPaste.h"

namespace {

bool validUtf8(const std::string& text) {
    return vael::utf8Lossy(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto draft = vael::SmartPaste::parse(text);
    if (draft.name && !draft.url) std::abort();
    if (draft.url && (draft.url->empty() || !validUtf8(*draft.url))) std::abort();
    std::set<std::string> labels;
    for (const auto& field : draft.fields) {
        if (field.label.empty() || field.value.empty()) std::abort();
        if (!validUtf8(field.label) || !validUtf8(field.value)) std::abort();
        if (!labels.insert(vael::canonicalForm(field.label)).second) std::abort();
        if (field.kind != vael::SmartPaste::kind(field.label)) std::abort();
        if (field.concealed != (field.kind != vael::ItemField::Kind::username)) std::abort();
    }
    return 0;
}

#include "app/items/SmartPaste.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <map>
#include <set>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/UrlComponents.h"
#include "app/items/Graphemes.h"
#include "crypto/RegistrableDomain.h"

namespace vael::SmartPaste {

namespace {

// Calls `visit` with every scalar of valid UTF-8 text until it answers false; answers whether it
// went through.
template <class Visit>
bool everyScalar(std::string_view text, Visit visit) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int64_t>(text.size());
    int64_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (!visit(c < 0 ? UChar32{0xFFFD} : c)) return false;
    }
    return true;
}

template <class Test>
bool anyScalar(std::string_view text, Test test) {
    return !everyScalar(text, [&](UChar32 c) { return !test(c); });
}

bool inCategories(UChar32 c, std::uint32_t mask) { return (U_GET_GC_MASK(c) & mask) != 0; }
bool isLetter(UChar32 c) { return inCategories(c, U_GC_L_MASK | U_GC_M_MASK); }
bool isAlphanumeric(UChar32 c) { return inCategories(c, U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK); }
bool isDecimalDigit(UChar32 c) { return u_charType(c) == U_DECIMAL_DIGIT_NUMBER; }

bool hasSpace(std::string_view text) { return text.find(' ') != std::string_view::npos; }
bool hasDecimalDigit(std::string_view text) { return anyScalar(text, isDecimalDigit); }

bool isLineBreak(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Split at line breaks (CR LF leaves an empty piece between them, dropped like every other),
// trimmed of spaces and tabs, empty lines dropped.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int64_t>(text.size());
    int64_t start = 0;
    int64_t i = 0;
    auto cut = [&](int64_t end) {
        auto line = trimBlanks(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
        if (!line.empty()) lines.push_back(std::move(line));
    };
    while (i < length) {
        const int64_t at = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (isLineBreak(c)) {
            cut(at);
            start = i;
        }
    }
    cut(length);
    return lines;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool isURL(std::string_view line) {
    if (hasSpace(line)) return false;
    const auto lower = lowercased(line);
    const bool www = startsWith(lower, "www.");
    if (!www && !startsWith(lower, "http://") && !startsWith(lower, "https://")) return false;
    const auto parsed = UrlComponents::parse(www ? "https://" + std::string(line) : std::string(line));
    return parsed && parsed->host && parsed->host->find('.') != std::string::npos;
}

bool isLabel(std::string_view text) {
    if (text.empty()) return false;
    const auto length = graphemeCount(text);
    if (length > 32) return false;
    std::size_t words = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        ++words;
        while (i < text.size() && text[i] != ' ') ++i;
    }
    if (words < 1 || words > 4) return false;
    if (!anyScalar(text, isLetter)) return false;
    const bool allowed = everyScalar(text, [](UChar32 c) {
        return isAlphanumeric(c) || c == ' ' || c == '_' || c == '-' || c == '/' || c == '(' || c == ')';
    });
    if (!allowed) return false;
    return !(words == 1 && length >= 12 && hasDecimalDigit(text));
}

bool looksSecret(std::string_view text) {
    if (hasSpace(text)) return false;
    const auto length = graphemeCount(text);
    return length >= 12 || (length >= 6 && hasDecimalDigit(text));
}

struct Pair {
    std::string label;
    std::string value;
};

std::optional<Pair> inlinePair(std::string_view line) {
    for (char separator : {'=', ':'}) {
        const auto at = line.find(separator);
        if (at == std::string_view::npos) continue;
        Pair pair{trimBlanks(line.substr(0, at)), trimBlanks(line.substr(at + 1))};
        if (isLabel(pair.label) && !pair.value.empty() && !hasSpace(pair.value)) return pair;
    }
    return std::nullopt;
}

std::string normalisedLabel(std::string_view label) {
    auto lower = lowercased(label);
    for (char& c : lower) {
        if (c == '_') c = ' ';
    }
    return trimBlanks(lower);
}

ItemField fieldFor(std::string_view rawLabel, std::string value) {
    auto label = normalisedLabel(rawLabel);
    const auto fieldKind = kind(label);
    return ItemField{std::move(label), fieldKind, std::move(value), fieldKind != ItemField::Kind::username};
}

// Later fields with a label already given get the first free "label n", counting on from the
// label's last number, so a written label never repeats one given before.
void dedupeLabels(std::vector<ItemField>& fields) {
    std::set<std::string> given;
    std::map<std::string, unsigned> counts;
    for (auto& field : fields) {
        const auto key = canonicalForm(field.label);
        if (given.insert(key).second) {
            counts.emplace(key, 1);
            continue;
        }
        auto& count = counts.try_emplace(key, 1).first->second;
        std::string relabelled;
        do {
            ++count;
            relabelled = field.label + " " + std::to_string(count);
        } while (given.contains(canonicalForm(relabelled)));
        given.insert(canonicalForm(relabelled));
        field.label = std::move(relabelled);
    }
}

}  // namespace

ItemField::Kind kind(std::string_view label) {
    const auto lower = lowercased(label);
    auto holds = [&](std::initializer_list<std::string_view> words) {
        for (auto word : words) {
            if (lower.find(word) != std::string::npos) return true;
        }
        return false;
    };
    if (holds({"user", "email", "login", "account"})) return ItemField::Kind::username;
    if (holds({"pass"})) return ItemField::Kind::password;
    if (holds({"otp", "totp", "2fa"})) return ItemField::Kind::otp;
    return ItemField::Kind::token;
}

Draft parse(std::string_view pasted) {
    const auto text = utf8Lossy(reinterpret_cast<const std::uint8_t*>(pasted.data()), pasted.size());
    const auto lines = linesOf(text);
    Draft draft;
    std::vector<std::string> looseValues;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        if (isURL(line)) {
            if (!draft.url) draft.url = line;
        } else if (auto pair = inlinePair(line)) {
            draft.fields.push_back(fieldFor(pair->label, std::move(pair->value)));
        } else if (isLabel(line) && i + 1 < lines.size() && !isURL(lines[i + 1]) && looksSecret(lines[i + 1])) {
            draft.fields.push_back(fieldFor(line, lines[i + 1]));
            ++i;
        } else if (looksSecret(line)) {
            looseValues.push_back(line);
        }
    }
    if (draft.fields.empty() && looseValues.size() == 1) draft.fields.push_back(fieldFor("token", looseValues.front()));
    dedupeLabels(draft.fields);
    if (draft.url) draft.name = RegistrableDomain::registrable(*draft.url);
    return draft;
}

}  // namespace vael::SmartPaste

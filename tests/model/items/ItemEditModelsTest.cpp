#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/model/items/AccessTierViewModel.h"
#include "app/model/items/ItemEditViewModel.h"

namespace vael {
namespace {

using Kind = ItemField::Kind;

TEST(AccessTierViewModel, StartsAtAKnownTierAndSelectsOnlyTiers) {
    const std::vector<std::pair<std::string, std::string>> starts = {
        {"injectable", "injectable"}, {"human_gated", "human_gated"}, {"ai_hidden", "ai_hidden"},
        {"Injectable", "human_gated"}, {"", "human_gated"},            {" ai_hidden", "human_gated"},
    };
    for (const auto& [current, start] : starts) {
        AccessTierViewModel model(current);
        EXPECT_EQ(model.original(), start) << current;
        EXPECT_EQ(model.selected(), start) << current;
        EXPECT_FALSE(model.isDirty()) << current;
    }

    AccessTierViewModel model("ai_hidden");
    QSignalSpy changes(&model, &AccessTierViewModel::selectedChanged);
    model.select("injectable");
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(model.pendingAIAccess(), "injectable");
    model.select("injectable");
    model.select("INJECTABLE");
    model.select("anything");
    EXPECT_EQ(model.selected(), "injectable");
    EXPECT_EQ(changes.count(), 1);
    model.select("ai_hidden");
    EXPECT_FALSE(model.isDirty());
    EXPECT_EQ(changes.count(), 2);
}

ItemPayload restrictedPayload() {
    ItemPayload payload;
    payload.name = "deploy";
    payload.fields = {{"username", Kind::username, "bot", false}, {"password", Kind::password, "pw", true}};
    payload.url = "https://ci.example.com";
    payload.notes = "rotated";
    payload.tags = {"ci"};
    payload.allowedHosts = std::vector<std::string>{"ci.example.com"};
    payload.allowedCommands = std::vector<std::string>{"deploy"};
    payload.strictMatch = true;
    return payload;
}

TEST(ItemEditViewModel, BuildsThePayloadKeepingWhatAgentsMayDo) {
    const auto original = restrictedPayload();
    ItemEditViewModel model(original);
    // What it does not edit comes back unchanged, so an edit never widens agents' use.
    EXPECT_EQ(model.buildPayload(), original);

    QSignalSpy urlChanges(&model, &ItemEditViewModel::urlChanged);
    model.setUrl(" ");
    EXPECT_EQ(model.buildPayload().url, std::optional<std::string>(" "));
    model.setUrl(" ");
    EXPECT_EQ(urlChanges.count(), 1);
    model.setUrl("");
    model.setNotes("");
    const auto cleared = model.buildPayload();
    EXPECT_FALSE(cleared.url);
    EXPECT_FALSE(cleared.notes);
    EXPECT_EQ(cleared.allowedHosts, original.allowedHosts);
    EXPECT_EQ(cleared.allowedCommands, original.allowedCommands);
    EXPECT_EQ(cleared.strictMatch, original.strictMatch);
}

TEST(ItemEditViewModel, AddsAndRemovesFieldsByPosition) {
    ItemEditViewModel model(restrictedPayload());
    QSignalSpy changes(&model, &ItemEditViewModel::fieldsChanged);
    for (qsizetype outside : {qsizetype(2), qsizetype(3), qsizetype(-1)}) model.removeField(outside);
    EXPECT_EQ(model.fields().size(), 2u);
    EXPECT_EQ(changes.count(), 0);

    model.addField("otp", Kind::otp, "JBSWY3DP", true);
    model.removeField(0);
    EXPECT_EQ(model.fields(), (std::vector<ItemField>{{"password", Kind::password, "pw", true},
                                                      {"otp", Kind::otp, "JBSWY3DP", true}}));
    EXPECT_EQ(changes.count(), 2);
}

}  // namespace
}  // namespace vael

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <future>

#include "model/ItemFixtures.h"
#include "app/model/items/ItemDetailViewModel.h"
#include "custody/ScriptedBiometricGate.h"

using namespace vael;
using namespace vael::testing;

namespace {

const std::string kMask = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";

ItemPayload itemWith(std::vector<ItemField> fields) {
    ItemPayload payload;
    payload.name = "Mail";
    payload.fields = std::move(fields);
    return payload;
}

// Answers once released, so a test can act while the prompt is up.
class HeldGate final : public BiometricGate {
public:
    bool authenticate(const std::string&) override {
        asked.set_value();
        return answer.get_future().get();
    }
    std::promise<void> asked;
    std::promise<bool> answer;
};

}  // namespace

// Nobody to ask: the pane says why and the value stays masked; a later answer clears the note.
TEST(ItemDetailViewModel, ARevealWithNobodyToAskSaysWhy) {
    class NobodyGate final : public BiometricGate {
    public:
        bool authenticate(const std::string&) override { return false; }
        Answer check(const std::string&) override { return next; }
        Answer next = Answer::unavailable;
    };
    auto gate = std::make_shared<NobodyGate>();
    ItemDetailViewModel vm(itemWith({{"password", ItemField::Kind::password, "hunter2", true}}), gate);
    QSignalSpy notes(&vm, &ItemDetailViewModel::presenceNoteChanged);
    EXPECT_FALSE(await(vm.reveal(0)));
    EXPECT_EQ(vm.presenceNote().toStdString(), ItemDetailViewModel::kNobodyToAsk);
    EXPECT_EQ(vm.displayValue(0), kMask);
    gate->next = BiometricGate::Answer::notInstalled;
    EXPECT_FALSE(await(vm.reveal(0)));
    EXPECT_EQ(vm.presenceNote().toStdString(), ItemDetailViewModel::kNotInstalled);
    EXPECT_EQ(vm.displayValue(0), kMask);
    gate->next = BiometricGate::Answer::refused;
    EXPECT_FALSE(await(vm.reveal(0)));
    EXPECT_TRUE(vm.presenceNote().isEmpty());
    gate->next = BiometricGate::Answer::confirmed;
    EXPECT_TRUE(await(vm.reveal(0)));
    EXPECT_EQ(vm.displayValue(0), "hunter2");
    EXPECT_EQ(notes.count(), 3);
}

TEST(ItemDetailViewModel, ShowsPlainValuesAndMasksConcealedOnesWhateverTheirLength) {
    auto gate = std::make_shared<test::ScriptedBiometricGate>(true);
    ItemDetailViewModel vm(itemWith({
                               {"username", ItemField::Kind::username, "alice", false},
                               {"empty", ItemField::Kind::password, "", true},
                               {"one", ItemField::Kind::password, "x", true},
                               {"long", ItemField::Kind::password, std::string(1000, 'y'), true},
                           }),
                           gate);
    EXPECT_EQ(vm.displayValue(0), "alice");
    EXPECT_TRUE(vm.isRevealed(0));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(vm.displayValue(i), kMask) << i;
        EXPECT_EQ(vm.displayValue(i).size(), 24u);
        EXPECT_FALSE(vm.isRevealed(i));
    }
    // Outside the list: nothing shown, nothing revealed, nobody asked.
    for (int i : {-1, 4}) {
        EXPECT_EQ(vm.displayValue(i), "");
        EXPECT_FALSE(vm.isRevealed(i));
        EXPECT_FALSE(await(vm.reveal(i)));
    }
    // A plain field is shown without asking.
    EXPECT_TRUE(await(vm.reveal(0)));
    EXPECT_EQ(gate->calls(), 0u);
    EXPECT_TRUE(vm.revealedIndices().empty());
}

TEST(ItemDetailViewModel, EachConcealedFieldNeedsItsOwnApproval) {
    auto gate = std::make_shared<test::ScriptedBiometricGate>(false);
    ItemDetailViewModel vm(itemWith({
                               {"password", ItemField::Kind::password, "p4ss", true},
                               {"", ItemField::Kind::token, "t0k", true},
                               {"API key", ItemField::Kind::token, "k3y", true},
                           }),
                           gate);
    QSignalSpy changes(&vm, &ItemDetailViewModel::revealedIndicesChanged);

    // Refused: stays masked, and the next attempt asks again.
    EXPECT_FALSE(await(vm.reveal(0)));
    EXPECT_EQ(vm.displayValue(0), kMask);
    EXPECT_EQ(changes.count(), 0);

    gate->setDefaultAnswer(true);
    EXPECT_TRUE(await(vm.reveal(2)));
    EXPECT_EQ(vm.displayValue(2), "k3y");
    EXPECT_EQ(vm.displayValue(0), kMask);
    EXPECT_EQ(vm.displayValue(1), kMask);
    EXPECT_TRUE(await(vm.reveal(1)));
    EXPECT_EQ(vm.displayValue(1), "t0k");
    // Revealed already: asked again, and the set does not change.
    EXPECT_TRUE(await(vm.reveal(2)));

    EXPECT_EQ(gate->reasons(),
              (std::vector<std::string>{"Reveal password", "Reveal API key", "Reveal ", "Reveal API key"}));
    EXPECT_EQ(vm.revealedIndices(), (std::set<int>{1, 2}));
    EXPECT_EQ(changes.count(), 2);

    // A model built again for the same item starts masked.
    ItemDetailViewModel again(vm.payload(), gate);
    EXPECT_EQ(again.displayValue(2), kMask);
}

TEST(ItemDetailViewModel, AnApprovalAfterTheModelWasDroppedChangesNothing) {
    auto gate = std::make_shared<HeldGate>();
    auto asked = gate->asked.get_future();
    auto* vm = new ItemDetailViewModel(itemWith({{"password", ItemField::Kind::password, "p", true}}), gate);
    std::optional<bool> answer;
    auto revealing = [&]() -> QCoro::Task<> { answer = co_await vm->reveal(0); };
    auto task = revealing();
    asked.wait();
    delete vm;
    gate->answer.set_value(true);
    ASSERT_TRUE(spinUntil([&] { return answer.has_value(); }));
    EXPECT_FALSE(*answer);
}

TEST(ItemDetailViewModel, ForgettingOverwritesEveryValueAndMasksEveryField) {
    auto gate = std::make_shared<test::ScriptedBiometricGate>(true);
    ItemDetailViewModel vm(itemWith({{"username", ItemField::Kind::username, "alice", false},
                                     {"password", ItemField::Kind::password, "p4ss", true}}),
                           gate);
    ASSERT_TRUE(await(vm.reveal(1)));
    QSignalSpy forgotten(&vm, &ItemDetailViewModel::valuesForgotten);
    QSignalSpy changes(&vm, &ItemDetailViewModel::revealedIndicesChanged);
    vm.forget();
    EXPECT_EQ(forgotten.count(), 1);
    EXPECT_EQ(changes.count(), 1);
    for (int i : {0, 1}) {
        EXPECT_TRUE(vm.payload().fields[static_cast<std::size_t>(i)].value.empty()) << i;
        EXPECT_EQ(vm.displayValue(i), kMask) << i;
        EXPECT_FALSE(vm.isRevealed(i)) << i;
    }
    // Nothing comes back: not even with the owner's yes.
    EXPECT_FALSE(await(vm.reveal(1)));
    EXPECT_EQ(vm.displayValue(1), kMask);
    vm.forget();
    EXPECT_EQ(forgotten.count(), 1);
}

namespace {

// The model's factory: the item's opened payload, nothing revealed; none without a session or item.
TEST(ItemDetailViewModel, TheModelBuildsOneForAnItemWhileItsSessionIsOpen) {
    OpenVault v;
    const auto id = v.item("Mail", std::nullopt, {{"password", ItemField::Kind::password, "pa55", true}});
    auto vm = vael::testing::await(v.m.makeItemDetailViewModel(id));
    ASSERT_TRUE(vm);
    EXPECT_EQ(vm->payload().name, "Mail");
    EXPECT_TRUE(vm->revealedIndices().empty());
    EXPECT_EQ(vm->displayValue(0), ItemDetailViewModel::kMask);
    EXPECT_FALSE(vael::testing::await(v.m.makeItemDetailViewModel(Uuid::random())));
    v.h.lock();
    EXPECT_FALSE(vael::testing::await(v.m.makeItemDetailViewModel(id)));
}

}  // namespace

#include "custody/ScriptedBiometricGate.h"

#include <gtest/gtest.h>

namespace vael {
namespace {

TEST(ScriptedBiometricGate, AnswersFromItsScriptThenTheDefault) {
    test::ScriptedBiometricGate gate(true);
    gate.enqueue(false);
    BiometricGate& asGate = gate;
    EXPECT_FALSE(asGate.authenticate("reveal the password"));
    EXPECT_TRUE(asGate.authenticate("delete the item"));
    EXPECT_EQ(gate.reasons(), (std::vector<std::string>{"reveal the password", "delete the item"}));
}

}  // namespace
}  // namespace vael

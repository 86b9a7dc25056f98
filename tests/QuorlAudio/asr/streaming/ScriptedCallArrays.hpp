#pragma once

#include "tests/support/ScriptedKernel.hpp"

#include <memory>
#include <string>

namespace quorl {

// The arrays the scripted streaming models read and answer.

// The call's input array under the name.
std::shared_ptr<platform::ml::MultiArray> inputArray(const testsupport::ScriptedKernel::Call& call,
                                                     const std::string& name);

// A dense copy with every element plus one: a carried cache or state that tells how many calls came before.
std::shared_ptr<platform::ml::MultiArray> plusOne(const platform::ml::MultiArray& array);

} // namespace quorl

#include "ScriptedCallArrays.hpp"

#include "tests/support/MultiArrayValues.hpp"

namespace quorl {

std::shared_ptr<platform::ml::MultiArray> inputArray(const testsupport::ScriptedKernel::Call& call,
                                                     const std::string& name) {
    return call.inputs.at(name).multiArrayValue();
}

std::shared_ptr<platform::ml::MultiArray> plusOne(const platform::ml::MultiArray& array) {
    auto copy = testsupport::snapshotOf(array);
    for (std::size_t index = 0; index < copy->count(); ++index) {
        copy->setValue(index, copy->value(index) + 1);
    }
    return copy;
}

} // namespace quorl

#include "platform/ui/ValueJsonError.hpp"

namespace platform::ui {

ValueJsonError::ValueJsonError(Kind kind, const char* description) : Error(description), kind_(kind) {}

ValueJsonError ValueJsonError::integerOutOfRange() {
    return ValueJsonError(Kind::integerOutOfRange, "integer outside the signed 64-bit range");
}

ValueJsonError ValueJsonError::invalidBytes() {
    return ValueJsonError(Kind::invalidBytes, "\"$bytes\" must hold canonical base64 text");
}

ValueJsonError ValueJsonError::invalidFloat32List() {
    return ValueJsonError(Kind::invalidFloat32List,
                          "\"$float32\" must hold a list of numbers within the 32-bit float range");
}

ValueJsonError ValueJsonError::invalidMap() { return ValueJsonError(Kind::invalidMap, "\"$map\" must hold an object"); }

} // namespace platform::ui

#pragma once

#include "platform/core/Error.hpp"

namespace platform::ui {

// JSON that does not encode a channel value.
class ValueJsonError : public core::Error {
public:
    enum class Kind {
        integerOutOfRange,
        invalidBytes,
        invalidFloat32List,
        invalidMap,
    };

    static ValueJsonError integerOutOfRange();
    static ValueJsonError invalidBytes();
    static ValueJsonError invalidFloat32List();
    static ValueJsonError invalidMap();

    Kind kind() const { return kind_; }

private:
    ValueJsonError(Kind kind, const char* description);

    Kind kind_;
};

} // namespace platform::ui

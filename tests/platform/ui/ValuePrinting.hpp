#pragma once

#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/ValueJson.hpp"

#include <ostream>

// Lets GoogleTest show channel values as their JSON spelling in failure messages.
namespace platform::ui {

inline void PrintTo(const Value& value, std::ostream* stream) { *stream << toJson(value).dump(); }

inline void PrintTo(const MethodError& error, std::ostream* stream) {
    *stream << "MethodError(" << error.code << ", " << error.message << ", " << toJson(error.details).dump() << ")";
}

inline void PrintTo(const NotImplemented&, std::ostream* stream) { *stream << "NotImplemented"; }

inline void PrintTo(const EndOfStream&, std::ostream* stream) { *stream << "EndOfStream"; }

} // namespace platform::ui

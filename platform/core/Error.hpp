#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace platform::core {

// Base of every error enumeration of the system. what() is the error's fixed, human-readable description.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The readable description of any captured exception: what() for standard exceptions.
std::string describe(const std::exception_ptr& error);

} // namespace platform::core

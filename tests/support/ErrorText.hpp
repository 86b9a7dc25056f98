#pragma once

#include <exception>
#include <string>

namespace testsupport {

// The description of what the operation throws, or "nothing thrown", so a test can compare exact texts.
template <class Operation> std::string errorText(Operation operation) {
    try {
        operation();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "nothing thrown";
}

} // namespace testsupport

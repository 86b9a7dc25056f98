#include "Mirvo/SystemErrorReport.hpp"

namespace mirvo {

platform::core::SystemError asSystemError(const std::exception_ptr& failure) {
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const platform::core::SystemError& error) {
            return error;
        } catch (...) {
            // Any other error is wrapped below.
        }
    }
    return platform::core::SystemError(hostErrorDomain, 1, platform::core::describe(failure), failure);
}

SystemErrorReport SystemErrorReport::of(const std::exception_ptr& failure) {
    const auto error = asSystemError(failure);
    return SystemErrorReport{.code = std::to_string(error.code()), .message = error.what()};
}

} // namespace mirvo

#include "platform/core/Error.hpp"

namespace platform::core {

std::string describe(const std::exception_ptr& error) {
    if (!error) {
        return "no error";
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "unknown error";
    }
}

} // namespace platform::core

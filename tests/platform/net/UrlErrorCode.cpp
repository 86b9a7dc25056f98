#include "UrlErrorCode.hpp"

#include <gtest/gtest.h>

namespace nettest {

using platform::net::UrlError;

UrlError::Code urlErrorCode(const std::exception_ptr& error) {
    if (!error) {
        ADD_FAILURE() << "expected a UrlError, got success";
        return UrlError::Code::unknown;
    }
    try {
        std::rethrow_exception(error);
    } catch (const UrlError& urlError) {
        EXPECT_EQ(urlError.domain(), UrlError::errorDomain);
        EXPECT_FALSE(std::string(urlError.what()).empty());
        return urlError.urlCode();
    } catch (const std::exception& other) {
        ADD_FAILURE() << "expected a UrlError, got: " << other.what();
    }
    return UrlError::Code::unknown;
}

} // namespace nettest

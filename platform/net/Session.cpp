#include "platform/net/Session.hpp"

#include "platform/net/CurlSession.hpp"

namespace platform::net {

std::shared_ptr<Session> Session::make(SessionConfiguration configuration) {
    return std::make_shared<CurlSession>(std::move(configuration));
}

} // namespace platform::net

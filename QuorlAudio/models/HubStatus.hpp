#pragma once

#include "platform/net/Response.hpp"

#include <string>

namespace quorl {

// Turns a hub answer whose status is not a success into its error: 429 and 503 into a rate limit ("Rate
// limited while " + `activity` + " (HTTP <status>)") carrying the server's "Retry-After" as a retry hint,
// any other status outside 2xx into a download failure of `subject` with the HTTP status. A 2xx passes.
void checkHubStatus(const platform::net::Response& response, const std::string& activity, const std::string& subject);

} // namespace quorl

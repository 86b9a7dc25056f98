#pragma once

#include "platform/net/Request.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/Session.hpp"
#include "platform/net/Url.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quorl {

// What every request to the model hub shares: the process's default session, the access token, the
// request convention and the readers of hub responses. Sends nothing itself.
class HFClient {
public:
    // One session for the whole process, made on first use with the proxies of the environment.
    static std::shared_ptr<platform::net::Session> session();

    // "HF_TOKEN", else "HUGGING_FACE_HUB_TOKEN", else "HUGGINGFACEHUB_API_TOKEN"; an empty variable counts as
    // unset, since "Bearer " with nothing after it is no credential.
    static std::optional<std::string> huggingFaceToken();

    // A GET of `url` that fails once it has stayed idle for the download time-out, with the bearer token when
    // there is one and the URL is on the hub's own origin (scheme, host and port): the token never travels to
    // a server that a listing or a caller points elsewhere.
    static platform::net::Request request(const platform::net::Url& url);

    // The "next" target of the response's "Link" header as written; a relative one is resolved against the
    // response's URL.
    static std::optional<platform::net::Url> nextPageURL(const platform::net::Response& response);

    // Whether a body is an HTML or XML document, judged by its first 512 bytes.
    static bool looksLikeHTML(std::span<const std::uint8_t> body);

    // Throws DownloadError::htmlErrorResponse for a body that should be JSON but is markup; any other body
    // passes, parsing is the caller's affair.
    static void validateJSONResponse(std::span<const std::uint8_t> body, const std::string& path);

    // The seconds (zero or more) the server asks to wait before the next request, from "Retry-After" as
    // a number or as an HTTP date measured from `now`.
    static std::optional<double>
    retryAfter(const platform::net::Response& response,
               std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
};

} // namespace quorl

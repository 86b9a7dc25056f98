#pragma once

#include "platform/net/HttpHeaders.hpp"

#include <optional>
#include <string_view>

namespace platform::net {

// Follows the header lines curl reports for one transfer. Curl reports every head it receives: interim
// answers (1xx), the redirects it follows and finally the answer whose body is delivered. This reader
// recognises when the head in progress is that final one.
class ResponseHeadReader {
public:
    struct Head {
        int statusCode = 0;
        HttpHeaders headers;
    };

    // One header line as curl passes it, line break included. True when the line completed the final head.
    bool addLine(std::string_view line);

    // The most recent head begun, complete or not; absent before any status line.
    const std::optional<Head>& lastHead() const { return head_; }

private:
    void addField(std::string_view line);
    bool isFinal() const;

    std::optional<Head> head_;
    bool complete_ = false;
};

} // namespace platform::net

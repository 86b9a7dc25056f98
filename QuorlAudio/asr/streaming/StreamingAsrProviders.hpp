#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {

// Optional timing views of a streaming engine; each list covers what was emitted since the last finish or
// reset.

class StreamingAsrTokenTimestampProvider {
public:
    virtual ~StreamingAsrTokenTimestampProvider() = default;
    // The start of every token, in milliseconds of the stream.
    virtual std::vector<std::int64_t> getTokenTimestampsMs() const = 0;
};

class StreamingAsrRawTokenProvider {
public:
    virtual ~StreamingAsrRawTokenProvider() = default;
    // The vocabulary piece of every token, word marker included.
    virtual std::vector<std::string> getRawTokenStrings() const = 0;
};

class StreamingAsrEouProvider {
public:
    virtual ~StreamingAsrEouProvider() = default;
    // When each end of utterance was confirmed, in milliseconds of the stream.
    virtual std::vector<std::int64_t> getEouTimestampsMs() const = 0;
};

} // namespace quorl

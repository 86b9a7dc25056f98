#pragma once

#include "platform/net/Session.hpp"

#include <atomic>

namespace platform::net {

// The session over libcurl. It holds only its configuration: every transfer carries what it needs, so
// transfers outlive the session that started them.
class CurlSession final : public Session {
public:
    explicit CurlSession(SessionConfiguration configuration);

    const SessionConfiguration& configuration() const override { return configuration_; }
    std::pair<std::vector<std::uint8_t>, Response> data(const Request& request, core::CancellationToken token) override;
    std::pair<std::filesystem::path, Response> download(const Request& request, core::CancellationToken token) override;
    std::shared_ptr<DataTask> dataTask(const Request& request, std::shared_ptr<DataDelegate> delegate) override;
    void finishTasksAndInvalidate() override;

private:
    void ensureValid() const;

    const SessionConfiguration configuration_;
    std::atomic<bool> invalidated_{false};
};

} // namespace platform::net

#pragma once

namespace nettest {

// A loopback port that is bound but never listened on, so connecting to it is refused, and no other
// server can take it while the object lives.
class ReservedPort {
public:
    ReservedPort();
    ~ReservedPort();
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;

    int port() const { return port_; }

private:
    int socket_ = -1;
    int port_ = 0;
};

} // namespace nettest

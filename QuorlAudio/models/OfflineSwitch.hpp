#pragma once

#include <atomic>
#include <string>

namespace quorl {

// Keeps a model hub off the network while on. Thread-safe; off unless made or turned on.
class OfflineSwitch {
public:
    explicit OfflineSwitch(bool on = false) : on_(on) {}

    bool isOn() const { return on_.load(); }
    void set(bool on) { on_.store(on); }

    // Throws DownloadError::networkDisabled naming `operation` while the switch is on.
    void refuseWhileOn(const std::string& operation) const;

private:
    std::atomic<bool> on_;
};

} // namespace quorl

#pragma once

#include <atomic>

namespace platform::desktop {

// Whether the user trusts this process to watch and type keys for other applications. In this in-process
// desktop the trust is a setting that tests (and the host's configuration) change; asking with the prompt
// option counts a prompt shown to the user and changes nothing by itself.
class Accessibility {
public:
    explicit Accessibility(bool trusted = true) : trusted_(trusted) {}
    Accessibility(const Accessibility&) = delete;
    Accessibility& operator=(const Accessibility&) = delete;

    // The host's.
    static Accessibility& shared();

    // The trust check; with `prompt`, an untrusted process also shows the system's prompt.
    bool isProcessTrusted(bool prompt = false);

    void setTrusted(bool trusted) { trusted_ = trusted; }
    // Prompts shown so far.
    int promptCount() const { return promptCount_; }

private:
    std::atomic<bool> trusted_;
    std::atomic<int> promptCount_ = 0;
};

} // namespace platform::desktop

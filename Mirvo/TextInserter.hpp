#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/core/SerialQueue.hpp"
#include "platform/core/Sleeper.hpp"
#include "platform/desktop/EventSource.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "platform/ui/BinaryMessenger.hpp"

#include <memory>
#include <string>

namespace mirvo {

// Types recognised text into the application that has the focus, as synthetic key events carrying the text.
// Typing pauses after every keystroke, so a long text takes seconds: it runs on a queue of its own, one
// insertion at a time in call order, and the main queue keeps answering the other channels meanwhile.
class TextInserter : public ChannelPlugin {
public:
    explicit TextInserter(platform::ui::BinaryMessenger& messenger,
                          platform::desktop::KeyboardSession& session = platform::desktop::KeyboardSession::shared(),
                          platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // Posts the UTF-8 text as key-down and key-up pairs, pausing after each; whether every pair was posted.
    // Stops at the first pair whose events cannot be created, leaving the earlier ones typed.
    bool typeUnicode(const std::string& text);

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    void insert(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);
    void typeAndAnswer(const std::string& text, const platform::ui::MethodResult& result);
    bool postKeystroke(const platform::desktop::EventSource& source, const std::u16string& units);

    platform::desktop::KeyboardSession& session_;
    platform::core::Sleeper& sleeper_;
    // Last, so that it is destroyed first: the insertions still queued are typed while everything they use
    // is alive.
    platform::core::SerialQueue typingQueue_{"mirvo.insert"};
};

} // namespace mirvo

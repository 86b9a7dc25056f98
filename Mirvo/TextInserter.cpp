#include "Mirvo/TextInserter.hpp"

#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"
#include "Mirvo/UnicodeKeystrokes.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <chrono>
#include <cstdint>

namespace mirvo {

namespace ui = platform::ui;
namespace desktop = platform::desktop;

namespace {

// The key whose events carry the text; the Unicode string replaces whatever it would type.
constexpr std::uint16_t carrierKeyCode = 0;
// Gives the focused application time to take each key event in before the next one arrives.
constexpr std::chrono::microseconds pauseAfterKeystroke{5000};

} // namespace

TextInserter::TextInserter(ui::BinaryMessenger& messenger, desktop::KeyboardSession& session,
                           platform::core::Sleeper& sleeper)
    : ChannelPlugin(messenger, "mirvo/insert_text"), session_(session), sleeper_(sleeper) {}

bool TextInserter::typeUnicode(const std::string& text) {
    const desktop::EventSource source(session_, desktop::EventSource::StateId::combinedSessionState);
    for (const auto& units : unicodeKeystrokes(text)) {
        if (!postKeystroke(source, units)) {
            return false;
        }
    }
    return true;
}

void TextInserter::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "insert") {
        insert(call, result);
    } else {
        ChannelPlugin::handle(call, result);
    }
}

void TextInserter::insert(const ui::MethodCall& call, const ui::MethodResult& result) {
    const auto text = MethodArguments(call.arguments)
                          .requiredString("text", "text is required", result, MethodArguments::Emptiness::allowed);
    if (!text) {
        return;
    }
    if (!session_.accessibility().isProcessTrusted(false)) {
        hostLog("insert skipped — Accessibility permission missing");
        result.success(false);
        return;
    }
    if (text->empty()) {
        result.success(true);
        return;
    }
    typingQueue_.async([this, text = *text, result] { typeAndAnswer(text, result); });
}

void TextInserter::typeAndAnswer(const std::string& text, const ui::MethodResult& result) {
    if (!typeUnicode(text)) {
        hostLog("insert failed — could not post keystrokes");
        result.success(false);
        return;
    }
    const auto characters = platform::text::graphemeClusters(text).size();
    hostLog(
        platform::core::concatenated({"insert typed ", std::to_string(characters), " chars via Unicode keystrokes"}));
    result.success(true);
}

bool TextInserter::postKeystroke(const desktop::EventSource& source, const std::u16string& units) {
    auto keyDown = source.keyboardEvent(carrierKeyCode, true);
    auto keyUp = source.keyboardEvent(carrierKeyCode, false);
    if (!keyDown || !keyUp) {
        return false;
    }
    keyDown->unicodeString = units;
    keyUp->unicodeString.clear();
    source.post(*keyDown);
    source.post(*keyUp);
    sleeper_.sleep(pauseAfterKeystroke, platform::core::CancellationToken());
    return true;
}

} // namespace mirvo

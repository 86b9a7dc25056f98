#include "platform/desktop/KeyEvent.hpp"
#include "platform/desktop/X11KeyboardSession.hpp"
#include "platform/text/Utf16.hpp"
#include "tests/support/FocusedWindow.hpp"
#include "tests/support/XvfbServer.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

using namespace platform::desktop;

// 1000 characters of mixed text: ASCII words, accents, Cyrillic, Chinese, emoji and line breaks.
std::u16string mixedThousand() {
    const std::u16string piece = platform::text::utf16Of("Grüße café Привет 你好 😀 ok\n");
    std::u16string text;
    std::size_t characters = 0;
    const std::size_t perPiece = 26;
    while (characters + perPiece <= 1000) {
        text += piece;
        characters += perPiece;
    }
    text += std::u16string(1000 - characters, u'x');
    return text;
}

// Typing 1000 characters into a focused window of an Xvfb display, in keystrokes of 20 units as text insertion
// posts them, until the window has read the last one.
void typingAThousandMixedCharacters(benchmark::State& state) {
    if (!testsupport::XvfbServer::binary()) {
        state.SkipWithError("no Xvfb binary");
        return;
    }
    const testsupport::XvfbServer server;
    const auto session = X11KeyboardSession::open(server.display());
    const std::u16string text = mixedThousand();
    std::size_t typed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        testsupport::FocusedWindow window(server.display());
        state.ResumeTiming();
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = std::min(text.size(), start + 20);
            if (end < text.size() && (text[end - 1] & 0xFC00) == 0xD800) {
                --end;
            }
            session->post(KeyEvent{.type = EventType::keyDown,
                                   .keyCode = 0,
                                   .flags = 0,
                                   .isAutoRepeat = false,
                                   .unicodeString = text.substr(start, end - start)});
            start = end;
        }
        typed += window.waitForText(1000).size();
    }
    state.counters["characters_per_second"] =
        benchmark::Counter(static_cast<double>(typed), benchmark::Counter::kIsRate);
}

BENCHMARK(typingAThousandMixedCharacters)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

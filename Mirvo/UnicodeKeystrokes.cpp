#include "Mirvo/UnicodeKeystrokes.hpp"

#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf16.hpp"

#include <algorithm>
#include <utility>

namespace mirvo {

namespace {

// Line breaks are typed as line feeds only, so that a carriage return and line feed pair does not become two
// new lines.
std::string withLineFeeds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            result.push_back(text[i]);
            continue;
        }
        result.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
    }
    return result;
}

bool isHighSurrogate(char16_t unit) { return (unit & 0xFC00) == 0xD800; }

// Fills keystrokes in order, each up to the limit.
class KeystrokePacker {
public:
    void add(std::u16string_view units) {
        while (!units.empty()) {
            if (pending_.size() == maxUnitsPerKeystroke) {
                flush();
            }
            std::size_t taken = std::min(units.size(), maxUnitsPerKeystroke - pending_.size());
            if (taken < units.size() && isHighSurrogate(units[taken - 1])) {
                --taken;
            }
            if (taken == 0) {
                flush();
                continue;
            }
            pending_.append(units.substr(0, taken));
            units.remove_prefix(taken);
        }
    }

    std::vector<std::u16string> finish() {
        if (!pending_.empty()) {
            flush();
        }
        return std::move(keystrokes_);
    }

private:
    void flush() {
        keystrokes_.push_back(std::move(pending_));
        pending_.clear();
    }

    std::u16string pending_;
    std::vector<std::u16string> keystrokes_;
};

} // namespace

std::vector<std::u16string> unicodeKeystrokes(std::string_view text) {
    KeystrokePacker packer;
    for (const auto& character : platform::text::graphemeClusters(withLineFeeds(text))) {
        packer.add(platform::text::utf16Of(character));
    }
    return packer.finish();
}

} // namespace mirvo

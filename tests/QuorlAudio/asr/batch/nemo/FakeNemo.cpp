// A stand-in for a native inverse-text-normalisation library, built in three variants that export different
// sets of the "nemo_" entry points. Each normalising function wraps its input in a mark naming the function,
// so a test sees which one ran and exactly which text reached it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int liveStrings = 0;
#ifndef FAKE_NEMO_ESSENTIAL_ONLY
constexpr int maxRules = 16;
char ruleSpoken[maxRules][64];
int ruleCount = 0;
#endif

// "<mark>(<text>)" in new memory; none for the text "null"; the invalid byte 0xFF for the text "bad".
char* wrapped(const char* mark, const char* text) {
    if (std::strcmp(text, "null") == 0) {
        return nullptr;
    }
    const bool bad = std::strcmp(text, "bad") == 0;
    const std::size_t size = std::strlen(mark) + std::strlen(text) + 3;
    char* answer = static_cast<char*>(std::malloc(size));
    std::snprintf(answer, size, "%s(%s)", mark, bad ? "\xFF" : text);
    ++liveStrings;
    return answer;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int fake_nemo_live_strings() { return liveStrings; }

__attribute__((visibility("default"))) char* nemo_normalize(const char* text) { return wrapped("N", text); }

__attribute__((visibility("default"))) void nemo_free_string(char* text) {
    --liveStrings;
    std::free(text);
}

#ifndef FAKE_NEMO_WITHOUT_VERSION
__attribute__((visibility("default"))) const char* nemo_version() { return "fake-1.0"; }
#endif

#ifndef FAKE_NEMO_ESSENTIAL_ONLY
__attribute__((visibility("default"))) char* nemo_normalize_sentence(const char* text) { return wrapped("S", text); }

__attribute__((visibility("default"))) char* nemo_normalize_sentence_with_max_span(const char* text,
                                                                                   std::uint32_t span) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "M%u", span);
    return wrapped(mark, text);
}

__attribute__((visibility("default"))) void nemo_add_rule(const char* spoken, const char* /*written*/) {
    if (ruleCount < maxRules) {
        std::snprintf(ruleSpoken[ruleCount++], sizeof ruleSpoken[0], "%s", spoken);
    }
}

__attribute__((visibility("default"))) std::int32_t nemo_remove_rule(const char* spoken) {
    for (int index = 0; index < ruleCount; ++index) {
        if (std::strcmp(ruleSpoken[index], spoken) == 0) {
            std::memmove(ruleSpoken[index], ruleSpoken[index + 1], sizeof ruleSpoken[0] * (ruleCount - index - 1));
            --ruleCount;
            return 1;
        }
    }
    return 0;
}

__attribute__((visibility("default"))) void nemo_clear_rules() { ruleCount = 0; }

__attribute__((visibility("default"))) std::uint32_t nemo_rule_count() { return static_cast<std::uint32_t>(ruleCount); }
#endif
}

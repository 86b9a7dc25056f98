#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyleData.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <exception>
#include <functional>
#include <numeric>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Component = Supertonic3VoiceStyleData::Component;

const std::vector<std::int64_t> ttlShape{1, Supertonic3Constants::ttlStyleTokens, Supertonic3Constants::ttlStyleDim};
const std::vector<std::int64_t> dpShape{1, Supertonic3Constants::dpStyleTokens, Supertonic3Constants::dpStyleDim};

std::string readFile(const fs::path& from) {
    try {
        return platform::sys::wholeFile(from);
    } catch (const std::exception& error) {
        throw Supertonic3Error::voiceStyleLoadFailed(from.string(), error.what());
    }
}

Supertonic3VoiceStyleData decode(const std::string& bytes, const fs::path& from) {
    try {
        return nlohmann::json::parse(bytes).get<Supertonic3VoiceStyleData>();
    } catch (const nlohmann::json::exception& error) {
        throw Supertonic3Error::voiceStyleLoadFailed(from.string(), std::string("decode: ") + error.what());
    }
}

void checkShape(const char* name, const Component& component, const std::vector<std::int64_t>& expected) {
    if (component.dims != expected) {
        throw Supertonic3Error::voiceStyleShapeMismatch(name, expected, component.dims);
    }
}

// Called once the shape is checked, so its product is a small positive count.
std::vector<float> flattened(const Component& component) {
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(
        std::reduce(component.dims.begin(), component.dims.end(), std::int64_t{1}, std::multiplies<>())));
    for (const auto& rows : component.data) {
        for (const auto& row : rows) {
            values.insert(values.end(), row.begin(), row.end());
        }
    }
    return values;
}

} // namespace

Supertonic3VoiceStyle Supertonic3VoiceStyle::load(const fs::path& from) {
    const Supertonic3VoiceStyleData data = decode(readFile(from), from);
    checkShape("style_ttl", data.styleTtl, ttlShape);
    checkShape("style_dp", data.styleDp, dpShape);
    return {.name = from.stem().string(),
            .ttlValues = flattened(data.styleTtl),
            .ttlDims = data.styleTtl.dims,
            .dpValues = flattened(data.styleDp),
            .dpDims = data.styleDp.dims};
}

} // namespace quorl

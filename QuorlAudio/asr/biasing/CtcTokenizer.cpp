#include "QuorlAudio/asr/biasing/CtcTokenizer.hpp"

#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/SystemError.hpp"

#include <system_error>
#include <utility>

namespace quorl {

namespace fs = std::filesystem;

CtcTokenizer::CtcTokenizer(std::shared_ptr<const BpeTokenizer> bpeTokenizer) : bpeTokenizer_(std::move(bpeTokenizer)) {}

CtcTokenizer CtcTokenizer::load(const fs::path& directory) {
    std::error_code status;
    if (!fs::exists(directory / "tokenizer.json", status)) {
        throw CtcTokenizerError::tokenizerNotFound(directory);
    }
    try {
        return CtcTokenizer(std::make_shared<const BpeTokenizer>(BpeTokenizer::load(directory)));
    } catch (...) {
        throw CtcTokenizerError::initializationFailed(std::current_exception());
    }
}

CtcTokenizer CtcTokenizer::load() { return load(getCtcModelDirectory()); }

fs::path CtcTokenizer::getCtcModelDirectory() {
    try {
        return MLModelConfigurationUtils::defaultModelsDirectory(Repo::parakeetCtc110m);
    } catch (const platform::core::SystemError&) {
        throw CtcTokenizerError::applicationSupportNotFound();
    }
}

std::vector<std::int64_t> CtcTokenizer::encode(std::string_view text) const {
    return bpeTokenizer_->encode(text, {.prependWordBoundary = true});
}

std::vector<std::int64_t> CtcTokenizer::encodeWithoutBoundary(std::string_view text) const {
    return bpeTokenizer_->encode(text, {});
}

std::vector<std::vector<std::int64_t>> CtcTokenizer::encodeVariants(std::string_view text) const {
    auto withBoundary = encode(text);
    auto without = encodeWithoutBoundary(text);
    if (withBoundary == without) {
        return {std::move(withBoundary)};
    }
    return {std::move(withBoundary), std::move(without)};
}

} // namespace quorl

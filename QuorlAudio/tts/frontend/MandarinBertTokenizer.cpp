#include "QuorlAudio/tts/frontend/MandarinBertTokenizer.hpp"

#include "platform/sys/WholeFile.hpp"
#include "platform/text/Normalization.hpp"

#include <algorithm>
#include <utility>

namespace quorl {

MandarinBertTokenizer::LoadError::LoadError(const std::string& token)
    : platform::core::Error("BERT vocab is missing required special token '" + token + "'"), token_(token) {}

MandarinBertTokenizer::LoadError MandarinBertTokenizer::LoadError::missingSpecialToken(const std::string& token) {
    return LoadError(token);
}

MandarinBertTokenizer MandarinBertTokenizer::load(const std::filesystem::path& vocabURL) {
    return MandarinBertTokenizer(parseVocab(platform::sys::wholeFile(vocabURL)));
}

MandarinBertTokenizer::Vocab MandarinBertTokenizer::parseVocab(std::string_view text) {
    Vocab vocab;
    std::int32_t id = 0;
    std::size_t start = 0;
    while (start < text.size() || (start == 0 && text.empty())) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        vocab[platform::text::nfc(line)] = id++;
        start = end + 1;
    }
    return vocab;
}

MandarinBertTokenizer::MandarinBertTokenizer(Vocab vocab)
    : vocab_(std::move(vocab)), clsId_(specialId("[CLS]")), sepId_(specialId("[SEP]")), padId_(specialId("[PAD]")),
      unkId_(specialId("[UNK]")) {}

std::int32_t MandarinBertTokenizer::specialId(const std::string& token) const {
    const auto found = vocab_.find(token);
    if (found == vocab_.end()) {
        throw LoadError::missingSpecialToken(token);
    }
    return found->second;
}

MandarinBertTokenizer::Encoded MandarinBertTokenizer::encode(const std::vector<std::string>& chars,
                                                             int maxLength) const {
    const auto length = static_cast<std::size_t>(std::max(maxLength, 2));
    const std::size_t used = std::min(chars.size(), length - 2);
    Encoded encoded;
    encoded.inputIds.reserve(length);
    encoded.inputIds.push_back(clsId_);
    for (std::size_t i = 0; i < used; ++i) {
        const auto found = vocab_.find(platform::text::nfc(chars[i]));
        encoded.inputIds.push_back(found == vocab_.end() ? unkId_ : found->second);
        encoded.tokenPositionForChar.push_back(static_cast<int>(i + 1));
    }
    encoded.inputIds.push_back(sepId_);
    encoded.attentionMask.assign(encoded.inputIds.size(), 1);
    encoded.inputIds.resize(length, padId_);
    encoded.attentionMask.resize(length, 0);
    encoded.tokenTypeIds.assign(length, 0);
    return encoded;
}

} // namespace quorl
